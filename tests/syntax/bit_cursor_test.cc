// The plain reader's end: eight zero bytes after the buffer, then a raise
// when a read needs a ninth.  The register-wide cursor against the reader:
// the same values, positions and failure point for any sequence of fills,
// peeks and skips, with hand-backs in between, for 32- and 64-bit words, on
// exact-size heap buffers (AddressSanitizer sees any read past them).
#include "syntax/bit_cursor.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "frame/error.h"
#include "bit_writer.h"

using namespace lumdec;

namespace {

struct Step {
    int fill, consume;  // consume <= fill
};

struct Trace {
    std::vector<uint32_t> peeks;
    std::vector<int32_t> positions;
    aac_status status = AAC_OK;
};

// Runs the steps on the plain reader (every = 0) or on a cursor that hands
// back to the reader and starts anew after every `every` steps.
template <class Word>
Trace run_steps(const uint8_t *data, int32_t size, const std::vector<Step> &steps, int every)
{
    Trace t;
    aac_bit_reader r;
    aac_bits_init(&r, data, size);
    aac_guard frame;
    t.status = frame.run([&] {
        aac_bit_cursor<Word> c = aac_cursor_begin<Word>(&r);
        for (const Step &s : steps) {
            if (every == 0) {
                aac_bits_fill(&r, s.fill);
                t.peeks.push_back(aac_bits_peek(&r, s.fill));
                aac_bits_skip(&r, s.consume);
                t.positions.push_back(aac_bits_position(&r));
                continue;
            }
            aac_cursor_fill(c, s.fill);
            t.peeks.push_back(aac_cursor_peek(c, s.fill));
            aac_cursor_skip(c, s.consume);
            aac_bit_reader copy = r;  // the position if the cursor handed back now
            copy.ptr = c.ptr;
            copy.bits = aac_cursor_bits(c);
            t.positions.push_back(aac_bits_position(&copy));
            if (t.peeks.size() % every == 0) {
                aac_cursor_end(c);
                EXPECT_TRUE(r.bits == 32 || (r.cache << r.bits) == 0);
                EXPECT_EQ(aac_bits_position(&r), t.positions.back());
                c = aac_cursor_begin<Word>(&r);
            }
        }
    });
    return t;
}

template <class Word>
void compare_with_reader(uint32_t seed)
{
    std::mt19937 rng(seed);
    for (int run = 0; run < 400; run++) {
        const int32_t size = static_cast<int32_t>(rng() % 40);
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        for (uint8_t &b : bytes)
            b = static_cast<uint8_t>(rng());
        const auto buffer = exact_copy(bytes, bytes.size());
        std::vector<Step> steps(60);
        for (Step &s : steps) {
            s.fill = 1 + static_cast<int>(rng() % aac_bit_cursor<Word>::max_fill);
            s.consume = static_cast<int>(rng() % (s.fill + 1));
        }
        const Trace want = run_steps<Word>(buffer.get(), size, steps, 0);
        const Trace got = run_steps<Word>(buffer.get(), size, steps, 1 + static_cast<int>(rng() % 8));
        ASSERT_EQ(got.status, want.status) << "run " << run;
        ASSERT_EQ(got.peeks, want.peeks) << "run " << run;
        ASSERT_EQ(got.positions, want.positions) << "run " << run;
    }
}

TEST(BitCursor, MatchesTheReaderWith32And64BitWords)
{
    compare_with_reader<uint32_t>(31);
    compare_with_reader<uint64_t>(64);
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
