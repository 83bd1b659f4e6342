// tns_data of an individual_channel_stream, with each filter's band range
// resolved to coefficient indices through the stream's band tables.
#pragma once

#include "lumdec.h"
#include "syntax/bit_reader.h"
#include "syntax/records.h"

namespace lumdec {

void aac_parse_tns_data(aac_bit_reader *reader, const aac_ics_info *ics,
                        const aac_stream_tables *tables, aac_tns_data *tns);

}  // namespace lumdec
