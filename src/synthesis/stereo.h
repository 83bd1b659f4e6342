// The joint-stereo tools of a channel pair with a common window, on the
// dequantised spectra: mid/side to left/right, and intensity bands of the
// right channel built from the left one.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

// L and R become L + R and L - R in every band that M/S covers: all bands
// with ms_mask_present 2, else those with ms_used set; never a band that is
// intensity in R or noise in both channels.  map0 and map1 are the band
// codebook maps of L and R.
void ms_stereo(const aac_stream_tables *tables, float *L, float *R, const aac_ics_info *ics,
               uint32_t ms_mask_present, const uint32_t *ms_used, const uint32_t *map0,
               const uint32_t *map1);

// R = L * +-2^(-position/4) in R's intensity bands; the sign comes from the
// codebook and, with ms_mask_present 1, is inverted where ms_used is set.
void intensity_stereo(const aac_stream_tables *tables, float *R, const float *L,
                      const aac_ics_info *ics, uint32_t ms_mask_present, const uint32_t *ms_used,
                      const uint32_t *sections_R, const int32_t *scalefactors_R);

}  // namespace lumdec
