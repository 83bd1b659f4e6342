// The AVX2 DCT-IV of 1024 values: pre-rotation, the 512-point forward FFT
// and post-rotation in three passes of eight registers of four complex
// values, with the operations of the generic kernel on every value
// (transform.h) and no fused multiply-add.  This file alone is compiled
// for AVX2.
//
// With p the FFT position of a value and p0..p8 its bits:
//
// - Pass 1 takes the 16 positions of group G (p4..p8) and those of its
//   mirror group 31 - G, whose values are the rotation partners: one load
//   of each input pair serves both.  Register u, lane l holds p = 16G +
//   4l + u, so stages h = 1, 2 (p0, p1) run across registers with one
//   twiddle per lane; a transpose of the 4 x 4 values then puts p0, p1 in
//   the lanes, and stages h = 4, 8 (p2, p3) run across registers again.
//   The results go to a scratch buffer in position order.
// - Pass 2 runs stages h = 16, 32, 64 (p4..p6) on registers 16 positions
//   apart.
// - Pass 3 runs stages h = 128, 256 (T = 1 and -j only) on registers 128
//   positions apart, for outputs k and their post-rotation partners
//   511 - k at once, and writes the rotated pairs to their output slots.
#include <immintrin.h>

#include <climits>
#include <cstdint>

#include "synthesis/transform.h"
#include "synthesis/transform_tables.h"

namespace lumdec {

namespace {

using v8 = __m256;

inline v8 load(const float *p)
{
    return _mm256_load_ps(p);
}

inline void store(float *p, v8 v)
{
    _mm256_store_ps(p, v);
}

// A stage twiddle of aac_fft_sse2_blocks, (tr, tr, tr, tr) and (-ti, ti,
// -ti, ti), in both halves.
inline v8 broadcast(const float *p)
{
    return _mm256_broadcast_ps(reinterpret_cast<const __m128 *>(p));
}

// (re, im) -> (im, re) in every element.
inline v8 swap_parts(v8 u)
{
    return _mm256_permute_ps(u, 0xb1);
}

inline v8 times_minus_j(v8 u)
{
    const v8 sign = _mm256_castsi256_ps(_mm256_setr_epi32(0, INT_MIN, 0, INT_MIN, 0, INT_MIN, 0,
                                                          INT_MIN));
    return _mm256_xor_ps(swap_parts(u), sign);
}

// u times (tr per element, twice) and (-ti, ti per element):
// (x*tr - y*ti, y*tr + x*ti).
inline v8 twiddle_mul(v8 u, v8 tr, v8 ti)
{
    return _mm256_add_ps(_mm256_mul_ps(u, tr), _mm256_mul_ps(swap_parts(u), ti));
}

enum class kind { one, quarter, general };

template <kind K>
inline void butterfly(v8 &a, v8 &d, const float *tw)
{
    const v8 u = _mm256_sub_ps(a, d);
    a = _mm256_add_ps(a, d);
    if constexpr (K == kind::one)
        d = u;
    else if constexpr (K == kind::quarter)
        d = times_minus_j(u);
    else
        d = twiddle_mul(u, broadcast(tw), broadcast(tw + 4));
}

// A butterfly with a twiddle per lane (tw: 8 floats of tr, then 8 of
// -ti, ti).  Lanes of the first group whose block is 0 or 1 take T = 1 or
// -j without a product: ones and quarters are lane masks of 64-bit lanes.
template <int Ones, int Quarters>
inline void lane_butterfly(v8 &a, v8 &d, const float *tw)
{
    const v8 u = _mm256_sub_ps(a, d);
    a = _mm256_add_ps(a, d);
    v8 t = twiddle_mul(u, load(tw), load(tw + 8));
    if constexpr (Ones != 0)
        t = _mm256_blend_ps(t, u, Ones);
    if constexpr (Quarters != 0)
        t = _mm256_blend_ps(t, times_minus_j(u), Quarters);
    d = t;
}

constexpr kind block_kind(int first, int b)
{
    return first == 0 && b == 0 ? kind::one : first == 0 && b == 1 ? kind::quarter : kind::general;
}

// Kind of block b's twiddle where G is 0 or 1 for the first two groups of
// a pass and 2 for the others (as in transform_sse2.h).
template <int G>
constexpr kind group_kind(int n, int local)
{
    if (G == 0)
        return local == 0 ? kind::one : local == 1 ? kind::quarter : kind::general;
    if (G == 1 && n == 1)
        return kind::quarter;
    return kind::general;
}

// Stages h, 2h, 4h of group g on registers r[k] = positions i + k*h.
template <int G>
inline void stages_of_3(v8 (&r)[8], int32_t g)
{
    const float *t1 = aac_fft_sse2_blocks[4 * g], *t2 = aac_fft_sse2_blocks[2 * g];
    const float *t3 = aac_fft_sse2_blocks[g];
    butterfly<group_kind<G>(4, 0)>(r[0], r[1], t1);
    butterfly<group_kind<G>(4, 1)>(r[2], r[3], t1 + 8);
    butterfly<group_kind<G>(4, 2)>(r[4], r[5], t1 + 16);
    butterfly<group_kind<G>(4, 3)>(r[6], r[7], t1 + 24);
    butterfly<group_kind<G>(2, 0)>(r[0], r[2], t2);
    butterfly<group_kind<G>(2, 0)>(r[1], r[3], t2);
    butterfly<group_kind<G>(2, 1)>(r[4], r[6], t2 + 8);
    butterfly<group_kind<G>(2, 1)>(r[5], r[7], t2 + 8);
    butterfly<group_kind<G>(1, 0)>(r[0], r[4], t3);
    butterfly<group_kind<G>(1, 0)>(r[1], r[5], t3);
    butterfly<group_kind<G>(1, 0)>(r[2], r[6], t3);
    butterfly<group_kind<G>(1, 0)>(r[3], r[7], t3);
}

// The four complex values of v in reverse order.
inline v8 reversed(v8 v)
{
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), 0x1b));
}

