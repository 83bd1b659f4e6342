// One codeword of a stereo-parameter Huffman book, through the multi-level
// lookup of ps_tables.h.
#pragma once

#include "ps/ps_tables.h"
#include "syntax/bit_reader.h"

namespace lumdec {

// The value (a difference) of the next codeword of book (PS_BOOK_* + dt).
inline int ps_read_code(aac_bit_reader *br, int book)
{
    const ps_huffman_book &b = ps_huffman_books[book];
    // One fill covers the longest codeword; a lookup may peek past a short
    // book's end, where the table repeats the leaf.
    aac_bits_fill(br, b.max_length > PS_ROOT_BITS ? b.max_length : PS_ROOT_BITS);
    int width = PS_ROOT_BITS;
    uint32_t e = ps_huffman_entries[b.root + aac_bits_peek(br, width)];
    while (e & 0x8000) {
        aac_bits_skip(br, width);
        width = static_cast<int>(e & 15);
        e = ps_huffman_entries[((e >> 4) & 0x7ff) + aac_bits_peek(br, width)];
    }
    aac_bits_skip(br, static_cast<int>(e & 31));
    return static_cast<int>(e >> 8) - PS_VALUE_BIAS;
}

}  // namespace lumdec
