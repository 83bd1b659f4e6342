// One scale factor difference from a cursor: codewords of up to 9 bits in
// one table read, the longer ones (up to 19 bits) in two.
#pragma once

#include <cstdint>

#include "syntax/bit_cursor.h"
#include "syntax/huffman_tables.h"

namespace lumdec {

template <class Word>
[[gnu::always_inline]] inline int32_t aac_cursor_scalefactor_diff(aac_bit_cursor<Word> &c)
{
    aac_cursor_fill(c, 19);
    uint32_t entry = aac_scalefactor_first[aac_cursor_peek(c, AAC_SCALEFACTOR_INDEX_BITS)];
    if (entry & 0x80) [[unlikely]] {
        aac_cursor_skip(c, AAC_SCALEFACTOR_INDEX_BITS);
        entry = aac_scalefactor_second[(entry >> 8) + aac_cursor_peek(c, entry & 0x7f)];
    }
    // A leaf's low byte is its length, below 32: the shift takes it as it is.
    aac_cursor_skip(c, entry & (c.width - 1));
    return static_cast<int8_t>(entry >> 8);
}

}  // namespace lumdec
