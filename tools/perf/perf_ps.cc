// Runs ps_apply on frames of QMF noise with envelopes of changing
// parameters (four: the busiest frames of the corpus; 0: frames without
// data) for instruction counting: one frame to warm up, then `frames`
// frames inside callgrind's collection window (run under valgrind
// --tool=callgrind --collect-atstart=no).
//
//   perf_ps BANDS [frames] [sse2|generic] [envelopes]     BANDS 20 or 34
//
// Ir per frame is callgrind's total over the frames.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "kernels/kernel_tables.h"
#include "ps/ps.h"

namespace {

using namespace lumdec;

constexpr int kRows = 32 + PS_LOOKAHEAD_SLOTS;

struct Work {
    alignas(16) float x_re[kRows][64], x_im[kRows][64];
    alignas(16) float y_re[32][64], y_im[32][64];
    ps_state ps;
};

int envelopes = 4;

void set_frame(ps_frame &f, int bands, int frame)
{
    f = ps_frame{};
    f.present = envelopes > 0 || frame == 0;
    f.num_env = static_cast<uint8_t>(envelopes > 0 ? envelopes : 1);
    f.iid_bands = f.icc_bands = static_cast<uint8_t>(bands);
    for (int e = 0; e < f.num_env; e++)
        for (int b = 0; b < bands; b++) {
            f.iid[e][b] = static_cast<int8_t>((b + e + frame) % 15 - 7);
            f.icc[e][b] = static_cast<int8_t>((b * 3 + e + frame) % 8);
        }
}

void run_frame(Work &w, std::mt19937 &rng, int bands, int frame)
{
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    for (int n = 0; n < kRows; n++)
        for (int k = 0; k < 64; k++) {
            w.x_re[n][k] = noise(rng);
            w.x_im[n][k] = noise(rng);
        }
    set_frame(w.ps.frame, bands, frame);
    CALLGRIND_TOGGLE_COLLECT;
    ps_apply(&w.ps, w.x_re, w.x_im, w.y_re, w.y_im, 32);
    CALLGRIND_TOGGLE_COLLECT;
}

}  // namespace

int main(int argc, char **argv)
{
    const int bands = argc > 1 ? std::atoi(argv[1]) : 20;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 100;
    aac_force_kernel_tables(!(argc > 3 && std::string(argv[3]) == "generic"));
    if (argc > 4)
        envelopes = std::atoi(argv[4]);
    auto w = std::make_unique<Work>();
    ps_reset(&w->ps);
    std::mt19937 rng(9);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    for (int f = 0; f <= frames; f++) {
        if (f == 0) {
            set_frame(w->ps.frame, bands, 0);
            ps_apply(&w->ps, w->x_re, w->x_im, w->y_re, w->y_im, 32);
            continue;
        }
        run_frame(*w, rng, bands, f);
    }
    std::printf("frames=%d bands=%d envelopes=%d\n", frames, bands, envelopes);
    return 0;
}
