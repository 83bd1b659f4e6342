// Second half of the synthesis filterbank: windowing and overlap-add of the
// previous and the current frame's folded transform outputs into the 1024
// samples of one channel.
//
// A folded block c of L values stands for the 2L-sample transform output
//   u[n] = c[L/2 + n]            0    <= n < L/2
//   u[n] = -c[3L/2 - 1 - n]      L/2  <= n < 3L/2
//   u[n] = -c[n - 3L/2]          3L/2 <= n < 2L
// and the overlap kernels read c in that form.  The window tables carry the
// gain, the 2/N of the transform, and the sign of the middle part; the flat
// stretches of the start and stop windows are a reversed copy scaled by
// -long_scale.  Between fitting sequences every output sample is written
// exactly once.
#include <cstdint>

#include "kernels/kernel_tables.h"
#include "synthesis/filterbank.h"
#include "synthesis/window_tables.h"

namespace lumdec {

namespace {

bool ends_long(uint32_t sequence)
{
    return sequence == AAC_ONLY_LONG_SEQUENCE || sequence == AAC_LONG_STOP_SEQUENCE;
}

bool starts_long(uint32_t sequence)
{
    return sequence == AAC_ONLY_LONG_SEQUENCE || sequence == AAC_LONG_START_SEQUENCE;
}

// Both frames' window sequences fit together at the boundary: the previous
// frame's falling slope and the current frame's rising slope are the two
// halves of one window (long, or short inside start/stop/short frames).
// Only the previous frame's shape enters the slopes at the boundary; the
// current shape only the short windows inside an eight-short frame.
void overlap_matched(const aac_channel_gain *gain, float *out, uint32_t prev_sequence,
                     uint32_t prev_shape, const float *prev, uint32_t cur_sequence,
                     uint32_t cur_shape, const float *cur)
{
    const aac_vector_kernels *vk = aac_active_vector_kernels;
    const float *fall;
    const float *prev_from = prev;
    const float *rise;
    const float *cur_from;

    // The previous frame alone: its flat part, or its short windows 3 to 7.
    switch (prev_sequence) {
    case AAC_LONG_START_SEQUENCE:
        vk->vec_scale_reverse(out, prev + 64, gain->neg_long_scale, 448);
        fall = gain->short_win_long_scale[prev_shape];
        break;
    case AAC_EIGHT_SHORT_SEQUENCE: {
        const float *sw = gain->short_win[prev_shape];
        // Windows 3 and 4 overlap at frame positions -64..63; only the upper
        // half lies in this frame.
        vk->vec_window_overlap_tail(out - 64, prev + 576, prev + 384, sw, sw, 128);
        for (int k = 0; k < 3; k++)
            vk->vec_window_overlap(out + 64 + 128 * k, prev + 704 + 128 * k, prev + 512 + 128 * k,
                                   sw, sw, 128);
        fall = sw;
        prev_from = prev + 896;
        break;
    }
    default:
        fall = gain->long_win[prev_shape];
        break;
    }

    // The current frame alone: its flat part, or its short windows 0 to 4.
    switch (cur_sequence) {
    case AAC_LONG_STOP_SEQUENCE:
        vk->vec_scale_reverse(out + 576, cur + 512, gain->neg_long_scale, 448);
        rise = gain->short_win_long_scale[prev_shape];
        cur_from = cur + 960;
        break;
    case AAC_EIGHT_SHORT_SEQUENCE: {
        const float *sw = gain->short_win[cur_shape];
        for (int k = 0; k < 3; k++)
            vk->vec_window_overlap(out + 576 + 128 * k, cur + 192 + 128 * k, cur + 128 * k, sw,
                                   sw, 128);
        // Windows 4 and 5 overlap at 960..1087; only the lower half is ours.
        vk->vec_window_overlap_head(out + 960, cur + 576, cur + 384, sw, sw, 128);
        rise = gain->short_win[prev_shape];
        cur_from = cur + 64;
        break;
    }
    default:
        rise = gain->long_win[prev_shape];
        cur_from = cur + 512;
        break;
    }

    // The boundary slopes, one long overlap or one short overlap at 448..575.
    if (ends_long(prev_sequence))
        vk->vec_window_overlap(out, cur_from, prev_from, rise, fall, 1024);
    else
        vk->vec_window_overlap(out + 448, cur_from, prev_from, rise, fall, 128);
}

const float *coef_of(const aac_channel_state *channel)
{
    return reinterpret_cast<const float *>(channel->coef);
}

}  // namespace

void overlap_add_frame(const aac_channel_gain *gain, float *out, const aac_ics_info *prev_info,
                       const float *prev_coef, const aac_ics_info *cur_info,
                       const float *cur_coef)
{
    const uint32_t prev_sequence = prev_info->window_sequence;
    const uint32_t cur_sequence = cur_info->window_sequence;
    if (ends_long(prev_sequence) == starts_long(cur_sequence)) {
        overlap_matched(gain, out, prev_sequence, prev_info->window_shape, prev_coef,
                        cur_sequence, cur_info->window_shape, cur_coef);
        return;
    }

    // Sequences that do not fit (a missing start or stop window): each frame
    // is windowed as if the other had the sequence it requires, against
    // silence, and the two halves are added.  No slope meets data of the
    // other frame that it does not match.
    overlap_matched(gain, out,
                    starts_long(cur_sequence) ? AAC_ONLY_LONG_SEQUENCE : AAC_LONG_START_SEQUENCE,
                    prev_info->window_shape, aac_zero_block, cur_sequence,
                    cur_info->window_shape, cur_coef);
    alignas(16) float prev_part[1024];
    overlap_matched(gain, prev_part, prev_sequence, prev_info->window_shape, prev_coef,
                    ends_long(prev_sequence) ? AAC_ONLY_LONG_SEQUENCE : AAC_LONG_STOP_SEQUENCE,
                    cur_info->window_shape, aac_zero_block);
    aac_active_vector_kernels->vec_add(out, out, prev_part, 1024);
}

void output_single_channel(const aac_channel_gain *gain, float *out,
                           const aac_channel_state *prev, const aac_channel_state *cur)
{
    if (!gain) {
        aac_active_vector_kernels->vec_zero(out, 1024);
        return;
    }
    overlap_add_frame(gain, out, &prev->ics_info, coef_of(prev), &cur->ics_info, coef_of(cur));
}

void output_channel_pair(const aac_channel_gain *gain0, const aac_channel_gain *gain1, float *out,
                         const aac_channel_pair_state *prev, const aac_channel_pair_state *cur)
{
    output_single_channel(gain0, out, &prev->channel[0], &cur->channel[0]);
    if (!gain1) {
        aac_active_vector_kernels->vec_zero(out + 1024, 1024);
        return;
    }
    // With a common window, channel 1's own ics_info was not written.
    const aac_ics_info *prev_info =
        prev->common_window ? &prev->channel[0].ics_info : &prev->channel[1].ics_info;
    const aac_ics_info *cur_info =
        cur->common_window ? &cur->channel[0].ics_info : &cur->channel[1].ics_info;
    overlap_add_frame(gain1, out + 1024, prev_info, coef_of(&prev->channel[1]), cur_info,
                      coef_of(&cur->channel[1]));
}

}  // namespace lumdec
