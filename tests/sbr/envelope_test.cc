// Envelope and noise values: differences summed along frequency and time
// (time differences across a change of frequency resolution read the band
// of the earlier envelope that holds the current band's lower edge), and
// the energies they stand for, worked out by hand from the dequantisation
// rules: E = 64 * 2^(E/a), Q = 2^(6 - Q), and for a coupled pair a level
// and a balance around the pan offset (24 in 1.5 dB steps, 12 for noise).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "sbr/sbr_envelope.h"

namespace {

using lumdec::sbr_band_tables;
using lumdec::sbr_channel;
using lumdec::sbr_energies;
using lumdec::sbr_frame_data;
using lumdec::sbr_levels;

// Four high-resolution bands 10..14, two low-resolution ones, one noise band.
sbr_band_tables small_tables()
{
    sbr_band_tables t{};
    t.kx = 10;
    t.m = 4;
    t.n_high = 4;
    t.n_low = 2;
    t.n_noise = 1;
    const uint8_t high[] = {10, 11, 12, 13, 14}, low[] = {10, 12, 14}, noise[] = {10, 14};
    std::copy(high, high + 5, t.f_high);
    std::copy(low, low + 3, t.f_low);
    std::copy(noise, noise + 2, t.f_noise);
    return t;
}

TEST(SbrEnvelope, DifferencesAcrossFrequencyTimeAndResolution)
{
    const sbr_band_tables t = small_tables();
    auto ch = std::make_unique<sbr_channel>();
    sbr_frame_data d{};
    d.grid.num_env = 3;
    d.grid.num_noise = 2;
    d.grid.freq_res[0] = 1;  // high: 1 2 3 4 by frequency differences
    d.df_env[0] = 0;
    const int8_t e0[] = {1, 1, 1, 1};
    std::copy(e0, e0 + 4, d.env[0]);
    d.grid.freq_res[1] = 0;  // low, +1 in time: from bands 10 and 12 of the last
    d.df_env[1] = 1;
    d.env[1][0] = d.env[1][1] = 1;
    d.grid.freq_res[2] = 1;  // high, +0 in time: each band from the low band holding it
    d.df_env[2] = 1;
    d.noise[0][0] = 5;
    d.df_noise[1] = 1;
    d.noise[1][0] = -2;
    ch->prev_noise[0] = 100;  // not read: the first noise floor is coded in frequency

    sbr_levels out{};
    lumdec::sbr_decode_levels(t, d, ch.get(), &out);
    EXPECT_EQ(std::vector<int>(out.env[0], out.env[0] + 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(std::vector<int>(out.env[1], out.env[1] + 2), (std::vector<int>{2, 4}));
    EXPECT_EQ(std::vector<int>(out.env[2], out.env[2] + 4), (std::vector<int>{2, 2, 4, 4}));
    EXPECT_EQ(out.noise[0][0], 5);
    EXPECT_EQ(out.noise[1][0], 3);

    // The next frame's first envelope, low resolution, +0 in time, counts
    // from this frame's last: bands 10 and 12.
    sbr_frame_data next{};
    next.grid.num_env = 1;
    next.grid.num_noise = 1;
    next.grid.freq_res[0] = 0;
    next.df_env[0] = 1;
    next.df_noise[0] = 1;
    lumdec::sbr_decode_levels(t, next, ch.get(), &out);
    EXPECT_EQ(out.env[0][0], 2);
    EXPECT_EQ(out.env[0][1], 4);
    EXPECT_EQ(out.noise[0][0], 3);
}

TEST(SbrEnvelope, EnergiesOfSingleAndCoupledChannels)
{
    const sbr_band_tables t = small_tables();
    sbr_frame_data d{};
    d.grid.num_env = 1;
    d.grid.num_noise = 1;
    d.grid.freq_res[0] = 1;
    sbr_levels level{}, balance{};
    const int e[] = {0, 1, 10, 127};
    std::copy(e, e + 4, level.env[0]);
    level.noise[0][0] = 6;

    sbr_energies one{};
    d.amp_res = 0;  // 1.5 dB steps
    lumdec::sbr_dequantise(t, d, level, &one);
    EXPECT_FLOAT_EQ(one.env[0][0], 64.0f);
    EXPECT_FLOAT_EQ(one.env[0][1], 64.0f * std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(one.env[0][2], 2048.0f);
    EXPECT_FLOAT_EQ(one.env[0][3], 64.0f * std::pow(2.0f, 63.5f));
    EXPECT_FLOAT_EQ(one.noise[0][0], 1.0f);
    d.amp_res = 1;  // 3 dB steps
    lumdec::sbr_dequantise(t, d, level, &one);
    EXPECT_FLOAT_EQ(one.env[0][2], 65536.0f);

    // Level 10 (1.5 dB steps): 64 * 2^(5 + 1) = 4096 split by the balance.
    // At the pan offset both get half; 12 steps of 1.5 dB to the left give
    // 4096 / (1 + 2^-6) and 4096 / (1 + 2^6).
    d.amp_res = 0;
    std::fill(level.env[0], level.env[0] + 4, 10);
    const int b[] = {24, 36, 12, 0};
    std::copy(b, b + 4, balance.env[0]);
    level.noise[0][0] = 6;
    balance.noise[0][0] = 14;
    sbr_energies left{}, right{};
    lumdec::sbr_dequantise_coupled(t, d, level, balance, &left, &right);
    EXPECT_FLOAT_EQ(left.env[0][0], 2048.0f);
    EXPECT_FLOAT_EQ(right.env[0][0], 2048.0f);
    EXPECT_FLOAT_EQ(left.env[0][1], 4096.0f / (1.0f + 1.0f / 64));
    EXPECT_FLOAT_EQ(right.env[0][1], 4096.0f / 65.0f);
    EXPECT_FLOAT_EQ(left.env[0][2], 4096.0f / 65.0f);
    EXPECT_FLOAT_EQ(right.env[0][3], 4096.0f / (1.0f + 1.0f / 4096));
    // Noise: 2^(7 - 6) = 2 split at 2 steps of 3 dB: 2 / 1.25 and 2 / 5.
    EXPECT_FLOAT_EQ(left.noise[0][0], 1.6f);
    EXPECT_FLOAT_EQ(right.noise[0][0], 0.4f);
}

}  // namespace
