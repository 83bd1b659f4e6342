#include "synthesis/noise.h"

#include <cmath>
#include <cstring>

#include "kernels/kernel_tables.h"
#include "synthesis/band_layout.h"
#include "synthesis/dequantize.h"

namespace lumdec {

namespace {

// Walks the noise bands of one channel; band(g, b, offset, start, width,
// windows) handles band b of group g, whose windows begin at coef offset +
// 128 w.
template <typename Band>
void for_each_noise_band(const aac_stream_tables *tables, const aac_ics_info *ics,
                         const uint32_t *sections, Band band)
{
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    uint32_t first_window = 0;
    for (uint32_t g = 0; g < ics->num_window_groups; ++g) {
        const uint32_t group_end = ics->window_group_end[g];
        const uint32_t offset = AAC_SHORT_WINDOW_LENGTH * first_window;
        const uint32_t *entry = sections + 16 * g;
        for (uint32_t sb = 0; sb < ics->max_sfb; ++entry) {
            const uint32_t eb = *entry & 0xFF;
            if (((*entry >> 8) & 0xFF) == AAC_NOISE_HCB) {
                for (uint32_t b = sb; b < eb; ++b) {
                    const uint32_t start = aac_band_start(bands.swb_end, b);
                    band(g, b, offset + start, static_cast<int32_t>(bands.swb_end[b] - start),
                         group_end - first_window);
                }
            }
            sb = eb;
        }
        first_window = group_end;
    }
}

}  // namespace

void generate_noise_band(float *x, int32_t n, float gain, uint32_t *seed)
{
    // Four generator steps at a time in vector lanes (the compiler's vector
    // types, not a processor's): lane k holds the state of value i + k and
    // advances by four steps at once, s -> a^4 s + c4, the same sequence
    // modulo 2^32 as stepping one at a time.  Conversions and squares are
    // lane by lane; the energy is still summed value by value in order.
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
    float energy = 0.0f;
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const f32x4 v = __builtin_convertvector(reinterpret_cast<i32x4>(lane), f32x4);
        const f32x4 square = v * v;
        std::memcpy(x + i, &v, sizeof v);
        energy = square[0] + energy;
        energy = square[1] + energy;
        energy = square[2] + energy;
        energy = square[3] + energy;
        lane = lane * a4 + c4;
    }
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
    for_each_noise_band(tables, ics, sections,
                        [&](uint32_t g, uint32_t b, uint32_t at, int32_t width, uint32_t windows) {
                            const float gain = band_gain(scalefactors[16 * g + b]);
                            for (uint32_t w = 0; w < windows; ++w)
                                generate_noise_band(coef + at + AAC_SHORT_WINDOW_LENGTH * w,
                                                    width, gain, seed);
                        });
}

void noise_substitution_pair(const aac_stream_tables *tables, float *R, const float *L,
                             const aac_ics_info *ics, uint32_t ms_mask_present,
                             const uint32_t *ms_used, const uint32_t *map0,
                             const uint32_t *sections_R, const int32_t *scalefactors_R,
                             const int32_t *scalefactors_L, uint32_t *seed)
{
    const aac_vector_kernels &vk = *aac_active_vector_kernels;
    for_each_noise_band(
        tables, ics, sections_R,
        [&](uint32_t g, uint32_t b, uint32_t at, int32_t width, uint32_t windows) {
            const uint32_t i = 16 * g + b;
            if (map0[i] == AAC_NOISE_HCB && (ms_mask_present == 2 || ms_used[i])) {
                // Channel 0's noise is already at its level; the ratio of the
                // two levels gives channel 1's.
                const float gain = band_gain(scalefactors_R[i] - scalefactors_L[i]);
                for (uint32_t w = 0; w < windows; ++w) {
                    const uint32_t k = at + AAC_SHORT_WINDOW_LENGTH * w;
                    vk.vec_scale(R + k, L + k, gain, width);
                }
            } else {
                const float gain = band_gain(scalefactors_R[i]);
                for (uint32_t w = 0; w < windows; ++w)
                    generate_noise_band(R + at + AAC_SHORT_WINDOW_LENGTH * w, width, gain, seed);
            }
        });
}

}  // namespace lumdec
