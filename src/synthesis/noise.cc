#include "synthesis/noise.h"

#include <cmath>
#include <cstring>

#include "kernels/kernel_tables.h"
#include "syntax/band_layout.h"
#include "synthesis/dequantize.h"

namespace lumdec {

namespace {

// Calls band(section, b, start, width) for every band b of every noise
// section; the band's values in window w of the section's group begin at
// AAC_SHORT_WINDOW_LENGTH * (section.first_window + w) + start.
template <typename Band>
void for_each_noise_band(const aac_stream_tables *tables, const aac_ics_info *ics,
                         const uint32_t *sections, Band band)
{
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    aac_for_each_section(ics, sections, [&](const aac_section &s) {
        if (s.codebook != AAC_NOISE_HCB)
            return;
        for (uint32_t b = s.start_band; b < s.end_band; ++b) {
            const uint32_t start = aac_band_start(bands.swb_end, b);
            band(s, b, start, static_cast<int32_t>(bands.swb_end[b] - start));
        }
    });
}

}  // namespace

void generate_noise_band(float *x, int32_t n, float gain, uint32_t *seed)
{
    // Four generator steps at a time in vector lanes (the compiler's vector
    // types, not a processor's): lane k holds the state of value i + k and
    // advances by four steps at once, s -> a^4 s + c4, the same sequence
    // modulo 2^32 as stepping one at a time.  Conversions and squares are
    // lane by lane, and so is the energy: lane k sums the squares of values
    // k, k + 4, ... and the lanes meet as (0 + 1) + (2 + 3) at the end, so
    // no value waits for the sum of the one before (a serial sum cost a
    // float addition's latency per value, a fifth of a noisy stream's time).
    using u32x4 = uint32_t __attribute__((vector_size(16)));
    using i32x4 = int32_t __attribute__((vector_size(16)));
    using f32x4 = float __attribute__((vector_size(16)));
    constexpr uint32_t a1 = 1664525u, c1 = 1013904223u;
    constexpr uint32_t a2 = a1 * a1, c2 = a1 * c1 + c1;
    constexpr uint32_t a3 = a1 * a2, c3 = a1 * c2 + c1;
    constexpr uint32_t a4 = a2 * a2, c4 = a2 * c2 + c2;
    constexpr uint32_t a1_inverse = [] {
        uint32_t x = a1;  // Newton's iteration doubles the correct low bits
        for (int k = 0; k < 5; ++k)
            x *= 2 - a1 * x;
        return x;
    }();
    static_assert(a1 * a1_inverse == 1);
    uint32_t s = *seed;
    u32x4 lane = u32x4{a1, a2, a3, a4} * s + u32x4{c1, c2, c3, c4};
    f32x4 sums = {0.0f, 0.0f, 0.0f, 0.0f};
    int32_t i = 0;
    // Eight values per step: the second four come from the first off the
    // loop-carried chain, which advances eight steps at once (the 32-bit
    // lane products are slow on SSE2, so the chain sets the pace).
    constexpr uint32_t a8 = a4 * a4, c8 = a4 * c4 + c4;
    u32x4 times_a8 = {a8, a8, a8, a8};
    // Hidden from the optimiser, which would otherwise turn this product
    // into a dozen dependent shifts and additions on the chain.
    __asm__("" : "+x"(times_a8));
    for (; i + 8 <= n; i += 8) {
        const u32x4 next = lane * a4 + c4;
        const f32x4 v = __builtin_convertvector(reinterpret_cast<i32x4>(lane), f32x4);
        const f32x4 w = __builtin_convertvector(reinterpret_cast<i32x4>(next), f32x4);
        std::memcpy(x + i, &v, sizeof v);
        std::memcpy(x + i + 4, &w, sizeof w);
        sums = v * v + sums;
        sums = w * w + sums;
        lane = lane * times_a8 + c8;
    }
    if (i + 4 <= n) {
        const f32x4 v = __builtin_convertvector(reinterpret_cast<i32x4>(lane), f32x4);
        std::memcpy(x + i, &v, sizeof v);
        sums = v * v + sums;
        lane = lane * a4 + c4;
        i += 4;
    }
    float energy = (sums[0] + sums[1]) + (sums[2] + sums[3]);
    // Lane 0 is one step past the last value made: step back.
    if (i > 0)
        s = (lane[0] - c1) * a1_inverse;
    for (; i < n; ++i) {
        s = s * a1 + c1;
        const float v = static_cast<float>(static_cast<int32_t>(s));
        x[i] = v;
        energy = v * v + energy;
    }
    *seed = s;
    aac_active_vector_kernels->vec_scale(x, x, gain / std::sqrt(energy), n);
}

void noise_substitution(const aac_stream_tables *tables, const aac_ics_info *ics,
                        const uint32_t *sections, const int32_t *scalefactors, float *coef,
                        uint32_t *seed)
{
    for_each_noise_band(
        tables, ics, sections,
        [&](const aac_section &s, uint32_t b, uint32_t start, int32_t width) {
            const float gain = band_gain(scalefactors[aac_group_offset(s.group) + b]);
            for (uint32_t w = 0; w < s.windows; ++w)
                generate_noise_band(coef + s.window_offset(w) + start, width, gain, seed);
        });
}

void noise_substitution_pair(const aac_stream_tables *tables, const aac_channel_pair_state &pair,
                             const uint32_t *map0, const float *L, float *R, uint32_t *seed)
{
    const aac_vector_kernels &vk = *aac_active_vector_kernels;
    const int32_t *sf_L = pair.channel[0].scalefactors, *sf_R = pair.channel[1].scalefactors;
    for_each_noise_band(
        tables, &pair.channel[0].ics_info, pair.channel[1].sections,
        [&](const aac_section &s, uint32_t b, uint32_t start, int32_t width) {
            const uint32_t i = aac_group_offset(s.group) + b;
            if (map0[i] == AAC_NOISE_HCB && (pair.ms_mask_present == 2 || pair.ms_used[i])) {
                // Channel 0's noise is already at its level; the ratio of the
                // two levels gives channel 1's.
                const float gain = band_gain(sf_R[i] - sf_L[i]);
                for (uint32_t w = 0; w < s.windows; ++w) {
                    const uint32_t at = s.window_offset(w) + start;
                    vk.vec_scale(R + at, L + at, gain, width);
                }
            } else {
                const float gain = band_gain(sf_R[i]);
                for (uint32_t w = 0; w < s.windows; ++w)
                    generate_noise_band(R + s.window_offset(w) + start, width, gain, seed);
            }
        });
}

}  // namespace lumdec
