// Band tables and TNS limits of every sampling frequency index.
#include "syntax/stream_tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

aac_stream_tables tables_of(int index)
{
    aac_stream_tables t{};
    aac_fill_stream_tables(1, index, &t);
    return t;
}

std::vector<int> ends(const uint16_t *p, uint32_t n) { return std::vector<int>(p, p + n); }

TEST(StreamTables, BandCountsAndLimitsOfEveryIndex)
{
    const uint32_t long_bands[12] = {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40};
    const uint32_t short_bands[12] = {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15};
    const uint32_t tns_long[12] = {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39};
    const uint32_t tns_short[12] = {9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14};
    for (int i = 0; i < 12; i++) {
        aac_stream_tables t = tables_of(i);
        EXPECT_EQ(t.num_swb_long, long_bands[i]) << i;
        EXPECT_EQ(t.num_swb_short, short_bands[i]) << i;
        EXPECT_EQ(t.swb_end_long[t.num_swb_long - 1], 1024) << i;
        EXPECT_EQ(t.swb_end_short[t.num_swb_short - 1], 128) << i;
        EXPECT_EQ(t.tns_max_order_long, 12u);
        EXPECT_EQ(t.tns_max_order_short, 7u);
        EXPECT_EQ(t.tns_max_bands_long, tns_long[i]) << i;
        EXPECT_EQ(t.tns_max_bands_short, tns_short[i]) << i;
        // Band ends rise in whole groups of four coefficients.
        for (uint32_t b = 0; b < t.num_swb_long; b++) {
            EXPECT_EQ(t.swb_end_long[b] % 4, 0) << i << " band " << b;
            if (b > 0) {
                EXPECT_GT(t.swb_end_long[b], t.swb_end_long[b - 1]);
            }
        }
        EXPECT_LE(t.tns_max_bands_long, t.num_swb_long);
        EXPECT_LE(t.tns_max_bands_short, t.num_swb_short);
    }
}

TEST(StreamTables, KnownBandEdgesAndSharedTables)
{
    aac_stream_tables t3 = tables_of(3);
    EXPECT_EQ(ends(t3.swb_end_long, 5), (std::vector<int>{4, 8, 12, 16, 20}));
    EXPECT_EQ(ends(t3.swb_end_long + 46, 3), (std::vector<int>{896, 928, 1024}));
    EXPECT_EQ(ends(t3.swb_end_short, 14),
              (std::vector<int>{4, 8, 12, 16, 20, 28, 36, 44, 56, 68, 80, 96, 112, 128}));
    EXPECT_EQ(ends(tables_of(5).swb_end_short, 14), ends(t3.swb_end_short, 14));
    aac_stream_tables t11 = tables_of(11);
    EXPECT_EQ(ends(t11.swb_end_long, 5), (std::vector<int>{12, 24, 36, 48, 60}));

    for (auto [a, b] : {std::pair{1, 0}, {4, 3}, {7, 6}, {9, 8}, {10, 8}}) {
        aac_stream_tables ta = tables_of(a), tb = tables_of(b);
        EXPECT_EQ(ends(ta.swb_end_long, ta.num_swb_long), ends(tb.swb_end_long, tb.num_swb_long));
        EXPECT_EQ(ends(ta.swb_end_short, ta.num_swb_short),
                  ends(tb.swb_end_short, tb.num_swb_short));
    }
    // 32000 Hz follows 48000 Hz up to 928, then 960, 992, 1024.
    aac_stream_tables t5 = tables_of(5);
    EXPECT_EQ(ends(t5.swb_end_long, 48), ends(t3.swb_end_long, 48));
    EXPECT_EQ(ends(t5.swb_end_long + 48, 3), (std::vector<int>{960, 992, 1024}));
}

}  // namespace
