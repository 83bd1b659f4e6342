// The exact fill of the wide cursor for the last bytes of a buffer.
#include "syntax/wide_bits.h"

aac_wide_bits aac_wide_fill_near_end(aac_wide_bits w, int n)
{
    while (w.bits < n) {
        if (w.ptr >= w.end) {
            w.reader->ptr = w.ptr;
            aac_bits_enter_zero_tail(w.reader);
            w.ptr = w.reader->ptr;
            w.end = w.reader->end;
        }
        w.cache |= static_cast<uint64_t>(*w.ptr++) << (56 - w.bits);
        w.bits += 8;
    }
    return w;
}
