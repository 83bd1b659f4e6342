// spectral_data: every codeword of every codebook with signs and escapes,
// window groups, uncoded bands, exact positions and running out of data.
#include "syntax/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "frame/error.h"
#include "huffman_encoder.h"

namespace {

constexpr int32_t kUntouched = 0x5EED5EED;

// Band ends of the tests' own: narrow bands first, as in the real tables.
constexpr uint16_t kLongEnds[21] = {4,   8,   12,  16,  24,  32,  48,  64,  96,  128, 160,
                                    192, 256, 320, 384, 448, 512, 640, 768, 896, 1024};
constexpr uint16_t kShortEnds[10] = {4, 8, 12, 16, 24, 32, 48, 64, 96, 128};
constexpr aac_stream_tables kTables = {21, kLongEnds, 10, kShortEnds, 12, 7, 21, 10};

aac_ics_info long_window(uint32_t max_sfb)
{
    return {AAC_ONLY_LONG_SEQUENCE, 0, max_sfb, 1, {1}};
}

aac_ics_info short_windows(uint32_t max_sfb, std::vector<uint32_t> group_ends)
{
    aac_ics_info ics{AAC_EIGHT_SHORT_SEQUENCE, 0, max_sfb, static_cast<uint32_t>(group_ends.size()), {}};
    std::copy(group_ends.begin(), group_ends.end(), ics.window_group_end);
    return ics;
}

struct Decoded {
    std::vector<int32_t> coef = std::vector<int32_t>(1024, kUntouched);
    int32_t position = 0;
    uint32_t following = 0;  // the 16 bits the reader gives next
};

// Decodes from a stream followed by the 16 bits 0xC35A.
Decoded decode(BitWriter out, const aac_ics_info &ics, const uint32_t *sections)
{
    out.put(0xC35A, 16);
    Decoded d;
    aac_bit_reader r;
    aac_bits_init(&r, out.bytes().data(), static_cast<int32_t>(out.bytes().size()));
    aac_parse_spectral_data(&r, d.coef.data(), &ics, sections, &kTables);
    d.position = aac_bits_position(&r);
    EXPECT_TRUE(r.bits == 32 || (r.cache << r.bits) == 0) << "bits below the valid ones";
    d.following = aac_bits_get(&r, 16);
    return d;
}

TEST(SpectralData, ZeroCodewordOfCodebooks1And3)
{
    for (uint32_t cb : {1u, 3u}) {
        BitWriter out;
        out.put("0");
        const uint32_t sections[1] = {(cb << 8) + 1};
        Decoded d = decode(out, long_window(1), sections);
        EXPECT_EQ(d.position, 1) << cb;  // no sign bits for codebook 3
        EXPECT_EQ(d.following, 0xC35Au);
        EXPECT_EQ(std::vector<int32_t>(d.coef.begin(), d.coef.begin() + 5),
                  (std::vector<int32_t>{0, 0, 0, 0, kUntouched}));
    }
}

TEST(SpectralData, Codebook11EscapesOfBothValues)
{
    BitWriter out;
    out.put("00100 1 0");        // (16, 16), first negative
    out.put("0 0000 10 00101");  // 16, then 32 + 5
    const int32_t zeros[2] = {0, 0};
    put_values(out, 11, zeros);
    const uint32_t sections[1] = {(11u << 8) + 1};
    Decoded d = decode(out, long_window(1), sections);
    EXPECT_EQ(d.position, 5 + 2 + 5 + 7 + static_cast<int32_t>(kSpectralCodewords11[0].length));
    EXPECT_EQ(d.following, 0xC35Au);
    EXPECT_EQ(std::vector<int32_t>(d.coef.begin(), d.coef.begin() + 4),
              (std::vector<int32_t>{-16, 37, 0, 0}));
}

// Groups of 1, 3 and 4 windows; bands 0 and 1 (4 coefficients each) coded
// with codebook 5 in groups 0 and 1, the last group all zero.
TEST(SpectralData, ShortWindowGroupsAreDeinterleaved)
{
    uint32_t sections[48] = {};
    sections[0] = sections[16] = (5u << 8) + 2;
    sections[32] = (0u << 8) + 2;
    // Stream order: group 0 band 0 and band 1 of window 0; then band 0 of
    // windows 1, 2, 3, then band 1 of windows 1, 2, 3.
    const int starts[8] = {0, 4, 128, 256, 384, 132, 260, 388};
    BitWriter out;
    std::vector<int32_t> expected(1024, kUntouched);
    int32_t value = 0;
    for (int start : starts) {
        for (int k = 0; k < 4; k += 2) {
            const int32_t pair[2] = {value % 9 - 4, (value + 4) % 9 - 4};
            put_values(out, 5, pair);
            expected[static_cast<size_t>(start + k)] = pair[0];
            expected[static_cast<size_t>(start + k + 1)] = pair[1];
            value++;
        }
    }
    Decoded d = decode(out, short_windows(2, {1, 4, 8}), sections);
    EXPECT_EQ(d.coef, expected);
    EXPECT_EQ(d.position, out.bit_count());
    EXPECT_EQ(d.following, 0xC35Au);
}

// Bands of codebooks 0, 13, 14 and 15 and above max_sfb read nothing and
// keep their coefficients; the coded bands around them read on directly.
TEST(SpectralData, UncodedBandsReadNothingAndKeepTheirValues)
{
    const uint32_t sections[6] = {(1u << 8) + 1,  (13u << 8) + 2, (0u << 8) + 3,
                                  (14u << 8) + 4, (2u << 8) + 5,  (15u << 8) + 6};
    const int32_t band0[4] = {1, -1, 0, 1}, band4[8] = {0, 0, -1, 1, 1, 1, -1, -1};
    BitWriter out;
    put_values(out, 1, band0);
    put_values(out, 2, band4);
    put_values(out, 2, band4 + 4);
    std::vector<int32_t> expected(1024, kUntouched);
    std::copy(band0, band0 + 4, expected.begin());
    std::copy(band4, band4 + 8, expected.begin() + 16);
    Decoded d = decode(out, long_window(6), sections);
    EXPECT_EQ(d.coef, expected);
    EXPECT_EQ(d.position, out.bit_count());
    EXPECT_EQ(d.following, 0xC35Au);

    const aac_ics_info none = long_window(0);
    Decoded empty = decode(BitWriter(), none, sections);
    EXPECT_EQ(empty.position, 0);
    EXPECT_EQ(empty.coef, std::vector<int32_t>(1024, kUntouched));
}

// A random value the codebook can carry in the given codeword position.
int32_t random_magnitude_above_15(std::mt19937 &rng)
{
    const int n = 4 + static_cast<int>(rng() % 9);
    return static_cast<int32_t>((1u << n) + rng() % (1u << n));
}

// The whole long window in one codebook: every codeword at least once, in a
// random order, random signs and escapes of every prefix length.
TEST(SpectralData, EveryCodewordOfEveryCodebookRoundTrips)
{
    std::mt19937 rng(1234);
    for (int cb = 1; cb <= 11; cb++) {
        const int dim = kBookShapes[cb].dimension;
        for (int frame = 0; frame < 3; frame++) {
            std::vector<int> indices;
            while (indices.size() < static_cast<size_t>(1024 / dim))
                for (int i = 0; i < book_codewords(cb) && indices.size() < 1024u / dim; i++)
                    indices.push_back(i);
            std::shuffle(indices.begin(), indices.end(), rng);
            std::vector<int32_t> coef;
            for (int index : indices) {
                for (int32_t v : values_of_index(cb, index)) {
                    if (cb == 11 && v == 16)
                        v = random_magnitude_above_15(rng);
                    if (!kBookShapes[cb].coded_signed && rng() % 2)
                        v = -v;
                    coef.push_back(v);
                }
            }
            BitWriter out;
            const uint32_t sections[1] = {(static_cast<uint32_t>(cb) << 8) + 21};
            const aac_ics_info ics = long_window(21);
            put_spectrum(out, coef.data(), ics, sections, kLongEnds);
            Decoded d = decode(out, ics, sections);
            ASSERT_EQ(d.coef, coef) << "codebook " << cb << " frame " << frame;
            EXPECT_EQ(d.position, out.bit_count()) << "codebook " << cb;
            EXPECT_EQ(d.following, 0xC35Au) << "codebook " << cb;
        }
    }
}

// Random window sequences, groupings, sections and values, against the
// stream order of the tests' encoder.
TEST(SpectralData, RandomLayoutsRoundTrip)
{
    std::mt19937 rng(99);
    const uint32_t books[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15};
    for (int iteration = 0; iteration < 300; iteration++) {
        const bool eight_short = rng() % 2;
        const uint32_t num_swb = eight_short ? 10 : 21;
        aac_ics_info ics = long_window(rng() % (num_swb + 1));
        if (eight_short) {
            std::vector<uint32_t> ends;
            for (uint32_t w = 1; w < 8; w++)
                if (rng() % 2)
                    ends.push_back(w);
            ends.push_back(8);
            ics = short_windows(ics.max_sfb, ends);
        }
        uint32_t sections[128] = {};
        std::vector<int32_t> coef(1024, kUntouched);
        uint32_t first_window = 0;
        const uint16_t *ends = eight_short ? kShortEnds : kLongEnds;
        for (uint32_t g = 0; g < ics.num_window_groups; g++) {
            uint32_t *s = sections + 16 * g;
            for (uint32_t band = 0; band < ics.max_sfb;) {
                const uint32_t cb = books[rng() % 15];
                const uint32_t end_band = std::min<uint32_t>(ics.max_sfb, band + 1 + rng() % 4);
                *s++ = (cb << 8) + end_band;
                const int lav = kBookShapes[cb < 12 ? cb : 0].lav;
                const uint32_t lo = band ? ends[band - 1] : 0;
                for (uint32_t w = first_window; w < ics.window_group_end[g] && lav; w++) {
                    for (uint32_t k = lo; k < ends[end_band - 1]; k++) {
                        int32_t v = static_cast<int32_t>(rng() % (2 * lav + 1)) - lav;
                        if (cb == 11 && (v == 16 || v == -16))
                            v = v < 0 ? -random_magnitude_above_15(rng) : random_magnitude_above_15(rng);
                        coef[128 * w + k] = v;
                    }
                }
                band = end_band;
            }
            first_window = ics.window_group_end[g];
        }
        BitWriter out;
        put_spectrum(out, coef.data(), ics, sections, ends);
        Decoded d = decode(out, ics, sections);
        ASSERT_EQ(d.coef, coef) << "iteration " << iteration;
        ASSERT_EQ(d.position, out.bit_count()) << "iteration " << iteration;
        ASSERT_EQ(d.following, 0xC35Au) << "iteration " << iteration;
    }
}

// Copies bytes into a heap block of exactly their size, so that a read past
// the end is caught by AddressSanitizer.
aac_status decode_exact(const std::vector<uint8_t> &bytes, size_t size, const aac_ics_info &ics,
                        const uint32_t *sections, int32_t *position)
{
    std::unique_ptr<uint8_t[]> data(new uint8_t[size ? size : 1]);
    std::copy(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size), data.get());
    std::vector<int32_t> coef(1024);
    aac_bit_reader r;
    aac_bits_init(&r, data.get(), static_cast<int32_t>(size));
    aac_guard frame;
    aac_status status = frame.run([&] {
        aac_parse_spectral_data(&r, coef.data(), &ics, sections, &kTables);
    });
    *position = aac_bits_position(&r);
    return status;
}

