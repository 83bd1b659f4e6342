// The generic transform kernels: plain scalar code, four butterflies per
// loop step.  The inverse FFTs built here serve both tables.
#include <cstring>

#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"
#include "synthesis/transform_tables.h"

namespace lumdec {

namespace {

struct twiddle {
    float re, im;
};

template <bool Inverse>
inline twiddle block_twiddle(const float (*w)[2], int32_t b)
{
    float wr = w[b >> 1][0], wi = w[b >> 1][1];
    if (b & 1)
        return Inverse ? twiddle{-wi, wr} : twiddle{-wi, -wr};
    return Inverse ? twiddle{wr, wi} : twiddle{wr, -wi};
}

// Butterflies on a at x[i] and d at x[i+h], by the kind of T(b).
inline void butterfly_one(float *a, float *d)
{
    float ar = a[0], ai = a[1], dr = d[0], di = d[1];
    a[0] = ar + dr;
    a[1] = ai + di;
    d[0] = ar - dr;
    d[1] = ai - di;
}

template <bool Inverse>
inline void butterfly_quarter(float *a, float *d)
{
    float ar = a[0], ai = a[1], dr = d[0], di = d[1];
    float ur = ar - dr, ui = ai - di;
    a[0] = ar + dr;
    a[1] = ai + di;
    d[0] = Inverse ? -ui : ui;
    d[1] = Inverse ? ur : -ur;
}

inline void butterfly(float *a, float *d, twiddle t)
{
    float ar = a[0], ai = a[1], dr = d[0], di = d[1];
    float ur = ar - dr, ui = ai - di;
    a[0] = ar + dr;
    a[1] = ai + di;
    d[0] = ur * t.re - ui * t.im;
    d[1] = ur * t.im + ui * t.re;
}

// h = 1: block b is the single butterfly (x[2b], x[2b+1]).
template <bool Inverse>
void stage_1(float *x, int32_t M, const float (*w)[2])
{
    butterfly_one(x, x + 2);
    butterfly_quarter<Inverse>(x + 4, x + 6);
    butterfly(x + 8, x + 10, block_twiddle<Inverse>(w, 2));
    butterfly(x + 12, x + 14, block_twiddle<Inverse>(w, 3));
    for (int32_t b = 4; b < M / 2; b += 4) {
        float *p = x + 4 * b;
        butterfly(p, p + 2, block_twiddle<Inverse>(w, b));
        butterfly(p + 4, p + 6, block_twiddle<Inverse>(w, b + 1));
        butterfly(p + 8, p + 10, block_twiddle<Inverse>(w, b + 2));
        butterfly(p + 12, p + 14, block_twiddle<Inverse>(w, b + 3));
    }
}

// h = 2: block b holds the butterflies (4b, 4b+2) and (4b+1, 4b+3).
template <bool Inverse>
void stage_2(float *x, int32_t M, const float (*w)[2])
{
    butterfly_one(x, x + 4);
    butterfly_one(x + 2, x + 6);
    butterfly_quarter<Inverse>(x + 8, x + 12);
    butterfly_quarter<Inverse>(x + 10, x + 14);
    for (int32_t b = 2; b < M / 4; b += 2) {
        float *p = x + 8 * b;
        twiddle t0 = block_twiddle<Inverse>(w, b), t1 = block_twiddle<Inverse>(w, b + 1);
        butterfly(p, p + 4, t0);
        butterfly(p + 2, p + 6, t0);
        butterfly(p + 8, p + 12, t1);
        butterfly(p + 10, p + 14, t1);
    }
}

// h >= 4: four butterflies of one block per step.
template <bool Inverse>
void stage_wide(float *x, int32_t M, int32_t h, const float (*w)[2])
{
    for (int32_t b = 0; b < M / (2 * h); b++) {
        float *a = x + 4 * h * b, *d = a + 2 * h;
        if (b == 0) {
            for (int32_t i = 0; i < 2 * h; i += 8) {
                butterfly_one(a + i, d + i);
                butterfly_one(a + i + 2, d + i + 2);
                butterfly_one(a + i + 4, d + i + 4);
                butterfly_one(a + i + 6, d + i + 6);
            }
        } else if (b == 1) {
            for (int32_t i = 0; i < 2 * h; i += 8) {
                butterfly_quarter<Inverse>(a + i, d + i);
                butterfly_quarter<Inverse>(a + i + 2, d + i + 2);
                butterfly_quarter<Inverse>(a + i + 4, d + i + 4);
                butterfly_quarter<Inverse>(a + i + 6, d + i + 6);
            }
        } else {
            twiddle t = block_twiddle<Inverse>(w, b);
            for (int32_t i = 0; i < 2 * h; i += 8) {
                butterfly(a + i, d + i, t);
                butterfly(a + i + 2, d + i + 2, t);
                butterfly(a + i + 4, d + i + 4, t);
                butterfly(a + i + 6, d + i + 6, t);
            }
        }
    }
}

template <bool Inverse>
void fft_core(const aac_fft_size &size, float *data)
{
    const int32_t M = size.points();
    aac_bit_reverse(data, size.root(), size.odd(), size.perm);
    stage_1<Inverse>(data, M, aac_fft_twiddles);
    stage_2<Inverse>(data, M, aac_fft_twiddles);
    for (int32_t h = 4; h < M; h *= 2)
        stage_wide<Inverse>(data, M, h, aac_fft_twiddles);
}

template <const aac_fft_size &Size>
void fft_forward(float *x)
{
    aac_fft_core_forward(Size, x);
}

void dct4_128(float *x)
{
    aac_dct4_pre_rotate(64, x, aac_dct4_rotation_128);
    fft_forward<aac_fft64>(x);
    aac_dct4_post_rotate(64, x, aac_dct4_rotation_128);
}

void dct4_1024(float *x)
{
    aac_dct4_pre_rotate(512, x, aac_dct4_rotation_1024);
    fft_forward<aac_fft512>(x);
    aac_dct4_post_rotate(512, x, aac_dct4_rotation_1024);
}

}  // namespace

void aac_bit_reverse(float *data, int32_t s, int32_t odd, const int32_t *perm)
{
    // Whole elements move as 64-bit words, so every bit pattern survives.
    auto swap = [](float *p, float *q) {
        uint64_t a, b;
        std::memcpy(&a, p, sizeof a);
        std::memcpy(&b, q, sizeof b);
        std::memcpy(p, &b, sizeof b);
        std::memcpy(q, &a, sizeof a);
    };
    // Element perm[k] + j trades places with perm[j] + k (and the same
    // pair s further on when the middle bit stays in place).
    for (int32_t k = 1; k < s; k++) {
        float *row = data + 2 * perm[k], *column = data + 2 * k;
        if (odd) {
            for (int32_t j = 0; j < k; j++) {
                swap(row + 2 * j, column + 2 * perm[j]);
                swap(row + 2 * (j + s), column + 2 * (perm[j] + s));
            }
        } else {
            for (int32_t j = 0; j < k; j++)
                swap(row + 2 * j, column + 2 * perm[j]);
        }
    }
}

void aac_fft_core_forward(const aac_fft_size &size, float *data)
{
    fft_core<false>(size, data);
}

void aac_fft_core_inverse(const aac_fft_size &size, float *data)
{
    fft_core<true>(size, data);
}

void aac_dct4_pre_rotate(int32_t M, float *c, const float (*t)[2])
{
    for (int32_t k = 0; k < M / 2; k++) {
        int32_t m = M - 1 - k;
        float a = c[2 * k], b = c[2 * k + 1], p = c[2 * m], q = c[2 * m + 1];
        float kr = t[k][0], ki = t[k][1], mr = t[m][0], mi = t[m][1];
        c[2 * k] = ki * q + kr * a;
        c[2 * k + 1] = q * kr - ki * a;
        c[2 * m] = mi * b + mr * p;
        c[2 * m + 1] = b * mr - mi * p;
    }
}

void aac_dct4_post_rotate(int32_t M, float *c, const float (*t)[2])
{
    for (int32_t k = 0; k < M / 2; k++) {
        int32_t m = M - 1 - k;
        float a = c[2 * k], b = c[2 * k + 1], p = c[2 * m], q = c[2 * m + 1];
        float kr = t[k][0], ki = t[k][1], mr = t[m][0], mi = t[m][1];
        c[2 * k] = ki * b + kr * a;
        c[2 * k + 1] = mi * p - mr * q;
        c[2 * m] = q * mi + p * mr;
        c[2 * m + 1] = ki * a - b * kr;
    }
}

void aac_real_fft_split(float *x, int32_t M, const float (*split)[2])
{
    float re = x[0], im = x[1];
    x[0] = re + im;
    x[1] = re - im;
    for (int32_t k = 1; k < M / 2; k++) {
        float *p = x + 2 * k, *q = x + 2 * (M - k);
        float r0 = split[k][0], r1 = split[k][1];
        float e = p[0] - q[0], f = p[1] + q[1];
        float u = r0 * e - r1 * f, v = r0 * f + r1 * e;
        p[0] = p[0] - u;
        p[1] = p[1] - v;
        q[0] = q[0] + u;
        q[1] = q[1] - v;
    }
}

const aac_transform_kernels aac_transform_kernels_generic = {
    fft_forward<aac_fft64>,
    aac_fft_inverse<aac_fft64>,
    fft_forward<aac_fft128>,
    aac_fft_inverse<aac_fft128>,
    fft_forward<aac_fft512>,
    aac_fft_inverse<aac_fft512>,
    fft_forward<aac_fft1024>,
    aac_fft_inverse<aac_fft1024>,
    aac_real_fft<fft_forward<aac_fft128>, 128, aac_rfft_split_256>,
    aac_real_fft<fft_forward<aac_fft1024>, 1024, aac_rfft_split_2048>,
    dct4_128,
    dct4_1024,
    fft_forward<aac_fft32>,
};

}  // namespace lumdec
