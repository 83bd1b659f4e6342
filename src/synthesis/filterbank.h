// The synthesis filterbank in two halves: the inverse transform at the end of
// a channel's reconstruction, and the output stage that windows and
// overlap-adds the previous and the current frame into 1024 samples.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

// One output channel's window tables (the instance record names this type, so
// it stays outside the library's namespace), pre-scaled by its gain, the
// transform's 2/N and the 16-bit-to-1.0 output scale.  16-byte aligned.
struct aac_channel_gain {
    float long_scale;             // g * 2^-25
    float neg_long_scale;
    float short_scale;            // g * 2^-22
    float neg_short_scale;
    float long_win[2][2048];      // by shape: rising half * long_scale, then falling half * -long_scale
    float short_win[2][256];      // the same for short windows with short_scale
    float short_win_long_scale[2][256];  // short slopes inside long transforms
};

namespace lumdec {

// Fills a window set for gain g.
void aac_fill_channel_gain(aac_channel_gain *set, float gain);

// Replaces each window's spectrum in coef by its DCT-IV (eight 128-value
// windows for an eight-short sequence, else one of 1024).
void inverse_transform(const aac_ics_info *ics, float *coef);

// The 1024 output samples of one channel from its folded buffers of the
// previous and the current frame.
void overlap_add_frame(const aac_channel_gain *gain, float *out, const aac_ics_info *prev_info,
                       const float *prev_coef, const aac_ics_info *cur_info,
                       const float *cur_coef);

// Output of a single or LFE element; a null window set gives 1024 zeros.
void output_single_channel(const aac_channel_gain *gain, float *out,
                           const aac_channel_state *prev, const aac_channel_state *cur);

// Output of a pair into out[0..1023] and out[1024..2047]; each channel uses
// the window information that applied to it in each frame.
void output_channel_pair(const aac_channel_gain *gain0, const aac_channel_gain *gain1, float *out,
                         const aac_channel_pair_state *prev, const aac_channel_pair_state *cur);

}  // namespace lumdec
