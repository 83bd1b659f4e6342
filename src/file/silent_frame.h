// The raw_data_block that ends a decoding: the decoder emits a frame's
// second half only when the next frame arrives, so after the last frame it
// is handed one that decodes to silence.
#pragma once

#include <cstdint>
#include <vector>

#include "lumdec.h"

namespace lumdec::file {

// Every element of the map (bound by instance tag when the map uses tags)
// with an ONLY_LONG window of the given shape, max_sfb 0 and no tools; a
// pair without common_window; then END, byte-aligned.
std::vector<uint8_t> silent_frame(const aac_element_map &map, int window_shape = 0);

}  // namespace lumdec::file
