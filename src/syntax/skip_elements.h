// Elements a frame may carry that the decoder reads past: data streams,
// fill elements (with any extension payload) and program_config_elements.
#pragma once

#include "syntax/bit_reader.h"

namespace lumdec {

void aac_skip_dse(aac_bit_reader *reader);
void aac_skip_fill(aac_bit_reader *reader);
// Parses the element as at creation into a scratch record and keeps
// nothing: a program_config_element inside a frame never changes the
// configuration.
void aac_skip_pce(aac_bit_reader *reader);

}  // namespace lumdec
