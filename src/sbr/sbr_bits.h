// The bit reader of the band replication payloads.  A payload is a known
// number of bits inside a fill element, starting at any bit of the frame.
// Reads past its end give zeros and mark the reader overrun, so a damaged
// payload is found when the parse ends and never raises: the frame around
// it stays good and only the band replication data is concealed.
#pragma once

#include <cstdint>

namespace lumdec {

struct sbr_bits {
    const uint8_t *data;  // the frame
    int32_t pos;          // bit position in the frame
    int32_t end;          // first bit after the payload
    bool overrun;
};

inline void sbr_bits_init(sbr_bits *b, const uint8_t *frame, int32_t start_bit, int32_t num_bits)
{
    b->data = frame;
    b->pos = start_bit;
    b->end = start_bit + num_bits;
    b->overrun = false;
}

// The next n bits, 1 <= n <= 24.
inline uint32_t sbr_read(sbr_bits *b, int n)
{
    if (b->pos + n > b->end) {
        b->overrun = true;
        b->pos = b->end;
        return 0;
    }
    const uint8_t *p = b->data + (b->pos >> 3);
    const int last = (b->pos + n - 1) >> 3;
    uint32_t word = 0;
    for (int i = 0; i <= last - (b->pos >> 3); i++)
        word = (word << 8) | p[i];
    const int used = (b->pos & 7) + n;
    const int bytes = (used + 7) >> 3;
    b->pos += n;
    return (word >> (8 * bytes - used)) & ((1u << n) - 1);
}

inline uint32_t sbr_read_bit(sbr_bits *b)
{
    return sbr_read(b, 1);
}

inline int32_t sbr_bits_left(const sbr_bits *b)
{
    return b->end - b->pos;
}

inline void sbr_skip(sbr_bits *b, int32_t n)
{
    if (n > b->end - b->pos) {
        b->overrun = true;
        b->pos = b->end;
        return;
    }
    b->pos += n;
}

}  // namespace lumdec
