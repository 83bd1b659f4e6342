// Band tables and TNS limits of every sampling frequency index.
#include "syntax/stream_tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StreamTables, BandCountsEdgesAndLimitsOfEveryIndex)
{
    const uint32_t counts[4][12] = {
        {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40},  // long bands
        {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15},  // short bands
        {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39},  // TNS, long
        {9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14},    // TNS, short
    };
    // The tables that indices share.
    const int long_table[12] = {0, 0, 2, 3, 3, 5, 6, 6, 8, 8, 8, 11};
    const int short_table[12] = {0, 0, 2, 3, 3, 3, 6, 6, 8, 8, 8, 11};
    aac_stream_tables t[12];
    for (int i = 0; i < 12; i++) {
        aac_fill_stream_tables(1, i, &t[i]);
        const uint32_t got[4] = {t[i].num_swb_long, t[i].num_swb_short, t[i].tns_max_bands_long,
                                 t[i].tns_max_bands_short};
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(got[k], counts[k][i]) << "index " << i << ", count " << k;
        EXPECT_EQ(t[i].tns_max_order_long, 12u);
        EXPECT_EQ(t[i].tns_max_order_short, 7u);
        EXPECT_EQ(t[i].swb_end_long[t[i].num_swb_long - 1], 1024) << i;
        EXPECT_EQ(t[i].swb_end_short[t[i].num_swb_short - 1], 128) << i;
        const aac_stream_tables &l = t[long_table[i]], &s = t[short_table[i]];
        EXPECT_TRUE(std::equal(l.swb_end_long, l.swb_end_long + l.num_swb_long, t[i].swb_end_long)) << i;
        EXPECT_TRUE(std::equal(s.swb_end_short, s.swb_end_short + s.num_swb_short, t[i].swb_end_short)) << i;
    }
    auto ends = [](const uint16_t *p, std::vector<int> at) {
        for (int &a : at)
            a = p[a];
        return at;
    };
    EXPECT_EQ(ends(t[3].swb_end_long, {0, 1, 9, 10, 46, 47}), (std::vector<int>{4, 8, 40, 48, 896, 928}));
    EXPECT_EQ(ends(t[5].swb_end_long, {47, 48, 49}), (std::vector<int>{928, 960, 992}));
    EXPECT_EQ(ends(t[11].swb_end_long, {0, 1, 4}), (std::vector<int>{12, 24, 60}));
    EXPECT_EQ(ends(t[3].swb_end_short, {4, 5, 12}), (std::vector<int>{20, 28, 112}));
}

}  // namespace
