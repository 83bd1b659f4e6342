// The SSE2 transform kernels: the forward FFT core and the 128-value DCT-IV
// on two complex values per register.  Every value goes through the same
// single-precision operations as in the generic kernels (transform.h), so
// the results agree to the bit; only the grouping of the work differs.
//
// The radix-2 stages run three (or two) at a time on registers: a pass
// loads the 8 (or 4) elements that a group of stages combines, applies the
// stages and stores them back.  The first pass, over stages h = 1, 2, 4,
// turns each 8-element group into registers holding elements (p, p+4), so
// that the butterflies of stages 1 and 2 are whole-register operations.
#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"
#include "synthesis/transform_sse2.h"
#include "synthesis/transform_tables.h"

namespace {

using namespace aac_sse2;

// Exchanges element pair (a, a+1) with the elements at b0 and b1.  Both
// sides are read before either is written, so b1 may be a+1 itself.
inline void swap_pair(float *a, float *b0, float *b1)
{
    v4 va = load(a);
    v4 vb = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(b0)));
    vb = _mm_loadh_pi(vb, reinterpret_cast<const __m64 *>(b1));
    store(a, vb);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(b0), _mm_castps_si128(va));
    _mm_storeh_pi(reinterpret_cast<__m64 *>(b1), va);
}

// The permutation of aac_bit_reverse, two elements per access: elements
// perm[k] + j and perm[k] + j+1 (j even) lie side by side and trade places
// with perm[j] + k and perm[j+1] + k = perm[j] + k + M/2.  For odd k the
// last pair reaches j+1 = k, the element that stays where it is.
template <bool Odd>
void bit_reverse(float *x, int32_t M, int32_t s, const int32_t *perm)
{
    for (int32_t k = 1; k < s; k++) {
        float *row = x + 2 * perm[k], *column = x + 2 * k;
        for (int32_t j = 0; j < k; j += 2) {
            float *b0 = column + 2 * perm[j];
            swap_pair(row + 2 * j, b0, b0 + M);
            if constexpr (Odd)
                swap_pair(row + 2 * (j + s), b0 + 2 * s, b0 + M + 2 * s);
        }
    }
}

// Stages h = 1, 2, 4 of the 8-element group g at p, given as registers
// holding elements (0, 4), (1, 5), (2, 6), (3, 7); stores the group.
template <int G>
inline void first_stages(float *p, int32_t g, v4 x04, v4 x15, v4 x26, v4 x37)
{
    const float *tw = aac_fft_sse2_first[g];
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
    v4 r01 = low_halves(x04, x15), r45 = high_halves(x04, x15);
    v4 r23 = low_halves(x26, x37), r67 = high_halves(x26, x37);
    constexpr kind k4 = block_kind<G>(1, 0);
    butterfly<k4>(r01, r45, aac_fft_sse2_blocks[g]);
    butterfly<k4>(r23, r67, aac_fft_sse2_blocks[g]);
    store(p, r01);
    store(p + 4, r23);
    store(p + 8, r45);
    store(p + 12, r67);
}

template <int G>
inline void first_group(float *p, int32_t g)
{
    v4 r01 = load(p), r23 = load(p + 4), r45 = load(p + 8), r67 = load(p + 12);
    first_stages<G>(p, g, low_halves(r01, r45), high_halves(r01, r45), low_halves(r23, r67),
                    high_halves(r23, r67));
}

void first_pass(float *x, int32_t M)
{
    first_group<0>(x, 0);
    first_group<1>(x + 16, 1);
    for (int32_t g = 2; g < M / 8; g++)
        first_group<2>(x + 16 * g, g);
}

// Stages h, 2h of group g on registers r[k] = elements i + k*h, k < 4.
template <int G>
inline void stages_of_2(v4 (&r)[8], int32_t g)
{
    const float *t1 = aac_fft_sse2_blocks[2 * g], *t2 = aac_fft_sse2_blocks[g];
    butterfly<block_kind<G>(2, 0)>(r[0], r[1], t1);
    butterfly<block_kind<G>(2, 1)>(r[2], r[3], t1 + 8);
    butterfly<block_kind<G>(1, 0)>(r[0], r[2], t2);
    butterfly<block_kind<G>(1, 0)>(r[1], r[3], t2);
}