// Register i of the result holds element i of every register of r.
inline void transpose(v8 (&r)[4])
{
    const __m256d t0 = _mm256_unpacklo_pd(_mm256_castps_pd(r[0]), _mm256_castps_pd(r[1]));
    const __m256d t1 = _mm256_unpackhi_pd(_mm256_castps_pd(r[0]), _mm256_castps_pd(r[1]));
    const __m256d t2 = _mm256_unpacklo_pd(_mm256_castps_pd(r[2]), _mm256_castps_pd(r[3]));
    const __m256d t3 = _mm256_unpackhi_pd(_mm256_castps_pd(r[2]), _mm256_castps_pd(r[3]));
    r[0] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
    r[1] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
    r[2] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
    r[3] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
}

// The complex values at elements 0, 2D, D and 3D from p, in lanes 0 to 3
// (displacements fixed at compile time: the loads need no index
// arithmetic).
template <int D>
inline v8 gather(const float *p)
{
    const auto pair = [p](int e) { return reinterpret_cast<const __m64 *>(p + 2 * e); };
    const auto low = [&](int e) {
        return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double *>(pair(e))));
    };
    const __m128 lo = _mm_loadh_pi(low(0), pair(2 * D));
    const __m128 hi = _mm_loadh_pi(low(D), pair(3 * D));
    return _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
}

// Group g's bits p4..p7 reversed into element bits k4..k1.  (A plain
// array: nothing in this file may be an inline function that other files
// share, whose AVX2 copy the linker could pick for them.)
constexpr int32_t bitrev5_of_group[16] = {0, 16, 8, 24, 4, 20, 12, 28,
                                          2, 18, 10, 26, 6, 22, 14, 30};

// Stages 1 and 2 of one group in the gathered layout (register u, lane l:
// position 16G + 4l + u); tw from aac_dct4_avx2_first_1024.
template <bool First>
inline void first_stages(v8 (&r)[4], const float *tw)
{
    // Group 0: stage 1 meets blocks 0 (registers 0, 1) and 1 (2, 3) in
    // lane 0; stage 2 blocks 0 and 1 in lanes 0 and 1.
    lane_butterfly<First ? 0x03 : 0, 0>(r[0], r[1], tw);
    lane_butterfly<0, First ? 0x03 : 0>(r[2], r[3], tw + 16);
    lane_butterfly<First ? 0x03 : 0, First ? 0x0c : 0>(r[0], r[2], tw + 32);
    lane_butterfly<First ? 0x03 : 0, First ? 0x0c : 0>(r[1], r[3], tw + 32);
}

// Stages 4 and 8 of group G in position order (register l: positions
// 16G + 4l ..).  First: 0 for group 0 (blocks 0 and 1 of stage 4, block 0
// of stage 8), 1 for group 1 (block 1 of stage 8), 2 otherwise.
template <int First>
inline void next_stages(v8 (&r)[4], int32_t group)
{
    const float *t4 = aac_fft_sse2_blocks[2 * group], *t8 = aac_fft_sse2_blocks[group];
    butterfly<block_kind(First, 0)>(r[0], r[1], t4);
    butterfly<block_kind(First, 1)>(r[2], r[3], t4 + 8);
    constexpr kind k8 = First == 0 ? kind::one : First == 1 ? kind::quarter : kind::general;
    butterfly<k8>(r[0], r[2], t8);
    butterfly<k8>(r[1], r[3], t8);
}

