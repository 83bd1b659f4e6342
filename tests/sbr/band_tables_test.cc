// Band tables of a header against values worked out by hand from the
// derivation rules (the working is in the comments), and the rules every
// table must keep for every header the rate tables allow.
#include <gtest/gtest.h>

#include <vector>

#include "sbr/sbr_tables_derive.h"

namespace {

using lumdec::sbr_band_tables;
using lumdec::sbr_header;

constexpr int rate_44100 = 4;  // index in the SBR rate table

sbr_header header(int start, int stop, int freq_scale, int alter_scale, int xover = 0)
{
    sbr_header h{};
    h.start_freq = static_cast<uint8_t>(start);
    h.stop_freq = static_cast<uint8_t>(stop);
    h.xover_band = static_cast<uint8_t>(xover);
    h.freq_scale = static_cast<uint8_t>(freq_scale);
    h.alter_scale = static_cast<uint8_t>(alter_scale);
    h.noise_bands = 2;
    h.limiter_bands = 2;
    h.limiter_gains = 2;
    return h;
}

std::vector<int> list(const uint8_t *v, int n)
{
    return std::vector<int>(v, v + n + 1);
}

// 44.1 kHz: k0 = startMin 12 + offset 2 (bs_start_freq 5) = 14; k2 = stopMin
// 23 + 24 (bs_stop_freq 9) = 47.  Ten bands per octave, warp 1.3: 47/14 >
// 2.2449, so two regions split at k1 = 28.  Lower region: 2 round(10 x 1/2)
// = 10 bands; 14 x 2^(k/10) rounds to 14 15 16 17 18 20 21 23 24 26 28,
// widths sorted 1 1 1 1 1 1 2 2 2 2.  Upper region: 2 round(10 log2(47/28) /
// 2.6) = 6 bands; 28 (47/28)^(k/6) rounds to 28 31 33 36 40 43 47, widths
// sorted 2 3 3 3 4 4 (the narrowest, 2, is not below the lower region's
// widest, 2).
TEST(SbrBandTables, LogarithmicMasterTableInTwoRegions)
{
    sbr_band_tables t{};
    ASSERT_TRUE(lumdec::sbr_derive_tables(header(5, 9, 2, 1), rate_44100, &t));
    EXPECT_EQ(t.k0, 14);
    EXPECT_EQ(t.k2, 47);
    EXPECT_EQ(list(t.f_master, t.n_master),
              (std::vector<int>{14, 15, 16, 17, 18, 19, 20, 22, 24, 26, 28, 30, 33, 36, 39, 43, 47}));
    // No crossover offset: high = master; low takes every other border from
    // the first (16 bands, even).
    EXPECT_EQ(list(t.f_high, t.n_high), list(t.f_master, t.n_master));
    EXPECT_EQ(list(t.f_low, t.n_low), (std::vector<int>{14, 16, 18, 20, 24, 28, 33, 39, 47}));
    EXPECT_EQ(t.kx, 14);
    EXPECT_EQ(t.m, 33);
    // Noise bands: round(2 log2(47/14)) = round(3.49) = 3; low-table
    // indices 0, 0 + 8/3 = 2, 2 + 6/2 = 5, 5 + 3/1 = 8.
    EXPECT_EQ(list(t.f_noise, t.n_noise), (std::vector<int>{14, 18, 28, 47}));
}

// Patches for the same header: goal band round(2048000 / 44100) = 46 lies
// below 47, so k = 16 (the first master border not below 46).  The source
// of each patch must keep its parity (odd = (sb - 2 + k0) mod 2):
//   sb = 26 (the highest border <= 27 - odd): 12 bands from 14 - 0 - 12 = 2;
//   sb = 36 (<= 39 - odd): 10 bands from 4;
//   sb = 47 (<= 48 - odd, odd 1): 11 bands from 14 - 1 - 11 = 2.
// Limiter bands at 2 per octave merge neighbours closer than 2^0.245 =
// 1.185 from {14 16 18 20 24 28 33 39 47} and the inner patch borders 26
// and 36: 16 and 20 go; 26 replaces 24 and 36 replaces 33 (patch borders
// win over plain ones); 28 and 39 go.
TEST(SbrBandTables, PatchesAndLimiterBands)
{
    sbr_band_tables t{};
    ASSERT_TRUE(lumdec::sbr_derive_tables(header(5, 9, 2, 1), rate_44100, &t));
    ASSERT_EQ(t.num_patches, 3);
    EXPECT_EQ(std::vector<int>(t.patch_bands, t.patch_bands + 3), (std::vector<int>{12, 10, 11}));
    EXPECT_EQ(std::vector<int>(t.patch_start, t.patch_start + 3), (std::vector<int>{2, 4, 2}));
    EXPECT_EQ(list(t.f_limiter, t.n_limiter), (std::vector<int>{14, 18, 26, 36, 47}));
}

// Linear tables over k0 = 14 .. k2 = 47 (33 bands): width 1 gives 2 x
// floor(33/2) = 32 bands ending at 46, so the last band widens to 2; width
// 2 gives 2 x round(33/4) = 16 bands ending at 46, the last widens to 3.
TEST(SbrBandTables, LinearMasterTables)
{
    sbr_band_tables t{};
    ASSERT_TRUE(lumdec::sbr_derive_tables(header(5, 9, 0, 0), rate_44100, &t));
    std::vector<int> ones;
    for (int k = 14; k <= 45; k++)
        ones.push_back(k);
    ones.push_back(47);
    EXPECT_EQ(list(t.f_master, t.n_master), ones);

    ASSERT_TRUE(lumdec::sbr_derive_tables(header(5, 9, 0, 1), rate_44100, &t));
    std::vector<int> twos;
    for (int k = 14; k <= 44; k += 2)
        twos.push_back(k);
    twos.push_back(47);
    EXPECT_EQ(list(t.f_master, t.n_master), twos);
}

// bs_stop_freq 14 and 15 stop at 2 k0 and 3 k0 (at most 64); an odd
// number of high bands starts the low table one border early.
TEST(SbrBandTables, StopAtMultiplesOfTheStartAndOddHighBands)
{
    sbr_band_tables t{};
    ASSERT_TRUE(lumdec::sbr_derive_tables(header(5, 14, 0, 1), rate_44100, &t));
    EXPECT_EQ(t.k2, 28);
    ASSERT_TRUE(lumdec::sbr_derive_tables(header(0, 15, 0, 1), rate_44100, &t));
    EXPECT_EQ(t.k0, 8);
    EXPECT_EQ(t.k2, 24);
    // 44.1 kHz allows k2 - k0 <= 35: stop 13 (23 + 41 = 64) from k0 = 8 is too wide.
    EXPECT_FALSE(lumdec::sbr_derive_tables(header(0, 13, 0, 1), rate_44100, &t));

    // Linear width 2 from 14 to 47 has 16 bands; crossover band 1 leaves 15.
    ASSERT_TRUE(lumdec::sbr_derive_tables(header(5, 9, 0, 1, 1), rate_44100, &t));
    EXPECT_EQ(t.n_high, 15);
    EXPECT_EQ(t.kx, 16);
    EXPECT_EQ(t.n_low, 8);
    EXPECT_EQ(t.f_low[0], 16);
    EXPECT_EQ(t.f_low[1], t.f_high[1]);
    EXPECT_EQ(t.f_low[8], 47);
}

// For every header the decoder accepts at every rate: tables rise
// strictly (the noise table may repeat a border), the
// patches cover the high band from kx without a gap and copy from below
// kx, and the limiter bands span the whole high band.
TEST(SbrBandTables, EveryAcceptedHeaderKeepsTheTableRules)
{
    int accepted = 0;
    for (int rate = 0; rate < 9; rate++)
        for (int start = 0; start < 16; start++)
            for (int stop = 0; stop < 16; stop++)
                for (int scale = 0; scale < 4; scale++)
                    for (int alter = 0; alter < 2; alter++)
                        for (int xover = 0; xover < 8; xover += 3)
                            for (int lim = 0; lim < 4; lim++) {
                                sbr_header h = header(start, stop, scale, alter, xover);
                                h.limiter_bands = static_cast<uint8_t>(lim);
                                sbr_band_tables t{};
                                if (!lumdec::sbr_derive_tables(h, rate, &t))
                                    continue;
                                accepted++;
                                SCOPED_TRACE(testing::Message() << "rate " << rate << " start " << start << " stop "
                                                                << stop << " scale " << scale << " alter " << alter
                                                                << " xover " << xover << " limiter " << lim);
                                for (int k = 0; k < t.n_master; k++)
                                    ASSERT_LT(t.f_master[k], t.f_master[k + 1]);
                                ASSERT_EQ(t.f_high[0], t.kx);
                                ASSERT_EQ(t.f_high[t.n_high], t.kx + t.m);
                                ASSERT_LE(t.kx + t.m, 64);
                                ASSERT_LE(t.kx, 32);
                                ASSERT_EQ(t.f_low[t.n_low], t.f_high[t.n_high]);
                                for (int k = 0; k < t.n_low; k++)
                                    ASSERT_LT(t.f_low[k], t.f_low[k + 1]);
                                // More noise bands than low bands repeat borders: empty bands.
                                for (int k = 0; k < t.n_noise; k++)
                                    ASSERT_LE(t.f_noise[k], t.f_noise[k + 1]);
                                ASSERT_EQ(t.f_noise[0], t.kx);
                                ASSERT_EQ(t.f_noise[t.n_noise], t.kx + t.m);
                                int band = t.kx;
                                for (int p = 0; p < t.num_patches; p++) {
                                    ASSERT_GT(t.patch_bands[p], 0);
                                    ASSERT_LE(t.patch_start[p] + t.patch_bands[p], t.kx);
                                    band += t.patch_bands[p];
                                }
                                ASSERT_LE(band, t.kx + t.m);
                                ASSERT_EQ(t.f_limiter[0], t.kx);
                                ASSERT_EQ(t.f_limiter[t.n_limiter], t.kx + t.m);
                                for (int k = 0; k < t.n_limiter; k++)
                                    ASSERT_LE(t.f_limiter[k], t.f_limiter[k + 1]);
                            }
    EXPECT_GT(accepted, 10000);
}

}  // namespace
