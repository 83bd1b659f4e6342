#include "synthesis/stereo.h"

#include "kernels/kernel_tables.h"
#include "syntax/band_layout.h"
#include "synthesis/dequantize.h"

namespace lumdec {

namespace {

bool is_intensity(uint32_t codebook)
{
    return codebook == AAC_INTENSITY_HCB || codebook == AAC_INTENSITY_HCB2;
}

}  // namespace

void ms_stereo(const aac_stream_tables *tables, const aac_channel_pair_state &pair,
               const uint32_t *map0, float *L, float *R)
{
    const aac_vector_kernels &vk = *aac_active_vector_kernels;
    const aac_ics_info *ics = &pair.channel[0].ics_info;
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    const bool all_bands = pair.ms_mask_present == 2;
    aac_for_each_section(ics, pair.channel[1].sections, [&](const aac_section &s) {
        if (is_intensity(s.codebook))
            return;
        for (uint32_t b = s.start_band; b < s.end_band; ++b) {
            const uint32_t i = aac_group_offset(s.group) + b;
            if (!all_bands && !pair.ms_used[i])
                continue;
            if (map0[i] == AAC_NOISE_HCB && s.codebook == AAC_NOISE_HCB)
                continue;
            const uint32_t start = aac_band_start(bands.swb_end, b);
            const int32_t width = static_cast<int32_t>(bands.swb_end[b] - start);
            for (uint32_t w = 0; w < s.windows; ++w) {
                const uint32_t at = s.window_offset(w) + start;
                vk.vec_sum_diff(L + at, R + at, width);
            }
        }
    });
}

void intensity_stereo(const aac_stream_tables *tables, const aac_channel_pair_state &pair,
                      const float *L, float *R)
{
    const aac_vector_kernels &vk = *aac_active_vector_kernels;
    const aac_ics_info *ics = &pair.channel[0].ics_info;
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    const aac_channel_state &right = pair.channel[1];
    const bool invert_by_ms = pair.ms_mask_present == 1;
    aac_for_each_section(ics, right.sections, [&](const aac_section &s) {
        if (!is_intensity(s.codebook))
            return;
        const float sign = s.codebook == AAC_INTENSITY_HCB ? 1.0f : -1.0f;
        for (uint32_t b = s.start_band; b < s.end_band; ++b) {
            const uint32_t i = aac_group_offset(s.group) + b;
            const float gain = band_gain(-right.scalefactors[i]) * sign;
            const float factor = invert_by_ms && pair.ms_used[i] ? -1.0f * gain : 1.0f * gain;
            const uint32_t start = aac_band_start(bands.swb_end, b);
            const int32_t width = static_cast<int32_t>(bands.swb_end[b] - start);
            for (uint32_t w = 0; w < s.windows; ++w) {
                const uint32_t at = s.window_offset(w) + start;
                vk.vec_scale(R + at, L + at, factor, width);
            }
        }
    });
}

}  // namespace lumdec
