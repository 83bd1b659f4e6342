// The gain-scaled window tables of one output channel.
#include "kernels/kernel_tables.h"
#include "synthesis/filterbank.h"
#include "synthesis/window_tables.h"

namespace lumdec {

// The scales fold together the channel's gain, 2^-15 (16-bit full scale to
// 1.0) and the inverse transform's 2/N: 2^-10 for N = 2048, 2^-7 for N = 256.
// Every entry is one rounded product, so a power-of-two gain scales the
// output exactly.
void aac_fill_channel_gain(aac_channel_gain *set, float gain)
{
    const aac_vector_kernels *vk = aac_active_vector_kernels;
    const float t = gain * 0x1p-15f;
    set->long_scale = t * 0x1p-10f;
    set->neg_long_scale = -set->long_scale;
    set->short_scale = t * 0x1p-7f;
    set->neg_short_scale = -set->short_scale;
    for (int shape = 0; shape < 2; shape++) {
        const float *rise_long = aac_long_window[shape];
        const float *rise_short = aac_short_window[shape];
        vk->vec_scale(set->long_win[shape], rise_long, set->long_scale, 1024);
        vk->vec_scale_reverse(set->long_win[shape] + 1024, rise_long, set->neg_long_scale, 1024);
        vk->vec_scale(set->short_win[shape], rise_short, set->short_scale, 128);
        vk->vec_scale_reverse(set->short_win[shape] + 128, rise_short, set->neg_short_scale, 128);
        vk->vec_scale(set->short_win_long_scale[shape], rise_short, set->long_scale, 128);
        vk->vec_scale_reverse(set->short_win_long_scale[shape] + 128, rise_short,
                              set->neg_long_scale, 128);
    }
}

}  // namespace lumdec
