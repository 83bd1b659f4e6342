// Time per call of every transform slot, generic against SSE2.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"

using namespace lumdec;

namespace {

// The data is transformed again and again in place.  It grows until it
// overflows, but float infinities and NaNs cost SSE arithmetic no extra time
// and growth never makes subnormals, so each call costs what a fresh one
// does.
void run(benchmark::State &state, const aac_transform_kernels *table,
         const aac_transform_slot *s)
{
    alignas(16) static float data[2048];
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (size_t i = 0; i < s->floats; i++)
        data[i] = dist(rng);
    aac_transform_fn kernel = table->*(s->fn);
    for (auto _ : state) {
        kernel(data);
        benchmark::ClobberMemory();
    }
}

const int registered = [] {
    for (const aac_transform_slot &s : aac_transform_slots) {
        benchmark::RegisterBenchmark((std::string(s.name) + "/generic").c_str(), run,
                                     &aac_transform_kernels_generic, &s);
        benchmark::RegisterBenchmark((std::string(s.name) + "/sse2").c_str(), run,
                                     &aac_transform_kernels_sse2, &s);
    }
    return 0;
}();

}  // namespace
