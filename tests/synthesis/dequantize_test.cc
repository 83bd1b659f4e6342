// Pulses and inverse quantisation against values worked out by hand and a
// per-coefficient double-precision reference.
#include "synthesis/dequantize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "records.h"
#include "synthesis/quant_tables.h"

namespace {

// The exponential path as defined: p = v * (ln 2 / 4 as a float), exp in double.
float gain_through_exp(int32_t v)
{
    float p = static_cast<float>(v) * std::bit_cast<float>(0x3E317218u);
    return static_cast<float>(std::exp(static_cast<double>(p)));
}

TEST(Dequantize, TablesHoldTheRoundedExactValues)
{
    for (int q = -512; q <= 512; ++q) {
        long double m = std::cbrt(std::pow(std::fabs(static_cast<long double>(q)), 4.0L));
        ASSERT_EQ(pow43_table[q + 512], static_cast<float>(q < 0 ? -m : m)) << q;
    }
    for (int v = -256; v <= 256; ++v)
        ASSERT_EQ(sf_gain_table[v + 256], static_cast<float>(std::exp2(v / 4.0L))) << v;
}

TEST(Dequantize, PowerAndGainKnownValues)
{
    const int32_t q[] = {0, 1, -8, 27, 512, -512, 513, -513, 8191};
    float out[9];
    pow43(9, out, q);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_FALSE(std::signbit(out[0]));
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], -16.0f);
    EXPECT_EQ(out[3], 81.0f);
    EXPECT_EQ(out[4], 4096.0f);
    EXPECT_EQ(out[5], -4096.0f);
    const float m513 = static_cast<float>(std::pow(513.0, 1.3333333333333333));
    EXPECT_EQ(out[6], m513);
    EXPECT_EQ(out[7], -m513);
    EXPECT_NEAR(out[8], 165113.494f, 0.016f);  // 8191^(4/3) within half a step

    EXPECT_EQ(band_gain(0), 1.0f);
    EXPECT_EQ(band_gain(4), 2.0f);
    EXPECT_EQ(band_gain(-4), 0.5f);
    EXPECT_EQ(band_gain(256), 0x1p64f);
    EXPECT_EQ(band_gain(-256), 0x1p-64f);
    for (int32_t v : {257, -257, 300, -300}) {
        EXPECT_EQ(band_gain(v), gain_through_exp(v)) << v;
        EXPECT_NEAR(std::log2(band_gain(v)), v / 4.0, 1e-5) << v;
    }
}

TEST(Dequantize, PulsesMoveAwayFromZeroOrDown)
{
    int32_t coef[1024] = {};
    coef[10] = 5;
    coef[30] = -3;
    coef[1023] = 2;
    aac_pulse_data pulse{};
    pulse.number_pulse = 4;
    pulse.pulse_packed[0] = (2 << 16) + 10;    // 5 + 2
    pulse.pulse_packed[1] = (3 << 16) + 20;    // 0 - 3
    pulse.pulse_packed[2] = (4 << 16) + 30;    // -3 - 4
    pulse.pulse_packed[3] = (15 << 16) + 20;   // now negative: -3 - 15
    apply_pulse_data(&pulse, coef);
    EXPECT_EQ(coef[10], 7);
    EXPECT_EQ(coef[20], -18);
    EXPECT_EQ(coef[30], -7);
    EXPECT_EQ(coef[1023], 2);  // no pulse there
    pulse.number_pulse = 1;    // later entries are stale
    apply_pulse_data(&pulse, coef);
    EXPECT_EQ(coef[10], 9);
    EXPECT_EQ(coef[20], -18);
}

TEST(Dequantize, MaxSfbZeroClearsEveryWindow)
{
    const aac_stream_tables t = tables_48k();
    for (aac_ics_info ics : {long_ics(0), short_ics(0, {2, 6})}) {
        auto ch = new_channel();
        for (int k = 0; k < 1024; ++k)
            ch->coef[k] = 1000 - k;
        dequantize_and_scale(&t, &ics, ch->sections, ch->scalefactors, ch->coef);
        EXPECT_EQ(bits_of(floats(*ch), 1024), std::vector<uint32_t>(1024, 0u));
    }
}

