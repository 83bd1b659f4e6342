#include "synthesis/dequantize.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "kernels/kernel_tables.h"
#include "syntax/band_layout.h"
#include "synthesis/quant_tables.h"

namespace lumdec {

namespace {

// ln(2)/4 rounded to single precision.
constexpr float kQuarterLn2 = 0.17328680f;
static_assert(std::bit_cast<uint32_t>(kQuarterLn2) == 0x3E317218u);

float pow43_one(int32_t q)
{
    if (static_cast<uint32_t>(q) + 512u <= 1024u)
        return pow43_table[q + 512];
    double magnitude = std::fabs(static_cast<double>(q));
    float m = static_cast<float>(std::pow(magnitude, 4.0 / 3.0));
    return q > 0 ? m : -0.0f - m;
}

// Values beyond the power table are rare (escape codes above 512), so
// they stay out of line.
[[gnu::noinline]] void pow43_four(float *dst, int32_t q0, int32_t q1, int32_t q2, int32_t q3)
{
    dst[0] = pow43_one(q0);
    dst[1] = pow43_one(q1);
    dst[2] = pow43_one(q2);
    dst[3] = pow43_one(q3);
}

// The runs below go four values at a time (band widths are multiples of
// four), each group read before it is written so that dst may be src.
// Multiplying each power by the gain as it is stored forms the same single
// product of the two rounded factors as a separate scaling pass would.

// Any value: one test tells whether all four lie in -511..512, which covers
// nearly every group; the rest go out of line.
[[gnu::always_inline]] inline void pow43_checked(float *dst, const int32_t *src, float gain)
{
    const float *table = pow43_table + 512;
    auto biased = [](int32_t q) { return static_cast<uint32_t>(q) + 511u; };
    const int32_t q0 = src[0], q1 = src[1], q2 = src[2], q3 = src[3];
    float p[4];
    if (((biased(q0) | biased(q1) | biased(q2) | biased(q3)) & ~1023u) == 0) [[likely]] {
        p[0] = table[q0];
        p[1] = table[q1];
        p[2] = table[q2];
        p[3] = table[q3];
    } else {
        pow43_four(p, q0, q1, q2, q3);
    }
    for (int k = 0; k < 4; ++k)
        dst[k] = p[k] * gain;
}

// Codebooks 1 to 10 code magnitudes up to 12, and four pulses add at most
// 60, so the low byte of each value, read as signed, is the value itself
// and needs no test; whatever else the words hold, the reads stay inside
// the table.
[[gnu::always_inline]] inline void pow43_small(float *x, float gain)
{
    const float *table = pow43_table + 512;
    const int32_t *q = reinterpret_cast<const int32_t *>(x);
    auto low = [](int32_t v) { return static_cast<int8_t>(v); };
    const float p[4] = {table[low(q[0])], table[low(q[1])], table[low(q[2])], table[low(q[3])]};
    for (int k = 0; k < 4; ++k)
        x[k] = p[k] * gain;
}

// Converts and scales [x, end), a whole number of groups of four, in place.
template <bool Esc>
[[gnu::always_inline]] inline void scale_run(float *x, const float *end, float gain)
{
    do {
        if constexpr (Esc)
            pow43_checked(x, reinterpret_cast<const int32_t *>(x), gain);
        else
            pow43_small(x, gain);
        x += 4;
    } while (x != end);
}

// Codebooks 1 and 2 code only -1, 0 and 1, whose powers are the values
// themselves: their floats are the integers converted four at a time in
// vector lanes (the compiler's vector types), with no table read.  Only a
// channel without pulses may take this way: a pulse can move such a value
// further out, and those sections go through the table like codebooks 3 to
// 10.
void unit_run(float *x, const float *end, float gain)
{
    using i32x4 = int32_t __attribute__((vector_size(16)));
    using f32x4 = float __attribute__((vector_size(16)));
    do {
        i32x4 q;
        std::memcpy(&q, x, sizeof q);
        const f32x4 p = __builtin_convertvector(q, f32x4) * gain;
        std::memcpy(x, &p, sizeof p);
        x += 4;
    } while (x != end);
}

// The bands [sb, eb) of one section, from pos, in each of the windows from
// group on, by run(x, end, gain); returns the end of the section.  A long
// window (the common case) runs from band to band without a window loop.
template <typename Run>
[[gnu::always_inline]] inline uint32_t section(float *group, uint32_t windows,
                                               const uint16_t *swb_end, uint32_t sb, uint32_t eb,
                                               const int32_t *sf, uint32_t pos, Run &&run)
{
    if (windows == 1) {
        float *x = group + pos;
        for (uint32_t b = sb; b < eb; ++b) {
            float *end = group + swb_end[b];
            run(x, end, band_gain(sf[b]));
            x = end;
        }
        return swb_end[eb - 1];
    }
    for (uint32_t b = sb; b < eb; ++b) {
        const float gain = band_gain(sf[b]);
        const uint32_t band_end = swb_end[b];
        for (uint32_t w = 0; w < windows; ++w) {
            float *x = group + AAC_SHORT_WINDOW_LENGTH * w;
            run(x + pos, x + band_end, gain);
        }
        pos = band_end;
    }
    return pos;
}

uint32_t coded_section(uint32_t cb, bool pulses, float *group, uint32_t windows,
                       const uint16_t *swb_end, uint32_t sb, uint32_t eb, const int32_t *sf,
                       uint32_t pos)
{
    if (cb == AAC_ESC_HCB)
        return section(group, windows, swb_end, sb, eb, sf, pos, scale_run<true>);
    if (cb > 2 || pulses)
        return section(group, windows, swb_end, sb, eb, sf, pos, scale_run<false>);
    return section(group, windows, swb_end, sb, eb, sf, pos, unit_run);
}

// Zeroes [from, to) in each of the windows from x on.
inline void zero_windows(const aac_vector_kernels &vk, float *x, uint32_t windows, uint32_t from,
                         uint32_t to)
{
    if (from >= to)
        return;
    for (uint32_t w = 0; w < windows; ++w)
        vk.vec_zero(x + AAC_SHORT_WINDOW_LENGTH * w + from, static_cast<int32_t>(to - from));
}

}  // namespace

void apply_pulse_data(const aac_pulse_data *pulse, int32_t *coef)
{
    for (uint32_t i = 0; i < pulse->number_pulse; ++i) {
        int32_t packed = pulse->pulse_packed[i];
        int32_t &value = coef[packed & 0xFFFF];
        const int32_t amplitude = value > 0 ? packed >> 16 : -(packed >> 16);
        // A damaged stream may place a pulse where no spectral value lies (a
        // noise or intensity band keeps its marker there, which that band's
        // codebook then ignores): the sum wraps there instead of overflowing.
        value = static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(amplitude));
    }
}

