// The bit reader: values and positions, the eight-byte zero tail, and the
// raise when a read needs a ninth byte past the buffer.
#include "syntax/bit_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "frame/error.h"

namespace {

// Copies data into a heap block of exactly its size, so that a read past
// the end is caught by AddressSanitizer.
struct ExactBuffer {
    explicit ExactBuffer(std::vector<uint8_t> bytes)
        : size(bytes.size()), data(new uint8_t[bytes.size() ? bytes.size() : 1])
    {
        std::copy(bytes.begin(), bytes.end(), data.get());
    }
    size_t size;
    std::unique_ptr<uint8_t[]> data;
};

TEST(BitReader, FieldsMostSignificantBitFirstWithPositions)
{
    ExactBuffer buf({0xA5, 0x3C, 0xFF, 0x01});
    aac_bit_reader r;
    aac_bits_init(&r, buf.data.get(), 4);
    aac_bits_fill(&r, 1);
    EXPECT_EQ(aac_bits_bytes_used(&r), 0);
    EXPECT_EQ(aac_bits_read(&r, 1), 1u);
    EXPECT_EQ(aac_bits_position(&r), 1);
    EXPECT_EQ(aac_bits_bytes_used(&r), 1);
    aac_bits_fill(&r, 7);
    EXPECT_EQ(aac_bits_read(&r, 7), 0x25u);
    EXPECT_EQ(aac_bits_bytes_used(&r), 1);
    aac_bits_fill(&r, 12);
    EXPECT_EQ(aac_bits_peek(&r, 12), 0x3CFu);
    EXPECT_EQ(aac_bits_read_signed(&r, 4), 3);
    EXPECT_EQ(aac_bits_read_signed(&r, 4), -4);  // 1100
    EXPECT_EQ(aac_bits_position(&r), 16);
    aac_bits_fill(&r, 9);
    EXPECT_EQ(aac_bits_read(&r, 9), 0x1FEu);
    EXPECT_EQ(aac_bits_bytes_used(&r), 4);
    aac_bits_byte_align(&r);
    EXPECT_EQ(aac_bits_position(&r), 32);
    aac_bits_byte_align(&r);  // already aligned: consumes nothing
    EXPECT_EQ(aac_bits_position(&r), 32);
}

TEST(BitReader, AFieldEndingOnTheLastByteNeverEntersTheTail)
{
    ExactBuffer buf({0x12, 0x34, 0x56});
    aac_bit_reader r;
    aac_bits_init(&r, buf.data.get(), 3);
    EXPECT_EQ(aac_bits_get(&r, 21), 0x123456u >> 3);
    EXPECT_EQ(aac_bits_get(&r, 3), 6u);
    EXPECT_EQ(r.end, buf.data.get() + 3);  // still on the caller's buffer
    EXPECT_EQ(aac_bits_bytes_used(&r), 3);
}

TEST(BitReader, EightZeroBytesFollowTheBufferThenTheReadRaises)
{
    for (size_t size : {0u, 1u, 5u}) {
        ExactBuffer buf(std::vector<uint8_t>(size, 0xFF));
        aac_bit_reader r;
        aac_bits_init(&r, buf.data.get(), static_cast<int32_t>(size));
        int64_t ones = 0, zeros = 0;
        aac_guard frame;
        aac_status status = frame.run([&] {
            for (;;) {
                aac_bits_fill(&r, 1);
                (aac_bits_read(&r, 1) ? ones : zeros)++;
            }
        });
        EXPECT_EQ(status, AAC_ERR_CORRUPT_FRAME);
        EXPECT_EQ(ones, static_cast<int64_t>(8 * size));
        EXPECT_EQ(zeros, 64);
        EXPECT_EQ(aac_bits_position(&r), static_cast<int32_t>(8 * size + 64));
    }
}

TEST(BitReader, APeekAtTheEndIsServedFromTheTailAndOnlyANinthByteRaises)
{
    ExactBuffer buf({0x80});
    aac_bit_reader r;
    aac_bits_init(&r, buf.data.get(), 1);
    aac_guard frame;
    EXPECT_EQ(frame.run([&] {
        aac_bits_fill(&r, 21);  // a Huffman decoder filling ahead
        EXPECT_EQ(aac_bits_read(&r, 1), 1u);
        aac_bits_skip_bytes(&r, 7);
        EXPECT_EQ(aac_bits_position(&r), 57);
        EXPECT_EQ(aac_bits_bytes_used(&r), 8);  // past the end: counts the tail
        aac_bits_fill(&r, 8);
        aac_bits_skip(&r, 8);
        EXPECT_EQ(aac_bits_position(&r), 65);  // 7 of the 72 bits left
    }), AAC_OK);
    // A fill of 8 bits needs a ninth byte past the end and raises, though a
    // peek would consume nothing.
    EXPECT_EQ(frame.run([&] { aac_bits_fill(&r, 8); }), AAC_ERR_CORRUPT_FRAME);
}

TEST(BitReader, LeadingBitOffsetsUpToThirtyOne)
{
    ExactBuffer buf({0x01, 0x02, 0x03, 0x04, 0x85});
    for (int offset = 0; offset < 32; offset++) {
        aac_bit_reader r;
        aac_bits_init(&r, buf.data.get(), 5);
        aac_bits_fill(&r, offset);
        aac_bits_skip(&r, offset);
        EXPECT_EQ(aac_bits_position(&r), offset);
        uint64_t all = 0x0102030485ull;
        uint32_t expected = static_cast<uint32_t>(all >> (40 - offset - 8)) & 0xFF;
        EXPECT_EQ(aac_bits_get(&r, 8), expected) << "offset " << offset;
    }
}

TEST(BitReader, ByteBlocksAreReadAndSkippedWhole)
{
    ExactBuffer buf({0xF1, 0x23, 0x45, 0x67});
    aac_bit_reader r;
    aac_bits_init(&r, buf.data.get(), 4);
    aac_bits_get(&r, 4);
    uint8_t out[3] = {};
    aac_bits_read_bytes(&r, out, 2);
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[1], 0x34);
    aac_bits_read_bytes(&r, out + 2, 0);
    aac_bits_skip_bytes(&r, -3);
    EXPECT_EQ(aac_bits_position(&r), 20);
    aac_bits_skip_bytes(&r, 1);
    EXPECT_EQ(aac_bits_get(&r, 4), 7u);
}

}  // namespace
