#include "synthesis/dequantize.h"

#include <bit>
#include <cmath>

#include "kernels/kernel_tables.h"
#include "synthesis/band_layout.h"
#include "synthesis/quant_tables.h"

namespace {

// ln(2)/4 rounded to single precision.
constexpr float kQuarterLn2 = 0.17328680f;
static_assert(std::bit_cast<uint32_t>(kQuarterLn2) == 0x3E317218u);

// Values beyond the tables are rare (escape codes above 512, extreme scale
// factors), so they stay out of line.
[[gnu::noinline]] float band_gain_computed(int32_t value)
{
    float p = static_cast<float>(value) * kQuarterLn2;
    return static_cast<float>(std::exp(static_cast<double>(p)));
}

float pow43_one(int32_t q)
{
    if (static_cast<uint32_t>(q) + 512u <= 1024u)
        return pow43_table[q + 512];
    double magnitude = std::fabs(static_cast<double>(q));
    float m = static_cast<float>(std::pow(magnitude, 4.0 / 3.0));
    return q > 0 ? m : -0.0f - m;
}

[[gnu::noinline]] void pow43_four(float *dst, int32_t q0, int32_t q1, int32_t q2, int32_t q3)
{
    dst[0] = pow43_one(q0);
    dst[1] = pow43_one(q1);
    dst[2] = pow43_one(q2);
    dst[3] = pow43_one(q3);
}

// Inlined into the band loop: a call per band would cost as much as the
// conversion of a small band.
[[gnu::always_inline]] inline void pow43_run(int32_t count, float *dst, const int32_t *src)
{
    // Four at a time (band widths are multiples of four), each group read
    // before it is written so that dst may be src.  One test tells whether
    // all four lie in -511..512, which covers nearly every group; the rest
    // go out of line.
    const float *table = pow43_table + 512;
    auto biased = [](int32_t q) { return static_cast<uint32_t>(q) + 511u; };
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const int32_t q0 = src[i], q1 = src[i + 1], q2 = src[i + 2], q3 = src[i + 3];
        if (((biased(q0) | biased(q1) | biased(q2) | biased(q3)) & ~1023u) == 0) {
            dst[i] = table[q0];
            dst[i + 1] = table[q1];
            dst[i + 2] = table[q2];
            dst[i + 3] = table[q3];
        } else {
            pow43_four(dst + i, q0, q1, q2, q3);
        }
    }
    for (; i < count; ++i)
        dst[i] = pow43_one(src[i]);
}

}  // namespace

void apply_pulse_data(const aac_pulse_data *pulse, int32_t *coef)
{
    for (uint32_t i = 0; i < pulse->number_pulse; ++i) {
        int32_t packed = pulse->pulse_packed[i];
        int32_t &value = coef[packed & 0xFFFF];
        int32_t amplitude = packed >> 16;
        if (value > 0)
            value += amplitude;
        else
            value -= amplitude;
    }
}

float band_gain(int32_t value)
{
    uint32_t index = static_cast<uint32_t>(value) + 256u;
    if (index <= 512u)
        return sf_gain_table[index];
    return band_gain_computed(value);
}

void pow43(int32_t count, float *dst, const int32_t *src)
{
    pow43_run(count, dst, src);
}

void dequantize_and_scale(const aac_stream_tables *tables, const aac_ics_info *ics,
                          const uint32_t *sections, const int32_t *scalefactors, int32_t *coef)
{
    const aac_vector_kernels &vk = *aac_active_vector_kernels;
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    const uint32_t top = bands.swb_end[bands.num_swb - 1];
    const uint32_t max_sfb = ics->max_sfb;
    float *spectrum = reinterpret_cast<float *>(coef);

    uint32_t first_window = 0;
    for (uint32_t g = 0; g < ics->num_window_groups; ++g) {
        const uint32_t group_end = ics->window_group_end[g];
        const uint32_t windows = group_end - first_window;
        float *group = spectrum + AAC_SHORT_WINDOW_LENGTH * first_window;
        const uint32_t *entry = sections + 16 * g;
        const int32_t *sf = scalefactors + 16 * g;

        uint32_t pos = 0;
        for (uint32_t sb = 0; sb < max_sfb; ++entry) {
            const uint32_t eb = *entry & 0xFF;
            const uint32_t cb = (*entry >> 8) & 0xFF;
            const uint32_t section_end = bands.swb_end[eb - 1];
            if (cb >= 1 && cb <= AAC_ESC_HCB) {
                for (uint32_t b = sb; b < eb; ++b) {
                    const float gain = band_gain(sf[b]);
                    const uint32_t band_end = bands.swb_end[b];
                    const int32_t width = static_cast<int32_t>(band_end - pos);
                    for (uint32_t w = 0; w < windows; ++w) {
                        float *x = group + AAC_SHORT_WINDOW_LENGTH * w + pos;
                        pow43_run(width, x, reinterpret_cast<const int32_t *>(x));
                        vk.vec_scale(x, x, gain, width);
                    }
                    pos = band_end;
                }
            } else if (cb != AAC_INTENSITY_HCB && cb != AAC_INTENSITY_HCB2) {
                // Zero and noise bands; noise is filled in later, but the
                // stereo tools before it read these values as zero.
                for (uint32_t w = 0; w < windows; ++w)
                    vk.vec_zero(group + AAC_SHORT_WINDOW_LENGTH * w + pos,
                                static_cast<int32_t>(section_end - pos));
            }
            pos = section_end;
            sb = eb;
        }
        if (pos < top) {
            for (uint32_t w = 0; w < windows; ++w)
                vk.vec_zero(group + AAC_SHORT_WINDOW_LENGTH * w + pos,
                            static_cast<int32_t>(top - pos));
        }
        first_window = group_end;
    }
}
