// Correlated noise of a channel pair: which bands copy the first channel's
// noise and at what gain, against a generator written from its definition.
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
