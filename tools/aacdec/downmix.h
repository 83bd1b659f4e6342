// --downmix: the stereo fold of the decoder's multichannel layouts.  The
// centre and every surround channel enter each side at -3 dB (0.7071), the
// LFE is dropped, and each side's gains are divided by their sum, so that
// full-scale inputs cannot make the pair clip.
#pragma once

#include <string>

namespace aacdec {

struct Downmix {
    // Gains of the decoder's output channels (element order) for left and
    // right; at most 8 channels.
    float left[8], right[8];
    int channels;
    std::string description;  // what the fold does, for the user
};

// The fold of a layout (1 to 10), or null for mono, stereo and dual mono,
// which are written as they are.
const Downmix *downmix_for(int layout);

// Folds a decoder block (planar, 1024 samples per channel) into two planes
// of 1024 samples: pair[0..1023] left, pair[1024..2047] right.
void fold(const Downmix &mix, const float *block, float *pair);

}  // namespace aacdec
