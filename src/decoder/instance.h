// Creation and destruction of a decoder instance.
#pragma once

#include "lumdec.h"

namespace lumdec {

// Allocates a zero-filled instance and initialises it from config, under an
// error frame of its own: on a raise the half-built instance is released and
// the same status is raised again into the caller's frame.
aac_decoder *aac_build_decoder(aac_dec_config *config);

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

}  // namespace lumdec
