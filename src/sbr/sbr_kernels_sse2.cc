// The SSE2 band replication kernels: four bands, samples or bins per
// register, each lane going through the operations of the generic kernel in
// the same order, so the results agree to the bit.
#include <emmintrin.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_kernels.h"
#include "sbr/sbr_tables.h"
#include "synthesis/transform_tables.h"

namespace lumdec {

namespace {

using v4 = __m128;

inline v4 add(v4 a, v4 b) { return _mm_add_ps(a, b); }
inline v4 sub(v4 a, v4 b) { return _mm_sub_ps(a, b); }
inline v4 mul(v4 a, v4 b) { return _mm_mul_ps(a, b); }

// Even and odd elements of the eight floats at p (p 16-byte aligned).
inline void deinterleave(const float *p, v4 *even, v4 *odd)
{
    const v4 a = _mm_load_ps(p), b = _mm_load_ps(p + 4);
    *even = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    *odd = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
}

inline v4 reversed(v4 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// The DCT-IV of sbr_dct4_64 with its rotations four elements at a time:
// pre-rotation z[j] = (x[2j] + i x[63-2j]) conj(t[j]) as
//   re = t.i x[63-2j] + t.r x[2j],  im = x[63-2j] t.r - t.i x[2j],
// post-rotation of Z[j]: x[2j] = t.i Im + t.r Re, x[63-2j] = t.i Re - Im t.r.
void dct4_64(float *x)
{
    alignas(16) float z[64], yre[32], yneg[32];
    for (int j = 0; j < 32; j += 4) {
        v4 re, im_ignored, re_ignored, im;
        deinterleave(x + 2 * j, &re, &im_ignored);
        deinterleave(x + 2 * (28 - j), &re_ignored, &im);
        const v4 ip = reversed(im);
        const v4 tr = _mm_load_ps(sbr_dct4_64_rotation[0] + j);
        const v4 ti = _mm_load_ps(sbr_dct4_64_rotation[1] + j);
        const v4 a = add(mul(ti, ip), mul(tr, re));
        const v4 b = sub(mul(ip, tr), mul(ti, re));
        _mm_store_ps(z + 2 * j, _mm_unpacklo_ps(a, b));
        _mm_store_ps(z + 2 * j + 4, _mm_unpackhi_ps(a, b));
    }
    aac_transform_kernels_sse2.fft32_forward(z);
    for (int j = 0; j < 32; j += 4) {
        v4 zr, zi;
        deinterleave(z + 2 * j, &zr, &zi);
        const v4 tr = _mm_load_ps(sbr_dct4_64_rotation[0] + j);
        const v4 ti = _mm_load_ps(sbr_dct4_64_rotation[1] + j);
        _mm_store_ps(yre + j, add(mul(ti, zi), mul(tr, zr)));
        _mm_store_ps(yneg + j, sub(mul(ti, zr), mul(zi, tr)));
    }
    for (int b = 0; b < 8; b++) {
        const v4 even = _mm_load_ps(yre + 4 * b);
        const v4 odd = reversed(_mm_load_ps(yneg + 28 - 4 * b));
        _mm_store_ps(x + 8 * b, _mm_unpacklo_ps(even, odd));
        _mm_store_ps(x + 8 * b + 4, _mm_unpackhi_ps(even, odd));
    }
}

void qmf_analysis(const float *in, float *re, float *im, int32_t num_slots)
{
    alignas(16) float u[64], fft[64];
    const v4 sign = _mm_castsi128_ps(_mm_set1_epi32(INT32_MIN));
    for (int32_t s = 0; s < num_slots; s++) {
        const float *x = in + 32 * s;
        for (int m = 0; m < 64; m += 4) {
            v4 acc = mul(_mm_load_ps(x + 256 + m), _mm_load_ps(sbr_qmf_analysis_window + m));
            for (int j = 1; j < 5; j++)
                acc = add(acc, mul(_mm_load_ps(x + 256 - 64 * j + m),
                                   _mm_load_ps(sbr_qmf_analysis_window + 64 * j + m)));
            _mm_store_ps(u + 60 - m, reversed(acc));
        }
        for (int m = 0; m < 32; m += 4) {
            v4 u0, u1;
            deinterleave(u + 2 * m, &u0, &u1);
            const v4 c = _mm_load_ps(sbr_analysis_pre[0] + m), ms = _mm_load_ps(sbr_analysis_pre[1] + m);
            const v4 a = add(mul(u0, c), mul(u1, ms));
            const v4 b = sub(mul(u0, ms), mul(u1, c));
            _mm_store_ps(fft + 2 * m, _mm_unpacklo_ps(a, b));
            _mm_store_ps(fft + 2 * m + 4, _mm_unpackhi_ps(a, b));
        }
        aac_transform_kernels_sse2.fft32_forward(fft);
        for (int k = 0; k < 32; k += 4) {
            v4 pr, pi, qr, qi;
            deinterleave(fft + 2 * k, &pr, &pi);
            deinterleave(fft + 2 * (28 - k), &qr, &qi);
            pi = _mm_xor_ps(pi, sign);
            qr = reversed(qr);
            qi = reversed(qi);
            const v4 ar = _mm_load_ps(sbr_analysis_post_a[0] + k), ai = _mm_load_ps(sbr_analysis_post_a[1] + k);
            const v4 br = _mm_load_ps(sbr_analysis_post_b[0] + k), bi = _mm_load_ps(sbr_analysis_post_b[1] + k);
            const v4 sr = add(pr, qr), si = add(pi, qi), dr = sub(pr, qr), di = sub(pi, qi);
            _mm_storeu_ps(re + 32 * s + k,
                          add(sub(mul(ar, sr), mul(ai, si)), sub(mul(br, dr), mul(bi, di))));
            _mm_storeu_ps(im + 32 * s + k,
                          add(add(mul(ar, si), mul(ai, sr)), add(mul(br, di), mul(bi, dr))));
        }
    }
}

void qmf_synthesis(float *v, const float *re, const float *im, const float *window, float *out,
                   int32_t num_slots)
{
    alignas(16) float c[64], d[64];
    const v4 odd_sign = _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0));
    for (int32_t s = 0; s < num_slots; s++) {
        const float *xr = re + 64 * s, *xi = im + 64 * s;
        for (int k = 0; k < 64; k += 4) {
            _mm_store_ps(c + k, _mm_loadu_ps(xr + k));
            _mm_store_ps(d + k, reversed(_mm_loadu_ps(xi + 60 - k)));
        }
        dct4_64(c);
        dct4_64(d);
        float *cur = v + 128 * (9 + s);
        for (int n = 0; n < 64; n += 4) {
            const v4 cn = _mm_load_ps(c + n);
            const v4 sn = _mm_xor_ps(_mm_load_ps(d + n), odd_sign);
            _mm_store_ps(cur + n, sub(sn, cn));
            _mm_store_ps(cur + 124 - n, reversed(add(cn, sn)));
        }
        for (int k = 0; k < 64; k += 4) {
            v4 acc = mul(_mm_load_ps(cur + k), _mm_loadu_ps(window + k));
            acc = add(acc, mul(_mm_load_ps(cur - 64 + k), _mm_loadu_ps(window + 64 + k)));
            for (int j = 1; j < 5; j++) {
                acc = add(acc, mul(_mm_load_ps(cur - 256 * j + k), _mm_loadu_ps(window + 128 * j + k)));
                acc = add(acc, mul(_mm_load_ps(cur - 256 * j - 64 + k),
                                   _mm_loadu_ps(window + 128 * j + 64 + k)));
            }
            _mm_storeu_ps(out + 64 * s + k, acc);
        }
    }
    std::memmove(v, v + 128 * num_slots, 9 * 128 * sizeof(float));
}

// The pre-rotation of 32 bands is a short loop: the generic one serves.
void qmf_synthesis_down(float *v, const float *re, const float *im, const float *window,
                        float *out, int32_t num_slots)
{
    alignas(16) float fft[128];
    const float *post = &sbr_synthesis_down_post[0][0];
    for (int32_t s = 0; s < num_slots; s++) {
        sbr_synthesis_down_pre_generic(re + 64 * s, im + 64 * s, fft);
        aac_transform_kernels_sse2.fft64_forward(fft);
        float *cur = v + 64 * (9 + s);
        for (int n = 0; n < 64; n += 4) {
            v4 p, q;
            deinterleave(fft + 2 * n, &p, &q);
            const v4 t0 = _mm_loadu_ps(post + 2 * n), t1 = _mm_loadu_ps(post + 2 * n + 4);
            const v4 c = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(2, 0, 2, 0));
            const v4 sn = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 1, 3, 1));
            _mm_store_ps(cur + n, add(mul(p, c), mul(q, sn)));
        }
        for (int k = 0; k < 32; k += 4) {
            v4 acc = mul(_mm_load_ps(cur + k), _mm_loadu_ps(window + k));
            acc = add(acc, mul(_mm_load_ps(cur - 32 + k), _mm_loadu_ps(window + 32 + k)));
            for (int j = 1; j < 5; j++) {
                acc = add(acc, mul(_mm_load_ps(cur - 128 * j + k), _mm_loadu_ps(window + 64 * j + k)));
                acc = add(acc, mul(_mm_load_ps(cur - 128 * j - 32 + k),
                                   _mm_loadu_ps(window + 64 * j + 32 + k)));
            }
            _mm_storeu_ps(out + 32 * s + k, acc);
        }
    }
    std::memmove(v, v + 64 * num_slots, 9 * 64 * sizeof(float));
}

