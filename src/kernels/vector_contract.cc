// Checked builds (LUMDEC_CHECKED) put this table in front of the chosen
// vector kernels: each entry checks the callers' side of the contract in
// kernel_tables.h (16-byte alignment, lengths in whole vectors, no in-place
// use where none is allowed) and then calls the chosen kernel.  The generic
// kernels would accept a broken call that the SIMD ones turn into a wrong
// result or a fault, so the check must not depend on the table in use.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "frame/error.h"
#include "kernels/kernel_tables.h"

namespace lumdec {

namespace {

const aac_vector_kernels *inner = &aac_vector_kernels_generic;

void require(bool kept, const char *kernel)
{
    if (!kept) {
        std::fprintf(stderr, "lumdec: %s called outside the vector kernel contract\n", kernel);
        std::abort();
    }
}

bool aligned(const void *p)
{
    return (reinterpret_cast<uintptr_t>(p) & 15) == 0;
}

bool vectors(int32_t n, int32_t width)
{
    return n >= 0 && n % width == 0;
}

void vec_zero(float *dst, int32_t n)
{
    require(aligned(dst) && vectors(n, 4), "vec_zero");
    inner->vec_zero(dst, n);
}

void vec_scale(float *dst, const float *src, float gain, int32_t n)
{
    require(aligned(dst) && aligned(src) && vectors(n, 4), "vec_scale");
    inner->vec_scale(dst, src, gain, n);
}

void vec_scale_reverse(float *dst, const float *src, float gain, int32_t n)
{
    require(aligned(dst) && aligned(src) && vectors(n, 4) && (dst + n <= src || src + n <= dst),
            "vec_scale_reverse");
    inner->vec_scale_reverse(dst, src, gain, n);
}

void vec_add(float *dst, const float *a, const float *b, int32_t n)
{
    require(aligned(dst) && aligned(a) && aligned(b) && vectors(n, 4), "vec_add");
    inner->vec_add(dst, a, b, n);
}

void vec_sum_diff(float *a, float *b, int32_t n)
{
    require(aligned(a) && aligned(b) && vectors(n, 4), "vec_sum_diff");
    inner->vec_sum_diff(a, b, n);
}

bool overlap_kept(const float *out, const float *later, const float *earlier, const float *win_later,
                  const float *win_earlier, int32_t n)
{
    return aligned(out) && aligned(later) && aligned(earlier) && aligned(win_later) &&
           aligned(win_earlier) && vectors(n, 8) && out != later && out != earlier;
}

void vec_window_overlap(float *out, const float *later, const float *earlier, const float *win_later,
                        const float *win_earlier, int32_t n)
{
    require(overlap_kept(out, later, earlier, win_later, win_earlier, n), "vec_window_overlap");
    inner->vec_window_overlap(out, later, earlier, win_later, win_earlier, n);
}

void vec_window_overlap_head(float *out, const float *later, const float *earlier,
                             const float *win_later, const float *win_earlier, int32_t n)
{
    require(overlap_kept(out, later, earlier, win_later, win_earlier, n), "vec_window_overlap_head");
    inner->vec_window_overlap_head(out, later, earlier, win_later, win_earlier, n);
}

void vec_window_overlap_tail(float *out, const float *later, const float *earlier,
                             const float *win_later, const float *win_earlier, int32_t n)
{
    require(overlap_kept(out, later, earlier, win_later, win_earlier, n), "vec_window_overlap_tail");
    inner->vec_window_overlap_tail(out, later, earlier, win_later, win_earlier, n);
}

const aac_vector_kernels checked = {vec_zero,           vec_scale,
                                    vec_scale_reverse,  vec_add,
                                    vec_sum_diff,       vec_window_overlap,
                                    vec_window_overlap_head, vec_window_overlap_tail};

}  // namespace

const aac_vector_kernels *aac_checked_vector_kernels(const aac_vector_kernels *chosen)
{
    if (!LUMDEC_CHECKED)
        return chosen;
    inner = chosen;
    return &checked;
}

}  // namespace lumdec
