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

// Channel 1 of a common-window pair with M/S signalling, into R: a band
// that is noise in both channels and covered by M/S becomes a copy of
// channel 0's noise (already in L) at channel 1's level; other noise bands
// get their own noise.  map0 holds channel 0's codebook by band.
void noise_substitution_pair(const aac_stream_tables *tables, const aac_channel_pair_state &pair,
                             const uint32_t *map0, const float *L, float *R, uint32_t *seed);

}  // namespace lumdec
