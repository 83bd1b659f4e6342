// M/S and intensity stereo (which bands each tool touches and what it
// writes there, on grouped short windows) and the correlated noise of a
// pair, against a generator written from its definition.
#include "synthesis/stereo.h"

#include <cmath>

#include "records.h"
#include "synthesis/noise.h"

namespace {

float left(int k) { return static_cast<float>(k + 1); }
float right(int k) { return 0.25f * static_cast<float>(k) - 100.0f; }

// Short bands 0..7 end at 4 8 12 16 20 28 36 44.
int band_of(int i) { return i < 20 ? i / 4 : i < 28 ? 5 : i < 36 ? 6 : i < 44 ? 7 : 8; }

struct Spectra {
    std::unique_ptr<aac_channel_pair_state> pair = std::make_unique<aac_channel_pair_state>();
    float *L = floats(pair->channel[0]), *R = floats(pair->channel[1]);
    Spectra()
    {
        for (int k = 0; k < 1024; ++k)
            L[k] = left(k), R[k] = right(k);
    }
};

TEST(Stereo, MsDecodesTheSignalledBandsOnly)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = ics_of(7, {2, 6});
    // Group 0 by band: noise in both and intensity in R are left out, noise
    // in L only is decoded.  Group 1 has the same maps and no ms_used.
    uint32_t used[128] = {1, 0, 1, 1, 1, 1, 0}, map0[128] = {1, 1, 13, 13, 1, 1, 1},
             map1[128] = {1, 1, 13, 1, 15, 14, 1};
    std::copy(map0, map0 + 7, map0 + 16);
    std::copy(map1, map1 + 7, map1 + 16);
    for (uint32_t mask : {1u, 2u}) {
        const bool by_ms_used[7] = {1, 0, 0, 1, 0, 0, 0}, all[7] = {1, 1, 0, 1, 0, 0, 1};
        Spectra s;
        ms_stereo(&t, s.L, s.R, &ics, mask, used, map0, map1);
        for (int k = 0; k < 1024; ++k) {
            const int b = band_of(k % 128);
            const bool on = b < 7 && (mask == 2 ? all[b] : k < 256 && by_ms_used[b]);
            ASSERT_EQ(s.L[k], on ? left(k) + right(k) : left(k)) << mask << " " << k;
            ASSERT_EQ(s.R[k], on ? left(k) - right(k) : right(k)) << mask << " " << k;
        }
    }
}

TEST(Stereo, IntensityFactorsFromPositionCodebookAndMsMask)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = ics_of(8, {3, 5});
    for (uint32_t mask : {0u, 1u, 2u}) {
        Spectra s;
        aac_channel_state &r = s.pair->channel[1];
        // Group 0: position 0 copies, 4 halves, -4 doubles, codebook 14
        // negates, 300 goes through the exponential.  Group 1: all 8.
        set_sections(r.sections, 0, {{1, 1}, {15, 4}, {14, 6}, {15, 8}});
        set_sections(r.sections, 1, {{15, 8}});
        const int32_t positions[8] = {0, 0, 4, -4, 0, 8, 300, 0};
        std::copy(positions, positions + 8, r.scalefactors);
        std::fill(r.scalefactors + 16, r.scalefactors + 24, 8);
        s.pair->ms_used[3] = s.pair->ms_used[7] = 1;
        const float ms = mask == 1 ? -1.0f : 1.0f;
        const float factors[8] = {0, 1, 0.5f, 2 * ms, -1, -0.25f, 0x1p-75f, ms};
        std::fill(s.R, s.R + 1024, -3.0f);
        intensity_stereo(&t, s.R, s.L, &ics, mask, s.pair->ms_used, r.sections, r.scalefactors);
        for (int k = 0; k < 1024; ++k) {
            const int b = band_of(k % 128);
            const float factor = b == 8 || (k < 384 && b == 0) ? 0 : k < 384 ? factors[b] : 0.25f;
            if (factor == 0)
                ASSERT_EQ(s.R[k], -3.0f) << k;
            else if (k < 384 && b == 6)
                ASSERT_NEAR(s.R[k] / (left(k) * factor), 1.0f, 1e-6f) << k;
            else
                ASSERT_EQ(s.R[k], left(k) * factor) << mask << " " << k;
        }
    }
}

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