template <class Load>
void covariance_lanes(const float *re, const float *im, float *out, int b, Load load, int width)
{
    v4 r11 = _mm_setzero_ps(), r22 = r11, r01r = r11, r01i = r11, r02r = r11, r02i = r11,
       r12r = r11, r12i = r11;
    v4 x0r = load(re + b), x0i = load(im + b);
    v4 x1r = load(re + 32 + b), x1i = load(im + 32 + b);
    for (int n = 0; n < 38; n++) {
        const v4 x2r = load(re + 32 * (n + 2) + b), x2i = load(im + 32 * (n + 2) + b);
        r11 = add(r11, add(mul(x1r, x1r), mul(x1i, x1i)));
        r22 = add(r22, add(mul(x0r, x0r), mul(x0i, x0i)));
        r01r = add(r01r, add(mul(x2r, x1r), mul(x2i, x1i)));
        r01i = add(r01i, sub(mul(x2i, x1r), mul(x2r, x1i)));
        r02r = add(r02r, add(mul(x2r, x0r), mul(x2i, x0i)));
        r02i = add(r02i, sub(mul(x2i, x0r), mul(x2r, x0i)));
        r12r = add(r12r, add(mul(x1r, x0r), mul(x1i, x0i)));
        r12i = add(r12i, sub(mul(x1i, x0r), mul(x1r, x0i)));
        x0r = x1r;
        x0i = x1i;
        x1r = x2r;
        x1i = x2i;
    }
    const v4 sums[8] = {r11, r22, r01r, r01i, r02r, r02i, r12r, r12i};
    for (int i = 0; i < 8; i++) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, sums[i]);
        std::memcpy(out + 32 * i + b, lanes, sizeof(float) * width);
    }
}

