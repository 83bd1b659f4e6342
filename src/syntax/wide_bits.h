// A 64-bit working copy of a bit reader for the hot Huffman loops.
//
// Away from the end of the buffer a fill tops the cache up with up to eight
// bytes in one go, so most codewords cost a single compare for their fill.
// Within the last eight bytes it loads one byte at a time exactly as far as
// asked, like aac_bits_fill, so the zero tail is entered and exhausted at the
// same points and positions, values and failures match the plain reader.
//
// Keep the cursor in a local variable and pass it by value to anything that
// is not inlined: once its address escapes, the compiler keeps it in memory.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "syntax/bit_reader.h"

struct aac_wide_bits {
    // Left-aligned.  Unlike the reader's cache, the bits below `bits` may
    // hold the start of the byte at ptr; loads OR the same values over them.
    uint64_t cache;
    int32_t bits;               // valid bits in cache
    const uint8_t *ptr;
    const uint8_t *end;
    aac_bit_reader *reader;     // the reader this copy came from
};

// The byte-at-a-time fill near the end of the buffer, with the zero tail.
[[gnu::noinline]] aac_wide_bits aac_wide_fill_near_end(aac_wide_bits w, int n);

inline aac_wide_bits aac_wide_begin(aac_bit_reader *reader)
{
    return {static_cast<uint64_t>(reader->cache) << 32, reader->bits, reader->ptr, reader->end,
            reader};
}

// Makes at least n bits valid, 1 <= n <= 25.
[[gnu::always_inline]] inline void aac_wide_fill(aac_wide_bits &w, int n)
{
    if (w.bits >= n)
        return;
    if (w.end - w.ptr >= 8) {
        uint64_t word;
        std::memcpy(&word, w.ptr, 8);
        if constexpr (std::endian::native == std::endian::little)
            word = __builtin_bswap64(word);
        w.cache |= word >> w.bits;
        const int bytes = (64 - w.bits) >> 3;
        w.ptr += bytes;
        w.bits += 8 * bytes;
    } else {
        w = aac_wide_fill_near_end(w, n);
    }
}

// The next n bits (1..32) after a fill of n.
[[gnu::always_inline]] inline uint32_t aac_wide_peek(const aac_wide_bits &w, int n)
{
    return static_cast<uint32_t>(w.cache >> (64 - n));
}

[[gnu::always_inline]] inline void aac_wide_skip(aac_wide_bits &w, int n)
{
    w.cache <<= n;
    w.bits -= n;
}

// Hands the position back to the reader.  Whole bytes loaded beyond the
// reader's 32-bit cache are given back; they all came from the last wide
// load, so they lie in the buffer the reader is on.
inline void aac_wide_end(const aac_wide_bits &w)
{
    int32_t bits = w.bits;
    const uint8_t *ptr = w.ptr;
    if (bits > 32) {
        const int back = (bits - 25) >> 3;
        ptr -= back;
        bits -= 8 * back;
    }
    w.reader->cache = static_cast<uint32_t>((w.cache & ~(~uint64_t{0} >> bits)) >> 32);
    w.reader->bits = bits;
    w.reader->ptr = ptr;
}
