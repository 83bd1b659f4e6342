// The AVX2 QMF banks: the SSE2 ones (sbr_kernels_sse2.cc) with eight bands,
// samples or bins per register, each lane going through the operations of
// the generic kernel in the same order, and no fused multiply-add.  The
// 32-point FFTs inside stay those of the SSE2 transform table.  This file
// alone is compiled for AVX2; everything in it but the two entry points
// has internal linkage, so no copy of a shared inline function compiled
// for AVX2 can end up in the other files' code.
#include <immintrin.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_kernels.h"
#include "sbr/sbr_tables.h"

namespace lumdec {

namespace {

using v8 = __m256;

inline v8 add(v8 a, v8 b) { return _mm256_add_ps(a, b); }
inline v8 sub(v8 a, v8 b) { return _mm256_sub_ps(a, b); }
inline v8 mul(v8 a, v8 b) { return _mm256_mul_ps(a, b); }
inline v8 load(const float *p) { return _mm256_loadu_ps(p); }
inline void store(float *p, v8 v) { _mm256_storeu_ps(p, v); }

// Even and odd elements of the sixteen floats at p.
inline void deinterleave(const float *p, v8 *even, v8 *odd)
{
    const v8 a = load(p), b = load(p + 8);
    const auto in_order = [](v8 v) {
        return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), 0xd8));
    };
    *even = in_order(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    *odd = in_order(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// (a0, b0, a1, b1, ...) to the sixteen floats at p.
inline void interleave(float *p, v8 a, v8 b)
{
    const v8 lo = _mm256_unpacklo_ps(a, b), hi = _mm256_unpackhi_ps(a, b);
    store(p, _mm256_permute2f128_ps(lo, hi, 0x20));
    store(p + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}

inline v8 reversed(v8 v)
{
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

// sbr_dct4_64 as dct4_64 of the SSE2 kernels does it, eight at a time.
void dct4_64(float *x)
{
    alignas(32) float z[64], yre[32], yneg[32];
    for (int j = 0; j < 32; j += 8) {
        v8 re, im_ignored, re_ignored, im;
        deinterleave(x + 2 * j, &re, &im_ignored);
        deinterleave(x + 2 * (24 - j), &re_ignored, &im);
        const v8 ip = reversed(im);
        const v8 tr = load(sbr_dct4_64_rotation[0] + j);
        const v8 ti = load(sbr_dct4_64_rotation[1] + j);
        interleave(z + 2 * j, add(mul(ti, ip), mul(tr, re)), sub(mul(ip, tr), mul(ti, re)));
    }
    aac_transform_kernels_sse2.fft32_forward(z);
    for (int j = 0; j < 32; j += 8) {
        v8 zr, zi;
        deinterleave(z + 2 * j, &zr, &zi);
        const v8 tr = load(sbr_dct4_64_rotation[0] + j);
        const v8 ti = load(sbr_dct4_64_rotation[1] + j);
        store(yre + j, add(mul(ti, zi), mul(tr, zr)));
        store(yneg + j, sub(mul(ti, zr), mul(zi, tr)));
    }
    for (int b = 0; b < 4; b++)
        interleave(x + 16 * b, load(yre + 8 * b), reversed(load(yneg + 24 - 8 * b)));
}

}  // namespace

void sbr_qmf_analysis_avx2(const float *in, float *re, float *im, int32_t num_slots)
{
    alignas(32) float u[64], fft[64];
    const v8 sign = _mm256_castsi256_ps(_mm256_set1_epi32(INT32_MIN));
    for (int32_t s = 0; s < num_slots; s++) {
        const float *x = in + 32 * s;
        for (int m = 0; m < 64; m += 8) {
            v8 acc = mul(load(x + 256 + m), load(sbr_qmf_analysis_window + m));
            for (int j = 1; j < 5; j++)
                acc = add(acc, mul(load(x + 256 - 64 * j + m),
                                   load(sbr_qmf_analysis_window + 64 * j + m)));
            store(u + 56 - m, reversed(acc));
        }
        for (int m = 0; m < 32; m += 8) {
            v8 u0, u1;
            deinterleave(u + 2 * m, &u0, &u1);
            const v8 c = load(sbr_analysis_pre[0] + m), ms = load(sbr_analysis_pre[1] + m);
            interleave(fft + 2 * m, add(mul(u0, c), mul(u1, ms)), sub(mul(u0, ms), mul(u1, c)));
        }
        aac_transform_kernels_sse2.fft32_forward(fft);
        for (int k = 0; k < 32; k += 8) {
            v8 pr, pi, qr, qi;
            deinterleave(fft + 2 * k, &pr, &pi);
            deinterleave(fft + 2 * (24 - k), &qr, &qi);
            pi = _mm256_xor_ps(pi, sign);
            qr = reversed(qr);
            qi = reversed(qi);
            const v8 ar = load(sbr_analysis_post_a[0] + k), ai = load(sbr_analysis_post_a[1] + k);
            const v8 br = load(sbr_analysis_post_b[0] + k), bi = load(sbr_analysis_post_b[1] + k);
            const v8 sr = add(pr, qr), si = add(pi, qi), dr = sub(pr, qr), di = sub(pi, qi);
            store(re + 32 * s + k, add(sub(mul(ar, sr), mul(ai, si)), sub(mul(br, dr), mul(bi, di))));
            store(im + 32 * s + k, add(add(mul(ar, si), mul(ai, sr)), add(mul(br, di), mul(bi, dr))));
        }
    }
}

void sbr_qmf_synthesis_avx2(float *v, const float *re, const float *im, const float *window,
                            float *out, int32_t num_slots)
{
    alignas(32) float c[64], d[64];
    const v8 odd_sign = _mm256_castsi256_ps(
        _mm256_setr_epi32(0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN));
    for (int32_t s = 0; s < num_slots; s++) {
        const float *xr = re + 64 * s, *xi = im + 64 * s;
        for (int k = 0; k < 64; k += 8) {
            store(c + k, load(xr + k));
            store(d + k, reversed(load(xi + 56 - k)));
        }
        dct4_64(c);
        dct4_64(d);
        float *cur = v + 128 * (9 + s);
        for (int n = 0; n < 64; n += 8) {
            const v8 cn = load(c + n);
            const v8 sn = _mm256_xor_ps(load(d + n), odd_sign);
            store(cur + n, sub(sn, cn));
            store(cur + 120 - n, reversed(add(cn, sn)));
        }
        for (int k = 0; k < 64; k += 8) {
            v8 acc = mul(load(cur + k), load(window + k));
            acc = add(acc, mul(load(cur - 64 + k), load(window + 64 + k)));
            for (int j = 1; j < 5; j++) {
                acc = add(acc, mul(load(cur - 256 * j + k), load(window + 128 * j + k)));
                acc = add(acc, mul(load(cur - 256 * j - 64 + k), load(window + 128 * j + 64 + k)));
            }
            store(out + 64 * s + k, acc);
        }
    }
    std::memmove(v, v + 128 * num_slots, 9 * 128 * sizeof(float));
}

}  // namespace lumdec
