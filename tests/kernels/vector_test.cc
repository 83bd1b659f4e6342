// Vector kernels against values worked out by hand and against a scalar
// reference of the windowed overlap, for both tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "kernels/kernel_tables.h"

namespace {

constexpr float kUntouched = -777.0f;

// 16-byte aligned storage, pre-filled with kUntouched.
struct Floats {
    explicit Floats(size_t n) : store(n + 4, kUntouched)
    {
        auto addr = reinterpret_cast<uintptr_t>(store.data());
        p = store.data() + ((16 - addr % 16) % 16) / sizeof(float);
    }
    Floats(std::initializer_list<float> v) : Floats(v.size()) { std::copy(v.begin(), v.end(), p); }
    float &operator[](size_t i) { return p[i]; }
    std::vector<float> take(size_t n) const { return {p, p + n}; }
    std::vector<float> store;
    float *p;
};

class VectorKernels : public ::testing::TestWithParam<const aac_vector_kernels *> {
protected:
    const aac_vector_kernels &k = *GetParam();
};

TEST_P(VectorKernels, ElementwiseKnownValues)
{
    Floats a{1, 2, -0.5f, 1e30f}, b{3, 5, 0.25f, 1e30f};
    k.vec_sum_diff(a.p, b.p, 4);
    EXPECT_EQ(a.take(4), (std::vector<float>{4, 7, -0.25f, 2e30f}));
    EXPECT_EQ(b.take(4), (std::vector<float>{-2, -3, -0.75f, 0}));

    Floats src{1, 2, 3, 4, 5, 6, 7, 8}, dst(8);
    k.vec_scale_reverse(dst.p, src.p, -0.5f, 8);
    EXPECT_EQ(dst.take(8), (std::vector<float>{-4, -3.5f, -3, -2.5f, -2, -1.5f, -1, -0.5f}));

    k.vec_scale(src.p, src.p, 3.0f, 8);
    EXPECT_EQ(src.take(8), (std::vector<float>{3, 6, 9, 12, 15, 18, 21, 24}));
    k.vec_add(src.p, src.p, dst.p, 8);
    EXPECT_EQ(src.take(8), (std::vector<float>{-1, 2.5f, 6, 9.5f, 13, 16.5f, 20, 23.5f}));
    k.vec_add(dst.p, src.p, dst.p, 4);
    EXPECT_EQ(dst.take(5), (std::vector<float>{-5, -1, 3, 7, -2}));
    k.vec_zero(dst.p, 4);
    EXPECT_EQ(dst.take(5), (std::vector<float>{0, 0, 0, 0, -2}));
    EXPECT_FALSE(std::signbit(dst[0]));
}

TEST_P(VectorKernels, NonPositiveLengthsWriteNothing)
{
    Floats x(8), y(8);
    for (int32_t n : {0, -4, -8}) {
        k.vec_zero(x.p, n);
        k.vec_scale(x.p, y.p, 2.0f, n);
        k.vec_scale_reverse(x.p, y.p, 2.0f, n);
        k.vec_add(x.p, y.p, y.p, n);
        k.vec_sum_diff(x.p, y.p, n);
    }
    for (int32_t n : {1, 0, -8})
        k.vec_window_overlap(x.p, y.p, y.p, y.p, y.p, n);
    EXPECT_EQ(x.take(8), std::vector<float>(8, kUntouched));
    EXPECT_EQ(y.take(8), std::vector<float>(8, kUntouched));
}

// out[i] = wl[i]*later[i] - we[n-1-i]*earlier[h-1-i] and
// out[n-1-i] = we[2n-1-i]*earlier[h-1-i] + wl[n+i]*later[i], each product
// and the sum or difference rounded to float.
void reference_overlap(float *out, const float *later, const float *earlier, const float *wl,
                       const float *we, int n, bool head, bool tail)
{
    const int h = n / 2;
    for (int i = 0; i < h; i++) {
        const float e = earlier[h - 1 - i], l = later[i];
        const float rise = wl[i] * l, fall = we[n - 1 - i] * e;
        const float fall_hi = we[2 * n - 1 - i] * e, rise_hi = wl[n + i] * l;
        if (head)
            out[i] = rise - fall;
        if (tail)
            out[n - 1 - i] = fall_hi + rise_hi;
    }
}

void check_overlaps(const aac_vector_kernels &k, int n, uint32_t seed)
{
    const size_t len = static_cast<size_t>(n);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
    Floats later(len / 2), earlier(len / 2), wl(2 * len), we(2 * len);
    for (Floats *f : {&later, &earlier, &wl, &we})
        std::generate(f->p, f->p + f->store.size() - 4, [&] { return dist(rng); });
    const decltype(k.vec_window_overlap) slots[] = {
        k.vec_window_overlap, k.vec_window_overlap_head, k.vec_window_overlap_tail};
    for (int s = 0; s < 3; s++) {
        Floats got(len), want(len);
        slots[s](got.p, later.p, earlier.p, wl.p, we.p, n);
        reference_overlap(want.p, later.p, earlier.p, wl.p, we.p, n, s != 2, s != 1);
        EXPECT_EQ(got.take(len + 1), want.take(len + 1)) << "slot " << 5 + s << ", n = " << n;
    }
}

TEST_P(VectorKernels, WindowOverlapsFollowTheirFormulas)
{
    for (int n : {8, 16, 24, 128, 1024})
        check_overlaps(k, n, static_cast<uint32_t>(n));
}

INSTANTIATE_TEST_SUITE_P(Tables, VectorKernels,
                         ::testing::Values(&aac_vector_kernels_generic, &aac_vector_kernels_sse2),
                         [](const auto &info) {
                             return info.param == &aac_vector_kernels_generic ? "generic" : "sse2";
                         });

// Only the generic table takes lengths that are not whole groups; the
// first n elements hold the result, the one after them is untouched.
TEST(GenericVectorKernels, AnyLength)
{
    const aac_vector_kernels &k = aac_vector_kernels_generic;
    for (int n : {1, 2, 3, 5, 6, 7, 13}) {
        Floats a(n), b(n), out(n);
        std::vector<float> want_scale, want_reverse, want_sum, want_diff;
        for (int i = 0; i < n; i++) {
            a[i] = static_cast<float>(i + 1);
            b[i] = static_cast<float>(10 * (i + 1));
            want_scale.push_back(0.5f * (i + 1));
            want_reverse.push_back(0.5f * (n - i));
            want_sum.push_back(11.0f * (i + 1));
            want_diff.push_back(-9.0f * (i + 1));
        }
        auto expect = [&](Floats &x, std::vector<float> want, const char *slot) {
            want.push_back(kUntouched);
            EXPECT_EQ(x.take(n + 1), want) << slot << ", n = " << n;
        };
        k.vec_scale(out.p, a.p, 0.5f, n);
        expect(out, want_scale, "vec_scale");
        k.vec_scale_reverse(out.p, a.p, 0.5f, n);
        expect(out, want_reverse, "vec_scale_reverse");
        k.vec_add(out.p, a.p, b.p, n);
        expect(out, want_sum, "vec_add");
        k.vec_zero(out.p, n);
        expect(out, std::vector<float>(n, 0.0f), "vec_zero");
        k.vec_sum_diff(a.p, b.p, n);
        expect(a, want_sum, "vec_sum_diff");
        expect(b, want_diff, "vec_sum_diff");
    }
    // Halves that end in a partial group of four; odd n leaves out[n/2] alone.
    for (int n : {2, 5, 6, 9, 10, 14, 23})
        check_overlaps(k, n, static_cast<uint32_t>(n));
}

}  // namespace
