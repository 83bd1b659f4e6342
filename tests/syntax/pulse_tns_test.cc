// pulse_data and tns_data: field widths, band-to-coefficient resolution and
// the limits on pulse positions, filter ranges and orders.
#include "syntax/pulse_tns.h"

#include <gtest/gtest.h>

#include "syntax/stream_tables.h"
#include "syntax_writer.h"

namespace {

// Band starts of the 48000 Hz windows, from the standard's tables.
constexpr uint32_t long_start[50] = {
    0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,
    96,  108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448,
    480, 512, 544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};

constexpr uint32_t untouched = 0xDEADBEEF;

struct At48k : ::testing::Test {
    void SetUp() override
    {
        aac_fill_stream_tables(1, 3, &tables);
        std::fill_n(tns.words, 8 * 28, untouched);
    }
    Parsed pulses(const char *bits, uint32_t window_sequence = AAC_ONLY_LONG_SEQUENCE)
    {
        BitWriter w;
        w.put(bits);
        aac_ics_info ics{window_sequence, 0, 49, 1, {1}};
        return parse_bits(w, [&](aac_bit_reader *r) { aac_parse_pulse_data(r, &ics, &tables, &pulse); });
    }
    // Parses w and expects exactly its bits to be read.
    void filters(BitWriter w, uint32_t window_sequence, uint32_t max_sfb)
    {
        const int32_t bits = w.bit_count();
        w.put(0x7, 3);
        aac_ics_info ics{window_sequence, 0, max_sfb, 1, {8}};
        EXPECT_EQ(parse_bits(w, [&](aac_bit_reader *r) { aac_parse_tns_data(r, &ics, &tables, &tns); }).bits_read,
                  bits);
    }
    aac_stream_tables tables;
    aac_pulse_data pulse;
    aac_tns_data tns;
};

TEST_F(At48k, PulsesAddUpTheirOffsetsFromTheStartBand)
{
    pulse.pulse_packed[2] = 99;
    ASSERT_EQ(pulses("01 010100 00011 0010 11111 0001").status, AAC_OK);  // band 20: offsets 3, 31
    EXPECT_EQ(pulse.number_pulse, 2u);
    EXPECT_EQ(pulse.pulse_packed[0], static_cast<int32_t>((2u << 16) + long_start[20] + 3));
    EXPECT_EQ(pulse.pulse_packed[1], static_cast<int32_t>((1u << 16) + long_start[20] + 34));
    EXPECT_EQ(pulse.pulse_packed[2], 99);

    // Band 48 starts at 928: 928 + 3 x 31 + 2 is the last coefficient.
    ASSERT_EQ(pulses("11 110000 11111 0001 11111 0001 11111 0001 00010 0001").status, AAC_OK);
    EXPECT_EQ(pulse.pulse_packed[3], 0x10000 + 1023);
    EXPECT_EQ(pulses("11 110000 11111 0001 11111 0001 11111 0001 00011 0001").status,
              AAC_ERR_CORRUPT_FRAME);
    EXPECT_EQ(pulses("00 110000 00000 0000").status, AAC_OK);
    EXPECT_EQ(pulses("00 110001 00000 0000").status, AAC_ERR_CORRUPT_FRAME);  // band 49
    EXPECT_EQ(pulses("00 000000 00000 0000", AAC_EIGHT_SHORT_SEQUENCE).status, AAC_ERR_CORRUPT_FRAME);
}

TEST_F(At48k, LongTnsFiltersStackDownFromTheTopBandAndClipAtTheLimit)
{
    // Three filters of length 10 with orders 1, 0 and 2 at max_sfb 30 (the
    // TNS band limit, 40, lies above).
    BitWriter w;
    w.put("11 1");                      // n_filt 3, coef_res 1
    w.put("001010 00001 1 0 0111");     // downward, 4-bit coefficient 7
    w.put("001010 00000");              // order 0: nothing more
    w.put("001010 00010 0 1 101 011");  // compressed: 3-bit -3, 3
    filters(w, AAC_ONLY_LONG_SEQUENCE, 30);
    EXPECT_EQ(aac_tns_n_filt(tns, 0), 3u);
    EXPECT_EQ(aac_tns_coef_bits(tns, 0), 4u);
    const uint32_t expected[3][6] = {
        {39, 49, long_start[30], long_start[30], 1, 1},  // empty
        {29, 39, long_start[29], long_start[30], 0, untouched},
        {19, 29, long_start[19], long_start[29], 2, 0},
    };
    for (int f = 0; f < 3; f++) {
        const aac_tns_filter &got = aac_tns_filter_at(tns, 0, f);
        const uint32_t fields[6] = {got.bottom_sfb, got.top_sfb, got.start_coef, got.end_coef, got.order, got.direction};
        EXPECT_EQ(std::vector<uint32_t>(fields, fields + 6), std::vector<uint32_t>(expected[f], expected[f] + 6)) << f;
    }
    EXPECT_EQ(aac_tns_filter_at(tns, 0, 0).coef[0], 7);
    EXPECT_EQ(aac_tns_filter_at(tns, 0, 2).coef[0], -3);
    EXPECT_EQ(aac_tns_filter_at(tns, 0, 2).coef[1], 3);
}

TEST_F(At48k, TnsOrdersAboveTheMaximumKeepOnlyTheFirstCoefficients)
{
    // Coded order 15 with 3-bit coefficients: fifteen are consumed, twelve
    // kept.  A length past the band count starts the filter at band 0.
    BitWriter w;
    w.put("01 0 111100 01111 0 0");
    for (int i = 0; i < 15; i++)
        w.put(static_cast<uint32_t>(i) & 7, 3);
    filters(w, AAC_ONLY_LONG_SEQUENCE, 49);
    const aac_tns_filter &f = aac_tns_filter_at(tns, 0, 0);
    EXPECT_EQ(f.start_coef, 0u);
    EXPECT_EQ(f.end_coef, long_start[40]);
    EXPECT_EQ(f.order, 12u);
    const int32_t kept[13] = {0, 1, 2, 3, -4, -3, -2, -1, 0, 1, 2, 3, int32_t(untouched)};
    EXPECT_TRUE(std::equal(kept, kept + 13, f.coef));
}

}  // namespace
