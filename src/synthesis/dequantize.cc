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

[[gnu::noinline]] float pow43_computed(int32_t q)
{
    double magnitude = std::fabs(static_cast<double>(q));
    float m = static_cast<float>(std::pow(magnitude, 4.0 / 3.0));
    return q > 0 ? m : -0.0f - m;
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
    for (int32_t i = 0; i < count; ++i) {
        int32_t q = src[i];
        uint32_t index = static_cast<uint32_t>(q) + 512u;
        dst[i] = index <= 1024u ? pow43_table[index] : pow43_computed(q);
    }
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
                        pow43(width, x, reinterpret_cast<const int32_t *>(x));
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
