// The decoder's ten channel layouts as files describe them: names, the
// element order of the decoder's output and the order and speaker mask of
// a WAV file.
#pragma once

#include <cstdint>

namespace lumdec::file {

struct LayoutInfo {
    int channels;
    const char *name;
    const char *element_order;  // speakers of the decoder's output channels
    // WAV channel i carries decoder output channel wav_from[i].
    uint8_t wav_from[8];
    uint32_t wav_mask;  // WAVE_FORMAT_EXTENSIBLE speaker bits in WAV order
};

// Layout numbers 1 to 10; null for any other.
const LayoutInfo *layout_info(int layout);

}  // namespace lumdec::file