// A band count that is not a multiple of four ends with a group that
// overlaps the one before: lanes are independent, so the bands computed
// twice come out the same both times.
void hf_covariance(const float *re, const float *im, int32_t bands, float *out)
{
    const auto load = [](const float *p) { return _mm_loadu_ps(p); };
    if (bands >= 4) {
        for (int32_t b = 0;; b += 4) {
            const int32_t at = b + 4 <= bands ? b : bands - 4;
            covariance_lanes(re, im, out, at, load, 4);
            if (at + 4 >= bands)
                return;
        }
    }
    covariance_lanes(re, im, out, 0, [bands](const float *p) {
        alignas(16) float lanes[4] = {0, 0, 0, 0};
        std::memcpy(lanes, p, sizeof(float) * bands);
        return _mm_load_ps(lanes);
    }, bands);
}

void hf_filter(float *dst_re, float *dst_im, const float *src_re, const float *src_im,
               const float *coef, int32_t bands, int32_t first, int32_t end)
{
    if (bands < 4) {
        aac_sbr_kernels_generic.hf_filter(dst_re, dst_im, src_re, src_im, coef, bands, first, end);
        return;
    }
    // The last group overlaps the one before when bands is not a multiple
    // of four (source and destination are different matrices).
    for (int32_t group = 0; group < bands; group += 4) {
        const int32_t b = group + 4 <= bands ? group : bands - 4;
        const v4 a0r = _mm_loadu_ps(coef + b), a0i = _mm_loadu_ps(coef + 64 + b);
        const v4 a1r = _mm_loadu_ps(coef + 128 + b), a1i = _mm_loadu_ps(coef + 192 + b);
        for (int32_t l = first; l < end; l++) {
            const v4 x0r = _mm_loadu_ps(src_re + 32 * l + b), x0i = _mm_loadu_ps(src_im + 32 * l + b);
            const v4 x1r = _mm_loadu_ps(src_re + 32 * (l - 1) + b);
            const v4 x1i = _mm_loadu_ps(src_im + 32 * (l - 1) + b);
            const v4 x2r = _mm_loadu_ps(src_re + 32 * (l - 2) + b);
            const v4 x2i = _mm_loadu_ps(src_im + 32 * (l - 2) + b);
            const v4 yr = sub(add(sub(add(x0r, mul(a0r, x1r)), mul(a0i, x1i)), mul(a1r, x2r)),
                              mul(a1i, x2i));
            const v4 yi = add(add(add(add(x0i, mul(a0r, x1i)), mul(a0i, x1r)), mul(a1r, x2i)),
                              mul(a1i, x2r));
            _mm_storeu_ps(dst_re + 64 * l + b, yr);
            _mm_storeu_ps(dst_im + 64 * l + b, yi);
        }
    }
}

