// The bit reader's end: eight zero bytes after the buffer, then a raise
// when a read needs a ninth (every parser relies on both).
#include "syntax/bit_reader.h"

#include <gtest/gtest.h>

#include "bit_writer.h"
#include "frame/error.h"

namespace {

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
