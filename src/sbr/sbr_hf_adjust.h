// HF adjustment: the generated high band scaled to the transmitted envelope
// energies (estimation, gains with limiter and boost, smoothing over time),
// with the noise floor and the sinusoids added.
#pragma once

#include "sbr/sbr_envelope.h"
#include "sbr/sbr_state.h"

namespace lumdec {

// Adjusts the high band of the slots the frame's grid covers, in place.
// reset: the band tables changed in this frame.
void sbr_hf_adjust(const sbr_band_tables &t, const sbr_header &h, const sbr_frame_data &d,
                   const sbr_energies &e, bool reset, sbr_channel *ch);

}  // namespace lumdec
