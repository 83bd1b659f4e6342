// Huffman decoding of scale factor differences and spectral data through
// packed two-level lookup tables.
#pragma once

#include <cstdint>

#include "lumdec.h"
#include "syntax/bit_cursor.h"
#include "syntax/bit_reader.h"
#include "syntax/records.h"

namespace lumdec {

// One scale factor difference, -60..60.  For the benchmarks only: the
// decoder reads them through aac_cursor_scalefactor_diff (scalefactor_code.h).
int32_t aac_decode_scalefactor_diff(aac_bit_reader *reader);

// The spectral data of one individual_channel_stream into coef (window w of
// an eight-short sequence at coef[128 w]); writes only the coefficients of
// bands below max_sfb whose section uses codebook 1..11.  For the
// benchmarks only: the decoder uses the cursor form below.
void aac_parse_spectral_data(aac_bit_reader *reader, int32_t *coef, const aac_ics_info *ics,
                             const uint32_t *sections, const aac_stream_tables *tables);

// The same from a cursor, which moves on past the spectral data.
void aac_cursor_spectral_data(aac_wide_bits &cursor, int32_t *coef, const aac_ics_info *ics,
                              const uint32_t *sections, const aac_stream_tables *tables);

}  // namespace lumdec
