// Scale factor differences read on their own, through the same lookup as
// the scale factor parser: an entry point for the benchmarks, which time
// the codeword lookup alone.
#include "syntax/huffman.h"

#include "syntax/scalefactor_code.h"

namespace lumdec {

int32_t aac_decode_scalefactor_diff(aac_bit_reader *reader)
{
    aac_wide_bits w = aac_cursor_begin<uintptr_t>(reader);
    const int32_t diff = aac_cursor_scalefactor_diff(w);
    aac_cursor_end(w);
    return diff;
}

}  // namespace lumdec