// S stages from h up on the group g of h << S elements at p: the elements
// i + k*h, k < 2^S, meet only each other.
template <int S, int G>
void group_of(float *p, int32_t h, int32_t g)
{
    const int32_t n = 2 * h;
    for (int32_t i = 0; i < h; i += 2, p += 4) {
        v4 r[8];
        for (int k = 0; k < 1 << S; k++)
            r[k] = load(p + k * n);
        if constexpr (S == 3)
            stages_of_3<G>(r, g);
        else
            stages_of_2<G>(r, g);
        for (int k = 0; k < 1 << S; k++)
            store(p + k * n, r[k]);
    }
}

template <int S>
void pass_of(float *x, int32_t M, int32_t h)
{
    int32_t size = h << S;
    group_of<S, 0>(x, h, 0);
    if (M > size)
        group_of<S, 1>(x + 2 * size, h, 1);
    for (int32_t g = 2; g < M / size; g++)
        group_of<S, 2>(x + 2 * size * g, h, g);
}

void fft_forward(float *x, int32_t M, int32_t stages, const int32_t *perm, int32_t s, int32_t odd)
{
    if (odd)
        bit_reverse<true>(x, M, s, perm);
    else
        bit_reverse<false>(x, M, s, perm);
    first_pass(x, M);
    // The stages from h = 8 up, three at a time, or two at a time where
    // three would leave a single stage.
    int32_t h = 8;
    for (int32_t left = stages - 3; left > 0;) {
        int32_t fused = left == 4 || left == 2 ? 2 : 3;
        if (fused == 3)
            pass_of<3>(x, M, h);
        else
            pass_of<2>(x, M, h);
        h <<= fused;
        left -= fused;
    }
}

// The 128-value DCT-IV (the 1024-value one is in dct4_sse2.cc) runs the
// bit reversal first, on its input, and the pre-rotation on the permuted
// data: the partner M-1-k of the element at
// position p then sits at M-1-p, and the rotation of index bitrev(p) comes
// from a table in that order.  This lets the first pass rotate and run
// stages 1, 2 and 4 in registers, and the last pass run the last three
// stages and the post-rotation; the values and the operations on them are
// those of the generic kernel.

// Pre-rotation of four elements of one group with the four partners in
// the mirror group: a holds their real parts, q the imaginary parts of the
// partners, rot the rotations' real and imaginary parts.  Returns the
// rotated elements in a's order, interleaved, as (lanes 0, 1), (lanes 2, 3).
inline void pre_rotate(v4 a, v4 q, const float *rot, v4 &first, v4 &second)
{
    v4 tr = load(rot), ti = load(rot + 4);
    v4 re = _mm_add_ps(_mm_mul_ps(ti, q), _mm_mul_ps(tr, a));
    v4 im = _mm_sub_ps(_mm_mul_ps(q, tr), _mm_mul_ps(ti, a));
    first = _mm_unpacklo_ps(re, im);
    second = _mm_unpackhi_ps(re, im);
}

// Pre-rotation and stages 1, 2, 4 of group g (at p) and its mirror (at q).
template <int G>
inline void dct_first_pair(float *p, float *q, int32_t g, int32_t mirror, const float *rot)
{
    v4 g01 = load(p), g23 = load(p + 4), g45 = load(p + 8), g67 = load(p + 12);
    v4 m01 = load(q), m23 = load(q + 4), m45 = load(q + 8), m67 = load(q + 12);
    v4 x04, x15, x26, x37, y04, y15, y26, y37;
    // Real parts are a, imaginary parts b; primes mark the mirror group.
    v4 lo = _mm_unpacklo_ps(g01, g45);  // a0 a4 b0 b4
    v4 hi = _mm_unpackhi_ps(g01, g45);  // a1 a5 b1 b5
    v4 mlo = _mm_unpacklo_ps(m67, m23);  // a'6 a'2 b'6 b'2
    v4 mhi = _mm_unpackhi_ps(m67, m23);  // a'7 a'3 b'7 b'3
    pre_rotate(low_halves(lo, hi), high_halves(mhi, mlo), rot, x04, x15);
    pre_rotate(_mm_shuffle_ps(mhi, mlo, _MM_SHUFFLE(0, 1, 0, 1)),
               _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 3, 2, 3)), rot + 8, y37, y26);
    lo = _mm_unpacklo_ps(g23, g67);  // a2 a6 b2 b6
    hi = _mm_unpackhi_ps(g23, g67);  // a3 a7 b3 b7
    mlo = _mm_unpacklo_ps(m45, m01);  // a'4 a'0 b'4 b'0
    mhi = _mm_unpackhi_ps(m45, m01);  // a'5 a'1 b'5 b'1
    pre_rotate(low_halves(lo, hi), high_halves(mhi, mlo), rot + 16, x26, x37);
    pre_rotate(_mm_shuffle_ps(mhi, mlo, _MM_SHUFFLE(0, 1, 0, 1)),
               _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 3, 2, 3)), rot + 24, y15, y04);
    first_stages<G>(p, g, x04, x15, x26, x37);
    first_stages<2>(q, mirror, y04, y15, y26, y37);
}

