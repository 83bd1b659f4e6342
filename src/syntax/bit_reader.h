// The bit reader every parser reads the bitstream through: fields of 1 to 25
// bits, most significant bit first, loaded one byte at a time so that the
// caller's buffer may end at any address.  When the syntax asks for more
// than the buffer holds, eight zero bytes follow it; needing a ninth raises
// AAC_ERR_CORRUPT_FRAME.
//
// The fill and extract steps are inline: they run at every read site of the
// parsers.  A parser that reads several short fields in a row fills once for
// their total and then extracts them without further checks.
#pragma once

#include <cstdint>

namespace lumdec {

struct aac_bit_reader {
    uint32_t cache;          // loaded bits, left-aligned; bits below `bits` are zero
    int32_t bits;            // valid bits in cache, 0..32
    const uint8_t *ptr;      // next byte to load
    uintptr_t base;          // address of bit position 0, moved with the zero tail
    const uint8_t *end;      // one past the last loadable byte
};

// Moves the reader onto the eight zero bytes that follow every buffer, or
// raises AAC_ERR_CORRUPT_FRAME when it has used them up already.
[[gnu::cold]] void aac_bits_enter_zero_tail(aac_bit_reader *reader);

inline void aac_bits_init(aac_bit_reader *reader, const uint8_t *data, int32_t size)
{
    reader->cache = 0;
    reader->bits = 0;
    reader->ptr = data;
    reader->base = reinterpret_cast<uintptr_t>(data);
    reader->end = data + (size > 0 ? size : 0);
}

// Makes at least n bits valid, 1 <= n <= 25.
inline void aac_bits_fill(aac_bit_reader *reader, int n)
{
    while (reader->bits < n) {
        if (reader->ptr >= reader->end)
            aac_bits_enter_zero_tail(reader);
        reader->cache += static_cast<uint32_t>(*reader->ptr++) << (24 - reader->bits);
        reader->bits += 8;
    }
}

// The next n bits (1..25) after a fill of n, nothing consumed.
inline uint32_t aac_bits_peek(const aac_bit_reader *reader, int n)
{
    return reader->cache >> (32 - n);
}

inline void aac_bits_skip(aac_bit_reader *reader, int n)
{
    reader->cache <<= n;
    reader->bits -= n;
}

inline uint32_t aac_bits_read(aac_bit_reader *reader, int n)
{
    uint32_t value = aac_bits_peek(reader, n);
    aac_bits_skip(reader, n);
    return value;
}

// The next n bits as a two's-complement number.
inline int32_t aac_bits_read_signed(aac_bit_reader *reader, int n)
{
    int32_t value = static_cast<int32_t>(reader->cache) >> (32 - n);
    aac_bits_skip(reader, n);
    return value;
}

// Fills and reads in one step, for fields read on their own.
inline uint32_t aac_bits_get(aac_bit_reader *reader, int n)
{
    aac_bits_fill(reader, n);
    return aac_bits_read(reader, n);
}

// Bits consumed since the start of the buffer.
inline int32_t aac_bits_position(const aac_bit_reader *reader)
{
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(reader->ptr) - reader->base) * 8 -
           reader->bits;
}

// The position rounded up to a whole byte.
inline int32_t aac_bits_bytes_used(const aac_bit_reader *reader)
{
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(reader->ptr) - reader->base) -
           reader->bits / 8;
}

// Discards bits up to the next byte boundary counted from the buffer start.
inline void aac_bits_byte_align(aac_bit_reader *reader)
{
    aac_bits_skip(reader, reader->bits & 7);
}

// Reads count bytes into dst; nothing for count <= 0.
void aac_bits_read_bytes(aac_bit_reader *reader, uint8_t *dst, int32_t count);

// Skips count bytes; nothing for count <= 0.
void aac_bits_skip_bytes(aac_bit_reader *reader, int32_t count);

}  // namespace lumdec
