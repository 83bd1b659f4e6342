// Vector kernels in plain C++: any alignment, any length.  Every loop runs
// in ascending order, four elements per step and then the remainder, and
// computes each element on its own with exactly the operations of the SSE2
// versions, so the two agree bit for bit wherever both are defined.
#include <cstring>

#include "kernels/kernel_tables.h"

namespace lumdec {

namespace {

template <class F>
inline void for_each_by_four(int32_t n, F f)
{
    int32_t i = 0;
    for (; i < (n & ~3); i += 4) {
        f(i);
        f(i + 1);
        f(i + 2);
        f(i + 3);
    }
    for (; i < n; i++)
        f(i);
}

void vec_zero_generic(float *dst, int32_t n)
{
    if (n > 0)
        std::memset(dst, 0, static_cast<size_t>(n) * sizeof(float));
}

void vec_scale_generic(float *dst, const float *src, float gain, int32_t n)
{
    for_each_by_four(n, [=](int32_t i) { dst[i] = src[i] * gain; });
}

void vec_scale_reverse_generic(float *dst, const float *src, float gain, int32_t n)
{
    for_each_by_four(n, [=](int32_t i) { dst[i] = src[n - 1 - i] * gain; });
}

void vec_add_generic(float *dst, const float *a, const float *b, int32_t n)
{
    for_each_by_four(n, [=](int32_t i) { dst[i] = a[i] + b[i]; });
}

void vec_sum_diff_generic(float *a, float *b, int32_t n)
{
    for_each_by_four(n, [=](int32_t i) {
        const float x = a[i], y = b[i];
        a[i] = x + y;
        b[i] = x - y;
    });
}

// The three overlap slots share one body; Head and Tail choose which half of
// the output is formed.
template <bool Head, bool Tail>
void overlap_generic(float *out, const float *later, const float *earlier,
                     const float *win_later, const float *win_earlier, int32_t n)
{
    const int32_t h = n >> 1;
    for_each_by_four(h, [=](int32_t i) {
        const float l = later[i];
        const float e = earlier[h - 1 - i];
        if constexpr (Head)
            out[i] = win_later[i] * l - win_earlier[n - 1 - i] * e;
        if constexpr (Tail)
            out[n - 1 - i] = win_earlier[2 * n - 1 - i] * e + win_later[n + i] * l;
    });
}

}  // namespace

const aac_vector_kernels aac_vector_kernels_generic = {
    vec_zero_generic,
    vec_scale_generic,
    vec_scale_reverse_generic,
    vec_add_generic,
    vec_sum_diff_generic,
    overlap_generic<true, true>,
    overlap_generic<true, false>,
    overlap_generic<false, true>,
};

}  // namespace lumdec