void dct_first_pass(float *x, int32_t M, const float (*rot)[32])
{
    int32_t groups = M / 8;
    dct_first_pair<0>(x, x + 16 * (groups - 1), 0, groups - 1, rot[0]);
    dct_first_pair<1>(x + 16, x + 16 * (groups - 2), 1, groups - 2, rot[1]);
    for (int32_t g = 2; g < groups / 2; g++)
        dct_first_pair<2>(x + 16 * g, x + 16 * (groups - 1 - g), g, groups - 1 - g, rot[g]);
}

// Post-rotation of elements (k, k+1) in u with their partners (m-1, m) in v,
// rot holding the rotations of k, k+1, m-1, m.
inline void post_rotate(v4 &u, v4 &v, const float *rot)
{
    v4 a = _mm_shuffle_ps(u, v, _MM_SHUFFLE(2, 0, 2, 0));
    v4 b = _mm_shuffle_ps(u, v, _MM_SHUFFLE(3, 1, 3, 1));
    v4 tr = load(rot), ti = load(rot + 4);
    v4 re = _mm_add_ps(_mm_mul_ps(ti, b), _mm_mul_ps(tr, a));
    // ti*a - b*tr of (k, k+1, m-1, m) is the output imaginary part of
    // (m, m-1, k+1, k).
    v4 im = _mm_sub_ps(_mm_mul_ps(ti, a), _mm_mul_ps(b, tr));
    im = _mm_shuffle_ps(im, im, _MM_SHUFFLE(0, 1, 2, 3));
    u = _mm_unpacklo_ps(re, im);
    v = _mm_unpackhi_ps(re, im);
}

// The last three stages (h = M/8, one group) and the post-rotation.  The
// registers of offset i hold elements i + k*M/8, and the partners of those
// (M-1 minus them) are the registers of offset i' = M/8-2-i in reverse
// order.  Registers 0..3 of either offset hold first-half elements, which
// lead in the rotation.
void dct_last_pass(float *x, int32_t M, const float (*rot)[8])
{
    const int32_t h = M / 8, n = 2 * h;
    for (int32_t i = 0; i < h / 2; i += 2) {
        int32_t i2 = h - 2 - i;
        float *p = x + 2 * i, *q = x + 2 * i2;
        v4 r[8], s[8];
        for (int k = 0; k < 8; k++)
            r[k] = load(p + k * n);
        stages_of_3<0>(r, 0);
        for (int k = 0; k < 8; k++)
            store(p + k * n, r[k]);
        for (int k = 0; k < 8; k++)
            s[k] = load(q + k * n);
        stages_of_3<0>(s, 0);
        // Rotation rows of elements i + k*h and i' + k*h.
        const float *ri = rot[i / 2], *ri2 = rot[i2 / 2];
        for (int k = 0; k < 4; k++, ri += 4 * h, ri2 += 4 * h) {
            v4 u = load(p + k * n), v = load(p + (7 - k) * n);
            post_rotate(u, s[7 - k], ri);
            post_rotate(s[k], v, ri2);
            store(p + k * n, u);
            store(p + (7 - k) * n, v);
        }
        for (int k = 0; k < 8; k++)
            store(q + k * n, s[k]);
    }
}

// The 128-value DCT-IV (64 points, six stages): two passes after the bit
// reversal.
void dct4_128(float *x)
{
    bit_reverse<false>(x, 64, 8, aac_fft_bitrev_64);
    dct_first_pass(x, 64, aac_dct4_sse2_first_128);
    dct_last_pass(x, 64, aac_dct4_sse2_post_128);
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

}  // namespace

const aac_transform_kernels aac_transform_kernels_sse2 = {
    fft64_forward, aac_fft64_inverse, fft128_forward, aac_fft128_inverse,
    fft512_forward, aac_fft512_inverse, fft1024_forward, aac_fft1024_inverse,
    rfft256, rfft2048, dct4_128, aac_dct4_1024_sse2,
};