// 256 one-bit codewords of codebook 1 (each filled to 11 bits) from zero
// bytes: the last fill reaches bit 266, so 26 bytes and the 8-byte zero
// tail suffice and 25 do not.
TEST(SpectralData, RunningOutOfDataRaisesOnlyPastTheZeroTail)
{
    const std::vector<uint8_t> zeros(32, 0);
    const uint32_t sections[1] = {(1u << 8) + 21};
    int32_t position = 0;
    EXPECT_EQ(decode_exact(zeros, 26, long_window(21), sections, &position), AAC_OK);
    EXPECT_EQ(position, 256);
    EXPECT_EQ(decode_exact(zeros, 25, long_window(21), sections, &position),
              AAC_ERR_CORRUPT_FRAME);

    std::mt19937 rng(5);
    std::vector<int32_t> coef(1024);
    for (int32_t &v : coef)
        v = static_cast<int32_t>(rng() % 33) - 16;
    BitWriter out;
    const uint32_t escapes[1] = {(11u << 8) + 21};
    put_spectrum(out, coef.data(), long_window(21), escapes, kLongEnds);
    for (size_t size : {size_t{0}, out.bytes().size() / 2})
        EXPECT_EQ(decode_exact(out.bytes(), size, long_window(21), escapes, &position),
                  AAC_ERR_CORRUPT_FRAME)
            << size;
}

}  // namespace
