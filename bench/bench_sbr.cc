// Every band replication kernel, generic and SSE2, on one frame's work as
// the decoder hands it over: 32 slots through each QMF bank, the
// covariances of 24 low bands, 24 predicted bands over 32 slots, the
// energy of 40 bands over 8 slots, and the smoothing and assembly of one
// slot of 40 bands.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "kernels/kernel_tables.h"

namespace {

alignas(16) float samples[288 + 1024], v[(9 + 32) * 128], window[640];
alignas(16) float low_re[40 * 32], low_im[40 * 32], high_re[40 * 64], high_im[40 * 64];
alignas(16) float coef[4 * 64], out[64 * 32], gains[64], levels[64], sines[64], past[4][64];

void fill_inputs()
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (float *x : {samples, v, window, low_re, low_im, high_re, high_im, coef, gains, levels})
        for (size_t i = 0; i < 64; i++)
            x[i] = dist(rng);
    for (float *x : {samples + 64, v + 64, low_re + 64, low_im + 64, high_re + 64, high_im + 64})
        for (size_t i = 0; i < 1024; i++)
            x[i] = dist(rng);
    for (float &s : sines)
        s = 0.0f;
    sines[7] = 0.5f;
}

using run_fn = void (*)(const aac_sbr_kernels &);

const struct {
    const char *name;
    run_fn run;
} kCases[] = {
    {"qmf_analysis/32slots", [](const aac_sbr_kernels &k) { k.qmf_analysis(samples, low_re, low_im, 32); }},
    {"qmf_synthesis/32slots",
     [](const aac_sbr_kernels &k) { k.qmf_synthesis(v, high_re, high_im, window, out, 32); }},
    {"qmf_synthesis_down/32slots",
     [](const aac_sbr_kernels &k) { k.qmf_synthesis_down(v, high_re, high_im, window, out, 32); }},
    {"hf_covariance/24bands", [](const aac_sbr_kernels &k) { k.hf_covariance(low_re + 2, low_im + 2, 24, out); }},
    {"hf_filter/24bands",
     [](const aac_sbr_kernels &k) { k.hf_filter(high_re + 20, high_im + 20, low_re + 2, low_im + 2, coef, 24, 2, 34); }},
    {"band_energy/40bands", [](const aac_sbr_kernels &k) { k.band_energy(high_re + 20, high_im + 20, 40, 2, 10, out); }},
    {"hf_smooth/40bands",
     [](const aac_sbr_kernels &k) {
         const float *rows[4] = {past[0], past[1], past[2], past[3]};
         k.hf_smooth(out, gains, rows, coef, 40);
     }},
    {"hf_assemble/40bands",
     [](const aac_sbr_kernels &k) { k.hf_assemble(high_re + 20, high_im + 20, gains, levels, sines, 17, 0.0f, 1.0f, 1, 40); }},
};

void run_case(benchmark::State &state, const aac_sbr_kernels *k, run_fn run)
{
    fill_inputs();
    for (auto _ : state) {
        run(*k);
        benchmark::ClobberMemory();
    }
}

const int registered = [] {
    for (const auto &c : kCases)
        for (const auto *k : {&aac_sbr_kernels_generic, &aac_sbr_kernels_sse2}) {
            const std::string name = std::string(c.name) + "/" + (k == &aac_sbr_kernels_sse2 ? "sse2" : "generic");
            benchmark::RegisterBenchmark(name.c_str(), run_case, k, c.run);
        }
    return 0;
}();

}  // namespace
