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
