// Parametric stereo kernels in plain C++: the reference for the SSE2 ones.
#include "ps/ps_kernels.h"

namespace lumdec {

namespace {

void hybrid_filter_generic(const float *x_re, const float *x_im, const float *c_re, const float *c_im,
                           int32_t q, float *y_re, float *y_im, int32_t stride, int32_t num_slots)
{
    for (int32_t n = 0; n < num_slots; n++) {
        for (int32_t j = 0; j < q; j++) {
            float acc_re = 0.0f, acc_im = 0.0f;
            for (int32_t i = 0; i < 13; i++) {
                const float xr = x_re[n + 12 - i], xi = x_im[n + 12 - i];
                const float cr = c_re[q * i + j], ci = c_im[q * i + j];
                acc_re = acc_re + (cr * xr - ci * xi);
                acc_im = acc_im + (cr * xi + ci * xr);
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

void allpass_generic(const ps_allpass_job *job)
{
    const ps_decorrelator_table &t = *job->table;
    for (int32_t n = 0; n < job->num_slots; n++) {
        const float *s_re = job->s_re + (n - PS_PRE_DELAY) * PS_STRIDE;
        const float *s_im = job->s_im + (n - PS_PRE_DELAY) * PS_STRIDE;
        for (int32_t k = 0; k < job->bands; k++) {
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
            job->d_re[n * PS_ALLPASS_STRIDE + k] = x_re;
            job->d_im[n * PS_ALLPASS_STRIDE + k] = x_im;
        }
    }
}

void mix_generic(const ps_mix_job *job)
{
    float *h11 = job->h, *h12 = h11 + PS_STRIDE, *h21 = h12 + PS_STRIDE, *h22 = h21 + PS_STRIDE;
    const float *s11 = job->step, *s12 = s11 + PS_STRIDE, *s21 = s12 + PS_STRIDE, *s22 = s21 + PS_STRIDE;
    for (int32_t n = 0; n < job->num_slots; n++) {
        const float *s_re = job->s_re + n * job->s_stride, *s_im = job->s_im + n * job->s_stride;
        const float *d_re = job->d_re + n * job->d_stride, *d_im = job->d_im + n * job->d_stride;
        const float *gain = job->gain + n * PS_STRIDE;
        float *l_re = job->l_re + n * job->l_stride, *l_im = job->l_im + n * job->l_stride;
        float *r_re = job->r_re + n * job->r_stride, *r_im = job->r_im + n * job->r_stride;
        for (int32_t k = 0; k < job->bands; k++) {
            h11[k] += s11[k];
            h12[k] += s12[k];
            h21[k] += s21[k];
            h22[k] += s22[k];
            const float e_re = gain[k] * d_re[k], e_im = gain[k] * d_im[k];
            const float sr = s_re[k], si = s_im[k];
            l_re[k] = h11[k] * sr + h21[k] * e_re;
            l_im[k] = h11[k] * si + h21[k] * e_im;
            r_re[k] = h12[k] * sr + h22[k] * e_re;
            r_im[k] = h12[k] * si + h22[k] * e_im;
        }
    }
}

}  // namespace

const ps_kernels ps_kernels_generic = {
    hybrid_filter_generic,
    power_generic,
    allpass_generic,
    mix_generic,
};

const ps_kernels *ps_active_kernels = &ps_kernels_generic;

}  // namespace lumdec
