// Sample kernels, generic against SSE2: one call converts, folds or shapes
// one frame of 1024 samples per channel.
#include <benchmark/benchmark.h>

#include <random>

#include "kernels/kernel_tables.h"

using namespace lumdec;

namespace {

constexpr size_t FRAME = 1024;

struct frame_buffers {
    alignas(16) float pcm[8 * FRAME];
    alignas(16) unsigned char raw[8 * FRAME];
    alignas(16) float pair[2 * FRAME];
};

frame_buffers &buffers(float scale)
{
    static frame_buffers b;
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> dist(-scale, scale);
    for (float &x : b.pcm)
        x = dist(gen);
    return b;
}

const aac_sample_kernels &table(const benchmark::State &state)
{
    return state.range(0) ? aac_sample_kernels_sse2 : aac_sample_kernels_generic;
}

void BM_single_to_raw(benchmark::State &state)
{
    frame_buffers &b = buffers(40000.0f);
    const aac_to_raw_fn fn = table(state).single_to_raw[state.range(1)];
    for (auto _ : state) {
        fn(b.pcm, b.raw);
        benchmark::ClobberMemory();
    }
}

void BM_pair_to_raw(benchmark::State &state)
{
    frame_buffers &b = buffers(40000.0f);
    const aac_to_raw_fn fn = table(state).pair_to_raw[state.range(1)];
    for (auto _ : state) {
        fn(b.pcm, b.raw);
        benchmark::ClobberMemory();
    }
}

// The raw-to-float kernels are one function in both tables.
void BM_pair_from_raw(benchmark::State &state)
{
    frame_buffers &b = buffers(1.0f);
    const aac_from_raw_fn fn = table(state).pair_from_raw[state.range(1)];
    for (auto _ : state) {
        fn(b.pcm, b.raw);
        benchmark::ClobberMemory();
    }
}

void BM_downmix_to_raw(benchmark::State &state)
{
    frame_buffers &b = buffers(20000.0f);
    const aac_to_raw_fn fn = table(state).downmix_to_raw[state.range(1)];
    for (auto _ : state) {
        fn(b.pcm, b.raw);
        benchmark::ClobberMemory();
    }
}

void BM_downmix(benchmark::State &state)
{
    frame_buffers &b = buffers(20000.0f);
    const aac_downmix_fn fn = table(state).downmix;
    for (auto _ : state) {
        fn(b.pcm, b.pair);
        benchmark::ClobberMemory();
    }
}

// Repeated fades would shrink the samples into the subnormal range, where
// multiplies slow down on many processors; a silent frame keeps every call
// at the speed of normal samples.
template <int Op>
void BM_shape(benchmark::State &state)
{
    frame_buffers &b = buffers(0.0f);
    const aac_sample_kernels &t = table(state);
    const aac_shape_fn *slots[3] = {t.fade_in, t.fade_out, t.mute};
    const aac_shape_fn fn = slots[Op][state.range(1) - 1];
    for (auto _ : state) {
        fn(b.pcm);
        benchmark::ClobberMemory();
    }
}

void BM_fade_in(benchmark::State &state) { BM_shape<0>(state); }
void BM_fade_out(benchmark::State &state) { BM_shape<1>(state); }
void BM_mute(benchmark::State &state) { BM_shape<2>(state); }

const std::vector<int64_t> both_tables = {0, 1};
const std::vector<int64_t> all_formats = {AAC_RAW_S16, AAC_RAW_S24_IN_32, AAC_RAW_FLOAT};

BENCHMARK(BM_single_to_raw)->ArgsProduct({both_tables, all_formats})->ArgNames({"sse2", "format"});
BENCHMARK(BM_pair_to_raw)->ArgsProduct({both_tables, all_formats})->ArgNames({"sse2", "format"});
BENCHMARK(BM_pair_from_raw)->ArgsProduct({{1}, all_formats})->ArgNames({"sse2", "format"});
BENCHMARK(BM_downmix_to_raw)->ArgsProduct({both_tables, all_formats})->ArgNames({"sse2", "format"});
BENCHMARK(BM_downmix)->ArgsProduct({both_tables})->ArgNames({"sse2"});
BENCHMARK(BM_fade_in)->ArgsProduct({both_tables, {2, 8}})->ArgNames({"sse2", "channels"});
BENCHMARK(BM_fade_out)->ArgsProduct({both_tables, {2, 8}})->ArgNames({"sse2", "channels"});
BENCHMARK(BM_mute)->ArgsProduct({both_tables, {2, 8}})->ArgNames({"sse2", "channels"});

}  // namespace
