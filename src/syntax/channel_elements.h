// Parsers of the audio channel elements: single_channel_element (also used
// for lfe_channel_element) and channel_pair_element, down to every field of
// their individual_channel_streams.
#pragma once

#include "lumdec.h"
#include "syntax/bit_reader.h"
#include "syntax/records.h"

namespace lumdec {

void aac_parse_sce(aac_bit_reader *reader, aac_channel_state *channel,
                   const aac_stream_tables *tables);
void aac_parse_cpe(aac_bit_reader *reader, aac_channel_pair_state *pair,
                   const aac_stream_tables *tables);

}  // namespace lumdec