// Scale factor values beyond the table are as rare as large spectral
// values; band_gain calls this out of line.
float band_gain_beyond_table(int32_t value)
{
    float p = static_cast<float>(value) * kQuarterLn2;
    return static_cast<float>(std::exp(static_cast<double>(p)));
}

void dequantize_and_scale(const aac_stream_tables *tables, const aac_ics_info *ics,
                          const uint32_t *sections, const int32_t *scalefactors, int32_t *coef,
                          bool pulses)
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
        const uint32_t *entry = sections + aac_group_offset(g);
        const int32_t *sf = scalefactors + aac_group_offset(g);

        // Zero and noise sections (noise is filled in later, but the stereo
        // tools before it read these values as zero) and the bands above
        // max_sfb are cleared in runs as long as possible.
        uint32_t pos = 0, zero_from = 0;
        for (uint32_t sb = 0; sb < max_sfb; ++entry) {
            const uint32_t eb = aac_section_end(*entry);
            const uint32_t cb = aac_section_codebook(*entry);
            const uint32_t section_end = bands.swb_end[eb - 1];
            if (cb >= 1 && cb <= AAC_ESC_HCB) {
                zero_windows(vk, group, windows, zero_from, pos);
                pos = coded_section(cb, pulses, group, windows, bands.swb_end, sb, eb, sf, pos);
                zero_from = pos;
            } else if (cb == AAC_INTENSITY_HCB || cb == AAC_INTENSITY_HCB2) {
                zero_windows(vk, group, windows, zero_from, pos);
                zero_from = section_end;
            }
            pos = section_end;
            sb = eb;
        }
        zero_windows(vk, group, windows, zero_from, top);
        first_window = group_end;
    }
}

}  // namespace lumdec
