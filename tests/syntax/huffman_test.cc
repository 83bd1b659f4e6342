// Huffman decoding against the tests' encoder: scale factor differences and
// spectral_data of every codebook with signs and escapes, with exact reader
// positions and running out of data.  (Window grouping: the conformance test.)
#include "syntax/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "syntax/scalefactor_code.h"
#include "syntax_writer.h"

using namespace lumdec;

namespace {

constexpr int32_t kUntouched = 0x5EED5EED;
// Band ends of the tests' own: narrow bands first, as in the real tables.
constexpr uint16_t kLongEnds[21] = {4,   8,   12,  16,  24,  32,  48,  64,  96,  128, 160,
                                    192, 256, 320, 384, 448, 512, 640, 768, 896, 1024};
constexpr uint16_t kShortEnds[10] = {4, 8, 12, 16, 24, 32, 48, 64, 96, 128};
constexpr aac_stream_tables kTables = {21, kLongEnds, 10, kShortEnds, 12, 7, 21, 10};

TEST(ScalefactorHuffman, EveryDifferenceRoundTripsAmongRandomNeighbours)
{
    std::mt19937 rng(20240611);
    std::vector<int> diffs;
    for (int i = 0; i < 121 * 4; i++)
        diffs.push_back(i % 121 - 60);
    std::shuffle(diffs.begin(), diffs.end(), rng);
    BitWriter out;
    std::vector<int32_t> ends;
    for (int d : diffs) {
        put_scalefactor_diff(out, d);
        ends.push_back(out.bit_count());
    }
    out.put(rng(), 32);
    aac_bit_reader r;
    aac_bits_init(&r, out.bytes().data(), static_cast<int32_t>(out.bytes().size()));
    for (size_t i = 0; i < diffs.size(); i++) {
        aac_wide_bits w = aac_cursor_begin<uintptr_t>(&r);
        ASSERT_EQ(aac_cursor_scalefactor_diff(w), diffs[i]) << "codeword " << i;
        aac_cursor_end(w);
        ASSERT_EQ(aac_bits_position(&r), ends[i]) << "codeword " << i;
    }
}

// Decodes spectral_data from an exact-size copy of size bytes (all by
// default), then expects `following` as the next 16 bits when they exist.
struct Decoded {
    aac_status status;
    std::vector<int32_t> coef = std::vector<int32_t>(1024, kUntouched);
    int32_t position = 0;
};

Decoded decode(BitWriter out, const aac_ics_info &ics, const uint32_t *sections,
               size_t size = SIZE_MAX, uint32_t following = 0xC35A)
{
    out.put(following, 16);
    size = std::min(size, out.bytes().size());
    auto data = exact_copy(out.bytes(), size);
    Decoded d;
    aac_bit_reader r;
    aac_bits_init(&r, data.get(), static_cast<int32_t>(size));
    aac_guard frame;
    d.status = frame.run([&] {
        aac_wide_bits w = aac_cursor_begin<uintptr_t>(&r);
        aac_cursor_spectral_data(w, d.coef.data(), &ics, sections, &kTables);
        aac_cursor_end(w);
        d.position = aac_bits_position(&r);
        if (size == out.bytes().size()) {
            EXPECT_EQ(aac_bits_get(&r, 16), following) << "bits after the spectral data";
        }
    });
    return d;
}

// The prefix lengths N = 4..12 in turn, each with its smallest, largest and
// a random escape word: 16 .. 8191 in all.
int32_t escaped_magnitude(std::mt19937 &rng)
{
    static int count = 0;
    const int n = 4 + count % 9, kind = count++ / 9 % 3;
    const uint32_t word = kind == 0 ? 0 : kind == 1 ? (1u << n) - 1 : rng() % (1u << n);
    return static_cast<int32_t>((1u << n) + word);
}

// The whole long window in one codebook: every codeword at least once in a
// random order, with random signs and escapes.
TEST(SpectralData, EveryCodewordOfEveryCodebookRoundTrips)
{
    std::mt19937 rng(1234);
    for (int cb = 1; cb <= 11; cb++) {
        const BookShape &shape = kBookShapes[cb];
        const int codewords = static_cast<int>(std::pow(shape.modulus(), shape.dimension));
        std::vector<int> indices;
        for (int i = 0; indices.size() < 3u * 1024 / shape.dimension; i++)
            indices.push_back(i % codewords);
        std::shuffle(indices.begin(), indices.end(), rng);
        std::vector<int32_t> coef;
        for (int index : indices)
            for (int32_t v : values_of_index(cb, index)) {
                if (cb == 11 && v == 16)
                    v = escaped_magnitude(rng);
                coef.push_back(!shape.coded_signed && rng() % 2 ? -v : v);
            }
        const uint32_t sections[1] = {(static_cast<uint32_t>(cb) << 8) + 21};
        const aac_ics_info ics = {AAC_ONLY_LONG_SEQUENCE, 0, 21, 1, {1}};
        for (size_t frame = 0; frame < 3; frame++) {
            BitWriter out;
            put_spectrum(out, coef.data() + 1024 * frame, ics, sections, kLongEnds);
            Decoded d = decode(out, ics, sections, SIZE_MAX, rng() & 0xFFFF);
            ASSERT_EQ(d.status, AAC_OK);
            ASSERT_EQ(d.coef, std::vector<int32_t>(coef.begin() + 1024 * frame,
                                                   coef.begin() + 1024 * (frame + 1)))
                << "codebook " << cb;
            EXPECT_EQ(d.position, out.bit_count()) << "codebook " << cb;
        }
    }
}

// 256 one-bit codewords of codebook 1 (each filled to 11 bits) from zero
// bytes: the last fill reaches bit 266, so 26 bytes and the 8-byte zero
// tail suffice and 25 do not.  Escapes cut short fail too.
TEST(SpectralData, RunningOutOfDataRaisesOnlyPastTheZeroTail)
{
    const aac_ics_info ics = {AAC_ONLY_LONG_SEQUENCE, 0, 21, 1, {1}};
    const uint32_t ones[1] = {(1u << 8) + 21}, escapes[1] = {(11u << 8) + 21};
    BitWriter zeros;
    for (int i = 0; i < 32 * 8 - 16; i++)
        zeros.bit(false);
    Decoded d = decode(zeros, ics, ones, 26);
    EXPECT_EQ(d.status, AAC_OK);
    EXPECT_EQ(d.position, 256);
    EXPECT_EQ(decode(zeros, ics, ones, 25).status, AAC_ERR_CORRUPT_FRAME);

    std::mt19937 rng(5);
    std::vector<int32_t> coef(1024);
    for (int32_t &v : coef)
        v = static_cast<int32_t>(rng() % 33) - 16;
    BitWriter out;
    put_spectrum(out, coef.data(), ics, escapes, kLongEnds);
    for (size_t size : {size_t{0}, out.bytes().size() / 2})
        EXPECT_EQ(decode(out, ics, escapes, size).status, AAC_ERR_CORRUPT_FRAME) << size;
}

}  // namespace
