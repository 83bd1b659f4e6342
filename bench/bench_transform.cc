// Time per call of every transform slot, generic against SSE2.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "kernels/kernel_tables.h"

namespace {

struct slot {
    const char *name;
    aac_transform_fn aac_transform_kernels::*fn;
    int floats;
};

const slot kSlots[] = {
    {"fft64_forward", &aac_transform_kernels::fft64_forward, 128},
    {"fft64_inverse", &aac_transform_kernels::fft64_inverse, 128},
    {"fft128_forward", &aac_transform_kernels::fft128_forward, 256},
    {"fft128_inverse", &aac_transform_kernels::fft128_inverse, 256},
    {"fft512_forward", &aac_transform_kernels::fft512_forward, 1024},
    {"fft512_inverse", &aac_transform_kernels::fft512_inverse, 1024},
    {"fft1024_forward", &aac_transform_kernels::fft1024_forward, 2048},
    {"fft1024_inverse", &aac_transform_kernels::fft1024_inverse, 2048},
    {"rfft256", &aac_transform_kernels::rfft256, 256},
    {"rfft2048", &aac_transform_kernels::rfft2048, 2048},
    {"dct4_128", &aac_transform_kernels::dct4_128, 128},
    {"dct4_1024", &aac_transform_kernels::dct4_1024, 1024},
};

// The data is transformed again and again in place.  It grows until it
// overflows, but float infinities and NaNs cost SSE arithmetic no extra time
// and growth never makes subnormals, so each call costs what a fresh one
// does.
void run(benchmark::State &state, const aac_transform_kernels *table, const slot *s)
{
    alignas(16) static float data[2048];
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (int i = 0; i < s->floats; i++)
        data[i] = dist(rng);
    aac_transform_fn kernel = table->*(s->fn);
    for (auto _ : state) {
        kernel(data);
        benchmark::ClobberMemory();
    }
}

const int registered = [] {
    for (const slot &s : kSlots) {
        benchmark::RegisterBenchmark((std::string(s.name) + "/generic").c_str(), run,
                                     &aac_transform_kernels_generic, &s);
        benchmark::RegisterBenchmark((std::string(s.name) + "/sse2").c_str(), run,
                                     &aac_transform_kernels_sse2, &s);
    }
    return 0;
}();

}  // namespace
