// The decorrelated signal and its transient gains.
//
// Below QMF band 23 the decorrelator is an all-pass chain: a two-slot delay
// with a frequency-dependent phase, then three all-pass links of 3, 4 and 5
// slots, each with its own fractional-delay phase and a coefficient that
// falls with frequency.  Above, plain delays (14 slots up to QMF band 34, 1
// slot beyond) do, and the mixing reads those straight from the signal's
// history rows.
//
// A transient would be smeared by the all-pass chain into an audible pre-
// and post-echo, so the decorrelated signal is attenuated per parameter
// band when the band's power falls far below its decaying peak: the gain
// is the smoothed power over 1.5 times the smoothed distance from the peak,
// where that is less than 1.
#include "ps/ps_layout.h"

namespace lumdec {

namespace {

int whole_groups(int bands)
{
    return (bands + 3) & ~3;
}

void transient_gains(ps_state *ps, const ps_layout &layout, int num_slots)
{
    // Band powers, summed per parameter band in band order, then turned
    // into gains in place.
    ps_active_kernels->power(ps->s_re[PS_LONG_DELAY], ps->s_im[PS_LONG_DELAY], ps->power[0], PS_STRIDE,
                             whole_groups(layout.bands), num_slots);
    for (int n = 0; n < num_slots; n++) {
        const float *power = ps->power[n];
        float *par = ps->par_gain[n];
        for (int i = 0; i < PS_PAR_STRIDE; i++)
            par[i] = 0.0f;
        for (int k = 0; k < layout.bands; k++)
            par[layout.band_to_par[k]] += power[k];
    }
    ps_active_kernels->transient(ps->par_gain[0], ps->par_gain[0], ps->peak_decay, ps->power_smooth,
                                 ps->diff_smooth, whole_groups(layout.config), num_slots);
}

}  // namespace

void ps_decorrelate(ps_state *ps, const ps_layout &layout, int num_slots)
{
    transient_gains(ps, layout, num_slots);
    ps_allpass_job job;
    job.s_re = ps->s_re[PS_LONG_DELAY];
    job.s_im = ps->s_im[PS_LONG_DELAY];
    for (int m = 0; m < PS_NUM_LINKS; m++) {
        job.link_re[m] = ps->link_re[m][PS_MAX_LINK_DELAY];
        job.link_im[m] = ps->link_im[m][PS_MAX_LINK_DELAY];
    }
    job.d_re = ps->d_re[0];
    job.d_im = ps->d_im[0];
    job.table = layout.decorrelator;
    job.bands = whole_groups(layout.allpass);
    job.num_slots = num_slots;
    ps_active_kernels->allpass(&job);
}

}  // namespace lumdec
