// The frame parser: one raw_data_block from the decoder's input into its
// current workspace.
#pragma once

#include "lumdec.h"

namespace lumdec {

// Parses decoder->input_data[0 .. input_size) into the element records of
// the current workspace through the element map, stores bytes_used, checks
// the element counts and hands the element list to syn_elem_hook.  Every
// failure is raised.
void aac_parse_raw_data_block(aac_decoder *decoder);

}  // namespace lumdec
