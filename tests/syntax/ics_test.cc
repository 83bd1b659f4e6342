// ics_info and section data on hand-written bit patterns: limits, window
// grouping, escaped and zero section lengths, refusals.
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

}  // namespace
