// Vector kernels: generic against SSE2 (and AVX2 where the build and the
// processor have it) on every length the callers may pass,
// random inputs at several scales and edge values, in place where allowed.
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "checker.h"
#include "kernels/cpu.h"
#include "kernels/kernel_tables.h"

using namespace lumdec;

namespace {

using checker::Buffer;
using K = const aac_vector_kernels &;
constexpr float kInf = std::numeric_limits<float>::infinity();

// scale 0 stands for edge values with infinities mixed in.
constexpr struct {
    const char *name;
    float scale;
} kInputs[] = {{"subnormal", 1e-38f}, {"unit", 1.0f}, {"pcm", 32768.0f}, {"huge", 1e30f}, {"edge", 0.0f}};

const float kGains[] = {1.0f, -1.0f, 0.5f, -3.0517578125e-05f, 0.7071067f, 0.0f, -0.0f, 1e-45f, 3e38f, kInf};

void fill(Buffer<float> &x, float scale)
{
    if (scale > 0)
        return checker::fill_random(x.data(), x.size(), scale);
    checker::fill_edge(x.data(), x.size(), 0.0f);
    for (size_t i = 3; i < x.size(); i += 7)
        x[i] = (i & 8) ? -kInf : kInf;
}

// The tables to hold against the generic one.
std::vector<const aac_vector_kernels *> wide_tables()
{
    std::vector<const aac_vector_kernels *> t = {&aac_vector_kernels_sse2};
#if defined(LUMDEC_HAVE_AVX2)
    if (aac_detect_cpu_level() >= AAC_CPU_AVX2)
        t.push_back(&aac_vector_kernels_avx2);
#endif
    return t;
}

// Runs call on the generic table and on each wider one, each with its own
// copies of the inputs (which it may write) and an output of out_n floats
// poisoned alike: every buffer must come out the same under both, and
// nothing be written outside them.
template <class Call>
void agree(const std::string &what, const std::vector<const Buffer<float> *> &inputs, size_t out_n, Call call)
{
    static const std::vector<const aac_vector_kernels *> tables = wide_tables();
    for (const aac_vector_kernels *wide : tables) {
        std::vector<std::unique_ptr<Buffer<float>>> buffers[2];
        for (int t = 0; t < 2; t++) {
            std::vector<float *> p;
            for (const Buffer<float> *in : inputs) {
                buffers[t].push_back(std::make_unique<Buffer<float>>(in->size()));
                std::copy_n(in->data(), in->size(), buffers[t].back()->data());
                p.push_back(buffers[t].back()->data());
            }
            buffers[t].push_back(std::make_unique<Buffer<float>>(out_n));
            buffers[t].back()->poison();
            p.push_back(buffers[t].back()->data());
            call(t ? *wide : aac_vector_kernels_generic, p.data());
        }
        const std::string table = wide == &aac_vector_kernels_sse2 ? " sse2" : " avx2";
        for (size_t i = 0; i < buffers[0].size(); i++) {
            const Buffer<float> &g = *buffers[0][i], &s = *buffers[1][i];
            EXPECT_TRUE(checker::same_floats(what + table, "buffer " + std::to_string(i), g.data(),
                                             s.data(), g.size()));
            EXPECT_TRUE(g.guards_intact() && s.guards_intact()) << what << " wrote out of bounds";
        }
    }
}

TEST(VectorKernels, ElementwiseSlotsAgree)
{
    for (const auto &in : kInputs) {
        for (int32_t n = 0; n <= 1024; n += 4) {
            const size_t len = static_cast<size_t>(n);
            Buffer<float> a(len), b(len);
            fill(a, in.scale);
            fill(b, in.scale);
            const std::string what = std::string(in.name) + ", n = " + std::to_string(n);
            // p: a, b, out
            agree("vec_zero " + what, {&a, &b}, len, [&](K k, float **p) { k.vec_zero(p[2], n); });
            agree("vec_add " + what, {&a, &b}, len, [&](K k, float **p) { k.vec_add(p[2], p[0], p[1], n); });
            agree("vec_add in place " + what, {&a, &b}, len, [&](K k, float **p) { k.vec_add(p[0], p[0], p[1], n); });
            agree("vec_add in b " + what, {&a, &b}, len, [&](K k, float **p) { k.vec_add(p[1], p[0], p[1], n); });
            agree("vec_sum_diff " + what, {&a, &b}, len, [&](K k, float **p) { k.vec_sum_diff(p[0], p[1], n); });
            for (float gain : kGains) {
                const std::string with = what + ", gain " + checker::describe(gain);
                agree("vec_scale " + with, {&a}, len, [&](K k, float **p) { k.vec_scale(p[1], p[0], gain, n); });
                agree("vec_scale in place " + with, {&a}, len, [&](K k, float **p) { k.vec_scale(p[0], p[0], gain, n); });
                agree("vec_scale_reverse " + with, {&a}, len,
                      [&](K k, float **p) { k.vec_scale_reverse(p[1], p[0], gain, n); });
            }
        }
    }
}

TEST(VectorKernels, WindowOverlapsAgree)
{
    using overlap_fn = decltype(aac_vector_kernels::vec_window_overlap);
    const std::pair<const char *, overlap_fn aac_vector_kernels::*> slots[] = {
        {"vec_window_overlap", &aac_vector_kernels::vec_window_overlap},
        {"vec_window_overlap_head", &aac_vector_kernels::vec_window_overlap_head},
        {"vec_window_overlap_tail", &aac_vector_kernels::vec_window_overlap_tail},
    };
    for (const auto &in : kInputs) {
        for (int32_t n = 0; n <= 1024; n += 8) {
            const size_t len = static_cast<size_t>(n);
            Buffer<float> later(len / 2), earlier(len / 2), wl(2 * len), we(2 * len);
            for (Buffer<float> *x : {&later, &earlier, &wl, &we})
                fill(*x, in.scale);
            const std::string what = std::string(in.name) + ", n = " + std::to_string(n);
            for (const auto &[name, binding] : slots) {
                const auto slot = binding;  // clang 14 cannot capture a structured binding
                // p: later, earlier, wl, we, out
                agree(name + (", " + what), {&later, &earlier, &wl, &we}, len,
                      [&](K k, float **p) { (k.*slot)(p[4], p[0], p[1], p[2], p[3], n); });
                // One table for both slopes, as the short-window paths pass it.
                agree(name + (", one window table, " + what), {&later, &earlier, &wl}, len,
                      [&](K k, float **p) { (k.*slot)(p[3], p[0], p[1], p[2], p[2], n); });
            }
        }
    }
}

}  // namespace
