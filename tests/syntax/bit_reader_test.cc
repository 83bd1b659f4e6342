// The bit reader: fields, positions and byte blocks, the eight-byte zero
// tail after the buffer, and the raise when a read needs a ninth byte.
#include "syntax/bit_reader.h"

#include <gtest/gtest.h>

#include "bit_writer.h"
#include "frame/error.h"

namespace {

TEST(BitReader, FieldsMostSignificantBitFirstWithPositions)
{
    const std::vector<uint8_t> bytes = {0xA5, 0x3C, 0xFF, 0x01, 0x85};
    auto buf = exact_copy(bytes, 5);
    aac_bit_reader r;
    aac_bits_init(&r, buf.get(), 4);
    aac_bits_fill(&r, 8);
    EXPECT_EQ(aac_bits_read(&r, 1), 1u);
    EXPECT_EQ(aac_bits_bytes_used(&r), 1);
    EXPECT_EQ(aac_bits_read(&r, 7), 0x25u);
    aac_bits_fill(&r, 12);
    EXPECT_EQ(aac_bits_peek(&r, 12), 0x3CFu);
    EXPECT_EQ(aac_bits_read_signed(&r, 4), 3);
    EXPECT_EQ(aac_bits_read_signed(&r, 4), -4);
    aac_bits_fill(&r, 9);
    EXPECT_EQ(aac_bits_read(&r, 9), 0x1FEu);
    EXPECT_EQ(aac_bits_bytes_used(&r), 4);
    aac_bits_byte_align(&r);
    EXPECT_EQ(aac_bits_position(&r), 32);
    aac_bits_byte_align(&r);  // already aligned
    EXPECT_EQ(aac_bits_position(&r), 32);

    // Byte blocks after a half byte; a negative count does nothing.
    aac_bits_init(&r, buf.get(), 4);
    aac_bits_get(&r, 4);
    uint8_t out[2];
    aac_bits_read_bytes(&r, out, 2);
    EXPECT_EQ(out[0], 0x53);
    EXPECT_EQ(out[1], 0xCF);
    aac_bits_skip_bytes(&r, -3);
    aac_bits_skip_bytes(&r, 1);
    EXPECT_EQ(aac_bits_position(&r), 28);
    EXPECT_EQ(aac_bits_get(&r, 4), 1u);

    for (int offset = 0; offset < 32; offset++) {
        aac_bits_init(&r, buf.get(), 5);
        aac_bits_fill(&r, offset);
        aac_bits_skip(&r, offset);
        EXPECT_EQ(aac_bits_get(&r, 8), (0xA53CFF0185ull >> (32 - offset)) & 0xFF) << offset;
    }
}

TEST(BitReader, EightZeroBytesFollowTheBufferThenAReadRaises)
{
    for (size_t size : {0u, 1u, 5u}) {
        auto buf = exact_copy(std::vector<uint8_t>(size, 0xFF), size);
        aac_bit_reader r;
        aac_bits_init(&r, buf.get(), static_cast<int32_t>(size));
        int64_t ones = 0, zeros = 0;
        aac_guard frame;
        EXPECT_EQ(frame.run([&] {
            for (;;) {
                aac_bits_fill(&r, 1);
                (aac_bits_read(&r, 1) ? ones : zeros)++;
            }
        }), AAC_ERR_CORRUPT_FRAME);
        EXPECT_EQ(ones, static_cast<int64_t>(8 * size));
        EXPECT_EQ(zeros, 64);
    }
    // A fill reaching into the tail is served, even by a peek; one that
    // needs a ninth tail byte raises though it would consume nothing.
    auto buf = exact_copy({0x80}, 1);
    aac_bit_reader r;
    aac_bits_init(&r, buf.get(), 1);
    aac_guard frame;
    EXPECT_EQ(frame.run([&] {
        aac_bits_fill(&r, 21);
        EXPECT_EQ(aac_bits_read(&r, 1), 1u);
        aac_bits_skip_bytes(&r, 8);
        EXPECT_EQ(aac_bits_bytes_used(&r), 9);
    }), AAC_OK);
    EXPECT_EQ(frame.run([&] { aac_bits_fill(&r, 8); }), AAC_ERR_CORRUPT_FRAME);
}

}  // namespace
