// Envelope and noise floor values of a frame: the coded differences summed
// along frequency or time, then turned into energies (one channel, or the
// level and balance channels of a coupled pair).
#pragma once

#include "sbr/sbr_state.h"

namespace lumdec {

// Integer envelope and noise values of one channel's frame, by envelope or
// noise floor and by band of the table that applies to it.
struct sbr_levels {
    int32_t env[sbr_max_envelopes][64];
    int32_t noise[2][sbr_max_noise_bands];
};

// Energies in the 16-bit output scale: envelope energies per band and noise
// floor ratios per noise band.
struct sbr_energies {
    float env[sbr_max_envelopes][64];
    float noise[2][sbr_max_noise_bands];
};

// Sums the channel's coded differences against its previous values and
// stores this frame's last envelope and noise floor as the next frame's
// previous ones.
void sbr_decode_levels(const sbr_band_tables &t, const sbr_frame_data &d, sbr_channel *ch,
                       sbr_levels *out);

void sbr_dequantise(const sbr_band_tables &t, const sbr_frame_data &d, const sbr_levels &levels,
                    sbr_energies *out);

// The coupled pair: level values of channel 0 and balance values of channel
// 1 (same grid) into the energies of both channels.
void sbr_dequantise_coupled(const sbr_band_tables &t, const sbr_frame_data &d,
                            const sbr_levels &level, const sbr_levels &balance,
                            sbr_energies *out0, sbr_energies *out1);

// The frame data that stands in for a damaged or missing payload: one
// envelope from the end of the last frame's grid to the end of this frame,
// with the last envelope, noise floor, inverse filtering modes and
// sinusoids repeated (time differences of zero).
void sbr_conceal_data(const sbr_band_tables &t, int prev_end, sbr_frame_data *d);

}  // namespace lumdec
