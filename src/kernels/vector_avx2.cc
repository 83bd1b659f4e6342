// The AVX2 windowed overlaps: the SSE2 ones (vector_sse2.cc) with eight
// values per register and a group of four at the end when half the length
// is not a multiple of eight; every value goes through the generic
// kernel's two products and one sum or difference.  This file alone is
// compiled for AVX2, and only its entry points have external linkage.
#include <immintrin.h>

#include <cstdint>

#include "kernels/kernel_tables.h"

namespace lumdec {

namespace {

inline __m256 reversed(__m256 v)
{
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
}

inline __m128 reversed(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// Values [i, i + L) of the first half and their mirrors, with L lanes.
template <bool Head, bool Tail, class V, class Ops>
inline void overlap_group(float *out, const float *later, const float *earlier,
                          const float *win_later, const float *win_earlier, int32_t n, int32_t i,
                          Ops ops)
{
    constexpr int32_t L = sizeof(V) / sizeof(float);
    const int32_t h = n >> 1, m = n - L - i;  // m: the mirrored group
    const V l = ops.load(later + i);
    const V eb = ops.load(earlier + (h - L - i));
    if constexpr (Head) {
        const V rising = ops.mul(ops.load(win_later + i), l);
        const V falling = ops.mul(ops.load(win_earlier + m), eb);
        ops.store(out + i, ops.sub(rising, reversed(falling)));
    }
    if constexpr (Tail) {
        const V falling = ops.mul(ops.load(win_earlier + n + m), eb);
        const V rising = ops.mul(ops.load(win_later + n + i), l);
        ops.store(out + m, ops.add(falling, reversed(rising)));
    }
}

struct ops8 {
    static __m256 load(const float *p) { return _mm256_loadu_ps(p); }
    static void store(float *p, __m256 v) { _mm256_storeu_ps(p, v); }
    static __m256 mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
    static __m256 add(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
    static __m256 sub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
};

struct ops4 {
    static __m128 load(const float *p) { return _mm_load_ps(p); }
    static void store(float *p, __m128 v) { _mm_store_ps(p, v); }
    static __m128 mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
    static __m128 add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
    static __m128 sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
};

template <bool Head, bool Tail>
void overlap(float *out, const float *later, const float *earlier, const float *win_later,
             const float *win_earlier, int32_t n)
{
    const int32_t h = n >> 1;
    int32_t i = 0;
    for (; i + 8 <= h; i += 8)
        overlap_group<Head, Tail, __m256>(out, later, earlier, win_later, win_earlier, n, i, ops8{});
    if (i < h)
        overlap_group<Head, Tail, __m128>(out, later, earlier, win_later, win_earlier, n, i, ops4{});
}

}  // namespace

void aac_window_overlap_avx2(float *out, const float *later, const float *earlier,
                             const float *win_later, const float *win_earlier, int32_t n)
{
    overlap<true, true>(out, later, earlier, win_later, win_earlier, n);
}

void aac_window_overlap_head_avx2(float *out, const float *later, const float *earlier,
                                  const float *win_later, const float *win_earlier, int32_t n)
{
    overlap<true, false>(out, later, earlier, win_later, win_earlier, n);
}

void aac_window_overlap_tail_avx2(float *out, const float *later, const float *earlier,
                                  const float *win_later, const float *win_earlier, int32_t n)
{
    overlap<false, true>(out, later, earlier, win_later, win_earlier, n);
}

}  // namespace lumdec