TEST(Dequantize, GroupedShortWindowsShareOneGainPerBand)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = short_ics(2, {3, 5});
    auto ch = new_channel();
    set_sections(ch->sections, 0, {{1, 2}});
    set_sections(ch->sections, 1, {{5, 1}, {0, 2}});
    ch->scalefactors[0] = 4;
    ch->scalefactors[1] = -4;
    ch->scalefactors[16] = 8;
    for (int k = 0; k < 1024; ++k)
        ch->coef[k] = -8;
    dequantize_and_scale(&t, &ics, ch->sections, ch->scalefactors, ch->coef);
    const float *x = floats(*ch);
    for (int w = 0; w < 8; ++w) {
        const float band0 = w < 3 ? -32.0f : -64.0f, band1 = w < 3 ? -8.0f : 0.0f;
        for (int i = 0; i < 128; ++i)
            ASSERT_EQ(x[128 * w + i], i < 4 ? band0 : i < 8 ? band1 : 0.0f) << w << " " << i;
    }
}

// Per coefficient: find its window group and band, then the band's
// codebook, then q^(4/3) times 2^(sf/4), each factor rounded to float.
std::vector<uint32_t> reference_dequantize(const aac_stream_tables &t, const aac_ics_info &ics,
                                           const aac_channel_state &ch)
{
    const bool is_short = ics.window_sequence == AAC_EIGHT_SHORT_SEQUENCE;
    const uint16_t *ends = is_short ? t.swb_end_short : t.swb_end_long;
    const uint32_t length = is_short ? 128 : 1024;
    std::vector<uint32_t> out(1024);
    for (uint32_t k = 0; k < 1024; ++k) {
        uint32_t w = k / length, i = k % length, g = 0, b = 0, cb = 0;
        while (w >= ics.window_group_end[g])
            ++g;
        while (i >= ends[b])
            ++b;
        if (b < ics.max_sfb) {
            const uint32_t *entry = ch.sections + 16 * g;
            while ((*entry & 0xFF) <= b)
                ++entry;
            cb = *entry >> 8;
        }
        const int32_t q = ch.coef[k];
        float v = 0.0f;
        if (cb == 14 || cb == 15) {
            out[k] = static_cast<uint32_t>(q);
            continue;
        }
        if (cb >= 1 && cb <= 11) {
            const double a = std::fabs(static_cast<double>(q));
            const double m = a <= 512 ? std::cbrt(a * a * a * a) : std::pow(a, 4.0 / 3.0);
            const float p = static_cast<float>(q < 0 ? -m : m);
            const float gain = static_cast<float>(std::exp2(ch.scalefactors[16 * g + b] / 4.0));
            v = static_cast<float>(static_cast<double>(p) * gain);
        }
        out[k] = std::bit_cast<uint32_t>(v);
    }
    return out;
}

TEST(Dequantize, RandomChannelsMatchTheReferenceWithEitherKernelTable)
{
    const aac_stream_tables t = tables_48k();
    std::mt19937 rng(7);
    for (aac_ics_info ics : {long_ics(45), short_ics(12, {3, 1, 2, 2}), short_ics(14, {8})}) {
        auto ch = new_channel();
        const uint32_t codebooks[] = {0, 1, 2, 4, 7, 9, 11, 11, 13, 14, 15};
        for (uint32_t g = 0; g < ics.num_window_groups; ++g) {
            uint32_t *entry = ch->sections + 16 * g;
            for (uint32_t sb = 0; sb < ics.max_sfb;) {
                sb = std::min<uint32_t>(ics.max_sfb, sb + 1 + rng() % 5);
                *entry++ = (codebooks[rng() % 11] << 8) + sb;
            }
        }
        for (int32_t &sf : ch->scalefactors)
            sf = static_cast<int32_t>(rng() % 120) - 50;
        for (int32_t &q : ch->coef)
            q = rng() % 16 == 0 ? static_cast<int32_t>(rng() % 1400) - 700
                                : static_cast<int32_t>(rng() % 41) - 20;
        const std::vector<uint32_t> expected = reference_dequantize(t, ics, *ch);
        const aac_channel_state input = *ch;
        auto [generic, sse2] = with_both_kernel_tables<std::vector<uint32_t>>([&] {
            *ch = input;
            dequantize_and_scale(&t, &ics, ch->sections, ch->scalefactors, ch->coef);
            return bits_of(floats(*ch), 1024);
        });
        EXPECT_EQ(generic, expected);
        EXPECT_EQ(sse2, expected);
    }
}

}  // namespace
