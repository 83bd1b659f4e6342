#include "synthesis/stereo.h"

#include "kernels/kernel_tables.h"
#include "synthesis/band_layout.h"
#include "synthesis/dequantize.h"

namespace lumdec {

void ms_stereo(const aac_stream_tables *tables, float *L, float *R, const aac_ics_info *ics,
               uint32_t ms_mask_present, const uint32_t *ms_used, const uint32_t *map0,
               const uint32_t *map1)
{
    const aac_vector_kernels &vk = *aac_active_vector_kernels;
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    const bool all_bands = ms_mask_present == 2;

    uint32_t first_window = 0;
    for (uint32_t g = 0; g < ics->num_window_groups; ++g) {
        const uint32_t group_end = ics->window_group_end[g];
        const uint32_t windows = group_end - first_window;
        const uint32_t offset = AAC_SHORT_WINDOW_LENGTH * first_window;
        for (uint32_t b = 0; b < ics->max_sfb; ++b) {
            const uint32_t i = 16 * g + b;
            if (!all_bands && !ms_used[i])
                continue;
            if (map1[i] == AAC_INTENSITY_HCB || map1[i] == AAC_INTENSITY_HCB2)
                continue;
            if (map0[i] == AAC_NOISE_HCB && map1[i] == AAC_NOISE_HCB)
                continue;
            const uint32_t start = aac_band_start(bands.swb_end, b);
            const int32_t width = static_cast<int32_t>(bands.swb_end[b] - start);
            for (uint32_t w = 0; w < windows; ++w) {
                const uint32_t at = offset + AAC_SHORT_WINDOW_LENGTH * w + start;
                vk.vec_sum_diff(L + at, R + at, width);
            }
        }
        first_window = group_end;
    }
}

void intensity_stereo(const aac_stream_tables *tables, float *R, const float *L,
                      const aac_ics_info *ics, uint32_t ms_mask_present, const uint32_t *ms_used,
                      const uint32_t *sections_R, const int32_t *scalefactors_R)
{
    const aac_vector_kernels &vk = *aac_active_vector_kernels;
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    const bool invert_by_ms = ms_mask_present == 1;

    uint32_t first_window = 0;
    for (uint32_t g = 0; g < ics->num_window_groups; ++g) {
        const uint32_t group_end = ics->window_group_end[g];
        const uint32_t windows = group_end - first_window;
        const uint32_t offset = AAC_SHORT_WINDOW_LENGTH * first_window;
        const uint32_t *entry = sections_R + 16 * g;
        for (uint32_t sb = 0; sb < ics->max_sfb; ++entry) {
            const uint32_t eb = *entry & 0xFF;
            const uint32_t cb = (*entry >> 8) & 0xFF;
            if (cb == AAC_INTENSITY_HCB || cb == AAC_INTENSITY_HCB2) {
                const float sign = cb == AAC_INTENSITY_HCB ? 1.0f : -1.0f;
                for (uint32_t b = sb; b < eb; ++b) {
                    const uint32_t i = 16 * g + b;
                    const float gain = band_gain(-scalefactors_R[i]) * sign;
                    const float factor = invert_by_ms && ms_used[i] ? -1.0f * gain : 1.0f * gain;
                    const uint32_t start = aac_band_start(bands.swb_end, b);
                    const int32_t width = static_cast<int32_t>(bands.swb_end[b] - start);
                    for (uint32_t w = 0; w < windows; ++w) {
                        const uint32_t at = offset + AAC_SHORT_WINDOW_LENGTH * w + start;
                        vk.vec_scale(R + at, L + at, factor, width);
                    }
                }
            }
            sb = eb;
        }
        first_window = group_end;
    }
}

}  // namespace lumdec
