// The per-stream tables the parsers and the synthesis share.
#pragma once

#include "lumdec.h"

namespace lumdec {

inline constexpr uint32_t AAC_TNS_MAX_ORDER_LONG = 12;
inline constexpr uint32_t AAC_TNS_MAX_ORDER_SHORT = 7;

// Fills tables for a validated profile (1) and sampling frequency index
// (0..11).
void aac_fill_stream_tables(int32_t profile, int32_t sampling_frequency_index,
                            aac_stream_tables *tables);

}  // namespace lumdec
