// Creation and destruction of a decoder instance.
#pragma once

#include "lumdec.h"

namespace lumdec {

// Copies the stream parameters, parses the optional program_config_element,
// builds the element map, validates and fills the stream tables.  With an
// element given (input_size > 0), a null input_data or a bit_offset outside
// 0..31 raises AAC_ERR_BAD_STREAM before anything is read.  config's
// bytes_used is written as soon as the element is parsed, so a later
// refusal may leave it set.
void aac_init_decoder(aac_dec_config *config, aac_decoder *decoder);

// Gives the output block back to the pool (when there is one) and releases
// the workspaces and window sets.  Leaves the record itself allocated.
void aac_release_decoder(aac_decoder *decoder);

// Releases everything the instance holds and the record itself; null is
// ignored.  Also what a refused creation uses on its half-built instance.
void aac_destroy_decoder(aac_decoder *decoder);

}  // namespace lumdec
