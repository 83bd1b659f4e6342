// HF generation: the high band of a frame from the low band, by patches of
// second-order predicted (inverse filtered) low bands with chirp factors
// from the inverse filtering modes.
#pragma once

#include "sbr/sbr_state.h"

namespace lumdec {

// Writes the high band of slots 2 t_env[0] .. 2 t_env[L] (matrix slots + 2)
// and clears every band of those slots first.  reset: the band tables
// changed, so the chirp history starts again.
void sbr_hf_generate(const sbr_band_tables &t, const sbr_frame_data &d, bool reset,
                     sbr_channel *ch);

}  // namespace lumdec
