// A register-wide working copy of a bit reader for the hot Huffman loops.
//
// Away from the end of the buffer a fill tops the cache up with as many
// whole bytes as fit in one word, so most codewords cost a single compare
// for their fill.  Within the last word of the buffer it loads one byte at a
// time exactly as far as asked, like aac_bits_fill, so the zero tail is
// entered and used up at the same points: positions, values and failures
// are those of the plain reader.
//
// Keep the cursor in a local variable and pass it by value to anything that
// is not inlined: once its address escapes, the compiler keeps it in memory.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "syntax/bit_reader.h"

template <class Word>
struct aac_bit_cursor {
    static constexpr int width = 8 * sizeof(Word);
    // Left-aligned.  Unlike the reader's cache, the bits below `bits` may
    // hold the start of the byte at ptr; loads OR the same values over them.
    Word cache;
    int32_t bits;               // valid bits in cache
    const uint8_t *ptr;
    const uint8_t *end;
    aac_bit_reader *reader;     // the reader this copy came from
};

using aac_wide_bits = aac_bit_cursor<uintptr_t>;

template <class Word>
inline aac_bit_cursor<Word> aac_cursor_begin(aac_bit_reader *reader)
{
    return {static_cast<Word>(static_cast<Word>(reader->cache) << (aac_bit_cursor<Word>::width - 32)),
            reader->bits, reader->ptr, reader->end, reader};
}

// The byte-at-a-time fill near the end of the buffer, with the zero tail.
template <class Word>
[[gnu::noinline]] aac_bit_cursor<Word> aac_cursor_fill_near_end(aac_bit_cursor<Word> c, int n)
{
    while (c.bits < n) {
        if (c.ptr >= c.end) {
            c.reader->ptr = c.ptr;
            aac_bits_enter_zero_tail(c.reader);
            c.ptr = c.reader->ptr;
            c.end = c.reader->end;
        }
        c.cache |= static_cast<Word>(*c.ptr++) << (c.width - 8 - c.bits);
        c.bits += 8;
    }
    return c;
}

// Makes at least n bits valid, 1 <= n <= 25.
template <class Word>
[[gnu::always_inline]] inline void aac_cursor_fill(aac_bit_cursor<Word> &c, int n)
{
    if (c.bits >= n)
        return;
    if (c.end - c.ptr >= static_cast<std::ptrdiff_t>(sizeof(Word))) {
        Word word;
        std::memcpy(&word, c.ptr, sizeof(Word));
        if constexpr (std::endian::native == std::endian::little) {
            if constexpr (sizeof(Word) == 8)
                word = __builtin_bswap64(word);
            else
                word = __builtin_bswap32(word);
        }
        c.cache |= word >> c.bits;
        const int bytes = (c.width - c.bits) >> 3;
        c.ptr += bytes;
        c.bits += 8 * bytes;
    } else {
        c = aac_cursor_fill_near_end(c, n);
    }
}

// The next n bits (1..25) after a fill of n.
template <class Word>
[[gnu::always_inline]] inline uint32_t aac_cursor_peek(const aac_bit_cursor<Word> &c, int n)
{
    return static_cast<uint32_t>(c.cache >> (c.width - n));
}

template <class Word>
[[gnu::always_inline]] inline void aac_cursor_skip(aac_bit_cursor<Word> &c, int n)
{
    c.cache <<= n;
    c.bits -= n;
}

// Hands the position back to the reader.  Whole bytes loaded beyond the
// reader's 32-bit cache are given back; they all came from the last wide
// load, so they lie in the buffer the reader is on.
template <class Word>
inline void aac_cursor_end(const aac_bit_cursor<Word> &c)
{
    int32_t bits = c.bits;
    const uint8_t *ptr = c.ptr;
    if (bits > 32) {
        const int back = (bits - 25) >> 3;
        ptr -= back;
        bits -= 8 * back;
    }
    const uint64_t top = static_cast<uint64_t>(c.cache) << (64 - c.width);
    c.reader->cache = static_cast<uint32_t>((top & ~(~uint64_t{0} >> bits)) >> 32);
    c.reader->bits = bits;
    c.reader->ptr = ptr;
}
