// Every vector kernel, generic and SSE2, at the lengths the decoder passes:
// whole channels (1024), short windows (128), the flat stretches of the
// start and stop windows (448) and scale-factor bands (16).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "kernels/kernel_tables.h"

using namespace lumdec;

namespace {

// The overlaps read two 2n-long window tables.
alignas(16) float a[2048], b[2048], win_later[2048], win_earlier[2048], out[1024];

void fill_inputs()
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (float *x : {a, b, win_later, win_earlier})
        for (int i = 0; i < 2048; i++)
            x[i] = dist(rng);
}

// vec_add and vec_sum_diff feed on their own output.  The sums grow, and
// after some hundred calls vec_sum_diff reaches infinities and NaNs, which
// cost SSE arithmetic nothing extra (subnormals would, and never arise).
using run_fn = void (*)(const aac_vector_kernels &, int32_t);

const struct {
    const char *name;
    run_fn run;
    int32_t lengths[3];  // unused entries are 0
} kCases[] = {
    {"vec_zero", [](const aac_vector_kernels &k, int32_t n) { k.vec_zero(out, n); }, {1024, 16}},
    {"vec_scale", [](const aac_vector_kernels &k, int32_t n) { k.vec_scale(out, a, 0.7f, n); },
     {1024, 128, 16}},
    {"vec_scale_reverse",
     [](const aac_vector_kernels &k, int32_t n) { k.vec_scale_reverse(out, a, -0.7f, n); },
     {1024, 448, 128}},
    {"vec_add", [](const aac_vector_kernels &k, int32_t n) { k.vec_add(out, out, a, n); },
     {1024, 16}},
    {"vec_sum_diff", [](const aac_vector_kernels &k, int32_t n) { k.vec_sum_diff(a, b, n); },
     {1024, 16}},
    {"vec_window_overlap",
     [](const aac_vector_kernels &k, int32_t n) {
         k.vec_window_overlap(out, a, b, win_later, win_earlier, n);
     },
     {1024, 128}},
    {"vec_window_overlap_head",
     [](const aac_vector_kernels &k, int32_t n) {
         k.vec_window_overlap_head(out, a, b, win_later, win_earlier, n);
     },
     {128}},
    {"vec_window_overlap_tail",
     [](const aac_vector_kernels &k, int32_t n) {
         k.vec_window_overlap_tail(out, a, b, win_later, win_earlier, n);
     },
     {128}},
};

void run_case(benchmark::State &state, const aac_vector_kernels *k, run_fn run, int32_t n)
{
    fill_inputs();
    for (auto _ : state) {
        run(*k, n);
        benchmark::ClobberMemory();
    }
}

const int registered = [] {
    for (const auto &c : kCases)
        for (int32_t n : c.lengths) {
            if (n == 0)
                continue;
            for (const auto *k : {&aac_vector_kernels_generic, &aac_vector_kernels_sse2}) {
                const std::string name = std::string(c.name) + "/" +
                                         (k == &aac_vector_kernels_sse2 ? "sse2" : "generic") +
                                         "/" + std::to_string(n);
                benchmark::RegisterBenchmark(name.c_str(), run_case, k, c.run, n);
            }
        }
    return 0;
}();

}  // namespace
