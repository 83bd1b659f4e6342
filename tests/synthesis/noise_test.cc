// Noise substitution against a reference generator written from the
// definition, and the band energy it must reach.
#include "synthesis/noise.h"

#include <gtest/gtest.h>

#include <cmath>

#include "records.h"

namespace {

struct ReferenceNoise {
    uint32_t s;
    std::vector<float> band(int n, float gain)
    {
        std::vector<float> v(n);
        float energy = 0.0f;
        for (float &x : v) {
            s = s * 1664525u + 1013904223u;
            x = static_cast<float>(static_cast<int32_t>(s));
            energy = x * x + energy;
        }
        const float scale = gain / std::sqrt(energy);
        for (float &x : v)
            x = x * scale;
        return v;
    }
};

constexpr float kUntouched = -7.5f;

TEST(Noise, FirstValueSequenceAndBandEnergy)
{
    alignas(16) float x[96];
    uint32_t seed = 0;
    generate_noise_band(x, 4, 1.0f, &seed);
    // The first value of a fresh generator is 1013904223 before scaling.
    const float raw[4] = {1013904223.0f, static_cast<float>(static_cast<int32_t>(1196435762u)),
                          static_cast<float>(static_cast<int32_t>(3519870697u)),
                          static_cast<float>(static_cast<int32_t>(2868466484u))};
    float energy = 0.0f;
    for (float v : raw)
        energy = v * v + energy;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(x[i], raw[i] * (1.0f / std::sqrt(energy))) << i;
    EXPECT_EQ(seed, 2868466484u);

    ReferenceNoise ref{seed};
    for (int n : {4, 8, 32, 96}) {
        for (float gain : {1.0f, 1024.0f, 0.03125f, 3.7f}) {
            generate_noise_band(x, n, gain, &seed);
            ASSERT_EQ(bits_of(x, n), bits_of(ref.band(n, gain).data(), n));
            double sum = 0;
            for (int i = 0; i < n; ++i)
                sum += static_cast<double>(x[i]) * x[i];
            EXPECT_NEAR(std::sqrt(sum) / gain, 1.0, 1e-6) << n << " " << gain;
        }
    }
    EXPECT_EQ(seed, ref.s);
}

TEST(Noise, GroupsBandsAndWindowsInDecodingOrder)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = short_ics(4, {3, 5});  // bands of 4 values up to 16
    auto ch = new_channel();
    set_sections(ch->sections, 0, {{13, 2}, {1, 3}, {13, 4}});
    set_sections(ch->sections, 1, {{0, 1}, {13, 4}});
    const int32_t levels[2][4] = {{0, 8, 99, -8}, {99, 4, 4, 12}};
    for (int g = 0; g < 2; ++g)
        std::copy(levels[g], levels[g] + 4, ch->scalefactors + 16 * g);
    const bool noise[2][4] = {{true, true, false, true}, {false, true, true, true}};

    std::vector<float> expected(1024, kUntouched);
    ReferenceNoise ref{12345};
    for (int g = 0; g < 2; ++g)
        for (int b = 0; b < 4; ++b)
            for (int w = g ? 3 : 0; noise[g][b] && w < (g ? 8 : 3); ++w) {
                std::vector<float> v = ref.band(4, std::exp2(levels[g][b] / 4.0f));
                std::copy(v.begin(), v.end(), expected.begin() + 128 * w + 4 * b);
            }

    uint32_t seeds[2];
    auto [generic, sse2] = with_both_kernel_tables<std::vector<uint32_t>>([&, n = 0]() mutable {
        std::fill(floats(*ch), floats(*ch) + 1024, kUntouched);
        seeds[n] = 12345;
        noise_substitution(&t, &ics, ch->sections, ch->scalefactors, floats(*ch), &seeds[n++]);
        return bits_of(floats(*ch), 1024);
    });
    EXPECT_EQ(generic, bits_of(expected.data(), 1024));
    EXPECT_EQ(sse2, generic);
    EXPECT_EQ(seeds[0], ref.s);
    EXPECT_EQ(seeds[1], ref.s);
}

TEST(Noise, PairCopiesOnlyBandsNoisyInBothAndCoveredByMs)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = long_ics(5);
    const uint32_t map0[128] = {13, 13, 13, 1, 13};
    const uint32_t ms_used[128] = {1, 0, 1, 1, 0};
    const int32_t sf_L[128] = {0, 4, 8, 0, -4}, sf_R[128] = {4, 0, 8, 0, 12};
    uint32_t sections_R[128] = {(13u << 8) + 5};
    for (uint32_t mask : {1u, 2u}) {
        // With mask 2 ms_used does not matter; a band that is not noise in
        // channel 0 never copies.
        const bool copied[5] = {true, mask == 2, true, false, mask == 2};
        const float copy_gain[5] = {2, 0.5f, 1, 0, 16};  // 2^((vR - vL) / 4)
        std::vector<float> L(1024), expected(1024, kUntouched);
        for (int k = 0; k < 1024; ++k)
            L[k] = static_cast<float>(k % 13) - 6.0f;
        ReferenceNoise independent{99};
        for (int b = 0; b < 5; ++b) {
            std::vector<float> v(L.begin() + 4 * b, L.begin() + 4 * b + 4);
            if (copied[b])
                for (float &x : v)
                    x *= copy_gain[b];
            else
                v = independent.band(4, std::exp2(sf_R[b] / 4.0f));
            std::copy(v.begin(), v.end(), expected.begin() + 4 * b);
        }

        auto pair = new_pair();
        uint32_t seed = 0;
        auto [generic, sse2] = with_both_kernel_tables<std::vector<uint32_t>>([&] {
            std::copy(L.begin(), L.end(), floats(pair->channel[0]));
            std::fill(floats(pair->channel[1]), floats(pair->channel[1]) + 1024, kUntouched);
            seed = 99;
            noise_substitution_pair(&t, floats(pair->channel[1]), floats(pair->channel[0]), &ics,
                                    mask, ms_used, map0, sections_R, sf_R, sf_L, &seed);
            return bits_of(floats(pair->channel[1]), 1024);
        });
        EXPECT_EQ(generic, bits_of(expected.data(), 1024)) << mask;
        EXPECT_EQ(sse2, generic);
        EXPECT_EQ(seed, independent.s);
        EXPECT_EQ(bits_of(floats(pair->channel[0]), 1024), bits_of(L.data(), 1024));
    }
}

}  // namespace
