// ics_info with window grouping, section data, scale factor data and the
// M/S mask, on hand-written bit patterns.
#include "syntax/ics.h"

#include <gtest/gtest.h>

#include "syntax/stream_tables.h"
#include "syntax_writer.h"

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
    } cases[] = {
        {3, "0 11 1 110001 0", AAC_OK, {1}},  // 49: the 48000 Hz band count
        {3, "0 00 0 110010 0", AAC_ERR_CORRUPT_FRAME, {}},
        {11, "0 01 0 101000 0", AAC_OK, {1}},  // 40 at 8000 Hz
        {11, "0 01 0 101001 0", AAC_ERR_CORRUPT_FRAME, {}},
        {3, "0 10 1 1110 1111111", AAC_OK, {8}},  // 14 short bands
        {3, "0 10 0 1111 0000000", AAC_ERR_CORRUPT_FRAME, {}},
        {3, "0 10 0 0001 0000000", AAC_OK, {1, 2, 3, 4, 5, 6, 7, 8}},
        {3, "0 10 0 0001 0110111", AAC_OK, {1, 4, 8}},
        {3, "0 10 0 0001 1111110", AAC_OK, {7, 8}},
        {3, "1 00 0 000001 0", AAC_ERR_BAD_STREAM, {}},     // ics_reserved_bit
        {3, "0 00 0 000001 1", AAC_ERR_BAD_STREAM, {}},     // predictor_data_present
        {3, "0 00 0 110010 1", AAC_ERR_CORRUPT_FRAME, {}},  // max_sfb is judged first
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
        if (c.status != AAC_OK)
            continue;
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
        aac_parse_section_data(r, &ics, s.entries, &s.noise_used, &s.intensity_used);
    });
    return s;
}

TEST(SectionData, EscapedLengthsAreCutAtMaxSfbAndGroupsStartAt16)
{
    BitWriter w;
    put_section(w, 5, 67, false);  // 31 + 31 + 5, cut at 40
    Sections s = parse_sections(w, ics_with(AAC_ONLY_LONG_SEQUENCE, 40, {1}));
    ASSERT_EQ(s.parsed.status, AAC_OK);
    EXPECT_EQ(s.parsed.bits_read, 4 + 3 * 5);
    EXPECT_EQ(s.entries[0], (5u << 8) + 40);
    EXPECT_EQ(s.entries[1], untouched);

    BitWriter ws;
    put_section(ws, 3, 16, true);  // 7 + 7 + 2, cut at 10
    put_section(ws, 0, 4, true);
    put_section(ws, 13, 6, true);
    Sections ss = parse_sections(ws, ics_with(AAC_EIGHT_SHORT_SEQUENCE, 10, {3, 8}));
    ASSERT_EQ(ss.parsed.status, AAC_OK);
    EXPECT_EQ(ss.parsed.bits_read, (4 + 9) + 7 + 7);
    const uint32_t expected[] = {(3u << 8) + 10, untouched, 4, (13u << 8) + 10, untouched};
    const int at[] = {0, 1, 16, 17, 18};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(ss.entries[at[i]], expected[i]) << at[i];
    EXPECT_EQ(ss.noise_used, 1u);
    EXPECT_EQ(ss.intensity_used, 0u);

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

TEST(SectionData, ALongWindowRunsPastIndex16AndFlagsEachIntensityBook)
{
    for (uint32_t intensity_book : {14u, 15u}) {
        BitWriter w;
        for (uint32_t b = 0; b < 49; b++)
            put_section(w, b == 20 ? intensity_book : b % 12, 1, false);
        Sections s = parse_sections(w, ics_with(AAC_ONLY_LONG_SEQUENCE, 49, {1}));
        ASSERT_EQ(s.parsed.status, AAC_OK);
        for (uint32_t b = 0; b < 49; b++)
            EXPECT_EQ(s.entries[b], ((b == 20 ? intensity_book : b % 12) << 8) + b + 1);
        EXPECT_EQ(s.noise_used, 0u);
        EXPECT_EQ(s.intensity_used, 1u);
    }
}

TEST(ScaleFactorData, RunningValuesPerCodebookCarryAcrossGroups)
{
    // Group 0: books 0, 1, 1, 13, 15; group 1: books 13, 13, 14, 5, 0.
    aac_ics_info ics = ics_with(AAC_EIGHT_SHORT_SEQUENCE, 5, {3, 8});
    uint32_t sections[128];
    const uint32_t entries[8] = {1, (1u << 8) + 3, (13u << 8) + 4, (15u << 8) + 5,
                                 (13u << 8) + 2, (14u << 8) + 3, (5u << 8) + 4, 5};
    std::copy(entries, entries + 4, sections);
    std::copy(entries + 4, entries + 8, sections + 16);
    BitWriter w;
    w.put("1010 100");  // +1, -1
    w.put(250, 9);      // the first noise band
    w.put("1010");      // intensity +1
    w.put("0");         // a noise difference of 0, no longer 9 bits
    put_scalefactor_diff(w, -7);
    put_scalefactor_diff(w, 3);
    w.put("100");
    const int32_t bits = w.bit_count();
    w.put(0x1FF, 9);
    int32_t sf[128];
    std::fill_n(sf, 128, 12345);
    Parsed p = parse_bits(
        w, [&](aac_bit_reader *r) { aac_parse_scale_factor_data(r, &ics, 100, sf, sections); });
    ASSERT_EQ(p.status, AAC_OK);
    EXPECT_EQ(p.bits_read, bits);
    const int32_t expected[2][6] = {{12345, 1, 0, 10 + (250 - 256), 1, 12345},
                                    {4, 4 - 7, 1 + 3, 0 - 1, 12345, 12345}};
    for (int g = 0; g < 2; g++)
        for (int b = 0; b < 6; b++)
            EXPECT_EQ(sf[16 * g + b], expected[g][b]) << g << " " << b;
}

TEST(MsMask, OneBitPerBandOfEachGroupAt16g)
{
    BitWriter w;
    w.put("10110 01101 11000");
    aac_ics_info ics = ics_with(AAC_EIGHT_SHORT_SEQUENCE, 5, {1, 4, 8});
    uint32_t ms_used[128];
    std::fill_n(ms_used, 128, untouched);
    Parsed p = parse_bits(w, [&](aac_bit_reader *r) { aac_parse_ms_mask(r, &ics, ms_used); });
    EXPECT_EQ(p.bits_read, 15);
    const char *expected = "10110xxxxxxxxxxx01101xxxxxxxxxxx11000xxxxxxxxxxx";
    for (int i = 0; i < 48; i++)
        EXPECT_EQ(ms_used[i], expected[i] == 'x' ? untouched : uint32_t(expected[i] - '0')) << i;

    // 49 bands of a long window, more than one fill's worth.
    BitWriter wl;
    for (uint32_t b = 0; b < 49; b++)
        wl.put((b * 7 + b / 5) & 1, 1);
    ics = ics_with(AAC_ONLY_LONG_SEQUENCE, 49, {1});
    EXPECT_EQ(parse_bits(wl, [&](aac_bit_reader *r) { aac_parse_ms_mask(r, &ics, ms_used); }).bits_read, 49);
    for (uint32_t b = 0; b < 49; b++)
        EXPECT_EQ(ms_used[b], (b * 7 + b / 5) & 1) << b;
}

}  // namespace
