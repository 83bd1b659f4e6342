// Parametric stereo per frame: ps_apply on a 32-slot QMF frame of noise
// with four envelopes of changing parameters (the busiest frames of the
// corpus), in the 20- and the 34-band configuration, generic against SSE2;
// and ps_read of such a frame's payload.  Each iteration restores the input
// matrix first (copy_frame shows what that costs alone).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>

#include "kernels/kernel_tables.h"
#include "ps/ps.h"

namespace {

using namespace lumdec;

constexpr int kRows = 32 + PS_LOOKAHEAD_SLOTS;

struct Input {
    alignas(16) float x_re[kRows][64], x_im[kRows][64];
    alignas(16) float work_re[kRows][64], work_im[kRows][64];
    alignas(16) float y_re[32][64], y_im[32][64];
    ps_state ps;
};

Input &input()
{
    static const std::unique_ptr<Input> in = [] {
        auto in = std::make_unique<Input>();
        std::mt19937 rng(9);
        std::normal_distribution<float> noise(0.0f, 1000.0f);
        for (int n = 0; n < kRows; n++)
            for (int k = 0; k < 64; k++) {
                in->x_re[n][k] = noise(rng);
                in->x_im[n][k] = noise(rng);
            }
        return in;
    }();
    return *in;
}

// Four envelopes, every band's intensity and coherence changing.
void set_frame(ps_frame &f, int bands, int frame)
{
    f = ps_frame{};
    f.present = 1;
    f.num_env = 4;
    f.iid_bands = f.icc_bands = static_cast<uint8_t>(bands);
    for (int e = 0; e < 4; e++)
        for (int b = 0; b < bands; b++) {
            f.iid[e][b] = static_cast<int8_t>((b + e + frame) % 15 - 7);
            f.icc[e][b] = static_cast<int8_t>((b * 3 + e + frame) % 8);
        }
}

void run(benchmark::State &state, bool sse2, int bands, bool apply)
{
    Input &in = input();
    ps_reset(&in.ps);
    aac_force_kernel_tables(sse2);
    int frame = 0;
    for (auto _ : state) {
        std::memcpy(in.work_re, in.x_re, sizeof in.x_re);
        std::memcpy(in.work_im, in.x_im, sizeof in.x_im);
        if (apply) {
            set_frame(in.ps.frame, bands, frame++);
            ps_apply(&in.ps, in.work_re, in.work_im, in.y_re, in.y_im, 32);
        }
        benchmark::ClobberMemory();
    }
    aac_force_kernel_tables(true);
}

// A 20-band payload with four envelopes, frequency-coded.
void read_payload(benchmark::State &state)
{
    // header: iid on (mode 1), icc on (mode 1), no extension; FIX, 4 envelopes;
    // then 8 envelopes of 20 zero differences (a one-bit codeword each).
    std::vector<uint8_t> bytes(64, 0);
    const char *bits = "1 1001 1001 0 0 11";
    int pos = 0;
    for (const char *c = bits; *c; c++)
        if (*c != ' ') {
            if (*c == '1')
                bytes[static_cast<size_t>(pos / 8)] |= static_cast<uint8_t>(0x80 >> (pos % 8));
            pos++;
        }
    pos += 8 * 21;
    ps_state &ps = input().ps;
    ps_reset(&ps);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ps_read(&ps, bytes.data(), static_cast<int32_t>(bytes.size()), 0, pos));
        ps.frame.present = 0;
    }
}

const int registered = [] {
    benchmark::RegisterBenchmark("ps_copy_frame", [](benchmark::State &s) { run(s, true, 20, false); });
    for (int bands : {20, 34})
        for (bool sse2 : {false, true})
            benchmark::RegisterBenchmark(
                ("ps_apply/" + std::to_string(bands) + (sse2 ? "/sse2" : "/generic")).c_str(),
                [bands, sse2](benchmark::State &s) { run(s, sse2, bands, true); });
    benchmark::RegisterBenchmark("ps_read/20_bands_4_envelopes", read_payload);
    return 0;
}();

}  // namespace
