// ics_info with window grouping, section data, scale factor data and the
// M/S mask, on hand-written bit patterns.
#include "syntax/ics.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "syntax/stream_tables.h"
#include "syntax_writer.h"

namespace {

constexpr uint32_t untouched = 0xDEADBEEF;

aac_stream_tables tables_for(int sampling_frequency_index)
{
    aac_stream_tables t;
    aac_fill_stream_tables(1, sampling_frequency_index, &t);
    return t;
}

aac_ics_info long_ics(uint32_t max_sfb)
{
    return {AAC_ONLY_LONG_SEQUENCE, 0, max_sfb, 1, {1}};
}

aac_ics_info short_ics(uint32_t max_sfb, std::vector<uint32_t> group_ends)
{
    aac_ics_info ics{AAC_EIGHT_SHORT_SEQUENCE, 0, max_sfb,
                     static_cast<uint32_t>(group_ends.size()), {}};
    for (size_t g = 0; g < group_ends.size(); g++)
        ics.window_group_end[g] = group_ends[g];
    return ics;
}

TEST(IcsInfo, LongWindowsTakeMaxSfbUpToTheBandCount)
{
    // 48000 Hz: 49 long bands; 8000 Hz: 40.
    for (auto [index, bands] : {std::pair{3, 49u}, std::pair{11, 40u}}) {
        aac_stream_tables t = tables_for(index);
        for (uint32_t max_sfb : {0u, bands, bands + 1}) {
            BitWriter w;
            put_ics_info_long(w, max_sfb, AAC_LONG_STOP_SEQUENCE, 1);
            w.put(0x5, 3);
            ReaderOver r(w);
            aac_ics_info ics;
            std::fill_n(ics.window_group_end, 8, untouched);
            aac_status status = guarded([&] { aac_parse_ics_info(&r.reader, &ics, &t); });
            if (max_sfb > bands) {
                EXPECT_EQ(status, AAC_ERR_CORRUPT_FRAME) << max_sfb;
                continue;
            }
            ASSERT_EQ(status, AAC_OK) << max_sfb;
            EXPECT_EQ(ics.window_sequence, AAC_LONG_STOP_SEQUENCE);
            EXPECT_EQ(ics.window_shape, 1u);
            EXPECT_EQ(ics.max_sfb, max_sfb);
            EXPECT_EQ(ics.num_window_groups, 1u);
            EXPECT_EQ(ics.window_group_end[0], 1u);
            EXPECT_EQ(ics.window_group_end[1], untouched);
            EXPECT_EQ(r.bits_read(), 11);
        }
    }
}

TEST(IcsInfo, ReservedBitAndPredictionAreRefused)
{
    aac_stream_tables t = tables_for(3);
    auto parse = [&](const std::string &bits) {
        BitWriter w;
        w.put(bits.c_str());
        w.put(0, 16);
        ReaderOver r(w);
        aac_ics_info ics;
        return guarded([&] { aac_parse_ics_info(&r.reader, &ics, &t); });
    };
    //          res seq shape max_sfb pred
    EXPECT_EQ(parse("1   00  0     000001 0"), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(parse("1   10  0     0001 1111111"), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(parse("0   00  0     000001 1"), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(parse("0   01  0     000001 1"), AAC_ERR_BAD_STREAM);
    // max_sfb is judged before the predictor flag is read.
    EXPECT_EQ(parse("0   00  0     110010 1"), AAC_ERR_CORRUPT_FRAME);
}

TEST(IcsInfo, ShortWindowGroupsCloseAtEveryZeroBit)
{
    struct Case {
        uint32_t grouping;
        std::vector<uint32_t> ends;
    };
    const Case cases[] = {
        {0b1111111, {8}},
        {0b0000000, {1, 2, 3, 4, 5, 6, 7, 8}},
        {0b0110111, {1, 4, 8}},
        {0b1000000, {2, 3, 4, 5, 6, 7, 8}},
        {0b1111110, {7, 8}},
    };
    aac_stream_tables t = tables_for(3);
    for (const Case &c : cases) {
        BitWriter w;
        put_ics_info_short(w, 14, c.grouping, 1);
        ReaderOver r(w);
        aac_ics_info ics;
        std::fill_n(ics.window_group_end, 8, untouched);
        ASSERT_EQ(guarded([&] { aac_parse_ics_info(&r.reader, &ics, &t); }), AAC_OK);
        EXPECT_EQ(ics.window_sequence, AAC_EIGHT_SHORT_SEQUENCE);
        EXPECT_EQ(ics.window_shape, 1u);
        EXPECT_EQ(ics.max_sfb, 14u);
        ASSERT_EQ(ics.num_window_groups, c.ends.size()) << c.grouping;
        for (size_t g = 0; g < c.ends.size(); g++)
            EXPECT_EQ(ics.window_group_end[g], c.ends[g]) << c.grouping;
        EXPECT_EQ(r.bits_read(), 15);
    }
    BitWriter w;
    put_ics_info_short(w, 15, 0);  // 14 short bands at 48000 Hz
    ReaderOver r(w);
    aac_ics_info ics;
    EXPECT_EQ(guarded([&] { aac_parse_ics_info(&r.reader, &ics, &t); }), AAC_ERR_CORRUPT_FRAME);
}

struct SectionResult {
    aac_status status;
    int32_t bits_read;
    uint32_t sections[128];
    uint32_t noise_used = 7, intensity_used = 7;
};

SectionResult parse_sections(const BitWriter &w, const aac_ics_info &ics)
{
    SectionResult result;
    std::fill_n(result.sections, 128, untouched);
    ReaderOver r(w);
    result.status = guarded([&] {
        aac_parse_section_data(&r.reader, &ics, result.sections, &result.noise_used,
                               &result.intensity_used);
    });
    result.bits_read = r.bits_read();
    return result;
}

TEST(SectionData, MaxSfbZeroReadsAndWritesNothing)
{
    for (const aac_ics_info &ics : {long_ics(0), short_ics(0, {2, 5, 8})}) {
        BitWriter w;
        w.put(0xFFFF, 16);
        SectionResult s = parse_sections(w, ics);
        ASSERT_EQ(s.status, AAC_OK);
        EXPECT_EQ(s.bits_read, 0);
        EXPECT_EQ(s.noise_used, 0u);
        EXPECT_EQ(s.intensity_used, 0u);
        for (uint32_t entry : s.sections)
            EXPECT_EQ(entry, untouched);
    }
}

TEST(SectionData, EscapedLengthsAreCutAtMaxSfb)
{
    BitWriter w;
    put_section(w, 5, 67, false);  // 31 + 31 + 5
    w.put(0xF, 4);
    SectionResult s = parse_sections(w, long_ics(40));
    ASSERT_EQ(s.status, AAC_OK);
    EXPECT_EQ(s.sections[0], (5u << 8) + 40);
    EXPECT_EQ(s.sections[1], untouched);
    EXPECT_EQ(s.bits_read, 4 + 3 * 5);

    // Short windows: 3-bit lengths with escape 7; group 1 starts at 16.
    BitWriter ws;
    put_section(ws, 3, 16, true);  // 7 + 7 + 2, cut at 10
    put_section(ws, 0, 4, true);
    put_section(ws, 13, 6, true);
    SectionResult ss = parse_sections(ws, short_ics(10, {3, 8}));
    ASSERT_EQ(ss.status, AAC_OK);
    EXPECT_EQ(ss.sections[0], (3u << 8) + 10);
    EXPECT_EQ(ss.sections[1], untouched);
    EXPECT_EQ(ss.sections[16], 4u);
    EXPECT_EQ(ss.sections[17], (13u << 8) + 10);
    EXPECT_EQ(ss.sections[18], untouched);
    EXPECT_EQ(ss.bits_read, (4 + 9) + 7 + 7);
    EXPECT_EQ(ss.noise_used, 1u);
    EXPECT_EQ(ss.intensity_used, 0u);
}

TEST(SectionData, ZeroLengthSectionsAreIgnoredWhateverTheirCodebook)
{
    BitWriter w;
    put_section(w, 12, 0, false);
    put_section(w, 13, 0, false);
    put_section(w, 15, 0, false);
    put_section(w, 1, 5, false);
    SectionResult s = parse_sections(w, long_ics(5));
    ASSERT_EQ(s.status, AAC_OK);
    EXPECT_EQ(s.sections[0], (1u << 8) + 5);
    EXPECT_EQ(s.sections[1], untouched);
    EXPECT_EQ(s.noise_used, 0u);
    EXPECT_EQ(s.intensity_used, 0u);

    BitWriter bad;
    put_section(bad, 1, 2, false);
    put_section(bad, 12, 1, false);
    put_section(bad, 1, 2, false);
    EXPECT_EQ(parse_sections(bad, long_ics(5)).status, AAC_ERR_CORRUPT_FRAME);
}

TEST(SectionData, ALongWindowFillsEntriesPastIndex16AndSetsTheFlags)
{
    for (uint32_t intensity_book : {14u, 15u}) {
        BitWriter w;
        std::vector<uint32_t> expected;
        for (uint32_t b = 0; b < 49; b++) {
            uint32_t codebook = b == 20 ? intensity_book : b == 30 ? 13 : b % 12;
            put_section(w, codebook, 1, false);
            expected.push_back((codebook << 8) + b + 1);
        }
        SectionResult s = parse_sections(w, long_ics(49));
        ASSERT_EQ(s.status, AAC_OK);
        for (uint32_t b = 0; b < 49; b++)
            EXPECT_EQ(s.sections[b], expected[b]) << b;
        EXPECT_EQ(s.sections[49], untouched);
        EXPECT_EQ(s.noise_used, 1u);
        EXPECT_EQ(s.intensity_used, 1u);
        EXPECT_EQ(s.bits_read, 49 * 9);
    }
}

TEST(ScaleFactorData, SilentBandsReadNothingAndTheFirstNoiseBandNineBits)
{
    // Zero bands get no value.
    BitWriter w;
    w.put(0x1FF, 9);
    ReaderOver r(w);
    aac_ics_info ics = short_ics(6, {4, 8});
    uint32_t sections[128];
    sections[0] = 6;
    sections[16] = 6;
    int32_t sf[128];
    std::fill_n(sf, 128, 12345);
    ASSERT_EQ(guarded([&] { aac_parse_scale_factor_data(&r.reader, &ics, 100, sf, sections); }),
              AAC_OK);
    EXPECT_EQ(r.bits_read(), 0);
    for (int32_t v : sf)
        EXPECT_EQ(v, 12345);

    // One noise band: global_gain - 90 + (9-bit value - 256).
    aac_ics_info one = long_ics(3);
    sections[0] = 2;
    sections[1] = (13u << 8) + 3;
    BitWriter wn;
    wn.put(300, 9);
    ReaderOver rn(wn);
    ASSERT_EQ(guarded([&] { aac_parse_scale_factor_data(&rn.reader, &one, 120, sf, sections); }),
              AAC_OK);
    EXPECT_EQ(sf[2], 120 - 90 + (300 - 256));
    EXPECT_EQ(sf[0], 12345);
    EXPECT_EQ(sf[3], 12345);
    EXPECT_EQ(rn.bits_read(), 9);
}

TEST(ScaleFactorData, RunningValuesPerCodebookCarryAcrossGroups)
{
    // Group 0: books 1, 1, 13, 15; group 1: books 13, 13, 14, 5.
    aac_ics_info ics = short_ics(4, {3, 8});
    uint32_t sections[128];
    sections[0] = (1u << 8) + 2;
    sections[1] = (13u << 8) + 3;
    sections[2] = (15u << 8) + 4;
    sections[16] = (13u << 8) + 2;
    sections[17] = (14u << 8) + 3;
    sections[18] = (5u << 8) + 4;
    BitWriter w;
    w.put("1010");     // +1
    w.put("100");      // -1
    w.put(250, 9);     // first noise band
    w.put("1010");     // intensity +1
    w.put("0");        // noise 0: a difference now, not 9 bits
    put_scalefactor_diff(w, -7);
    put_scalefactor_diff(w, 3);
    w.put("100");      // -1
    const int32_t bits = w.bit_count();
    w.put(0x1FF, 9);
    ReaderOver r(w);
    int32_t sf[128];
    std::fill_n(sf, 128, 12345);
    ASSERT_EQ(guarded([&] { aac_parse_scale_factor_data(&r.reader, &ics, 100, sf, sections); }),
              AAC_OK);
    EXPECT_EQ(r.bits_read(), bits);
    const int32_t expected[2][5] = {{1, 0, 10 + (250 - 256), 1, 12345},
                                    {4, 4 - 7, 1 + 3, 0 - 1, 12345}};
    for (int g = 0; g < 2; g++)
        for (int b = 0; b < 5; b++)
            EXPECT_EQ(sf[16 * g + b], expected[g][b]) << g << " " << b;
}

TEST(Ics, AWholeChannelLandsInItsRecord)
{
    aac_stream_tables t = tables_for(3);
    auto channel = std::make_unique<aac_channel_state>();
    std::fill_n(channel->coef, 1024, 7777);
    // Bands 0-2 book 5, 3-4 zero, 5-6 book 11, 7 noise, at 48000 Hz
    // coefficients 0-12, 12-20, 20-28 and 28-32.
    const uint32_t sections[3] = {(5u << 8) + 3, 5, (11u << 8) + 7};
    int32_t coef[1024] = {};
    for (int k = 0; k < 12; k++)
        coef[k] = (k * 5) % 9 - 4;
    for (int k = 20; k < 28; k++)
        coef[k] = (k % 3 - 1) * (k * 37);  // escapes up to 999
    BitWriter w;
    w.put(120, 8);
    put_ics_info_long(w, 8, AAC_LONG_START_SEQUENCE, 1);
    put_section(w, 5, 3, false);
    put_section(w, 0, 2, false);
    put_section(w, 11, 2, false);
    put_section(w, 13, 1, false);
    for (int diff : {4, -2, 0, 9, -60})
        put_scalefactor_diff(w, diff);
    w.put(256 + 5, 9);
    w.put("1 00 000001 00011 0011");  // one pulse in band 1, offset 3, amp 3
    w.put("1 01 1 001000 00010 1 0 0111 1001");  // one TNS filter of order 2
    w.put("0");
    aac_ics_info ics = long_ics(8);
    uint32_t all_sections[128] = {sections[0], sections[1], sections[2], (13u << 8) + 8};
    put_spectrum(w, coef, ics, all_sections, t.swb_end_long);
    const int32_t bits = w.bit_count();
    w.put(0x7, 3);
    ReaderOver r(w);
    ASSERT_EQ(guarded([&] { aac_parse_ics(&r.reader, channel.get(), nullptr, &t); }), AAC_OK);
    EXPECT_EQ(r.bits_read(), bits);
    EXPECT_EQ(channel->ics_start_bit, 0u);
    EXPECT_EQ(channel->global_gain, 120u);
    EXPECT_EQ(channel->ics_info.window_sequence, AAC_LONG_START_SEQUENCE);
    EXPECT_EQ(channel->noise_used, 1u);
    EXPECT_EQ(channel->intensity_used, 0u);
    const int32_t sf[8] = {24, 22, 22, 0, 0, 31, -29, 30 + 5};
    for (int b : {0, 1, 2, 5, 6, 7})
        EXPECT_EQ(channel->scalefactors[b], sf[b]) << b;
    EXPECT_EQ(channel->pulse_data_present, 1u);
    EXPECT_EQ(channel->pulse.number_pulse, 1u);
    EXPECT_EQ(channel->pulse.pulse_packed[0], (3 << 16) + 4 + 3);
    EXPECT_EQ(channel->tns_data_present, 1u);
    EXPECT_EQ(aac_tns_filter_at(channel->tns, 0, 0).order, 2u);
    EXPECT_EQ(aac_tns_filter_at(channel->tns, 0, 0).coef[1], -7);
    for (int k = 0; k < 1024; k++) {
        bool coded = k < 12 || (k >= 20 && k < 28);
        EXPECT_EQ(channel->coef[k], coded ? coef[k] : 7777) << k;
    }
}

TEST(MsMask, OneBitPerBandOfEachGroupAt16g)
{
    // Three groups of five bands: band b of group g at 16 g + b.
    const std::string bits = "10110 01101 11000";
    BitWriter w;
    w.put(bits.c_str());
    w.put(1, 1);
    ReaderOver r(w);
    aac_ics_info ics = short_ics(5, {1, 4, 8});
    uint32_t ms_used[128];
    std::fill_n(ms_used, 128, untouched);
    ASSERT_EQ(guarded([&] { aac_parse_ms_mask(&r.reader, &ics, ms_used); }), AAC_OK);
    EXPECT_EQ(r.bits_read(), 15);
    const uint32_t expected[3][5] = {{1, 0, 1, 1, 0}, {0, 1, 1, 0, 1}, {1, 1, 0, 0, 0}};
    for (int g = 0; g < 3; g++) {
        for (int b = 0; b < 16; b++)
            EXPECT_EQ(ms_used[16 * g + b], b < 5 ? expected[g][b] : untouched) << g << " " << b;
    }

    // A long window of 49 bands reads them all in one row.
    BitWriter wl;
    std::vector<uint32_t> mask;
    for (uint32_t b = 0; b < 49; b++) {
        mask.push_back((b * 7 + b / 5) & 1);
        wl.put(mask.back(), 1);
    }
    ReaderOver rl(wl);
    aac_ics_info long_window = long_ics(49);
    ASSERT_EQ(guarded([&] { aac_parse_ms_mask(&rl.reader, &long_window, ms_used); }), AAC_OK);
    for (uint32_t b = 0; b < 49; b++)
        EXPECT_EQ(ms_used[b], mask[b]) << b;
    EXPECT_EQ(rl.bits_read(), 49);
}

}  // namespace
