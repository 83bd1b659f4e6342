// The individual_channel_stream and its side information: ics_info with the
// window grouping, section data, scale factor data and the M/S mask.
#pragma once

#include <cstdint>

#include "lumdec.h"
#include "syntax/bit_cursor.h"
#include "syntax/bit_reader.h"
#include "syntax/records.h"

namespace lumdec {

// One individual_channel_stream into channel.  shared is the pair's common
// ics_info, or null when the stream carries its own.
void aac_parse_ics(aac_bit_reader *reader, aac_channel_state *channel,
                   const aac_ics_info *shared, const aac_stream_tables *tables);

void aac_parse_ics_info(aac_bit_reader *reader, aac_ics_info *ics,
                        const aac_stream_tables *tables);

// Section data of every group into sections, from a cursor that moves on
// past it; noise_used and intensity_used say whether any section has a
// noise or an intensity codebook.
void aac_cursor_section_data(aac_wide_bits &cursor, const aac_ics_info *ics, uint32_t *sections,
                             uint32_t *noise_used, uint32_t *intensity_used);

void aac_parse_ms_mask(aac_bit_reader *reader, const aac_ics_info *ics, uint32_t *ms_used);

}  // namespace lumdec
