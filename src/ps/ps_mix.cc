// Mixing: per envelope, the matrices of its parameters are reached at its
// last slot, moving there in equal steps from where the previous envelope
// (or frame) left them.  Left and right of the unsplit bands go straight
// into X and Y, those of the sub-subbands into the state's work rows for
// the hybrid synthesis.
#include "ps/ps_layout.h"
#include "ps/ps_params.h"

namespace lumdec {

const float *ps_matrix(bool mixing_b, bool fine_iid, int iid, int icc)
{
    const int row = fine_iid ? PS_IID_FINE_ROW + 15 + iid : 7 + iid;
    return (mixing_b ? ps_mix_b : ps_mix_a)[row][icc];
}

namespace {

// One envelope's mixing from slot `first` on, for `count` slots, with the
// matrices moving from ps->h_par by `step` per slot, over the four band
// ranges of the layout.
void mix_slots(ps_state *ps, const ps_layout &layout, float (*x_re)[64], float (*x_im)[64],
               float (*y_re)[64], float (*y_im)[64], int first, int count,
               const float (*step)[PS_PAR_STRIDE])
{
    const float *s_re = ps->s_re[PS_LONG_DELAY + first], *s_im = ps->s_im[PS_LONG_DELAY + first];
    ps_mix_job job;
    job.gain = ps->par_gain[first];
    job.h = ps->h_par[0];
    job.step = step[0];
    job.num_slots = count;

    // Sub-subbands.
    job.s_re = s_re;
    job.s_im = s_im;
    job.d_re = ps->d_re[first];
    job.d_im = ps->d_im[first];
    job.par = layout.band_to_par;
    job.l_re = ps->sub_re[0][first];
    job.l_im = ps->sub_im[0][first];
    job.r_re = ps->sub_re[1][first];
    job.r_im = ps->sub_im[1][first];
    job.out_stride = PS_MAX_SUBBANDS;
    job.bands = layout.sub;
    ps_active_kernels->mix(&job);

    // Unsplit bands: all-passed, long delay, short delay.
    const int ranges[4] = {layout.sub, layout.allpass, layout.long_delay, layout.bands};
    for (int r = 0; r < 3; r++) {
        const int k = ranges[r], q = k - layout.sub + layout.split;
        job.s_re = s_re + k;
        job.s_im = s_im + k;
        if (r == 0) {
            job.d_re = ps->d_re[first] + k;
            job.d_im = ps->d_im[first] + k;
        } else {
            const int delay = r == 1 ? PS_LONG_DELAY : 1;
            job.d_re = s_re - delay * PS_STRIDE + k;
            job.d_im = s_im - delay * PS_STRIDE + k;
        }
        job.par = layout.band_to_par + k;
        job.l_re = x_re[first] + q;
        job.l_im = x_im[first] + q;
        job.r_re = y_re[first] + q;
        job.r_im = y_im[first] + q;
        job.out_stride = 64;
        job.bands = ranges[r + 1] - k;
        ps_active_kernels->mix(&job);
    }
}

}  // namespace

void ps_mix(ps_state *ps, const ps_layout &layout, float (*x_re)[64], float (*x_im)[64],
            float (*y_re)[64], float (*y_im)[64], int num_slots)
{
    const ps_frame &f = ps->frame;
    int end[PS_MAX_ENVELOPES], coded[PS_MAX_ENVELOPES];
    const int count = f.present ? ps_envelopes(f, num_slots, end, coded) : 0;
    if (count == 0) {
        alignas(16) const float hold[4][PS_PAR_STRIDE] = {};
        mix_slots(ps, layout, x_re, x_im, y_re, y_im, 0, num_slots, hold);
    }

    int first = 0;
    for (int j = 0; j < count; j++) {
        const int e = coded[j];
        int8_t iid[PS_MAX_PAR_BANDS], icc[PS_MAX_PAR_BANDS];
        ps_map_index_base(f.iid[e], f.iid_bands, iid, layout.config);
        ps_map_index_base(f.icc[e], f.icc_bands, icc, layout.config);
        const float width = static_cast<float>(end[j] + 1 - first);
        alignas(16) float target[4][PS_PAR_STRIDE], step[4][PS_PAR_STRIDE];
        for (int b = 0; b < layout.config; b++) {
            const float *m = ps_matrix(f.mixing_b, f.fine_iid, iid[b], icc[b]);
            for (int r = 0; r < 4; r++) {
                target[r][b] = m[r];
                step[r][b] = (m[r] - ps->h_par[r][b]) / width;
            }
        }
        mix_slots(ps, layout, x_re, x_im, y_re, y_im, first, end[j] + 1 - first, step);
        // The steps add up to the target only to rounding: the next
        // envelope starts from the target itself.
        for (int r = 0; r < 4; r++)
            for (int b = 0; b < layout.config; b++)
                ps->h_par[r][b] = target[r][b];
        if (j == count - 1) {
            for (int b = 0; b < layout.config; b++) {
                ps->applied_iid[b] = iid[b];
                ps->applied_icc[b] = icc[b];
            }
            ps->last_fine_iid = f.fine_iid;
            ps->last_mixing_b = f.mixing_b;
        }
        first = end[j] + 1;
    }

    ps_hybrid_synthesis(ps, layout, 0, x_re, x_im, num_slots);
    ps_hybrid_synthesis(ps, layout, 1, y_re, y_im, num_slots);
}

}  // namespace lumdec
