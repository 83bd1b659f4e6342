// The joint-stereo tools of a channel pair with a common window, on the
// dequantised spectra L and R of its two channels: mid/side to left/right,
// and intensity bands of the right channel built from the left one.  The
// pair record gives the window information, sections, scale factors and
// M/S signalling.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

// L and R become L + R and L - R in every band that M/S covers: all bands
// with ms_mask_present 2, else those with ms_used set; never a band that is
// intensity in R or noise in both channels.  map0 holds L's codebook by
// band (expand_band_codebooks).
void ms_stereo(const aac_stream_tables *tables, const aac_channel_pair_state &pair,
               const uint32_t *map0, float *L, float *R);

// R = L * +-2^(-position/4) in R's intensity bands; the sign comes from the
// codebook and, with ms_mask_present 1, is inverted where ms_used is set.
void intensity_stereo(const aac_stream_tables *tables, const aac_channel_pair_state &pair,
                      const float *L, float *R);

}  // namespace lumdec
