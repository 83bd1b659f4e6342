// M/S and intensity stereo on hand-built pairs: which bands each tool
// touches, and the values it writes there.
#include "synthesis/stereo.h"

#include <gtest/gtest.h>

#include <cmath>

#include "records.h"

namespace {

struct StereoPair {
    std::unique_ptr<aac_channel_pair_state> pair = new_pair();
    float *L = floats(pair->channel[0]);
    float *R = floats(pair->channel[1]);
    uint32_t map0[128] = {}, map1[128] = {};

    StereoPair()
    {
        for (int k = 0; k < 1024; ++k) {
            L[k] = static_cast<float>(k + 1);
            R[k] = 0.25f * static_cast<float>(k) - 100.0f;
        }
    }
};

TEST(MsStereo, DecodesTheSignalledBandsOnly)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = long_ics(6);  // bands of 4 values up to 24
    for (uint32_t mask : {1u, 2u}) {
        StereoPair p;
        const uint32_t used[6] = {1, 0, 1, 1, 1, 1};
        const uint32_t cb0[6] = {1, 1, 13, 13, 1, 1}, cb1[6] = {1, 1, 13, 1, 15, 14};
        for (int b = 0; b < 6; ++b) {
            p.pair->ms_used[b] = used[b];
            p.map0[b] = cb0[b];
            p.map1[b] = cb1[b];
        }
        // Noise in both and intensity in R are never M/S-decoded; noise in
        // L only is, and ms_used counts only with mask 1.
        const bool decoded[6] = {true, mask == 2, false, true, false, false};
        ms_stereo(&t, p.L, p.R, &ics, mask, p.pair->ms_used, p.map0, p.map1);
        for (int k = 0; k < 1024; ++k) {
            const float l = static_cast<float>(k + 1), r = 0.25f * static_cast<float>(k) - 100.0f;
            const bool on = k < 24 && decoded[k / 4];
            ASSERT_EQ(p.L[k], on ? l + r : l) << mask << " " << k;
            ASSERT_EQ(p.R[k], on ? l - r : r) << mask << " " << k;
        }
    }
}

TEST(MsStereo, ShortGroupsAndBothKernelTables)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = short_ics(6, {2, 6});
    auto run = [&] {
        StereoPair p;
        p.pair->ms_used[0] = 1;       // group 0, band 0: windows 0, 1
        p.pair->ms_used[16 + 5] = 1;  // group 1, band 5 (20..28): windows 2..7
        ms_stereo(&t, p.L, p.R, &ics, 1, p.pair->ms_used, p.map0, p.map1);
        std::vector<uint32_t> out = bits_of(p.L, 1024), r = bits_of(p.R, 1024);
        out.insert(out.end(), r.begin(), r.end());
        return out;
    };
    auto [generic, sse2] = with_both_kernel_tables<std::vector<uint32_t>>(run);
    EXPECT_EQ(generic, sse2);
    for (int k = 0; k < 1024; ++k) {
        const int w = k / 128, i = k % 128;
        const bool on = (w < 2 && i < 4) || (w >= 2 && i >= 20 && i < 28);
        const float l = static_cast<float>(k + 1), r = 0.25f * static_cast<float>(k) - 100.0f;
        ASSERT_EQ(std::bit_cast<float>(sse2[k]), on ? l + r : l) << k;
        ASSERT_EQ(std::bit_cast<float>(sse2[1024 + k]), on ? l - r : r) << k;
    }
}

TEST(IntensityStereo, FactorsFromPositionCodebookAndMsMask)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = long_ics(8);
    // position 0 copies, 4 halves, -4 doubles; codebook 14 negates.
    const int32_t positions[8] = {0, 0, 4, -4, 0, 8, 300, 0};
    for (uint32_t mask : {0u, 1u, 2u}) {
        StereoPair p;
        aac_channel_state &r = p.pair->channel[1];
        set_sections(r.sections, 0, {{1, 1}, {15, 4}, {14, 6}, {15, 8}});
        std::copy(positions, positions + 8, r.scalefactors);
        p.pair->ms_used[3] = 1;
        p.pair->ms_used[7] = 1;
        const float ms_sign = mask == 1 ? -1.0f : 1.0f;
        const float factors[8] = {0, 1, 0.5f, 2 * ms_sign, -1, -0.25f, 0x1p-75f, ms_sign};
        intensity_stereo(&t, p.R, p.L, &ics, mask, p.pair->ms_used, r.sections, r.scalefactors);
        for (int k = 0; k < 1024; ++k) {
            const float l = static_cast<float>(k + 1);
            if (k < 4 || k >= 32)
                ASSERT_EQ(p.R[k], 0.25f * static_cast<float>(k) - 100.0f) << k;
            else if (k >= 24 && k < 28)  // through the exponential
                ASSERT_NEAR(p.R[k] / (l * 0x1p-75f), 1.0f, 1e-6f) << k;
            else
                ASSERT_EQ(p.R[k], l * factors[k / 4]) << mask << " " << k;
            ASSERT_EQ(p.L[k], l);
        }
    }
}

TEST(IntensityStereo, ShortGroupsAndBothKernelTables)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = short_ics(3, {3, 5});
    auto run = [&] {
        StereoPair p;
        aac_channel_state &r = p.pair->channel[1];
        set_sections(r.sections, 0, {{0, 3}});
        set_sections(r.sections, 1, {{0, 1}, {14, 3}});
        r.scalefactors[17] = 4;
        r.scalefactors[18] = -8;
        intensity_stereo(&t, p.R, p.L, &ics, 2, p.pair->ms_used, r.sections, r.scalefactors);
        return bits_of(p.R, 1024);
    };
    auto [generic, sse2] = with_both_kernel_tables<std::vector<uint32_t>>(run);
    EXPECT_EQ(generic, sse2);
    for (int k = 0; k < 1024; ++k) {
        const int w = k / 128, i = k % 128;
        const float l = static_cast<float>(k + 1);
        float expected = 0.25f * static_cast<float>(k) - 100.0f;
        if (w >= 3 && i >= 4 && i < 8)
            expected = -0.5f * l;
        else if (w >= 3 && i >= 8 && i < 12)
            expected = -4.0f * l;
        ASSERT_EQ(std::bit_cast<float>(sse2[k]), expected) << k;
    }
}

}  // namespace
