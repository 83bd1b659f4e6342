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

// The four slots of outputs j..j+3 (four registers, one per output) stored
// as four rows; of outputs j, j+1 (two registers) as two floats per row.
inline void store_outputs4(float *y, int32_t stride, v4 a0, v4 a1, v4 a2, v4 a3)
{
    _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
    _mm_storeu_ps(y, a0);
    _mm_storeu_ps(y + stride, a1);
    _mm_storeu_ps(y + 2 * stride, a2);
    _mm_storeu_ps(y + 3 * stride, a3);
}

inline void store_outputs2(float *y, int32_t stride, v4 a0, v4 a1)
{
    const v4 lo = _mm_unpacklo_ps(a0, a1), hi = _mm_unpackhi_ps(a0, a1);
    _mm_storel_pi(reinterpret_cast<__m64 *>(y), lo);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(y + stride), lo);
    _mm_storel_pi(reinterpret_cast<__m64 *>(y + 2 * stride), hi);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(y + 3 * stride), hi);
}

// Four slots at a time: the sums and differences of the mirrored taps are
// shared by all outputs, each output's coefficients broadcast.
void hybrid_filter_sse2(const float *x_re, const float *x_im, const float *cos, const float *sin,
                        int32_t q, float *y_re, float *y_im, int32_t stride, int32_t num_slots)
{
    int32_t n = 0;
    for (; n + 4 <= num_slots; n += 4) {
        const float *xr = x_re + n + 6, *xi = x_im + n + 6;
        const v4 c_re = _mm_loadu_ps(xr), c_im = _mm_loadu_ps(xi);
        v4 u_re[7], u_im[7], v_re[7], v_im[7];
        for (int m = 1; m <= 6; m++) {
            const v4 ar = _mm_loadu_ps(xr + m), br = _mm_loadu_ps(xr - m);
            const v4 ai = _mm_loadu_ps(xi + m), bi = _mm_loadu_ps(xi - m);
            u_re[m] = add(ar, br);
            u_im[m] = add(ai, bi);
            v_re[m] = sub(ar, br);
            v_im[m] = sub(ai, bi);
        }
        v4 out_re[4], out_im[4];
        for (int32_t j = 0; j < q; j++) {
            const v4 c0 = _mm_set1_ps(cos[j]);
            v4 acc_re = mul(c0, c_re), acc_im = mul(c0, c_im);
            for (int m = 1; m <= 6; m++) {
                const v4 c = _mm_set1_ps(cos[q * m + j]), s = _mm_set1_ps(sin[q * m + j]);
                acc_re = add(acc_re, add(mul(c, u_re[m]), mul(s, v_im[m])));
                acc_im = add(acc_im, sub(mul(c, u_im[m]), mul(s, v_re[m])));
            }
            out_re[j & 3] = acc_re;
            out_im[j & 3] = acc_im;
            float *yr = y_re + n * stride + (j & ~3), *yi = y_im + n * stride + (j & ~3);
            if ((j & 3) == 3) {
                store_outputs4(yr, stride, out_re[0], out_re[1], out_re[2], out_re[3]);
                store_outputs4(yi, stride, out_im[0], out_im[1], out_im[2], out_im[3]);
            } else if (j == q - 1) {
                store_outputs2(yr, stride, out_re[0], out_re[1]);
                store_outputs2(yi, stride, out_im[0], out_im[1]);
            }
        }
    }
    // The last slots one at a time, by the generic kernel.
    if (n < num_slots)
        ps_kernels_generic.hybrid_filter(x_re + n, x_im + n, cos, sin, q, y_re + n * stride,
                                         y_im + n * stride, stride, num_slots - n);
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

void transient_sse2(const float *power, float *gain, float *peak, float *smooth, float *diff, int32_t bands,
                    int32_t num_slots)
{
    const v4 decay = _mm_set1_ps(PS_PEAK_DECAY), alpha = _mm_set1_ps(PS_SMOOTH);
    const v4 impact = _mm_set1_ps(PS_TRANSIENT_IMPACT), one = _mm_set1_ps(1.0f);
    for (int32_t i = 0; i < bands; i += 4) {
        v4 pk = _mm_load_ps(peak + i), sm = _mm_load_ps(smooth + i), df = _mm_load_ps(diff + i);
        for (int32_t n = 0; n < num_slots; n++) {
            const v4 p = _mm_load_ps(power + n * PS_PAR_STRIDE + i);
            // max(p, d) is d where p > d fails, as "d < p ? p : d" is.
            pk = _mm_max_ps(p, mul(pk, decay));
            sm = add(sm, mul(alpha, sub(p, sm)));
            df = add(df, mul(alpha, sub(sub(pk, p), df)));
            const v4 limit = mul(impact, df);
            const v4 attenuate = _mm_cmpgt_ps(limit, sm);
            const v4 g = _mm_or_ps(_mm_and_ps(attenuate, _mm_div_ps(sm, limit)), _mm_andnot_ps(attenuate, one));
            _mm_store_ps(gain + n * PS_PAR_STRIDE + i, g);
        }
        _mm_store_ps(peak + i, pk);
        _mm_store_ps(smooth + i, sm);
        _mm_store_ps(diff + i, df);
    }
}

// Four bands at a time through all slots, their coefficients in registers.
void allpass_sse2(const ps_allpass_job *job)
{
    const ps_decorrelator_table &t = *job->table;
    for (int32_t k = 0; k < job->bands; k += 4) {
        const v4 pr = _mm_load_ps(t.phi_re + k), pi = _mm_load_ps(t.phi_im + k);
        v4 qr[PS_NUM_LINKS], qi[PS_NUM_LINKS], a[PS_NUM_LINKS];
        for (int m = 0; m < PS_NUM_LINKS; m++) {
            qr[m] = _mm_load_ps(t.q_re[m] + k);
            qi[m] = _mm_load_ps(t.q_im[m] + k);
            a[m] = _mm_load_ps(t.a[m] + k);
        }
        for (int32_t n = 0; n < job->num_slots; n++) {
            const int32_t at = (n - PS_PRE_DELAY) * PS_STRIDE + k;
            const v4 sr = _mm_load_ps(job->s_re + at), si = _mm_load_ps(job->s_im + at);
            v4 x_re = sub(mul(sr, pr), mul(si, pi));
            v4 x_im = add(mul(sr, pi), mul(si, pr));
            for (int m = 0; m < PS_NUM_LINKS; m++) {
                float *v_re = job->link_re[m] + n * PS_ALLPASS_STRIDE + k;
                float *v_im = job->link_im[m] + n * PS_ALLPASS_STRIDE + k;
                const int32_t back = PS_LINK_DELAY[m] * PS_ALLPASS_STRIDE;
                const v4 w_re = _mm_load_ps(v_re - back), w_im = _mm_load_ps(v_im - back);
                const v4 u_re = sub(sub(mul(w_re, qr[m]), mul(w_im, qi[m])), mul(a[m], x_re));
                const v4 u_im = sub(add(mul(w_re, qi[m]), mul(w_im, qr[m])), mul(a[m], x_im));
                _mm_store_ps(v_re, add(x_re, mul(a[m], u_re)));
                _mm_store_ps(v_im, add(x_im, mul(a[m], u_im)));
                x_re = u_re;
                x_im = u_im;
            }
            _mm_store_ps(job->d_re + n * PS_STRIDE + k, x_re);
            _mm_store_ps(job->d_im + n * PS_STRIDE + k, x_im);
        }
    }
}

// The values of four bands' parameter bands p[0..3] in one register.
inline v4 by_band(const float *row, const uint8_t *p)
{
    return _mm_setr_ps(row[p[0]], row[p[1]], row[p[2]], row[p[3]]);
}

// Four bands at a time through all slots, their matrices in registers; a
// group within one parameter band takes its gains as one broadcast.  The
// last one to three bands one at a time.
void mix_sse2(const ps_mix_job *job)
{
    const ps_mix_job &j = *job;
    const int32_t whole = j.bands & ~3;
    for (int32_t k = 0; k < whole; k += 4) {
        const uint8_t *p = j.par + k;
        v4 h11 = by_band(j.h, p), h12 = by_band(j.h + PS_PAR_STRIDE, p);
        v4 h21 = by_band(j.h + 2 * PS_PAR_STRIDE, p), h22 = by_band(j.h + 3 * PS_PAR_STRIDE, p);
        const v4 s11 = by_band(j.step, p), s12 = by_band(j.step + PS_PAR_STRIDE, p);
        const v4 s21 = by_band(j.step + 2 * PS_PAR_STRIDE, p), s22 = by_band(j.step + 3 * PS_PAR_STRIDE, p);
        const bool uniform = p[0] == p[1] && p[0] == p[2] && p[0] == p[3];
        const float *s_re = j.s_re + k, *s_im = j.s_im + k, *d_re = j.d_re + k, *d_im = j.d_im + k;
        float *l_re = j.l_re + k, *l_im = j.l_im + k, *r_re = j.r_re + k, *r_im = j.r_im + k;
        const float *gain = j.gain;
        for (int32_t n = 0, in = 0, out = 0; n < j.num_slots;
             n++, in += PS_STRIDE, out += j.out_stride, gain += PS_PAR_STRIDE) {
            h11 = add(h11, s11);
            h12 = add(h12, s12);
            h21 = add(h21, s21);
            h22 = add(h22, s22);
            const v4 g = uniform ? _mm_set1_ps(gain[p[0]]) : by_band(gain, p);
            const v4 e_re = mul(g, _mm_loadu_ps(d_re + in)), e_im = mul(g, _mm_loadu_ps(d_im + in));
            const v4 sr = _mm_loadu_ps(s_re + in), si = _mm_loadu_ps(s_im + in);
            _mm_storeu_ps(l_re + out, add(mul(h11, sr), mul(h21, e_re)));
            _mm_storeu_ps(l_im + out, add(mul(h11, si), mul(h21, e_im)));
            _mm_storeu_ps(r_re + out, add(mul(h12, sr), mul(h22, e_re)));
            _mm_storeu_ps(r_im + out, add(mul(h12, si), mul(h22, e_im)));
        }
    }
    for (int32_t k = whole; k < j.bands; k++) {
        const int b = j.par[k];
        float h11 = j.h[b], h12 = j.h[b + PS_PAR_STRIDE];
        float h21 = j.h[b + 2 * PS_PAR_STRIDE], h22 = j.h[b + 3 * PS_PAR_STRIDE];
        const float s11 = j.step[b], s12 = j.step[b + PS_PAR_STRIDE];
        const float s21 = j.step[b + 2 * PS_PAR_STRIDE], s22 = j.step[b + 3 * PS_PAR_STRIDE];
        for (int32_t n = 0; n < j.num_slots; n++) {
            h11 = h11 + s11;
            h12 = h12 + s12;
            h21 = h21 + s21;
            h22 = h22 + s22;
            const float g = j.gain[n * PS_PAR_STRIDE + b];
            const int32_t in = n * PS_STRIDE + k, out = n * j.out_stride + k;
            const float e_re = g * j.d_re[in], e_im = g * j.d_im[in];
            const float sr = j.s_re[in], si = j.s_im[in];
            j.l_re[out] = h11 * sr + h21 * e_re;
            j.l_im[out] = h11 * si + h21 * e_im;
            j.r_re[out] = h12 * sr + h22 * e_re;
            j.r_im[out] = h12 * si + h22 * e_im;
        }
    }
}

}  // namespace

const ps_kernels ps_kernels_sse2 = {
    hybrid_filter_sse2,
    power_sse2,
    transient_sse2,
    allpass_sse2,
    mix_sse2,
};

}  // namespace lumdec
