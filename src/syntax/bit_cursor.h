// A register-wide working copy of a bit reader for the parsers' hot loops.
//
// The cache holds the valid bits left-aligned, then a single set bit (the
// marker), then zeros, so the number of valid bits is implied by the
// marker's position: consuming bits is a single shift, with no count to
// keep up to date, and a fill test is one AND.
//
// Away from the end of the buffer a fill tops the cache up with as many
// whole bytes as fit before the marker, from one word-wide load that lies
// inside the buffer.  Within the last word of the buffer it loads one byte
// at a time, and enters and uses up the zero tail exactly when
// aac_bits_fill would, so positions, values and failures are those of the
// plain reader.  Bytes loaded ahead never change these: a fill fails only
// when the data it asks for reaches past the tail.
//
// Keep the cursor in a local variable, and hand it to anything that is not
// inlined by value, or by reference to a function that works on a local
// copy: once its address escapes, the compiler keeps it in memory.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "syntax/bit_reader.h"

namespace lumdec {

template <class Word>
struct aac_bit_cursor {
    static constexpr int width = 8 * sizeof(Word);
    // The widest fill: a byte load must still leave room for the marker.
    static constexpr int max_fill = width == 64 ? 25 : 24;
    Word cache;                 // valid bits, the marker, zeros
    const uint8_t *ptr;         // next byte to load
    uintptr_t last_word;        // the last address a whole word can be loaded from
    aac_bit_reader *reader;     // the reader this copy came from
};

template <class Word>
[[gnu::always_inline]] inline uintptr_t aac_cursor_last_word(const uint8_t *end)
{
    return reinterpret_cast<uintptr_t>(end) - sizeof(Word);
}

using aac_wide_bits = aac_bit_cursor<uintptr_t>;

// Bits below the marker; the cache is never zero.
template <class Word>
[[gnu::always_inline]] inline unsigned aac_cursor_zeros(const aac_bit_cursor<Word> &c)
{
    if constexpr (sizeof(Word) == 8)
        return static_cast<unsigned>(__builtin_ctzll(c.cache));
    else
        return static_cast<unsigned>(__builtin_ctz(c.cache));
}

template <class Word>
[[gnu::always_inline]] inline int aac_cursor_bits(const aac_bit_cursor<Word> &c)
{
    return c.width - 1 - static_cast<int>(aac_cursor_zeros(c));
}

template <class Word>
inline aac_bit_cursor<Word> aac_cursor_begin(aac_bit_reader *reader)
{
    constexpr int width = aac_bit_cursor<Word>::width;
    int bits = reader->bits;
    const uint8_t *ptr = reader->ptr;
    uint32_t cache = reader->cache;
    if (bits > width - 8) {
        // A 32-bit word cannot take a full reader cache and the marker: give
        // the last byte back.  It was loaded from the buffer the reader is
        // on (the reader loads right after it enters the tail).
        bits -= 8;
        ptr -= 1;
        cache &= ~(~uint32_t{0} >> bits);
    }
    const Word top = static_cast<Word>(static_cast<uint64_t>(cache) << 32 >> (64 - width));
    return {static_cast<Word>(top | Word{1} << (width - 1 - bits)), ptr,
            aac_cursor_last_word<Word>(reader->end), reader};
}

// The byte-at-a-time fill near the end of the buffer, with the zero tail.
// While it stays on the caller's buffer it also takes the bytes that follow
// up to the end, as a wide load would, so that the last codewords of a
// frame do not come here one by one.
template <class Word>
[[gnu::noinline]] aac_bit_cursor<Word> aac_cursor_fill_near_end(aac_bit_cursor<Word> c, int n)
{
    aac_bit_reader *reader = c.reader;
    int bits = aac_cursor_bits(c);
    Word data = c.cache & (c.cache - 1);
    bool on_buffer = true;
    while (bits < n) {
        if (c.ptr >= reader->end) {
            reader->ptr = c.ptr;
            aac_bits_enter_zero_tail(reader);
            c.ptr = reader->ptr;
            c.last_word = aac_cursor_last_word<Word>(reader->end);
            on_buffer = false;
        }
        data |= static_cast<Word>(*c.ptr++) << (c.width - 8 - bits);
        bits += 8;
    }
    for (; on_buffer && bits <= c.width - 9 && c.ptr < reader->end; bits += 8)
        data |= static_cast<Word>(*c.ptr++) << (c.width - 8 - bits);
    c.cache = data | Word{1} << (c.width - 1 - bits);
    return c;
}

// Makes at least n bits valid, 1 <= n <= max_fill.
template <class Word>
[[gnu::always_inline]] inline void aac_cursor_fill(aac_bit_cursor<Word> &c, int n)
{
    // The marker lies among the low width - n bits unless fewer than n
    // bits are valid.
    if (c.cache & ((Word{1} << (c.width - n)) - 1))
        return;
    if (reinterpret_cast<uintptr_t>(c.ptr) <= c.last_word) {
        Word word;
        std::memcpy(&word, c.ptr, sizeof(Word));
        if constexpr (std::endian::native == std::endian::little) {
            if constexpr (sizeof(Word) == 8)
                word = __builtin_bswap64(word);
            else
                word = __builtin_bswap32(word);
        }
        // zeros = width - 1 - valid bits: the whole bytes that fit in front
        // of the marker, and below them where the marker goes next.
        // The word's first bit lands on the marker: flipped first, it comes
        // out right from the XOR.
        const unsigned zeros = aac_cursor_zeros(c);
        const Word data = c.cache ^ (word ^ Word{1} << (c.width - 1)) >> (~zeros & (c.width - 1));
        const unsigned marker = zeros & 7;
        c.cache = ((data >> marker) | 1) << marker;
        c.ptr += zeros >> 3;
    } else {
        c = aac_cursor_fill_near_end(c, n);
    }
}

// The next n bits (1..max_fill) after a fill of n.
template <class Word>
[[gnu::always_inline]] inline uint32_t aac_cursor_peek(const aac_bit_cursor<Word> &c, int n)
{
    return static_cast<uint32_t>(c.cache >> (c.width - n));
}

template <class Word>
[[gnu::always_inline]] inline void aac_cursor_skip(aac_bit_cursor<Word> &c, int n)
{
    c.cache <<= n;
}

template <class Word>
[[gnu::always_inline]] inline uint32_t aac_cursor_read(aac_bit_cursor<Word> &c, int n)
{
    const uint32_t value = aac_cursor_peek(c, n);
    aac_cursor_skip(c, n);
    return value;
}

// Fills and reads in one step, for fields read on their own.
template <class Word>
[[gnu::always_inline]] inline uint32_t aac_cursor_get(aac_bit_cursor<Word> &c, int n)
{
    aac_cursor_fill(c, n);
    return aac_cursor_read(c, n);
}

// The top bit of the cache as a mask: all ones when it is set.
template <class Word>
[[gnu::always_inline]] inline int32_t aac_cursor_top_mask(const aac_bit_cursor<Word> &c)
{
    using Signed = std::make_signed_t<Word>;
    return static_cast<int32_t>(static_cast<Signed>(c.cache) >> (c.width - 1));
}

// Hands the position back to the reader.  Whole bytes loaded beyond the
// reader's 32-bit cache are given back; they all came from the last wide
// load, so they lie in the buffer the reader is on.
template <class Word>
inline void aac_cursor_end(const aac_bit_cursor<Word> &c)
{
    int32_t bits = aac_cursor_bits(c);
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

}  // namespace lumdec
