// Parametric stereo kernels with SSE2, four bands (or four filter outputs)
// per instruction.  Each element goes through the products, sums and
// differences of the generic kernels in the same order, so the results are
// the same bits.
#include <emmintrin.h>

#include "ps/ps_kernels.h"

namespace lumdec {

namespace {

using v4 = __m128;

inline v4 mul(v4 a, v4 b)
{
    return _mm_mul_ps(a, b);
}

inline v4 add(v4 a, v4 b)
{
    return _mm_add_ps(a, b);
}

inline v4 sub(v4 a, v4 b)
{
    return _mm_sub_ps(a, b);
}

// The low two floats at p, zeros above; and their store.
inline v4 load2(const float *p)
{
    return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double *>(p)));
}

inline void store2(float *p, v4 v)
{
    _mm_store_sd(reinterpret_cast<double *>(p), _mm_castps_pd(v));
}

// Taps of outputs j..j+3 (or j, j+1 with Two) of one slot.
template <bool Two>
inline void hybrid_outputs(const float *xr, const float *xi, const float *c_re, const float *c_im,
                           int32_t q, int32_t j, float *y_re, float *y_im)
{
    v4 acc_re = _mm_setzero_ps(), acc_im = _mm_setzero_ps();
    for (int32_t i = 0; i < 13; i++) {
        const v4 x_re = _mm_set1_ps(xr[-i]), x_im = _mm_set1_ps(xi[-i]);
        const float *pr = c_re + q * i + j, *pi = c_im + q * i + j;
        const v4 cr = Two ? load2(pr) : _mm_loadu_ps(pr);
        const v4 ci = Two ? load2(pi) : _mm_loadu_ps(pi);
        acc_re = add(acc_re, sub(mul(cr, x_re), mul(ci, x_im)));
        acc_im = add(acc_im, add(mul(cr, x_im), mul(ci, x_re)));
    }
    if (Two) {
        store2(y_re + j, acc_re);
        store2(y_im + j, acc_im);
    } else {
        _mm_storeu_ps(y_re + j, acc_re);
        _mm_storeu_ps(y_im + j, acc_im);
    }
}

// q is even: groups of four outputs, then a pair.
void hybrid_filter_sse2(const float *x_re, const float *x_im, const float *c_re, const float *c_im,
                        int32_t q, float *y_re, float *y_im, int32_t stride, int32_t num_slots)
{
    for (int32_t n = 0; n < num_slots; n++) {
        const float *xr = x_re + n + 12, *xi = x_im + n + 12;
        float *yr = y_re + n * stride, *yi = y_im + n * stride;
        int32_t j = 0;
        for (; j + 4 <= q; j += 4)
            hybrid_outputs<false>(xr, xi, c_re, c_im, q, j, yr, yi);
        if (j < q)
            hybrid_outputs<true>(xr, xi, c_re, c_im, q, j, yr, yi);
    }
}

void power_sse2(const float *re, const float *im, float *p, int32_t stride, int32_t bands,
                int32_t num_slots)
{
    for (int32_t n = 0; n < num_slots; n++)
        for (int32_t k = 0; k < bands; k += 4) {
            const int32_t at = n * stride + k;
            const v4 r = _mm_load_ps(re + at), i = _mm_load_ps(im + at);
            _mm_store_ps(p + at, add(mul(r, r), mul(i, i)));
        }
}

