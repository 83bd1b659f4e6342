// One element's band replication for one frame: analysis of the core output
// into the low band, the high band generated and adjusted from the frame's
// data (or the last good data when the payload failed), and the 64-band
// synthesis into the output.
#pragma once

#include "ps/ps.h"
#include "sbr/sbr_element.h"

namespace lumdec {

// The frame's buffers for one element.  core[c] is channel c's core output
// (1024 samples in the 16-bit scale), null for a channel that is off;
// out[c] receives 2048 samples through the synthesis prototype window[c]
// (1024 through the even taps for downsampled SBR).
// A single channel element with parametric stereo writes its second output
// channel to out[1] through window[1]: the PS tool (state ps) turns the
// mono matrix into left and the right-hand matrix in stereo_re/stereo_im
// (32 slots of 64 bands), synthesised with the history stereo_v.
struct sbr_frame_io {
    const float *core[2];
    float *out[2];
    const float *window[2];
    float (*stereo_re)[64];
    float (*stereo_im)[64];
    float *stereo_v;
    ps_state *ps;
    bool downsampled;  // 32-band synthesis: 1024 samples at the core rate
};

// payload_ok: the element's payload of this frame parsed (or there was
// none to parse and none was expected).
void sbr_process_element(sbr_element *el, bool payload_ok, const sbr_frame_io &io);

// Resets a channel to the state of a stream start.
void sbr_reset_channel(sbr_channel *ch);

}  // namespace lumdec
