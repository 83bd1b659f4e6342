// The filterbank's cost per channel and frame: inverse_transform of the
// current frame followed by overlap_add_frame against the previous one, as
// the decoder runs them, under the generic and the SSE2 tables.  The two
// buffers swap roles every call like the decoder's workspaces.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <utility>

#include "kernels/kernel_tables.h"
#include "synthesis/filterbank.h"

using namespace lumdec;

namespace {

struct alignas(16) buffers {
    aac_channel_gain gain;
    float coef[2][1024];
    float out[1024];
};

buffers data;

struct transition {
    const char *name;
    uint32_t prev, cur;
    bool transform;  // include inverse_transform of the current frame
};

// The transform calls feed on their own output; the values overflow after
// a few dozen calls, which costs SSE arithmetic nothing extra.
const transition kCases[] = {
    {"channel_output/long", AAC_ONLY_LONG_SEQUENCE, AAC_ONLY_LONG_SEQUENCE, true},
    {"channel_output/short", AAC_EIGHT_SHORT_SEQUENCE, AAC_EIGHT_SHORT_SEQUENCE, true},
    {"overlap_add_frame/long", AAC_ONLY_LONG_SEQUENCE, AAC_ONLY_LONG_SEQUENCE, false},
    {"overlap_add_frame/start_short", AAC_LONG_START_SEQUENCE, AAC_EIGHT_SHORT_SEQUENCE, false},
    {"overlap_add_frame/short", AAC_EIGHT_SHORT_SEQUENCE, AAC_EIGHT_SHORT_SEQUENCE, false},
    {"overlap_add_frame/short_stop", AAC_EIGHT_SHORT_SEQUENCE, AAC_LONG_STOP_SEQUENCE, false},
    {"overlap_add_frame/mismatch_short_long", AAC_EIGHT_SHORT_SEQUENCE, AAC_ONLY_LONG_SEQUENCE,
     false},
};

void run(benchmark::State &state, const transition *t, bool sse2)
{
    aac_force_kernel_tables(sse2);
    aac_fill_channel_gain(&data.gain, 1.0f);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    for (auto &c : data.coef)
        for (float &v : c)
            v = dist(rng);
    aac_ics_info info[2] = {};
    info[0].window_sequence = t->prev;
    info[1].window_sequence = t->cur;
    int prev = 0, cur = 1;
    for (auto _ : state) {
        if (t->transform)
            inverse_transform(&info[cur], data.coef[cur]);
        overlap_add_frame(&data.gain, data.out, &info[prev], data.coef[prev], &info[cur],
                          data.coef[cur]);
        benchmark::ClobberMemory();
        if (t->prev == t->cur)
            std::swap(prev, cur);
    }
    aac_force_kernel_tables(true);
}

const int registered = [] {
    for (const transition &t : kCases) {
        benchmark::RegisterBenchmark((std::string(t.name) + "/generic").c_str(), run, &t, false);
        benchmark::RegisterBenchmark((std::string(t.name) + "/sse2").c_str(), run, &t, true);
    }
    return 0;
}();

}  // namespace
