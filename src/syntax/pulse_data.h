// pulse_data of an individual_channel_stream, with the pulse positions
// resolved to coefficient indices through the stream's band tables.
#pragma once

#include "lumdec.h"
#include "syntax/bit_reader.h"
#include "syntax/records.h"

namespace lumdec {

void aac_parse_pulse_data(aac_bit_reader *reader, const aac_ics_info *ics,
                          const aac_stream_tables *tables, aac_pulse_data *pulse);

}  // namespace lumdec