void band_energy(const float *re, const float *im, int32_t bands, int32_t first, int32_t end,
                 float *out)
{
    if (bands < 4) {
        aac_sbr_kernels_generic.band_energy(re, im, bands, first, end, out);
        return;
    }
    for (int32_t group = 0; group < bands; group += 4) {
        const int32_t b = group + 4 <= bands ? group : bands - 4;
        v4 acc = _mm_setzero_ps();
        for (int32_t l = first; l < end; l++) {
            const v4 r = _mm_loadu_ps(re + 64 * l + b), i = _mm_loadu_ps(im + 64 * l + b);
            acc = add(acc, add(mul(r, r), mul(i, i)));
        }
        _mm_storeu_ps(out + b, acc);
    }
}

void hf_smooth(float *out, const float *cur, const float *const *past, const float *h,
               int32_t bands)
{
    const v4 h4 = _mm_set1_ps(h[4]), h3 = _mm_set1_ps(h[3]), h2 = _mm_set1_ps(h[2]);
    const v4 h1 = _mm_set1_ps(h[1]), h0 = _mm_set1_ps(h[0]);
    if (bands < 4) {
        aac_sbr_kernels_generic.hf_smooth(out, cur, past, h, bands);
        return;
    }
    for (int32_t group = 0; group < bands; group += 4) {
        const int32_t b = group + 4 <= bands ? group : bands - 4;
        v4 acc = mul(_mm_loadu_ps(cur + b), h4);
        acc = add(acc, mul(_mm_loadu_ps(past[0] + b), h3));
        acc = add(acc, mul(_mm_loadu_ps(past[1] + b), h2));
        acc = add(acc, mul(_mm_loadu_ps(past[2] + b), h1));
        acc = add(acc, mul(_mm_loadu_ps(past[3] + b), h0));
        _mm_storeu_ps(out + b, acc);
    }
}

// Four bands at a time: both the sinusoid and the noise sum are formed and
// the band's own one is kept, which is the value the generic loop forms.
void hf_assemble(float *re, float *im, const float *gain, const float *noise_level,
                 const float *sine, int32_t index, float phi_re, float phi_im, int32_t noisy,
                 int32_t bands)
{
    const v4 pr = _mm_set1_ps(phi_re);
    const v4 pi = _mm_setr_ps(phi_im, -phi_im, phi_im, -phi_im);
    const v4 noise_on = _mm_castsi128_ps(_mm_set1_epi32(noisy ? -1 : 0));
    int32_t b = 0;
    for (; b + 4 <= bands; b += 4) {
        const v4 g = _mm_loadu_ps(gain + b);
        const v4 yr = mul(_mm_loadu_ps(re + b), g), yi = mul(_mm_loadu_ps(im + b), g);
        const v4 s = _mm_loadu_ps(sine + b), q = _mm_loadu_ps(noise_level + b);
        const int32_t first = (index + b + 1) & 511;
        const v4 vr = _mm_loadu_ps(sbr_noise_re + first), vi = _mm_loadu_ps(sbr_noise_im + first);
        const v4 with_sine = _mm_cmpneq_ps(s, _mm_setzero_ps());
        const v4 with_noise = _mm_andnot_ps(with_sine, noise_on);
        const v4 sr = add(yr, mul(s, pr)), si = add(yi, mul(s, pi));
        const v4 nr = add(yr, mul(q, vr)), ni = add(yi, mul(q, vi));
        const v4 keep = _mm_andnot_ps(_mm_or_ps(with_sine, with_noise), _mm_castsi128_ps(_mm_set1_epi32(-1)));
        _mm_storeu_ps(re + b, _mm_or_ps(_mm_or_ps(_mm_and_ps(with_sine, sr), _mm_and_ps(with_noise, nr)),
                                        _mm_and_ps(keep, yr)));
        _mm_storeu_ps(im + b, _mm_or_ps(_mm_or_ps(_mm_and_ps(with_sine, si), _mm_and_ps(with_noise, ni)),
                                        _mm_and_ps(keep, yi)));
    }
    if (b < bands)
        aac_sbr_kernels_generic.hf_assemble(re + b, im + b, gain + b, noise_level + b, sine + b,
                                            index + b, phi_re, phi_im, noisy, bands - b);
}

}  // namespace

const aac_sbr_kernels aac_sbr_kernels_sse2 = {
    qmf_analysis, qmf_synthesis, qmf_synthesis_down, hf_covariance, hf_filter,
    band_energy, hf_smooth, hf_assemble,
};

#if defined(LUMDEC_HAVE_AVX2)
const aac_sbr_kernels aac_sbr_kernels_avx2 = {
    sbr_qmf_analysis_avx2, sbr_qmf_synthesis_avx2, qmf_synthesis_down, hf_covariance, hf_filter,
    band_energy, hf_smooth, hf_assemble,
};
#endif

}  // namespace lumdec
