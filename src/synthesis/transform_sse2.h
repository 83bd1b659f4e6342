// Building blocks of the SSE2 transform kernels: two interleaved complex
// values per register, and the radix-2 butterflies of transform.h on whole
// registers.  Every value goes through the single-precision operations of
// the generic kernels, so the results agree to the bit.
#pragma once

#include <emmintrin.h>

#include <climits>
#include <cstdint>

#include "synthesis/transform_tables.h"

namespace lumdec {

namespace aac_sse2 {

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

// The four floats of v in the order given (pshufd needs no copy).
template <int I0, int I1, int I2, int I3>
inline v4 lanes_of(v4 v)
{
    return _mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(v), _MM_SHUFFLE(I3, I2, I1, I0)));
}

// (re, im) -> (im, re) in both elements.
inline v4 swap_parts(v4 u)
{
    return lanes_of<1, 0, 3, 2>(u);
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

// Stages h, 2h, 4h of group g on registers r[k] = elements i + k*h, with
// the block twiddles of aac_fft_sse2_blocks.
template <int G>
inline void stages_of_3(v4 (&r)[8], int32_t g)
{
    const float *t1 = aac_fft_sse2_blocks[4 * g], *t2 = aac_fft_sse2_blocks[2 * g];
    const float *t3 = aac_fft_sse2_blocks[g];
    butterfly<block_kind<G>(4, 0)>(r[0], r[1], t1);
    butterfly<block_kind<G>(4, 1)>(r[2], r[3], t1 + 8);
    butterfly<block_kind<G>(4, 2)>(r[4], r[5], t1 + 16);
    butterfly<block_kind<G>(4, 3)>(r[6], r[7], t1 + 24);
    butterfly<block_kind<G>(2, 0)>(r[0], r[2], t2);
    butterfly<block_kind<G>(2, 0)>(r[1], r[3], t2);
    butterfly<block_kind<G>(2, 1)>(r[4], r[6], t2 + 8);
    butterfly<block_kind<G>(2, 1)>(r[5], r[7], t2 + 8);
    butterfly<block_kind<G>(1, 0)>(r[0], r[4], t3);
    butterfly<block_kind<G>(1, 0)>(r[1], r[5], t3);
    butterfly<block_kind<G>(1, 0)>(r[2], r[6], t3);
    butterfly<block_kind<G>(1, 0)>(r[3], r[7], t3);
}

}  // namespace aac_sse2

}  // namespace lumdec
