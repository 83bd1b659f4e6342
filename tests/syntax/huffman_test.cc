// Scale factor differences and escape sequences, decoded from streams
// written with the codeword lists, with exact reader positions.
#include "syntax/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "huffman_encoder.h"
#include "syntax/huffman_tables.h"

namespace {

aac_bit_reader reader_on(const std::vector<uint8_t> &bytes)
{
    aac_bit_reader r;
    aac_bits_init(&r, bytes.data(), static_cast<int32_t>(bytes.size()));
    return r;
}

TEST(ScalefactorHuffman, ShortestCodewords)
{
    for (auto [text, diff, length] : {std::tuple{"0", 0, 1}, {"100", -1, 3}, {"1010", 1, 4}}) {
        BitWriter out;
        out.put(text);
        out.put("1111 1111 1111 1111 1111");  // an ending that could be misread
        aac_bit_reader r = reader_on(out.bytes());
        EXPECT_EQ(aac_decode_scalefactor_diff(&r), diff) << text;
        EXPECT_EQ(aac_bits_position(&r), length) << text;
    }
}

TEST(ScalefactorHuffman, EveryDifferenceRoundTripsAmongRandomNeighbours)
{
    std::mt19937 rng(20240611);
    std::vector<int> diffs(121 * 4);
    for (size_t i = 0; i < diffs.size(); i++)
        diffs[i] = static_cast<int>(i % 121) - 60;
    std::shuffle(diffs.begin(), diffs.end(), rng);
    BitWriter out;
    std::vector<int32_t> ends;
    for (int d : diffs) {
        put_scalefactor_diff(out, d);
        ends.push_back(out.bit_count());
    }
    out.put(rng(), 32);
    aac_bit_reader r = reader_on(out.bytes());
    for (size_t i = 0; i < diffs.size(); i++) {
        ASSERT_EQ(aac_decode_scalefactor_diff(&r), diffs[i]) << "codeword " << i;
        ASSERT_EQ(aac_bits_position(&r), ends[i]) << "codeword " << i;
    }
}

// A few entries of the packed layout, worked out by hand from the codewords
// 0 (difference 0), 100 (-1) and 1010 (+1) and the 19-bit all-ones codeword.
TEST(ScalefactorHuffman, PackedTableLayout)
{
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(aac_scalefactor_first[i], 0x0001);
    for (int i = 256; i < 320; i++)
        ASSERT_EQ(aac_scalefactor_first[i], 0xff03);
    for (int i = 320; i < 352; i++)
        ASSERT_EQ(aac_scalefactor_first[i], 0x0104);
    // 111111111: the last block, k = 10, behind 2 + 2 + 2 + 4 + 8 entries.
    EXPECT_EQ(aac_scalefactor_first[511], (18 << 8) | (128 + 10));
    EXPECT_EQ(aac_spectral_first_1[0], 0x0001);
    EXPECT_EQ(aac_spectral_first_3[0x7f], 0x0001);
}

TEST(EscapeSequence, KnownSequences)
{
    struct Case {
        const char *bits;
        int32_t value;
        int32_t length;
    };
    for (const Case &c : {Case{"0 0000", 16, 5}, {"0 1111", 31, 5}, {"10 00000", 32, 7},
                          {"110 111111", 127, 9}, {"1110 0000000", 128, 11},
                          {"111111110 111111111111", 8191, 21},
                          {"111111111 111111111111", 8191, 21},
                          {"111111111 000000000000", 4096, 21}}) {
        BitWriter out;
        out.put(c.bits);
        out.put("1010 1010 1010 1010 1010 1");
        aac_bit_reader r = reader_on(out.bytes());
        EXPECT_EQ(aac_decode_escape(&r), c.value) << c.bits;
        EXPECT_EQ(aac_bits_position(&r), c.length) << c.bits;
        EXPECT_EQ(aac_bits_get(&r, 8), 0xAAu) << c.bits;  // the reader goes on where it stopped
    }
}

TEST(EscapeSequence, EveryPrefixLengthRoundTrips)
{
    std::mt19937 rng(7);
    std::vector<uint32_t> values;
    for (int n = 4; n <= 12; n++) {
        values.push_back(1u << n);
        values.push_back((2u << n) - 1);
        for (int i = 0; i < 20; i++)
            values.push_back((1u << n) + rng() % (1u << n));
    }
    std::shuffle(values.begin(), values.end(), rng);
    BitWriter out;
    std::vector<int32_t> ends;
    for (uint32_t v : values) {
        put_escape(out, v);
        ends.push_back(out.bit_count());
    }
    aac_bit_reader r = reader_on(out.bytes());  // the last ones end in the zero tail
    for (size_t i = 0; i < values.size(); i++) {
        ASSERT_EQ(aac_decode_escape(&r), static_cast<int32_t>(values[i])) << i;
        ASSERT_EQ(aac_bits_position(&r), ends[i]) << i;
    }
}

}  // namespace
