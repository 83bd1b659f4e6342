// Vector kernels against their formulas, each product and sum rounded to
// float: both tables on the lengths callers pass, the generic table on any
// length, and nothing written for lengths of zero or less.
#include <gtest/gtest.h>

#include <random>

#include "kernels/kernel_tables.h"

namespace {

constexpr float kUntouched = -777.0f;

// 16-byte aligned floats, one more than asked for, all kUntouched.
struct Floats {
    explicit Floats(size_t n) : store(n + 5, kUntouched), p(store.data())
    {
        while (reinterpret_cast<uintptr_t>(p) % 16)
            p++;
    }
    std::vector<float> take(size_t n) const { return {p, p + n}; }
    std::vector<float> store;
    float *p;
};

void check(const aac_vector_kernels &k, int n, bool overlaps)
{
    SCOPED_TRACE(testing::Message() << (&k == &aac_vector_kernels_generic ? "generic" : "sse2") << ", n = " << n);
    const size_t len = static_cast<size_t>(n), h = len / 2;
    std::mt19937 rng(static_cast<uint32_t>(n));
    std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
    Floats a(len), b(len), wl(2 * len), we(2 * len), out(len);
    std::vector<float> want(len + 1, kUntouched), sum(len + 1, kUntouched), diff(len + 1, kUntouched);
    for (Floats *f : {&a, &b, &wl, &we})
        for (size_t i = 0; i < f->store.size() - 5; i++)
            f->p[i] = dist(rng);
    auto expect = [&](const Floats &x, const std::vector<float> &w, const char *slot) {
        EXPECT_EQ(x.take(len + 1), w) << slot;
    };
    // vec_scale and vec_add in place, as callers may use them.
    for (size_t i = 0; i < len; i++)
        want[i] = a.p[i] * 0.7f;
    std::copy_n(a.p, len, out.p);
    k.vec_scale(out.p, out.p, 0.7f, n);
    expect(out, want, "vec_scale");
    for (size_t i = 0; i < len; i++)
        want[i] = a.p[len - 1 - i] * -3.0f;
    k.vec_scale_reverse(out.p, a.p, -3.0f, n);
    expect(out, want, "vec_scale_reverse");
    for (size_t i = 0; i < len; i++)
        sum[i] = a.p[i] + b.p[i], diff[i] = a.p[i] - b.p[i];
    std::copy_n(a.p, len, out.p);
    k.vec_add(out.p, out.p, b.p, n);
    expect(out, sum, "vec_add");
    k.vec_zero(out.p, n);
    std::fill_n(want.begin(), len, 0.0f);
    expect(out, want, "vec_zero");
    if (overlaps) {
        const decltype(k.vec_window_overlap) slots[] = {k.vec_window_overlap, k.vec_window_overlap_head,
                                                         k.vec_window_overlap_tail};
        for (int s = 0; s < 3; s++) {
            Floats got(len);
            std::vector<float> expected(len + 1, kUntouched);
            slots[s](got.p, a.p, b.p, wl.p, we.p, n);
            for (size_t i = 0; i < h; i++) {
                const float e = b.p[h - 1 - i], l = a.p[i];
                if (s != 2)
                    expected[i] = wl.p[i] * l - we.p[len - 1 - i] * e;
                if (s != 1)
                    expected[len - 1 - i] = we.p[2 * len - 1 - i] * e + wl.p[len + i] * l;
            }
            expect(got, expected, s == 0 ? "vec_window_overlap" : s == 1 ? "head" : "tail");
        }
    }
    k.vec_sum_diff(a.p, b.p, n);
    expect(a, sum, "vec_sum_diff (sum)");
    expect(b, diff, "vec_sum_diff (difference)");
}

TEST(VectorKernels, FollowTheirFormulas)
{
    for (const aac_vector_kernels *k : {&aac_vector_kernels_generic, &aac_vector_kernels_sse2})
        for (int n : {8, 16, 24, 128, 1024})
            check(*k, n, true);
    for (int n : {1, 2, 3, 5, 6, 7, 9, 14, 23})
        check(aac_vector_kernels_generic, n, n > 1);
}

TEST(VectorKernels, NonPositiveLengthsWriteNothing)
{
    for (const aac_vector_kernels *k : {&aac_vector_kernels_generic, &aac_vector_kernels_sse2}) {
        Floats x(8), y(8);
        for (int32_t n : {0, -4, -8}) {
            k->vec_zero(x.p, n);
            k->vec_scale(x.p, y.p, 2.0f, n);
            k->vec_scale_reverse(x.p, y.p, 2.0f, n);
            k->vec_add(x.p, y.p, y.p, n);
            k->vec_sum_diff(x.p, y.p, n);
            k->vec_window_overlap(x.p, y.p, y.p, y.p, y.p, n);
        }
        k->vec_window_overlap(x.p, y.p, y.p, y.p, y.p, 1);
        EXPECT_EQ(x.take(8), std::vector<float>(8, kUntouched));
        EXPECT_EQ(y.take(8), std::vector<float>(8, kUntouched));
    }
}

}  // namespace
