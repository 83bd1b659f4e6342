// The SSE2 transform kernels: the forward FFT core and the DCT-IV rotations
// on two complex values per register.  Every value goes through the same
// single-precision operations as in the generic kernels (transform.h), so
// the results agree to the bit; only the grouping of the work differs.
//
// The radix-2 stages run three (or two) at a time on registers: a pass
// loads the 8 (or 4) elements that a group of stages combines, applies the
// stages and stores them back.  The first pass, over stages h = 1, 2, 4,
// turns each 8-element group into registers holding elements (p, p+4), so
// that the butterflies of stages 1 and 2 are whole-register operations.
#include <emmintrin.h>

#include <climits>

#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"
#include "synthesis/transform_tables.h"

namespace {

using v4 = __m128;

inline v4 load(const float *p)
{
    return _mm_load_ps(p);
}

inline void store(float *p, v4 v)
{
    _mm_store_ps(p, v);
}

// (a0, b0): the low elements of a and b; (a1, b1): the high ones.
inline v4 low_halves(v4 a, v4 b)
{
    return _mm_castpd_ps(_mm_unpacklo_pd(_mm_castps_pd(a), _mm_castps_pd(b)));
}

inline v4 high_halves(v4 a, v4 b)
{
    return _mm_castpd_ps(_mm_unpackhi_pd(_mm_castps_pd(a), _mm_castps_pd(b)));
}

// v with its low element replaced by the low element of low.
inline v4 with_low(v4 v, v4 low)
{
    return _mm_castpd_ps(_mm_move_sd(_mm_castps_pd(v), _mm_castps_pd(low)));
}

// (re, im) -> (im, re) in both elements; pshufd needs no copy.
inline v4 swap_parts(v4 u)
{
    return _mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(u), _MM_SHUFFLE(2, 3, 0, 1)));
}

inline v4 times_minus_j(v4 u)
{
    const v4 sign = _mm_castsi128_ps(_mm_set_epi32(INT_MIN, 0, INT_MIN, 0));
    return _mm_xor_ps(swap_parts(u), sign);
}

// u times the multiplier pair at tw: (tr, tr, tr', tr') and
// (-ti, ti, -ti', ti'), giving (x*tr - y*ti, y*tr + x*ti) per element.
inline v4 twiddle_mul(v4 u, const float *tw)
{
    return _mm_add_ps(_mm_mul_ps(u, load(tw)), _mm_mul_ps(swap_parts(u), load(tw + 4)));
}

enum class kind { one, quarter, general };

// Kind of twiddle of the local-th of n blocks of a stage in group g, where
// G is 0 or 1 for the first two groups and 2 for all later ones: only the
// stage's blocks 0 and 1 take T = 1 and T = -j.
template <int G>
constexpr kind block_kind(int n, int local)
{
    if (G == 0)
        return local == 0 ? kind::one : local == 1 ? kind::quarter : kind::general;
    if (G == 1 && n == 1)
        return kind::quarter;
    return kind::general;
}

template <kind K>
inline void butterfly(v4 &a, v4 &d, const float *tw)
{
    v4 u = _mm_sub_ps(a, d);
    a = _mm_add_ps(a, d);
    if constexpr (K == kind::one)
        d = u;
    else if constexpr (K == kind::quarter)
        d = times_minus_j(u);
    else
        d = twiddle_mul(u, tw);
}

// Stages h = 1, 2, 4 on the 8 elements at p, group g.
template <int G>
inline void first_group(float *p, int32_t g)
{
    const float *tw = aac_fft_sse2_first[g];
    v4 r01 = load(p), r23 = load(p + 4), r45 = load(p + 8), r67 = load(p + 12);
    v4 x04 = low_halves(r01, r45), x15 = high_halves(r01, r45);
    v4 x26 = low_halves(r23, r67), x37 = high_halves(r23, r67);
    if constexpr (G == 0) {
        // Blocks 0 and 1 of stage 1 share registers with blocks 2 and 3.
        v4 u = _mm_sub_ps(x04, x15);
        x04 = _mm_add_ps(x04, x15);
        x15 = with_low(twiddle_mul(u, tw), u);
        u = _mm_sub_ps(x26, x37);
        x26 = _mm_add_ps(x26, x37);
        x37 = with_low(twiddle_mul(u, tw + 8), times_minus_j(u));
        u = _mm_sub_ps(x04, x26);
        x04 = _mm_add_ps(x04, x26);
        x26 = with_low(times_minus_j(u), u);
        u = _mm_sub_ps(x15, x37);
        x15 = _mm_add_ps(x15, x37);
        x37 = with_low(times_minus_j(u), u);
    } else {
        butterfly<kind::general>(x04, x15, tw);
        butterfly<kind::general>(x26, x37, tw + 8);
        butterfly<kind::general>(x04, x26, tw + 16);
        butterfly<kind::general>(x15, x37, tw + 16);
    }
    r01 = low_halves(x04, x15);
    r45 = high_halves(x04, x15);
    r23 = low_halves(x26, x37);
    r67 = high_halves(x26, x37);
    constexpr kind k4 = block_kind<G>(1, 0);
    butterfly<k4>(r01, r45, aac_fft_sse2_blocks[g]);
    butterfly<k4>(r23, r67, aac_fft_sse2_blocks[g]);
    store(p, r01);
    store(p + 4, r23);
    store(p + 8, r45);
    store(p + 12, r67);
}

