// pulse_data and tns_data: field widths, band-to-coefficient resolution and
// the checks on pulse positions.
#include "syntax/pulse_tns.h"

#include <gtest/gtest.h>

#include "syntax/stream_tables.h"
#include "syntax_writer.h"

namespace {

// Band starts of the 48000 Hz long window, from the standard's table.
constexpr uint32_t band_start_48k[50] = {
    0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,
    96,  108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448,
    480, 512, 544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};
// And of its short window.
constexpr uint32_t short_start_48k[15] = {0, 4, 8, 12, 16, 20, 28, 36, 44, 56, 68, 80, 96, 112, 128};

constexpr uint32_t untouched = 0xDEADBEEF;

struct Tables48k : ::testing::Test {
    void SetUp() override { aac_fill_stream_tables(1, 3, &tables); }
    aac_stream_tables tables;
    aac_ics_info long_window{AAC_ONLY_LONG_SEQUENCE, 0, 49, 1, {1}};
    aac_ics_info short_windows{AAC_EIGHT_SHORT_SEQUENCE, 0, 14, 1, {8}};
};

using PulseData = Tables48k;

TEST_F(PulseData, PulsesAddUpTheirOffsetsFromTheStartBand)
{
    BitWriter w;
    w.put(3, 2);  // four pulses
    w.put(0, 6);
    for (uint32_t amp : {1u, 15u, 7u, 0u}) {
        w.put(0, 5);
        w.put(amp, 4);
    }
    ReaderOver r(w);
    aac_pulse_data pulse;
    ASSERT_EQ(guarded([&] { aac_parse_pulse_data(&r.reader, &long_window, &tables, &pulse); }),
              AAC_OK);
    EXPECT_EQ(pulse.number_pulse, 4u);
    EXPECT_EQ(pulse.pulse_start_sfb, 0u);
    EXPECT_EQ(pulse.pulse_packed[0], 0x10000);
    EXPECT_EQ(pulse.pulse_packed[1], 0xF0000);
    EXPECT_EQ(pulse.pulse_packed[2], 0x70000);
    EXPECT_EQ(pulse.pulse_packed[3], 0);
    EXPECT_EQ(r.bits_read(), 8 + 4 * 9);

    BitWriter two;
    two.put(1, 2);
    two.put(20, 6);
    two.put("00011 0010 11111 0001");
    ReaderOver r2(two);
    pulse.pulse_packed[2] = static_cast<int32_t>(untouched);
    ASSERT_EQ(guarded([&] { aac_parse_pulse_data(&r2.reader, &long_window, &tables, &pulse); }),
              AAC_OK);
    EXPECT_EQ(pulse.number_pulse, 2u);
    EXPECT_EQ(pulse.pulse_start_sfb, 20u);
    EXPECT_EQ(pulse.pulse_packed[0], static_cast<int32_t>((2u << 16) + band_start_48k[20] + 3));
    EXPECT_EQ(pulse.pulse_packed[1], static_cast<int32_t>((1u << 16) + band_start_48k[20] + 34));
    EXPECT_EQ(pulse.pulse_packed[2], static_cast<int32_t>(untouched));
}

TEST_F(PulseData, PositionsStayBelow1024AndBandsBelowTheLongCount)
{
    // Band 48 starts at 928; 928 + 3 x 31 = 1021.
    for (uint32_t last : {2u, 3u}) {
        BitWriter w;
        w.put(3, 2);
        w.put(48, 6);
        for (uint32_t offset : {31u, 31u, 31u, last}) {
            w.put(offset, 5);
            w.put(1, 4);
        }
        ReaderOver r(w);
        aac_pulse_data pulse;
        aac_status status =
            guarded([&] { aac_parse_pulse_data(&r.reader, &long_window, &tables, &pulse); });
        if (last == 2) {
            ASSERT_EQ(status, AAC_OK);
            EXPECT_EQ(pulse.pulse_packed[3], 0x10000 + 1023);
        } else {
            EXPECT_EQ(status, AAC_ERR_CORRUPT_FRAME);
        }
    }
    for (uint32_t start : {48u, 49u, 63u}) {
        BitWriter w;
        w.put(0, 2);
        w.put(start, 6);
        w.put(0, 9);
        ReaderOver r(w);
        aac_pulse_data pulse;
        aac_status status =
            guarded([&] { aac_parse_pulse_data(&r.reader, &long_window, &tables, &pulse); });
        EXPECT_EQ(status, start < 49 ? AAC_OK : AAC_ERR_CORRUPT_FRAME) << start;
    }
}

TEST_F(PulseData, ShortWindowsCarryNoPulses)
{
    BitWriter w;
    w.put(0, 17);
    ReaderOver r(w);
    aac_pulse_data pulse;
    EXPECT_EQ(guarded([&] { aac_parse_pulse_data(&r.reader, &short_windows, &tables, &pulse); }),
              AAC_ERR_CORRUPT_FRAME);
}

using TnsData = Tables48k;

TEST_F(TnsData, LongFiltersStackDownFromTheTopBandAndClipAtTheLimit)
{
    // n_filt 3, coef_res 1; three filters of length 10, orders 1, 0, 2.
    BitWriter w;
    w.put(3, 2);
    w.put(1, 1);
    w.put(10, 6);
    w.put(1, 5);
    w.put("1 0 0111");      // downward, uncompressed: 4-bit 7
    w.put(10, 6);
    w.put(0, 5);            // order 0: no direction, compress or coefficients
    w.put(10, 6);
    w.put(2, 5);
    w.put("0 1 101 011");   // upward, compressed: 3-bit -3, 3
    const int32_t bits = w.bit_count();
    w.put(0x1F, 5);
    ReaderOver r(w);
    aac_ics_info ics = long_window;
    ics.max_sfb = 30;  // below the TNS band limit of 40
    aac_tns_data tns;
    std::fill_n(tns.words, 8 * 28, untouched);
    ASSERT_EQ(guarded([&] { aac_parse_tns_data(&r.reader, &ics, &tables, &tns); }), AAC_OK);
    EXPECT_EQ(r.bits_read(), bits);
    EXPECT_EQ(aac_tns_n_filt(tns, 0), 3u);
    EXPECT_EQ(aac_tns_coef_bits(tns, 0), 4u);

    const aac_tns_filter &f0 = aac_tns_filter_at(tns, 0, 0);
    EXPECT_EQ(f0.bottom_sfb, 39u);
    EXPECT_EQ(f0.top_sfb, 49u);
    EXPECT_EQ(f0.start_coef, band_start_48k[30]);  // empty: both ends clipped
    EXPECT_EQ(f0.end_coef, band_start_48k[30]);
    EXPECT_EQ(f0.order, 1u);
    EXPECT_EQ(f0.direction, 1u);
    EXPECT_EQ(f0.coef[0], 7);
    EXPECT_EQ(f0.coef[1], static_cast<int32_t>(untouched));

    const aac_tns_filter &f1 = aac_tns_filter_at(tns, 0, 1);
    EXPECT_EQ(f1.bottom_sfb, 29u);
    EXPECT_EQ(f1.top_sfb, 39u);
    EXPECT_EQ(f1.start_coef, band_start_48k[29]);
    EXPECT_EQ(f1.end_coef, band_start_48k[30]);
    EXPECT_EQ(f1.order, 0u);
    EXPECT_EQ(f1.direction, untouched);

    const aac_tns_filter &f2 = aac_tns_filter_at(tns, 0, 2);
    EXPECT_EQ(f2.bottom_sfb, 19u);
    EXPECT_EQ(f2.top_sfb, 29u);
    EXPECT_EQ(f2.start_coef, band_start_48k[19]);
    EXPECT_EQ(f2.end_coef, band_start_48k[29]);
    EXPECT_EQ(f2.order, 2u);
    EXPECT_EQ(f2.direction, 0u);
    EXPECT_EQ(f2.coef[0], -3);
    EXPECT_EQ(f2.coef[1], 3);
    // The third filter starts 2 + 52 words into the data: inside slot 2.
    EXPECT_EQ(&f2.bottom_sfb, &tns.words[2 + 52]);
}

TEST_F(TnsData, OrdersAboveTheMaximumKeepOnlyTheFirstCoefficients)
{
    // Coded order 15: fifteen 3-bit coefficients are consumed, twelve kept.
    BitWriter w;
    w.put("01 0");             // one filter, coef_res 0
    w.put(60, 6);              // longer than the 49 bands: starts at band 0
    w.put(15, 5);
    w.put("0 0");
    for (int i = 0; i < 15; i++)
        w.put(static_cast<uint32_t>(i) & 7, 3);
    const int32_t bits = w.bit_count();
    w.put(0x7, 3);
    ReaderOver r(w);
    aac_tns_data tns;
    std::fill_n(tns.words, 8 * 28, untouched);
    ASSERT_EQ(guarded([&] { aac_parse_tns_data(&r.reader, &long_window, &tables, &tns); }),
              AAC_OK);
    EXPECT_EQ(r.bits_read(), bits);
    const aac_tns_filter &f = aac_tns_filter_at(tns, 0, 0);
    EXPECT_EQ(f.bottom_sfb, 0u);
    EXPECT_EQ(f.top_sfb, 49u);
    EXPECT_EQ(f.start_coef, 0u);
    EXPECT_EQ(f.end_coef, band_start_48k[40]);  // TNS reaches band 40 at most
    EXPECT_EQ(f.order, 12u);
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(f.coef[i], (i & 7) >= 4 ? (i & 7) - 8 : (i & 7)) << i;
    EXPECT_EQ(f.coef[12], static_cast<int32_t>(untouched));
}

TEST_F(TnsData, ShortWindowsUseNarrowFieldsAndTheirOwnSlots)
{
    // Window 0: no filter.  Window 1: one filter, coef_res 0, compressed:
    // 2-bit coefficients 10 = -2 and 01 = 1.  Window 2: order 7 of a short
    // window, 4-bit coefficients.  Windows 3 to 7: none.
    BitWriter w;
    w.put("0");
    w.put("1 0");
    w.put(3, 4);
    w.put(2, 3);
    w.put("1 1 10 01");
    w.put("1 1");
    w.put(15, 4);  // longer than the 14 bands
    w.put(7, 3);
    w.put("0 0 1000 0111 0000 0001 1111 0010 1001");
    w.put("00000");
    const int32_t bits = w.bit_count();
    ReaderOver r(w);
    aac_tns_data tns;
    std::fill_n(tns.words, 8 * 28, untouched);
    ASSERT_EQ(guarded([&] { aac_parse_tns_data(&r.reader, &short_windows, &tables, &tns); }),
              AAC_OK);
    EXPECT_EQ(r.bits_read(), bits);
    EXPECT_EQ(aac_tns_n_filt(tns, 0), 0u);
    EXPECT_EQ(aac_tns_coef_bits(tns, 0), untouched);

    EXPECT_EQ(aac_tns_n_filt(tns, 1), 1u);
    EXPECT_EQ(aac_tns_coef_bits(tns, 1), 3u);
    const aac_tns_filter &f1 = aac_tns_filter_at(tns, 1, 0);
    EXPECT_EQ(&f1.bottom_sfb, &tns.words[28 + 2]);
    EXPECT_EQ(f1.bottom_sfb, 11u);
    EXPECT_EQ(f1.top_sfb, 14u);
    EXPECT_EQ(f1.start_coef, short_start_48k[11]);
    EXPECT_EQ(f1.end_coef, short_start_48k[14]);
    EXPECT_EQ(f1.order, 2u);
    EXPECT_EQ(f1.direction, 1u);
    EXPECT_EQ(f1.coef[0], -2);
    EXPECT_EQ(f1.coef[1], 1);

    EXPECT_EQ(aac_tns_coef_bits(tns, 2), 4u);
    const aac_tns_filter &f2 = aac_tns_filter_at(tns, 2, 0);
    EXPECT_EQ(f2.bottom_sfb, 0u);
    EXPECT_EQ(f2.start_coef, 0u);
    EXPECT_EQ(f2.end_coef, 128u);
    EXPECT_EQ(f2.order, 7u);
    const int32_t expected[7] = {-8, 7, 0, 1, -1, 2, -7};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(f2.coef[i], expected[i]) << i;
    for (int win = 3; win < 8; win++)
        EXPECT_EQ(aac_tns_n_filt(tns, win), 0u);
}

TEST_F(TnsData, EightEmptyShortWindowsReadEightBits)
{
    BitWriter w;
    w.put(0, 8);
    w.put(0xFF, 8);
    ReaderOver r(w);
    aac_tns_data tns;
    std::fill_n(tns.words, 8 * 28, untouched);
    ASSERT_EQ(guarded([&] { aac_parse_tns_data(&r.reader, &short_windows, &tables, &tns); }),
              AAC_OK);
    EXPECT_EQ(r.bits_read(), 8);
    for (int win = 0; win < 8; win++) {
        EXPECT_EQ(aac_tns_n_filt(tns, win), 0u);
        EXPECT_EQ(aac_tns_coef_bits(tns, win), untouched);
    }
}

}  // namespace
