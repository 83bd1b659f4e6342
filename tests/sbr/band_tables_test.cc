// Band tables of a header against values worked out by hand from the
// derivation rules (the working is in the comments), and the rules every
// table must keep for every header the rate tables allow.  (The logarithmic
// master tables, patches, limiter and noise bands of the headers that
// streams use: the HE streams.)
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

// Linear tables over k0 = 14 .. k2 = 47 (at 44.1 kHz bs_start_freq 5 gives
// k0 = startMin 12 + 2, bs_stop_freq 9 k2 = stopMin 23 + 24; 33 bands):
// width 1 gives 2 x floor(33/2) = 32 bands ending at 46, so the last band
// widens to 2; width 2 gives 2 x round(33/4) = 16 bands ending at 46, the
// last widens to 3.
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

// Two logarithmic regions at 44.1 kHz, bs_start_freq 2, bs_stop_freq 5,
// 10 bands an octave: k0 = 12 - 1 = 11, k2 = 23 + 11 = 34; 34/11 > 2.2449
// splits at k1 = 22.  Lower region, 2 x round(5 x log2(2)) = 10 bands:
// borders round(11 x 2^(k/10)) = 11 12 13 14 15 16 17 18 19 21 22, widths
// sorted nine 1s then a 2.  Upper region, 2 x round(5 x log2(34/22)) =
// 2 x round(3.14) = 6 bands: borders round(22 x (34/22)^(k/6)) = 22 24 25
// 27 29 32 34, widths sorted 1 2 2 2 2 3.  Its narrowest (1) is under the
// lower region's widest (2): min(2 - 1, (3 - 1) / 2) = 1 moves from the
// widest band to the narrowest, leaving six bands of 2.
TEST(SbrBandTables, UpperLogRegionWidensItsNarrowestBand)
{
    sbr_band_tables t{};
    ASSERT_TRUE(lumdec::sbr_derive_tables(header(2, 5, 2, 0), rate_44100, &t));
    EXPECT_EQ(list(t.f_master, t.n_master),
              (std::vector<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 22, 24, 26, 28, 30, 32, 34}));
}

// Patches at 44.1 kHz (goal band round(2048000 / 44100) = 46), each as
// (first source band, width), worked from the patch rules:
// - k0 8, k2 27, linear width 2 (master 8 9 11 .. 27): every border a
//   patch ends on is odd, so each patch starts one band lower.  Patches reach 13 (5 bands
//   from 2), 19 (6 from 1), 25 (6 from 1), 27 (2 from 5); the last, under 3
//   bands wide, is dropped.
// - k0 16, k2 48, linear width 2 (master 16 18 .. 48): the goal lies below
//   48, so the search starts at border 46.  Patches reach 30 (14 from 2)
//   and 44 (14 from 2); 46 - 44 is under 3, so the search restarts from the
//   top border and the last patch reaches 48 (4 from 12).
TEST(SbrBandTables, PatchesDropANarrowLastPatchAndRestartNearTheGoal)
{
    struct Case {
        int start, stop;
        std::vector<int> patches;  // source start, width, ...
    };
    const Case cases[] = {
        {0, 2, {2, 5, 1, 6, 1, 6}},
        {7, 15, {2, 14, 2, 14, 12, 4}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " stop " << c.stop);
        sbr_band_tables t{};
        ASSERT_TRUE(lumdec::sbr_derive_tables(header(c.start, c.stop, 0, 1), rate_44100, &t));
        std::vector<int> got;
        for (int p = 0; p < t.num_patches; p++) {
            got.push_back(t.patch_start[p]);
            got.push_back(t.patch_bands[p]);
        }
        EXPECT_EQ(got, c.patches);
    }
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
