// Perceptual noise substitution: noise bands (codebook 13) filled with
// pseudo-random values scaled to the transmitted energy.  One generator
// state per decoder serves every channel in decoding order.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

// x[0..n-1] from the generator, scaled so that their energy is gain^2.
void generate_noise_band(float *x, int32_t n, float gain, uint32_t *seed);

// Every noise band of one channel, group by group, band by band, window by
// window.
void noise_substitution(const aac_stream_tables *tables, const aac_ics_info *ics,
                        const uint32_t *sections, const int32_t *scalefactors, float *coef,
                        uint32_t *seed);

// Channel 1 of a common-window pair with M/S signalling: a band that is
// noise in both channels and covered by M/S becomes a copy of channel 0's
// noise at channel 1's level; other noise bands get their own noise.
void noise_substitution_pair(const aac_stream_tables *tables, float *R, const float *L,
                             const aac_ics_info *ics, uint32_t ms_mask_present,
                             const uint32_t *ms_used, const uint32_t *map0,
                             const uint32_t *sections_R, const int32_t *scalefactors_R,
                             const int32_t *scalefactors_L, uint32_t *seed);

}  // namespace lumdec
