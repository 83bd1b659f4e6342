// Hybrid analysis and synthesis.  The filters are centred on their slot:
// output slot n takes QMF slots n-6 .. n+6, the last six of them past the
// frame (the lookahead rows of X), the first six from the previous frame.
// So the split bands come out in step with the unsplit ones and no band is
// delayed.  Synthesis is a plain sum: the sub-filters of each split band add
// up to a unit impulse at the centre tap.
#include <cstring>

#include "ps/ps_layout.h"

namespace lumdec {

const ps_layout &ps_layout_of(int config)
{
    static const ps_layout layouts[2] = {
        {20, 3, 10, 71, 30, 42, ps_band_to_par20, ps_hybrid20_cos,
         ps_hybrid20_sin, ps_hybrid20_parts, &ps_decorrelator_20},
        {34, 5, 32, 91, 50, 62, ps_band_to_par34, ps_hybrid34_cos,
         ps_hybrid34_sin, ps_hybrid34_parts, &ps_decorrelator_34},
    };
    return layouts[config == 34 ? 1 : 0];
}

void ps_hybrid_analysis(ps_state *ps, const ps_layout &layout, float (*x_re)[64], float (*x_im)[64],
                        int num_slots)
{
    constexpr int H = PS_LOOKAHEAD_SLOTS;
    float *s_re = ps->s_re[PS_LONG_DELAY], *s_im = ps->s_im[PS_LONG_DELAY];
    int column = 0;
    for (int q = 0; q < PS_SPLIT_BANDS; q++) {
        float xr[H + PS_MAX_SLOTS + H], xi[H + PS_MAX_SLOTS + H];
        std::memcpy(xr, ps->qmf_hist_re[q], sizeof ps->qmf_hist_re[q]);
        std::memcpy(xi, ps->qmf_hist_im[q], sizeof ps->qmf_hist_im[q]);
        for (int n = 0; n < num_slots + H; n++) {
            xr[H + n] = x_re[n][q];
            xi[H + n] = x_im[n][q];
        }
        if (q < layout.split) {
            const ps_hybrid_part &part = layout.parts[q];
            ps_active_kernels->hybrid_filter(xr, xi, layout.filter_cos + part.first,
                                             layout.filter_sin + part.first, part.outputs, s_re + column,
                                             s_im + column, PS_STRIDE, num_slots);
            column += part.outputs;
        }
        // Kept for every band that either configuration splits.
        std::memcpy(ps->qmf_hist_re[q], xr + num_slots, sizeof ps->qmf_hist_re[q]);
        std::memcpy(ps->qmf_hist_im[q], xi + num_slots, sizeof ps->qmf_hist_im[q]);
    }
    const size_t rest = static_cast<size_t>(64 - layout.split) * sizeof(float);
    for (int n = 0; n < num_slots; n++) {
        std::memcpy(s_re + n * PS_STRIDE + layout.sub, x_re[n] + layout.split, rest);
        std::memcpy(s_im + n * PS_STRIDE + layout.sub, x_im[n] + layout.split, rest);
    }
}

void ps_hybrid_synthesis(const ps_state *ps, const ps_layout &layout, int channel, float (*out_re)[64],
                         float (*out_im)[64], int num_slots)
{
    for (int n = 0; n < num_slots; n++) {
        const float *re = ps->sub_re[channel][n], *im = ps->sub_im[channel][n];
        int column = 0;
        for (int q = 0; q < layout.split; q++) {
            float sum_re = 0.0f, sum_im = 0.0f;
            for (int j = 0; j < layout.parts[q].outputs; j++, column++) {
                sum_re += re[column];
                sum_im += im[column];
            }
            out_re[n][q] = sum_re;
            out_im[n][q] = sum_im;
        }
    }
}

}  // namespace lumdec
