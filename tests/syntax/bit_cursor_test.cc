// The plain reader's end: eight zero bytes after the buffer, then a raise
// when a read needs a ninth.  The register-wide cursor against the reader:
// the same values, positions and failure point for any sequence of fills,
// peeks and skips, with hand-backs in between, for 32- and 64-bit words, on
// buffers that end where an unreadable page begins.
#include "syntax/bit_cursor.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <random>
#include <vector>

#include "frame/error.h"
#include "bit_writer.h"

using namespace lumdec;

namespace {

// size bytes that end where an unreadable page begins.
struct PageEndBuffer {
#ifdef _WIN32
    explicit PageEndBuffer(size_t size) : page(4096)
    {
        base = static_cast<uint8_t *>(
            VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        EXPECT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
        data = base + page - size;
    }
    ~PageEndBuffer() { VirtualFree(base, 0, MEM_RELEASE); }
#else
    explicit PageEndBuffer(size_t size) : page(static_cast<size_t>(sysconf(_SC_PAGESIZE)))
    {
        base = static_cast<uint8_t *>(
            mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_EQ(mprotect(base + page, page, PROT_NONE), 0);
        data = base + page - size;
    }
    ~PageEndBuffer() { munmap(base, 2 * page); }
#endif
    size_t page;
    uint8_t *base, *data;
};

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
        PageEndBuffer buffer(static_cast<size_t>(size));
        for (int32_t i = 0; i < size; i++)
            buffer.data[i] = static_cast<uint8_t>(rng());
        std::vector<Step> steps(60);
        for (Step &s : steps) {
            s.fill = 1 + static_cast<int>(rng() % aac_bit_cursor<Word>::max_fill);
            s.consume = static_cast<int>(rng() % (s.fill + 1));
        }
        const Trace want = run_steps<Word>(buffer.data, size, steps, 0);
        const Trace got = run_steps<Word>(buffer.data, size, steps, 1 + static_cast<int>(rng() % 8));
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
