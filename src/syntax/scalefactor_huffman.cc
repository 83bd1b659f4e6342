// Scale factor differences through the two-level table: codewords of up to
// 9 bits in one read, the longer ones (up to 19 bits) in two.
#include "syntax/huffman.h"

#include "syntax/huffman_tables.h"

int32_t aac_decode_scalefactor_diff(aac_bit_reader *reader)
{
    aac_bits_fill(reader, 19);
    uint32_t entry = aac_scalefactor_first[aac_bits_peek(reader, AAC_SCALEFACTOR_INDEX_BITS)];
    if (entry & 0x80) {
        aac_bits_skip(reader, AAC_SCALEFACTOR_INDEX_BITS);
        entry = aac_scalefactor_second[(entry >> 8) + aac_bits_peek(reader, entry & 0x7f)];
    }
    aac_bits_skip(reader, entry & 0x7f);
    return static_cast<int8_t>(entry >> 8);
}
