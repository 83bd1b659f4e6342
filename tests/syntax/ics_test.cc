// The parts of a channel stream on hand-written bit patterns: ics_info
// (limits and refusals; window grouping: the conformance streams), section
// data (escaped and zero lengths), pulse_data and tns_data (field widths,
// band-to-coefficient resolution, limits on positions, ranges and orders),
// and the element refusals of gain control, a reserved M/S mode, and
// intensity outside a common-window pair's second channel.
#include "syntax/ics.h"

#include <gtest/gtest.h>

#include <memory>

#include "syntax/channel_elements.h"
#include "syntax/pulse_data.h"
#include "syntax/tns_data.h"
#include "syntax/stream_tables.h"
#include "syntax_writer.h"

using namespace lumdec;

namespace {

constexpr uint32_t untouched = 0xDEADBEEF;

aac_ics_info ics_with(uint32_t window_sequence, uint32_t max_sfb, std::vector<uint32_t> ends)
{
    aac_ics_info ics{window_sequence, 0, max_sfb, static_cast<uint32_t>(ends.size()), {}};
    std::copy(ends.begin(), ends.end(), ics.window_group_end);
    return ics;
}

TEST(IcsInfo, FieldsLimitsGroupsAndRefusals)
{
    const struct {
        int index;
        const char *bits;  // reserved, sequence, shape, max_sfb, predictor or grouping
        aac_status status;
        std::vector<uint32_t> group_ends;
        const char *reason = "";
    } cases[] = {
        {3, "0 11 1 110001 0", AAC_OK, {1}},  // 49: the 48000 Hz band count
        {3, "0 00 0 110010 0", AAC_ERR_CORRUPT_FRAME, {}, "long max_sfb"},
        {11, "0 01 0 101000 0", AAC_OK, {1}},  // 40 at 8000 Hz
        {11, "0 01 0 101001 0", AAC_ERR_CORRUPT_FRAME, {}, "long max_sfb"},
        {3, "0 10 1 1110 1111111", AAC_OK, {8}},  // 14 short bands
        {3, "0 10 0 1111 0000000", AAC_ERR_CORRUPT_FRAME, {}, "short max_sfb"},
        {3, "1 00 0 000001 0", AAC_ERR_BAD_STREAM, {}, "ics_reserved_bit"},
        {3, "0 00 0 000001 1", AAC_ERR_BAD_STREAM, {}, "predictor"},
        {3, "0 00 0 110010 1", AAC_ERR_CORRUPT_FRAME, {}, "long max_sfb"},  // judged first
    };
    for (const auto &c : cases) {
        aac_stream_tables t;
        aac_fill_stream_tables(1, c.index, &t);
        BitWriter w;
        w.put(c.bits).put(0xFFFF, 16);
        aac_ics_info ics;
        std::fill_n(ics.window_group_end, 8, untouched);
        Parsed p = parse_bits(w, [&](aac_bit_reader *r) { aac_parse_ics_info(r, &ics, &t); });
        ASSERT_EQ(p.status, c.status) << c.bits;
        if (c.status != AAC_OK) {
            EXPECT_TRUE(refused_for(p, c.reason)) << c.bits << ": " << (p.reason ? p.reason : "");
            continue;
        }
        const uint32_t groups = ics.num_window_groups;
        EXPECT_EQ(p.bits_read, ics.window_sequence == AAC_EIGHT_SHORT_SEQUENCE ? 15 : 11) << c.bits;
        EXPECT_EQ(std::vector<uint32_t>(ics.window_group_end, ics.window_group_end + groups),
                  c.group_ends) << c.bits;
        if (groups < 8) {
            EXPECT_EQ(ics.window_group_end[groups], untouched) << c.bits;
        }
    }
}

struct Sections {
    Parsed parsed;
    uint32_t entries[128];
    uint32_t noise_used = 7, intensity_used = 7;
};

Sections parse_sections(const BitWriter &w, const aac_ics_info &ics)
{
    Sections s;
    std::fill_n(s.entries, 128, untouched);
    s.parsed = parse_bits(w, [&](aac_bit_reader *r) {
        aac_wide_bits cursor = aac_cursor_begin<uintptr_t>(r);
        aac_cursor_section_data(cursor, &ics, s.entries, &s.noise_used, &s.intensity_used);
        aac_cursor_end(cursor);
    });
    return s;
}

TEST(SectionData, EscapedLengthsAreCutAtMaxSfb)
{
    BitWriter w;
    put_section(w, 5, 67, false);  // 31 + 31 + 5, cut at 40
    Sections s = parse_sections(w, ics_with(AAC_ONLY_LONG_SEQUENCE, 40, {1}));
    ASSERT_EQ(s.parsed.status, AAC_OK);
    EXPECT_EQ(s.parsed.bits_read, 4 + 3 * 5);
    EXPECT_EQ(s.entries[0], (5u << 8) + 40);
    EXPECT_EQ(s.entries[1], untouched);

    // max_sfb 0 reads and writes nothing.
    Sections none = parse_sections(w, ics_with(AAC_EIGHT_SHORT_SEQUENCE, 0, {2, 5, 8}));
    EXPECT_EQ(none.parsed.bits_read, 0);
    EXPECT_EQ(none.noise_used + none.intensity_used, 0u);
    EXPECT_EQ(none.entries[0], untouched);
}

TEST(SectionData, ZeroLengthSectionsAreIgnoredAndCodebook12Refused)
{
    BitWriter w;
    for (uint32_t cb : {12u, 13u, 15u})
        put_section(w, cb, 0, false);
    put_section(w, 1, 5, false);
    Sections s = parse_sections(w, ics_with(AAC_ONLY_LONG_SEQUENCE, 5, {1}));
    ASSERT_EQ(s.parsed.status, AAC_OK);
    EXPECT_EQ(s.entries[0], (1u << 8) + 5);
    EXPECT_EQ(s.entries[1], untouched);
    EXPECT_EQ(s.noise_used + s.intensity_used, 0u);

    BitWriter bad;
    put_section(bad, 1, 2, false);
    put_section(bad, 12, 1, false);
    put_section(bad, 1, 2, false);
    EXPECT_EQ(parse_sections(bad, ics_with(AAC_ONLY_LONG_SEQUENCE, 5, {1})).parsed.status,
              AAC_ERR_CORRUPT_FRAME);
}

// A section of the noise codebook flags noise; a section of either
// intensity codebook (in phase or out of phase) flags intensity.
TEST(SectionData, NoiseAndBothIntensityCodebooksAreFlagged)
{
    for (uint32_t cb : {1u, 13u, 14u, 15u}) {
        BitWriter w;
        put_section(w, cb, 2, false);
        Sections s = parse_sections(w, ics_with(AAC_ONLY_LONG_SEQUENCE, 2, {1}));
        ASSERT_EQ(s.parsed.status, AAC_OK);
        EXPECT_EQ(s.noise_used, cb == 13 ? 1u : 0u) << cb;
        EXPECT_EQ(s.intensity_used, cb >= 14 ? 1u : 0u) << cb;
    }
}

struct Elements : ::testing::Test {
    void SetUp() override
    {
        aac_fill_stream_tables(1, 3, &tables);
        pair = std::make_unique<aac_channel_pair_state>();
        single = std::make_unique<aac_channel_state>();
    }
    Parsed cpe(const BitWriter &w)
    {
        return parse_bits(w, [&](aac_bit_reader *r) { aac_parse_cpe(r, pair.get(), &tables); });
    }
    Parsed sce(const BitWriter &w)
    {
        return parse_bits(w, [&](aac_bit_reader *r) { aac_parse_sce(r, single.get(), &tables); });
    }
    aac_stream_tables tables;
    std::unique_ptr<aac_channel_pair_state> pair;
    std::unique_ptr<aac_channel_state> single;
};

TEST_F(Elements, ReservedMsModeAndGainControlAreRefused)
{
    for (uint32_t ms_mask_present : {2u, 3u}) {
        BitWriter c;
        c.put("0000 1");
        put_ics_info_long(c, 0);
        c.put(ms_mask_present, 2);
        for (int ch = 0; ch < 2; ch++)
            c.put(100, 8).put(0, 3);
        EXPECT_EQ(cpe(c).status, ms_mask_present == 2 ? AAC_OK : AAC_ERR_CORRUPT_FRAME);
    }
    BitWriter w;
    w.put(0, 4).put(100, 8);
    put_ics_info_long(w, 0);
    w.put("0 0 1").put(0, 16);
    EXPECT_EQ(sce(w).status, AAC_ERR_BAD_STREAM);
    BitWriter second;
    second.put(0, 5);
    put_silent_ics(second, 100, 0);
    second.put(100, 8);
    put_ics_info_long(second, 0);
    second.put("0 0 1").put(0, 16);
    EXPECT_EQ(cpe(second).status, AAC_ERR_BAD_STREAM);
}

// One long-window stream: a band of intensity (position +1) or of zeros,
// then an empty TNS block, so that a parse that went on to the end shows in
// tns_data_present.
void put_one_band_ics(BitWriter &w, bool intensity, bool own_ics_info)
{
    w.put(100, 8);
    if (own_ics_info)
        put_ics_info_long(w, 1);
    put_section(w, intensity ? AAC_INTENSITY_HCB : AAC_ZERO_HCB, 1, false);
    w.put(intensity ? "1010 0 1 00 0" : "0 1 00 0");
}

TEST_F(Elements, IntensityOnlyInTheSecondChannelOfACommonWindowPair)
{
    BitWriter w;
    w.put(0, 4);
    put_one_band_ics(w, true, true);
    Parsed p = sce(w);
    EXPECT_EQ(p.status, AAC_ERR_CORRUPT_FRAME);
    EXPECT_EQ(p.bits_read, w.bit_count());  // refused after the whole element

    for (bool common_window : {false, true}) {
        for (int intensity_channel : {0, 1}) {
            SetUp();
            BitWriter c;
            c.put(0, 4).put(common_window, 1);
            if (common_window) {
                put_ics_info_long(c, 1);
                c.put(0, 2);
            }
            for (int ch = 0; ch < 2; ch++)
                put_one_band_ics(c, ch == intensity_channel, !common_window);
            Parsed pc = cpe(c);
            const bool allowed = common_window && intensity_channel == 1;
            EXPECT_EQ(pc.status, allowed ? AAC_OK : AAC_ERR_CORRUPT_FRAME)
                << common_window << intensity_channel;
            EXPECT_EQ(pc.bits_read, c.bit_count());
            EXPECT_EQ(pair->channel[1].tns_data_present, 1u);
            if (allowed) {
                EXPECT_EQ(pair->channel[1].scalefactors[0], 1);
            }
        }
    }
}

// Band starts of the 48000 Hz windows, from the standard's tables.
constexpr uint32_t long_start[50] = {
    0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,
    96,  108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448,
    480, 512, 544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};

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
