// Checks of what the decoder hands a host, for the decode fuzz target.
#pragma once

#include <cstdint>

#include "decoder/layouts.h"
#include "lumdec.h"

namespace lumdec {

// The element list of a frame: known ids in stream order at increasing
// positions inside the frame and its eight-byte zero tail, the second
// channel of a pair inside the pair, as many channel elements as the
// configuration asks for, END last and matching bytes_used.  Aborts
// otherwise.
void check_element_list(const aac_syn_elem *list, const aac_decoder &dec, int32_t frame_size);

// Whether the two frames of the overlap in the workspaces carry values
// outside the standard's ranges (scale factors, noise energies, intensity
// positions) that may legitimately overflow single precision.  Reads the
// records as they are while output_hook runs for a valid block.
bool frames_may_overflow(const aac_decoder &dec, const aac_layout &layout);

}  // namespace lumdec
