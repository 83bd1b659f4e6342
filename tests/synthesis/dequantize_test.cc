// Pulses, and inverse quantisation of pulsed values against a
// per-coefficient reference.  (Whole channels, escapes beyond the power
// table among them: the conformance streams.)
#include "synthesis/dequantize.h"

#include <bit>
#include <cmath>

#include "records.h"
#include "synthesis/quant_tables.h"

using namespace lumdec;

namespace {

TEST(Dequantize, PulsesMoveAwayFromZeroOrDown)
{
    int32_t coef[1024] = {};
    coef[10] = 5;
    coef[30] = -3;
    // 5 + 2, 0 - 3 then -3 - 15, -3 - 4; a fifth stale entry is not read.
    aac_pulse_data pulse{4, 0, {(2 << 16) + 10, (3 << 16) + 20, (4 << 16) + 30, (15 << 16) + 20}};
    apply_pulse_data(&pulse, coef);
    EXPECT_EQ(coef[10], 7);
    EXPECT_EQ(coef[20], -18);
    EXPECT_EQ(coef[30], -7);
}

// The group, band and codebook of coefficient k (codebook 0 above max_sfb).
struct Place {
    uint32_t g = 0, b = 0, cb = 0;
};

Place place_of(const aac_stream_tables &t, const aac_ics_info &ics, const aac_channel_state &ch,
               uint32_t k)
{
    const bool is_short = ics.window_sequence == AAC_EIGHT_SHORT_SEQUENCE;
    const uint16_t *ends = is_short ? t.swb_end_short : t.swb_end_long;
    Place p;
    const uint32_t i = is_short ? k % 128 : k;
    while (k / 128 >= ics.window_group_end[p.g] && is_short)
        ++p.g;
    while (i >= ends[p.b])
        ++p.b;
    for (const uint32_t *e = ch.sections + 16 * p.g; p.b < ics.max_sfb; ++e)
        if ((*e & 0xFF) > p.b) {
            p.cb = *e >> 8;
            break;
        }
    return p;
}

// For each coefficient: q^(4/3) times 2^(sf/4), both rounded to float
// before the product.
std::vector<uint32_t> reference(const aac_ics_info &ics, const aac_channel_state &ch)
{
    const aac_stream_tables t = tables_48k();
    std::vector<uint32_t> out(1024);
    for (uint32_t k = 0; k < 1024; ++k) {
        const Place p = place_of(t, ics, ch, k);
        const double a = std::fabs(static_cast<double>(ch.coef[k]));
        const double m = a <= 512 ? std::cbrt(a * a * a * a) : std::pow(a, 4.0 / 3.0);
        const float q = static_cast<float>(ch.coef[k] < 0 ? -m : m);
        const float gain = static_cast<float>(std::exp2(ch.scalefactors[16 * p.g + p.b] / 4.0));
        const float v = p.cb >= 1 && p.cb <= 11 ? static_cast<float>(static_cast<double>(q) * gain)
                                                : 0;
        out[k] = p.cb >= 14 ? static_cast<uint32_t>(ch.coef[k]) : std::bit_cast<uint32_t>(v);
    }
    return out;
}

// A pulse moves codebook 1 and 2 values beyond one; their powers come from
// the integers themselves whatever the band's gain: an infinite gain gives
// infinities of the right sign (not NaN), a zero gain zeros of the right
// sign.
TEST(Dequantize, PulsedUnitCodebookValuesWithExtremeGains)
{
    const aac_stream_tables t = tables_48k();
    const aac_ics_info ics = ics_of(2);
    for (int32_t sf : {600, -700, 0}) {
        auto ch = std::make_unique<aac_channel_state>();
        ch->sections[0] = (1u << 8) + 1;  // band 0: codebook 1
        ch->sections[1] = (2u << 8) + 2;  // band 1: codebook 2
        ch->scalefactors[0] = ch->scalefactors[1] = sf;
        const int32_t values[] = {3, -1, 1, -2, 1, -1, 16, -61};
        for (uint32_t k = 0; k < t.swb_end_long[1]; ++k)
            ch->coef[k] = values[k % 8];
        const std::vector<uint32_t> expected = reference(ics, *ch);
        dequantize_and_scale(&t, &ics, ch->sections, ch->scalefactors, ch->coef, true);
        EXPECT_EQ(bits_of(floats(*ch), 1024), expected) << "scale factor value " << sf;
    }
}

}  // namespace
