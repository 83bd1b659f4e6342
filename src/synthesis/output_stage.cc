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
#include <cstring>

#include "kernels/kernel_tables.h"
#include "synthesis/filterbank.h"
#include "synthesis/window_tables.h"

namespace lumdec {

namespace {

constexpr int32_t kFrame = AAC_FRAME_LENGTH;                  // 1024
constexpr int32_t kShort = AAC_SHORT_WINDOW_LENGTH;           // 128
constexpr int32_t kHalfShort = kShort / 2;                    // 64
// A start or stop window is flat beside its short slope for this many
// samples, and the eight short windows of a frame begin this far into it.
constexpr int32_t kFlat = (kFrame - kShort) / 2;              // 448

// Where the halves of a window lie in a folded buffer: the rising half
// from the middle of the window's block, the falling half from its start
// (read backwards by the overlap kernels).  Short window w's block starts
// at kShort * w.
const float *rising_half_of_short(const float *folded, int32_t w)
{
    return folded + kShort * w + kHalfShort;
}

const float *falling_half_of_short(const float *folded, int32_t w)
{
    return folded + kShort * w;
}

// Frame position at which short windows w and w + 1 of an eight-short
// frame overlap (negative: in the frame before).
constexpr int32_t short_overlap_at(int32_t w)
{
    return kFlat + kShort * (w + 1);
}

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
        vk->vec_scale_reverse(out, prev + kHalfShort, gain->neg_long_scale, kFlat);
        fall = gain->short_win_long_scale[prev_shape];
        break;
    case AAC_EIGHT_SHORT_SEQUENCE: {
        const float *sw = gain->short_win[prev_shape];
        static_assert(short_overlap_at(3) - kFrame == -kHalfShort);
        // Windows 3 and 4 overlap at frame positions -64..63; only the upper
        // half lies in this frame.  The kernel writes that half at its place
        // in a whole overlap, so it goes through a buffer of one.
        alignas(16) float edge[kShort];
        vk->vec_window_overlap_tail(edge, rising_half_of_short(prev, 4),
                                    falling_half_of_short(prev, 3), sw, sw, kShort);
        std::memcpy(out, edge + kHalfShort, kHalfShort * sizeof(float));
        for (int32_t w = 4; w < 7; w++)
            vk->vec_window_overlap(out + short_overlap_at(w) - kFrame,
                                   rising_half_of_short(prev, w + 1),
                                   falling_half_of_short(prev, w), sw, sw, kShort);
        fall = sw;
        prev_from = falling_half_of_short(prev, 7);
        break;
    }
    default:
        fall = gain->long_win[prev_shape];
        break;
    }

    // The current frame alone: its flat part, or its short windows 0 to 4.
    switch (cur_sequence) {
    case AAC_LONG_STOP_SEQUENCE:
        vk->vec_scale_reverse(out + kFrame - kFlat, cur + kFrame / 2, gain->neg_long_scale,
                              kFlat);
        rise = gain->short_win_long_scale[prev_shape];
        cur_from = cur + kFrame - kHalfShort;
        break;
    case AAC_EIGHT_SHORT_SEQUENCE: {
        const float *sw = gain->short_win[cur_shape];
        for (int32_t w = 0; w < 3; w++)
            vk->vec_window_overlap(out + short_overlap_at(w), rising_half_of_short(cur, w + 1),
                                   falling_half_of_short(cur, w), sw, sw, kShort);
        // Windows 3 and 4 overlap at 960..1087; only the lower half is ours.
        static_assert(short_overlap_at(3) + kHalfShort == kFrame);
        vk->vec_window_overlap_head(out + short_overlap_at(3), rising_half_of_short(cur, 4),
                                    falling_half_of_short(cur, 3), sw, sw, kShort);
        rise = gain->short_win[prev_shape];
        cur_from = rising_half_of_short(cur, 0);
        break;
    }
    default:
        rise = gain->long_win[prev_shape];
        cur_from = cur + kFrame / 2;
        break;
    }

    // The boundary slopes, one long overlap or one short overlap at 448..575.
    if (ends_long(prev_sequence))
        vk->vec_window_overlap(out, cur_from, prev_from, rise, fall, kFrame);
    else
        vk->vec_window_overlap(out + kFlat, cur_from, prev_from, rise, fall, kShort);
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
    alignas(16) float prev_part[kFrame];
    overlap_matched(gain, prev_part, prev_sequence, prev_info->window_shape, prev_coef,
                    ends_long(prev_sequence) ? AAC_ONLY_LONG_SEQUENCE : AAC_LONG_STOP_SEQUENCE,
                    cur_info->window_shape, aac_zero_block);
    aac_active_vector_kernels->vec_add(out, out, prev_part, kFrame);
}

void output_single_channel(const aac_channel_gain *gain, float *out,
                           const aac_channel_state *prev, const aac_channel_state *cur)
{
    if (!gain) {
        aac_active_vector_kernels->vec_zero(out, kFrame);
        return;
    }
    overlap_add_frame(gain, out, &prev->ics_info, aac_coef_floats(*prev), &cur->ics_info,
                      aac_coef_floats(*cur));
}

void output_channel_pair(const aac_channel_gain *gain0, const aac_channel_gain *gain1, float *out,
                         const aac_channel_pair_state *prev, const aac_channel_pair_state *cur)
{
    output_single_channel(gain0, out, &prev->channel[0], &cur->channel[0]);
    if (!gain1) {
        aac_active_vector_kernels->vec_zero(out + kFrame, kFrame);
        return;
    }
    overlap_add_frame(gain1, out + kFrame, &aac_pair_ics_info(*prev, 1),
                      aac_coef_floats(prev->channel[1]), &aac_pair_ics_info(*cur, 1),
                      aac_coef_floats(cur->channel[1]));
}

}  // namespace lumdec