void allpass_sse2(const ps_allpass_job *job)
{
    const ps_decorrelator_table &t = *job->table;
    for (int32_t n = 0; n < job->num_slots; n++) {
        const float *s_re = job->s_re + (n - PS_PRE_DELAY) * PS_STRIDE;
        const float *s_im = job->s_im + (n - PS_PRE_DELAY) * PS_STRIDE;
        for (int32_t k = 0; k < job->bands; k += 4) {
            const v4 sr = _mm_load_ps(s_re + k), si = _mm_load_ps(s_im + k);
            const v4 pr = _mm_load_ps(t.phi_re + k), pi = _mm_load_ps(t.phi_im + k);
            v4 x_re = sub(mul(sr, pr), mul(si, pi));
            v4 x_im = add(mul(sr, pi), mul(si, pr));
            for (int m = 0; m < PS_NUM_LINKS; m++) {
                float *v_re = job->link_re[m] + n * PS_ALLPASS_STRIDE + k;
                float *v_im = job->link_im[m] + n * PS_ALLPASS_STRIDE + k;
                const int32_t back = PS_LINK_DELAY[m] * PS_ALLPASS_STRIDE;
                const v4 w_re = _mm_load_ps(v_re - back), w_im = _mm_load_ps(v_im - back);
                const v4 qr = _mm_load_ps(t.q_re[m] + k), qi = _mm_load_ps(t.q_im[m] + k);
                const v4 a = _mm_load_ps(t.a[m] + k);
                const v4 u_re = sub(sub(mul(w_re, qr), mul(w_im, qi)), mul(a, x_re));
                const v4 u_im = sub(add(mul(w_re, qi), mul(w_im, qr)), mul(a, x_im));
                _mm_store_ps(v_re, add(x_re, mul(a, u_re)));
                _mm_store_ps(v_im, add(x_im, mul(a, u_im)));
                x_re = u_re;
                x_im = u_im;
            }
            _mm_store_ps(job->d_re + n * PS_ALLPASS_STRIDE + k, x_re);
            _mm_store_ps(job->d_im + n * PS_ALLPASS_STRIDE + k, x_im);
        }
    }
}

void mix_sse2(const ps_mix_job *job)
{
    float *h11 = job->h, *h12 = h11 + PS_STRIDE, *h21 = h12 + PS_STRIDE, *h22 = h21 + PS_STRIDE;
    const float *s11 = job->step, *s12 = s11 + PS_STRIDE, *s21 = s12 + PS_STRIDE, *s22 = s21 + PS_STRIDE;
    const int32_t whole = job->bands & ~3;
    for (int32_t n = 0; n < job->num_slots; n++) {
        const float *s_re = job->s_re + n * job->s_stride, *s_im = job->s_im + n * job->s_stride;
        const float *d_re = job->d_re + n * job->d_stride, *d_im = job->d_im + n * job->d_stride;
        const float *gain = job->gain + n * PS_STRIDE;
        float *l_re = job->l_re + n * job->l_stride, *l_im = job->l_im + n * job->l_stride;
        float *r_re = job->r_re + n * job->r_stride, *r_im = job->r_im + n * job->r_stride;
        int32_t k = 0;
        for (; k < whole; k += 4) {
            const v4 a11 = add(_mm_loadu_ps(h11 + k), _mm_loadu_ps(s11 + k));
            const v4 a12 = add(_mm_loadu_ps(h12 + k), _mm_loadu_ps(s12 + k));
            const v4 a21 = add(_mm_loadu_ps(h21 + k), _mm_loadu_ps(s21 + k));
            const v4 a22 = add(_mm_loadu_ps(h22 + k), _mm_loadu_ps(s22 + k));
            _mm_storeu_ps(h11 + k, a11);
            _mm_storeu_ps(h12 + k, a12);
            _mm_storeu_ps(h21 + k, a21);
            _mm_storeu_ps(h22 + k, a22);
            const v4 g = _mm_loadu_ps(gain + k);
            const v4 e_re = mul(g, _mm_loadu_ps(d_re + k)), e_im = mul(g, _mm_loadu_ps(d_im + k));
            const v4 sr = _mm_loadu_ps(s_re + k), si = _mm_loadu_ps(s_im + k);
            _mm_storeu_ps(l_re + k, add(mul(a11, sr), mul(a21, e_re)));
            _mm_storeu_ps(l_im + k, add(mul(a11, si), mul(a21, e_im)));
            _mm_storeu_ps(r_re + k, add(mul(a12, sr), mul(a22, e_re)));
            _mm_storeu_ps(r_im + k, add(mul(a12, si), mul(a22, e_im)));
        }
        for (; k < job->bands; k++) {
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

const ps_kernels ps_kernels_sse2 = {
    hybrid_filter_sse2,
    power_sse2,
    allpass_sse2,
    mix_sse2,
};

}  // namespace lumdec
