// Vector kernels with SSE: four floats per instruction, aligned loads and
// stores only.  Callers pass 16-byte aligned arrays and lengths that are
// whole groups of four (of eight for the overlaps, so that every half is
// whole groups); a partial last group is processed as a whole one.
//
// The values are those of the generic kernels: the same single products,
// sums and differences per element.  Mirrored elements are loaded as
// aligned blocks and the products are reversed in the register.
#include <xmmintrin.h>

#include "kernels/kernel_tables.h"

namespace lumdec {

namespace {

inline __m128 reversed(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// Calls f(i) for the ceil(n/4) groups of four elements starting at i, two
// groups per loop step after a single one when the count is odd.
template <class F>
inline void for_each_group(int32_t n, F f)
{
    if (n <= 0)
        return;
    ptrdiff_t i = 0;
    if (!((n - 1) & 4)) {
        f(i);
        i = 4;
    }
    for (; i < n; i += 8) {
        f(i);
        f(i + 4);
    }
}

// Clearing is all stores: four groups per loop step, after the one to
// three groups that make the rest a multiple of four.
void vec_zero_sse2(float *dst, int32_t n)
{
    const __m128 zero = _mm_setzero_ps();
    int32_t groups = (n + 3) >> 2;
    if (groups <= 0)
        return;
    for (; groups & 3; groups--, dst += 4)
        _mm_store_ps(dst, zero);
    for (; groups > 0; groups -= 4, dst += 16) {
        _mm_store_ps(dst, zero);
        _mm_store_ps(dst + 4, zero);
        _mm_store_ps(dst + 8, zero);
        _mm_store_ps(dst + 12, zero);
    }
}

void vec_scale_sse2(float *dst, const float *src, float gain, int32_t n)
{
    const __m128 g = _mm_set1_ps(gain);
    for_each_group(n, [=](ptrdiff_t i) {
        _mm_store_ps(dst + i, _mm_mul_ps(_mm_load_ps(src + i), g));
    });
}

void vec_scale_reverse_sse2(float *dst, const float *src, float gain, int32_t n)
{
    const __m128 g = _mm_set1_ps(gain);
    for_each_group(n, [=](ptrdiff_t i) {
        _mm_store_ps(dst + i, reversed(_mm_mul_ps(_mm_load_ps(src + (n - 4 - i)), g)));
    });
}

void vec_add_sse2(float *dst, const float *a, const float *b, int32_t n)
{
    for_each_group(n, [=](ptrdiff_t i) {
        _mm_store_ps(dst + i, _mm_add_ps(_mm_load_ps(a + i), _mm_load_ps(b + i)));
    });
}

void vec_sum_diff_sse2(float *a, float *b, int32_t n)
{
    for_each_group(n, [=](ptrdiff_t i) {
        const __m128 x = _mm_load_ps(a + i), y = _mm_load_ps(b + i);
        _mm_store_ps(a + i, _mm_add_ps(x, y));
        _mm_store_ps(b + i, _mm_sub_ps(x, y));
    });
}

// Group i covers out[i..i+3] (Head) and out[n-4-i..n-1-i] (Tail).  The
// earlier block read backwards pairs with both halves: its products with
// the lower window half are reversed for the head, and for the tail the
// products of the later block are reversed instead.
template <bool Head, bool Tail>
void overlap_sse2(float *out, const float *later, const float *earlier, const float *win_later,
                  const float *win_earlier, int32_t n)
{
    const int32_t h = n >> 1;
    for_each_group(h, [=](ptrdiff_t i) {
        const ptrdiff_t m = n - 4 - i;  // the mirrored block
        const __m128 l = _mm_load_ps(later + i);
        const __m128 eb = _mm_load_ps(earlier + (h - 4 - i));
        if constexpr (Head) {
            const __m128 rising = _mm_mul_ps(_mm_load_ps(win_later + i), l);
            const __m128 falling = _mm_mul_ps(_mm_load_ps(win_earlier + m), eb);
            _mm_store_ps(out + i, _mm_sub_ps(rising, reversed(falling)));
        }
        if constexpr (Tail) {
            const __m128 falling = _mm_mul_ps(_mm_load_ps(win_earlier + n + m), eb);
            const __m128 rising = _mm_mul_ps(_mm_load_ps(win_later + n + i), l);
            _mm_store_ps(out + m, _mm_add_ps(falling, reversed(rising)));
        }
    });
}

}  // namespace

const aac_vector_kernels aac_vector_kernels_sse2 = {
    vec_zero_sse2,
    vec_scale_sse2,
    vec_scale_reverse_sse2,
    vec_add_sse2,
    vec_sum_diff_sse2,
    overlap_sse2<true, true>,
    overlap_sse2<true, false>,
    overlap_sse2<false, true>,
};

#if defined(LUMDEC_HAVE_AVX2)
const aac_vector_kernels aac_vector_kernels_avx2 = {
    vec_zero_sse2,
    vec_scale_sse2,
    vec_scale_reverse_sse2,
    vec_add_sse2,
    vec_sum_diff_sse2,
    aac_window_overlap_avx2,
    aac_window_overlap_head_avx2,
    aac_window_overlap_tail_avx2,
};
#endif

}  // namespace lumdec