void first_pass(float *x, int32_t M)
{
    first_group<0>(x, 0);
    first_group<1>(x + 16, 1);
    for (int32_t g = 2; g < M / 8; g++)
        first_group<2>(x + 16 * g, g);
}

// Stages h, 2h, 4h on the group of 8h elements at p, group g: the elements
// i + k*h, k = 0..7, meet only each other.
template <int G>
void group_of_3(float *p, int32_t h, int32_t g)
{
    const float *t1 = aac_fft_sse2_blocks[4 * g], *t2 = aac_fft_sse2_blocks[2 * g];
    const float *t3 = aac_fft_sse2_blocks[g];
    const int32_t n = 2 * h;
    for (int32_t i = 0; i < h; i += 2, p += 4) {
        v4 r0 = load(p), r1 = load(p + n), r2 = load(p + 2 * n), r3 = load(p + 3 * n);
        v4 r4 = load(p + 4 * n), r5 = load(p + 5 * n), r6 = load(p + 6 * n);
        v4 r7 = load(p + 7 * n);
        butterfly<block_kind<G>(4, 0)>(r0, r1, t1);
        butterfly<block_kind<G>(4, 1)>(r2, r3, t1 + 8);
        butterfly<block_kind<G>(4, 2)>(r4, r5, t1 + 16);
        butterfly<block_kind<G>(4, 3)>(r6, r7, t1 + 24);
        butterfly<block_kind<G>(2, 0)>(r0, r2, t2);
        butterfly<block_kind<G>(2, 0)>(r1, r3, t2);
        butterfly<block_kind<G>(2, 1)>(r4, r6, t2 + 8);
        butterfly<block_kind<G>(2, 1)>(r5, r7, t2 + 8);
        butterfly<block_kind<G>(1, 0)>(r0, r4, t3);
        butterfly<block_kind<G>(1, 0)>(r1, r5, t3);
        butterfly<block_kind<G>(1, 0)>(r2, r6, t3);
        butterfly<block_kind<G>(1, 0)>(r3, r7, t3);
        store(p, r0);
        store(p + n, r1);
        store(p + 2 * n, r2);
        store(p + 3 * n, r3);
        store(p + 4 * n, r4);
        store(p + 5 * n, r5);
        store(p + 6 * n, r6);
        store(p + 7 * n, r7);
    }
}

// Stages h, 2h on the group of 4h elements at p.
template <int G>
void group_of_2(float *p, int32_t h, int32_t g)
{
    const float *t1 = aac_fft_sse2_blocks[2 * g], *t2 = aac_fft_sse2_blocks[g];
    const int32_t n = 2 * h;
    for (int32_t i = 0; i < h; i += 2, p += 4) {
        v4 r0 = load(p), r1 = load(p + n), r2 = load(p + 2 * n), r3 = load(p + 3 * n);
        butterfly<block_kind<G>(2, 0)>(r0, r1, t1);
        butterfly<block_kind<G>(2, 1)>(r2, r3, t1 + 8);
        butterfly<block_kind<G>(1, 0)>(r0, r2, t2);
        butterfly<block_kind<G>(1, 0)>(r1, r3, t2);
        store(p, r0);
        store(p + n, r1);
        store(p + 2 * n, r2);
        store(p + 3 * n, r3);
    }
}

// The stages from h = 8 up, three at a time, or two at a time where three
// would leave a single stage.
void later_passes(float *x, int32_t M, int32_t stages)
{
    int32_t h = 8;
    for (int32_t left = stages - 3; left > 0;) {
        int32_t fused = left == 4 || left == 2 ? 2 : 3;
        int32_t size = h << fused, groups = M / size;
        if (fused == 3) {
            group_of_3<0>(x, h, 0);
            if (groups > 1)
                group_of_3<1>(x + 2 * size, h, 1);
            for (int32_t g = 2; g < groups; g++)
                group_of_3<2>(x + 2 * size * g, h, g);
        } else {
            group_of_2<0>(x, h, 0);
            if (groups > 1)
                group_of_2<1>(x + 2 * size, h, 1);
            for (int32_t g = 2; g < groups; g++)
                group_of_2<2>(x + 2 * size * g, h, g);
        }
        h = size;
        left -= fused;
    }
}

