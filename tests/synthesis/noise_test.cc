// Noise substitution against a generator written from its definition, and
// the band energy it must reach.
#include "synthesis/noise.h"

#include <cmath>

#include "records.h"

namespace {

struct ReferenceNoise {
    uint32_t s;
    // Fills x[0..n-1] with the next n values scaled to the level gain.
    void band(float *x, int n, float gain)
    {
        float energy = 0.0f;
        for (int i = 0; i < n; ++i) {
            s = s * 1664525u + 1013904223u;
            x[i] = static_cast<float>(static_cast<int32_t>(s));
            energy = x[i] * x[i] + energy;
        }
        for (int i = 0; i < n; ++i)
            x[i] = x[i] * (gain / std::sqrt(energy));
    }
};

TEST(Noise, FirstValueSequenceAndBandEnergy)
{
    alignas(16) float x[96], expected[96];
    uint32_t seed = 0;
    generate_noise_band(x, 4, 1.0f, &seed);
    const float raw[4] = {1013904223.0f, 1196435762.0f, -775096599.0f, -1426500812.0f};
    const float norm = std::sqrt(((raw[0] * raw[0] + raw[1] * raw[1]) + raw[2] * raw[2]) + raw[3] * raw[3]);
    EXPECT_EQ(x[0], raw[0] * (1.0f / norm));  // a fresh generator starts at 1013904223
    EXPECT_EQ(x[3], raw[3] * (1.0f / norm));
    EXPECT_EQ(seed, 2868466484u);

    ReferenceNoise ref{seed};
    for (int n : {4, 8, 32, 96})
        for (float gain : {1.0f, 1024.0f, 0.03125f, 3.7f}) {
            generate_noise_band(x, n, gain, &seed);
            ref.band(expected, n, gain);
            ASSERT_EQ(bits_of(x, n), bits_of(expected, n));
            double energy = 0;
            for (int i = 0; i < n; ++i)
                energy += static_cast<double>(x[i]) * x[i];
            EXPECT_NEAR(std::sqrt(energy) / gain, 1.0, 1e-6) << n << " " << gain;
        }
    EXPECT_EQ(seed, ref.s);
}

TEST(Noise, GroupsBandsAndWindowsInDecodingOrder)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = ics_of(4, {3, 5});  // bands of 4 values up to 16
    auto ch = std::make_unique<aac_channel_state>();
    set_sections(ch->sections, 0, {{13, 2}, {1, 3}, {13, 4}});
    set_sections(ch->sections, 1, {{0, 1}, {13, 4}});
    const int32_t levels[2][4] = {{0, 8, 99, -8}, {99, 4, 4, 12}};  // 99: not noise
    std::copy(levels[0], levels[0] + 4, ch->scalefactors);
    std::copy(levels[1], levels[1] + 4, ch->scalefactors + 16);
    std::vector<float> expected(1024, -7.5f);
    ReferenceNoise ref{12345};
    for (int g = 0; g < 2; ++g)  // each window of a group draws its own values
        for (int b = 0; b < 4; ++b)
            for (int w = g * 3; levels[g][b] != 99 && w < (g ? 8 : 3); ++w)
                ref.band(&expected[128 * w + 4 * b], 4, std::exp2(levels[g][b] / 4.0f));
    uint32_t seed = 12345;
    std::fill(floats(*ch), floats(*ch) + 1024, -7.5f);
    noise_substitution(&t, &ics, ch->sections, ch->scalefactors, floats(*ch), &seed);
    EXPECT_EQ(bits_of(floats(*ch), 1024), bits_of(expected.data(), 1024));
    EXPECT_EQ(seed, ref.s);
}

TEST(Noise, PairCopiesOnlyBandsNoisyInBothAndCoveredByMs)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = ics_of(5);
    const uint32_t map0[128] = {13, 13, 13, 1, 13}, ms_used[128] = {1, 0, 1, 1, 0};
    const int32_t sf_L[128] = {0, 4, 8, 0, -4}, sf_R[128] = {4, 0, 8, 0, 12};
    const uint32_t sections_R[128] = {(13u << 8) + 5};
    const float copy_gain[5] = {2, 0.5f, 1, 0, 16};  // 2^((vR - vL) / 4)
    auto pair = std::make_unique<aac_channel_pair_state>();
    float *L = floats(pair->channel[0]), *R = floats(pair->channel[1]);
    for (int k = 0; k < 1024; ++k)
        L[k] = static_cast<float>(k % 13) - 6.0f;
    for (uint32_t mask : {1u, 2u}) {
        // ms_used counts with mask 1 only; channel 0 must be noise too.
        const bool copied[5] = {true, mask == 2, true, false, mask == 2};
        std::vector<float> expected(1024, -7.5f);
        ReferenceNoise ref{99};
        for (int b = 0; b < 5; ++b)
            for (int i = 0; i < 4; ++i)
                expected[4 * b + i] = L[4 * b + i] * copy_gain[b];
        for (int b = 0; b < 5; ++b)
            if (!copied[b])
                ref.band(&expected[4 * b], 4, std::exp2(sf_R[b] / 4.0f));
        uint32_t seed = 99;
        std::fill(R, R + 1024, -7.5f);
        noise_substitution_pair(&t, R, L, &ics, mask, ms_used, map0, sections_R, sf_R, sf_L, &seed);
        EXPECT_EQ(bits_of(R, 1024), bits_of(expected.data(), 1024));
        EXPECT_EQ(seed, ref.s);
    }
}

}  // namespace
