#include "syntax/bit_reader.h"

#include "frame/error.h"

namespace lumdec {

namespace {

// Shared by all readers; read-only.
constexpr uint8_t zero_tail[8] = {};

}  // namespace

void aac_bits_enter_zero_tail(aac_bit_reader *reader)
{
    if (reader->end == zero_tail + 8)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "read past the frame and its zero tail");
    // Move bit position 0 by as much as the read position moves, so that
    // positions keep counting from the start of the caller's buffer.
    uintptr_t consumed = reinterpret_cast<uintptr_t>(reader->end) - reader->base;
    reader->base = reinterpret_cast<uintptr_t>(zero_tail) - consumed;
    reader->ptr = zero_tail;
    reader->end = zero_tail + 8;
}

void aac_bits_read_bytes(aac_bit_reader *reader, uint8_t *dst, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        aac_bits_fill(reader, 8);
        dst[i] = static_cast<uint8_t>(aac_bits_read(reader, 8));
    }
}

void aac_bits_skip_bytes(aac_bit_reader *reader, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        aac_bits_fill(reader, 8);
        aac_bits_skip(reader, 8);
    }
}

}  // namespace lumdec