// Pass 1 for group g and its mirror 31 - g: First is 0 for g = 0, 1 for
// g = 1 (stage 8 meets block 1) and 2 otherwise.
template <int First>
inline void first_pass(const float *c, float *y, int32_t g)
{
    v8 own[4], mirror[4];
    const int32_t base = bitrev5_of_group[g];
    for (int u = 0; u < 4; u++) {
        // Lane l: k = bitrev9(16g + 4l + u), and m = 511 - k.
        const int32_t k0 = base + ((u & 1) << 8 | (u & 2) << 6);
        const int32_t m0 = 511 - k0;
        const v8 pk = gather<32>(c + 2 * k0);
        const v8 pm = gather<-32>(c + 2 * m0);
        const float *rot = aac_dct4_avx2_pre_1024[4 * g + u];
        // z[k] = (ki*q + kr*a, q*kr - ki*a), z[m] = (mi*b + mr*p, b*mr - mi*p)
        // with (a, b) the pair at k and (p, q) the one at m.
        own[u] = _mm256_add_ps(_mm256_mul_ps(_mm256_movehdup_ps(pm), load(rot)),
                               _mm256_mul_ps(_mm256_moveldup_ps(pk), load(rot + 8)));
        mirror[3 - u] = reversed(_mm256_add_ps(_mm256_mul_ps(_mm256_movehdup_ps(pk), load(rot + 16)),
                                               _mm256_mul_ps(_mm256_moveldup_ps(pm), load(rot + 24))));
    }
    first_stages<First == 0>(own, aac_dct4_avx2_first_1024[g]);
    first_stages<false>(mirror, aac_dct4_avx2_first_1024[31 - g]);
    transpose(own);
    transpose(mirror);
    next_stages<First>(own, g);
    next_stages<2>(mirror, 31 - g);
    for (int l = 0; l < 4; l++) {
        store(y + 2 * (16 * g + 4 * l), own[l]);
        store(y + 2 * (16 * (31 - g) + 4 * l), mirror[l]);
    }
}

// Pass 2: stages 16, 32, 64 for positions 128q + 4i + 16r (register r).
template <int G>
inline void second_pass(float *y, int32_t q)
{
    for (int32_t i = 0; i < 4; i++) {
        float *x = y + 2 * (128 * q + 4 * i);
        v8 r[8];
        for (int k = 0; k < 8; k++)
            r[k] = load(x + 32 * k);
        stages_of_3<G>(r, q);
        for (int k = 0; k < 8; k++)
            store(x + 32 * k, r[k]);
    }
}

// Stages 128 (blocks 0 and 1) and 256 (block 0) on registers r[k] =
// positions i + 128k.
inline void last_stages(v8 (&r)[4])
{
    butterfly<kind::one>(r[0], r[1], nullptr);
    butterfly<kind::quarter>(r[2], r[3], nullptr);
    butterfly<kind::one>(r[0], r[2], nullptr);
    butterfly<kind::one>(r[1], r[3], nullptr);
}

// Post-rotation of outputs k (zk, lanes k0..k0+3) and their partners
// m = 511 - k (zm, in the same lane order); rot from
// aac_dct4_avx2_post_1024.  Writes pairs k0.. and, reversed, m.
inline void post_rotate(float *c, int32_t k0, v8 zk, v8 zm, const float *rot)
{
    // x1 = (a, p) and x2 = (b, q) per lane, (a, b) = Z[k], (p, q) = Z[m]:
    // c[2k] = ki*b + kr*a, c[2k+1] = mi*p - mr*q,
    // c[2m] = q*mi + p*mr, c[2m+1] = ki*a - b*kr.
    const v8 x1 = _mm256_blend_ps(zk, _mm256_moveldup_ps(zm), 0xaa);
    const v8 x2 = _mm256_blend_ps(_mm256_movehdup_ps(zk), zm, 0xaa);
    const v8 out_k = _mm256_add_ps(_mm256_mul_ps(x1, load(rot)), _mm256_mul_ps(x2, load(rot + 8)));
    const v8 out_m = _mm256_add_ps(_mm256_mul_ps(swap_parts(x1), load(rot + 16)),
                                   _mm256_mul_ps(swap_parts(x2), load(rot + 24)));
    _mm256_storeu_ps(c + 2 * k0, out_k);
    _mm256_storeu_ps(c + 2 * (508 - k0), reversed(out_m));
}

// Pass 3 for iteration i (outputs 4i + 128r + l) and its mirror 31 - i.
inline void last_pass(const float *y, float *c, int32_t i)
{
    v8 own[4], mirror[4];
    for (int r = 0; r < 4; r++) {
        own[r] = load(y + 2 * (4 * i + 128 * r));
        mirror[r] = load(y + 2 * (4 * (31 - i) + 128 * r));
    }
    last_stages(own);
    last_stages(mirror);
    for (int r = 0; r < 4; r++)
        post_rotate(c, 4 * i + 128 * r, own[r], reversed(mirror[3 - r]),
                    aac_dct4_avx2_post_1024[4 * i + r]);
}

}  // namespace

void aac_dct4_1024_avx2(float *data)
{
    alignas(32) float y[1024];
    first_pass<0>(data, y, 0);
    first_pass<1>(data, y, 1);
    for (int32_t g = 2; g < 16; g++)
        first_pass<2>(data, y, g);
    second_pass<0>(y, 0);
    second_pass<1>(y, 1);
    second_pass<2>(y, 2);
    second_pass<2>(y, 3);
    for (int32_t i = 0; i < 16; i++)
        last_pass(y, data, i);
}

}  // namespace lumdec