void fft_forward(float *x, int32_t M, int32_t stages, const int32_t *perm, int32_t s, int32_t odd)
{
    aac_bit_reverse(x, s, odd, perm);
    first_pass(x, M);
    later_passes(x, M, stages);
}

// Both rotations take elements (k, k+1) with their partners (m-1, m),
// m = M-1-k, and the table's real parts tr and imaginary parts ti of
// t[k], t[k+1], t[m-1], t[m] in that order.
void pre_rotate(float *c, int32_t M, const float (*rot)[8])
{
    float *lo = c, *hi = c + 2 * (M - 2);
    for (int32_t step = 0; step < M / 4; step++, lo += 4, hi -= 4) {
        v4 u = load(lo), v = load(hi);
        // Real parts of (k, k+1, m-1, m), and the imaginary parts of their
        // partners (m, m-1, k+1, k).
        v4 a = _mm_shuffle_ps(u, v, _MM_SHUFFLE(2, 0, 2, 0));
        v4 q = _mm_shuffle_ps(v, u, _MM_SHUFFLE(1, 3, 1, 3));
        v4 tr = load(rot[step]), ti = load(rot[step] + 4);
        v4 re = _mm_add_ps(_mm_mul_ps(ti, q), _mm_mul_ps(tr, a));
        v4 im = _mm_sub_ps(_mm_mul_ps(q, tr), _mm_mul_ps(ti, a));
        store(lo, _mm_unpacklo_ps(re, im));
        store(hi, _mm_unpackhi_ps(re, im));
    }
}

void post_rotate(float *c, int32_t M, const float (*rot)[8])
{
    float *lo = c, *hi = c + 2 * (M - 2);
    for (int32_t step = 0; step < M / 4; step++, lo += 4, hi -= 4) {
        v4 u = load(lo), v = load(hi);
        v4 a = _mm_shuffle_ps(u, v, _MM_SHUFFLE(2, 0, 2, 0));
        v4 b = _mm_shuffle_ps(u, v, _MM_SHUFFLE(3, 1, 3, 1));
        v4 tr = load(rot[step]), ti = load(rot[step] + 4);
        v4 re = _mm_add_ps(_mm_mul_ps(ti, b), _mm_mul_ps(tr, a));
        // ti*a - b*tr of (k, k+1, m-1, m) is the output imaginary part of
        // (m, m-1, k+1, k).
        v4 im = _mm_sub_ps(_mm_mul_ps(ti, a), _mm_mul_ps(b, tr));
        im = _mm_shuffle_ps(im, im, _MM_SHUFFLE(0, 1, 2, 3));
        store(lo, _mm_unpacklo_ps(re, im));
        store(hi, _mm_unpackhi_ps(re, im));
    }
}

void fft64_forward(float *x)
{
    fft_forward(x, 64, 6, aac_fft_bitrev_64, 8, 0);
}

void fft128_forward(float *x)
{
    fft_forward(x, 128, 7, aac_fft_bitrev_128, 8, 1);
}

void fft512_forward(float *x)
{
    fft_forward(x, 512, 9, aac_fft_bitrev_512, 16, 1);
}

void fft1024_forward(float *x)
{
    fft_forward(x, 1024, 10, aac_fft_bitrev_1024, 32, 0);
}

void rfft256(float *x)
{
    fft128_forward(x);
    aac_real_fft_split(x, 128, aac_rfft_split_256);
}

void rfft2048(float *x)
{
    fft1024_forward(x);
    aac_real_fft_split(x, 1024, aac_rfft_split_2048);
}

void dct4_128(float *x)
{
    pre_rotate(x, 64, aac_dct4_sse2_rotation_128);
    fft64_forward(x);
    post_rotate(x, 64, aac_dct4_sse2_rotation_128);
}

void dct4_1024(float *x)
{
    pre_rotate(x, 512, aac_dct4_sse2_rotation_1024);
    fft512_forward(x);
    post_rotate(x, 512, aac_dct4_sse2_rotation_1024);
}

}  // namespace

const aac_transform_kernels aac_transform_kernels_sse2 = {
    fft64_forward, aac_fft64_inverse, fft128_forward, aac_fft128_inverse,
    fft512_forward, aac_fft512_inverse, fft1024_forward, aac_fft1024_inverse,
    rfft256, rfft2048, dct4_128, dct4_1024,
};
