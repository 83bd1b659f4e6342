// Parametric stereo kernels in plain C++: the reference for the SSE2 ones.
#include "ps/ps_kernels.h"

namespace lumdec {

namespace {

void hybrid_filter_generic(const float *x_re, const float *x_im, const float *cos, const float *sin,
                           int32_t q, float *y_re, float *y_im, int32_t stride, int32_t num_slots)
{
    for (int32_t n = 0; n < num_slots; n++) {
        const float *xr = x_re + n + 6, *xi = x_im + n + 6;
        for (int32_t j = 0; j < q; j++) {
            float acc_re = cos[j] * xr[0], acc_im = cos[j] * xi[0];
            for (int32_t m = 1; m <= 6; m++) {
                const float u_re = xr[m] + xr[-m], u_im = xi[m] + xi[-m];
                const float v_re = xr[m] - xr[-m], v_im = xi[m] - xi[-m];
                const float c = cos[q * m + j], s = sin[q * m + j];
                acc_re = acc_re + (c * u_re + s * v_im);
                acc_im = acc_im + (c * u_im - s * v_re);
            }
            y_re[n * stride + j] = acc_re;
            y_im[n * stride + j] = acc_im;
        }
    }
}

void power_generic(const float *re, const float *im, float *p, int32_t stride, int32_t bands,
                   int32_t num_slots)
{
    for (int32_t n = 0; n < num_slots; n++)
        for (int32_t k = 0; k < bands; k++) {
            const int32_t at = n * stride + k;
            p[at] = re[at] * re[at] + im[at] * im[at];
        }
}

void transient_generic(const float *power, float *gain, float *peak, float *smooth, float *diff,
                       int32_t bands, int32_t num_slots)
{
    for (int32_t i = 0; i < bands; i++)
        for (int32_t n = 0; n < num_slots; n++) {
            const float p = power[n * PS_PAR_STRIDE + i];
            const float decayed = peak[i] * PS_PEAK_DECAY;
            peak[i] = decayed < p ? p : decayed;
            smooth[i] = smooth[i] + PS_SMOOTH * (p - smooth[i]);
            diff[i] = diff[i] + PS_SMOOTH * ((peak[i] - p) - diff[i]);
            const float limit = PS_TRANSIENT_IMPACT * diff[i];
            gain[n * PS_PAR_STRIDE + i] = limit > smooth[i] ? smooth[i] / limit : 1.0f;
        }
}

void allpass_generic(const ps_allpass_job *job)
{
    const ps_decorrelator_table &t = *job->table;
    for (int32_t k = 0; k < job->bands; k++) {
        for (int32_t n = 0; n < job->num_slots; n++) {
            const float *s_re = job->s_re + (n - PS_PRE_DELAY) * PS_STRIDE;
            const float *s_im = job->s_im + (n - PS_PRE_DELAY) * PS_STRIDE;
            float x_re = s_re[k] * t.phi_re[k] - s_im[k] * t.phi_im[k];
            float x_im = s_re[k] * t.phi_im[k] + s_im[k] * t.phi_re[k];
            for (int m = 0; m < PS_NUM_LINKS; m++) {
                float *v_re = job->link_re[m] + n * PS_ALLPASS_STRIDE;
                float *v_im = job->link_im[m] + n * PS_ALLPASS_STRIDE;
                const int32_t back = PS_LINK_DELAY[m] * PS_ALLPASS_STRIDE;
                const float w_re = v_re[k - back], w_im = v_im[k - back];
                const float qr = t.q_re[m][k], qi = t.q_im[m][k], a = t.a[m][k];
                const float u_re = (w_re * qr - w_im * qi) - a * x_re;
                const float u_im = (w_re * qi + w_im * qr) - a * x_im;
                v_re[k] = x_re + a * u_re;
                v_im[k] = x_im + a * u_im;
                x_re = u_re;
                x_im = u_im;
            }
            job->d_re[n * PS_STRIDE + k] = x_re;
            job->d_im[n * PS_STRIDE + k] = x_im;
        }
    }
}

void mix_generic(const ps_mix_job *job)
{
    for (int32_t k = 0; k < job->bands; k++) {
        const int b = job->par[k];
        float h11 = job->h[b], h12 = job->h[b + PS_PAR_STRIDE];
        float h21 = job->h[b + 2 * PS_PAR_STRIDE], h22 = job->h[b + 3 * PS_PAR_STRIDE];
        const float s11 = job->step[b], s12 = job->step[b + PS_PAR_STRIDE];
        const float s21 = job->step[b + 2 * PS_PAR_STRIDE], s22 = job->step[b + 3 * PS_PAR_STRIDE];
        for (int32_t n = 0; n < job->num_slots; n++) {
            h11 = h11 + s11;
            h12 = h12 + s12;
            h21 = h21 + s21;
            h22 = h22 + s22;
            const float g = job->gain[n * PS_PAR_STRIDE + b];
            const int32_t in = n * PS_STRIDE + k, out = n * job->out_stride + k;
            const float e_re = g * job->d_re[in], e_im = g * job->d_im[in];
            const float sr = job->s_re[in], si = job->s_im[in];
            job->l_re[out] = h11 * sr + h21 * e_re;
            job->l_im[out] = h11 * si + h21 * e_im;
            job->r_re[out] = h12 * sr + h22 * e_re;
            job->r_im[out] = h12 * si + h22 * e_im;
        }
    }
}

}  // namespace

const ps_kernels ps_kernels_generic = {
    hybrid_filter_generic,
    power_generic,
    transient_generic,
    allpass_generic,
    mix_generic,
};

const ps_kernels *ps_active_kernels = &ps_kernels_generic;

}  // namespace lumdec
