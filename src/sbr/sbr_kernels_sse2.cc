// The SSE2 band replication kernels: four bands, samples or bins per
// register, each lane going through the operations of the generic kernel in
// the same order, so the results agree to the bit.
#include <emmintrin.h>

#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_kernels.h"
#include "sbr/sbr_tables.h"

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

void analysis_slot(const float *in, float *fft)
{
    alignas(16) float u[64];
    for (int m = 0; m < 64; m += 4) {
        v4 acc = mul(_mm_load_ps(in + 256 + m), _mm_load_ps(sbr_qmf_analysis_window + m));
        for (int j = 1; j < 5; j++)
            acc = add(acc, mul(_mm_load_ps(in + 256 - 64 * j + m),
                               _mm_load_ps(sbr_qmf_analysis_window + 64 * j + m)));
        _mm_store_ps(u + 60 - m, reversed(acc));
    }
    for (int n = 0; n < 64; n += 2) {
        const v4 un = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double *>(u + n)));
        const v4 pairs = _mm_unpacklo_ps(un, un);  // (u0, u0, u1, u1)
        _mm_store_ps(fft + 2 * n, mul(pairs, _mm_loadu_ps(&sbr_analysis_pre[n][0])));
    }
    aac_transform_kernels_sse2.fft64_forward(fft);
}

void qmf_analysis(const float *in, float *re, float *im, int32_t num_slots)
{
    alignas(16) float fft[128];
    const float *post = &sbr_analysis_post[0][0];
    for (int32_t s = 0; s < num_slots; s++) {
        analysis_slot(in + 32 * s, fft);
        for (int k = 0; k < 32; k += 4) {
            v4 p, q, cr, ci;
            deinterleave(fft + 2 * k, &p, &q);
            const v4 t0 = _mm_loadu_ps(post + 2 * k), t1 = _mm_loadu_ps(post + 2 * k + 4);
            cr = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(2, 0, 2, 0));
            ci = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 1, 3, 1));
            _mm_storeu_ps(re + 32 * s + k, add(mul(p, cr), mul(q, ci)));
            _mm_storeu_ps(im + 32 * s + k, sub(mul(p, ci), mul(q, cr)));
        }
    }
}

void qmf_synthesis(float *v, const float *re, const float *im, const float *window, float *out,
                   int32_t num_slots)
{
    alignas(16) float fft[256];
    const float *pre = &sbr_synthesis_pre[0][0];
    const float *post = &sbr_synthesis_post[0][0];
    for (int32_t s = 0; s < num_slots; s++) {
        const float *xr = re + 64 * s, *xi = im + 64 * s;
        for (int k = 0; k < 64; k += 4) {
            const v4 r = _mm_loadu_ps(xr + k), i = _mm_loadu_ps(xi + k);
            const v4 t0 = _mm_loadu_ps(pre + 2 * k), t1 = _mm_loadu_ps(pre + 2 * k + 4);
            const v4 c = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(2, 0, 2, 0));
            const v4 sn = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 1, 3, 1));
            const v4 a = add(mul(r, c), mul(i, sn));
            const v4 b = sub(mul(r, sn), mul(i, c));
            _mm_store_ps(fft + 2 * k, _mm_unpacklo_ps(a, b));
            _mm_store_ps(fft + 2 * k + 4, _mm_unpackhi_ps(a, b));
        }
        std::memset(fft + 128, 0, 128 * sizeof(float));
        aac_transform_kernels_sse2.fft128_forward(fft);
        float *cur = v + 128 * (9 + s);
        for (int n = 0; n < 128; n += 4) {
            v4 p, q;
            deinterleave(fft + 2 * n, &p, &q);
            const v4 t0 = _mm_loadu_ps(post + 2 * n), t1 = _mm_loadu_ps(post + 2 * n + 4);
            const v4 c = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(2, 0, 2, 0));
            const v4 sn = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 1, 3, 1));
            _mm_store_ps(cur + n, add(mul(p, c), mul(q, sn)));
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

void hf_covariance(const float *re, const float *im, int32_t bands, float *out)
{
    int32_t b = 0;
    for (; b + 4 <= bands; b += 4)
        covariance_lanes(re, im, out, b, [](const float *p) { return _mm_loadu_ps(p); }, 4);
    if (b < bands) {
        const int width = bands - b;
        covariance_lanes(re, im, out, b, [width](const float *p) {
            alignas(16) float lanes[4] = {0, 0, 0, 0};
            std::memcpy(lanes, p, sizeof(float) * width);
            return _mm_load_ps(lanes);
        }, width);
    }
}

void hf_filter(float *dst_re, float *dst_im, const float *src_re, const float *src_im,
               const float *coef, int32_t bands, int32_t first, int32_t end)
{
    int32_t b = 0;
    for (; b + 4 <= bands; b += 4) {
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
    if (b < bands)
        aac_sbr_kernels_generic.hf_filter(dst_re + b, dst_im + b, src_re + b, src_im + b, coef + b,
                                          bands - b, first, end);
}

void band_energy(const float *re, const float *im, int32_t bands, int32_t first, int32_t end,
                 float *out)
{
    int32_t b = 0;
    for (; b + 4 <= bands; b += 4) {
        v4 acc = _mm_setzero_ps();
        for (int32_t l = first; l < end; l++) {
            const v4 r = _mm_loadu_ps(re + 64 * l + b), i = _mm_loadu_ps(im + 64 * l + b);
            acc = add(acc, add(mul(r, r), mul(i, i)));
        }
        _mm_storeu_ps(out + b, acc);
    }
    if (b < bands)
        aac_sbr_kernels_generic.band_energy(re + b, im + b, bands - b, first, end, out + b);
}

}  // namespace

}  // namespace lumdec

const aac_sbr_kernels aac_sbr_kernels_sse2 = {
    lumdec::qmf_analysis, lumdec::qmf_synthesis, lumdec::qmf_synthesis_down, lumdec::hf_covariance, lumdec::hf_filter,
    lumdec::band_energy,
};
