// Whole-stream decoding in steady state, as a host would run it: every frame
// of a stream handed to aac_dec_decode from memory, an output hook that
// takes each block and does nothing with it.  The decoder has decoded the
// stream once before the timed passes; creation and file reading are not
// timed.  Reported per frame and channel, and as a multiple of real time.
//
// Streams: the perf streams (LUMDEC_PERF_DIR at build time, or the
// environment variable of the same name), else a few test streams.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kernels/kernel_tables.h"
#include "lumdec.h"
#include "test_streams.h"

namespace {

constexpr int kChannelsOfLayout[11] = {0, 1, 2, 3, 4, 5, 6, 8, 3, 4, 2};
constexpr int kSampleRates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                  24000, 22050, 16000, 12000, 11025, 8000};

aac_status AAC_CALL take_block(aac_decoder *, void **) { return AAC_OK; }

struct Stream {
    std::vector<uint8_t> file;
    std::vector<AdtsFrame> frames;
    int sampling_frequency_index = 0;
    int layout = 0;
};

struct Decoder {
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    ~Decoder()
    {
        if (dec)
            aac_dec_destroy(dec);
        if (pool)
            pool->ops->destroy(pool);
    }
};

bool decode_pass(aac_decoder *dec, const Stream &s)
{
    for (const AdtsFrame &f : s.frames) {
        dec->input_data = s.file.data() + f.payload_offset;
        dec->input_size = static_cast<int32_t>(f.payload_size);
        if (aac_dec_decode(dec) != AAC_OK)
            return false;
    }
    dec->input_size = 0;
    return aac_dec_decode(dec) == AAC_OK;
}

void BM_decode_stream(benchmark::State &state, const std::string &path)
{
    Stream s;
    s.file = read_file(path);
    s.frames = split_adts(s.file);
    if (s.frames.empty()) {
        state.SkipWithError("no ADTS frames");
        return;
    }
    s.sampling_frequency_index = s.frames[0].sampling_frequency_index;
    s.layout = s.frames[0].channel_configuration;

    Decoder d;
    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = s.sampling_frequency_index;
    config.channel_configuration = s.layout;
    if (aac_dec_create(&d.dec, &config) != AAC_OK ||
        aac_frame_alloc_create(&d.pool, 8) != AAC_OK) {
        state.SkipWithError("creation failed");
        return;
    }
    for (float &g : d.dec->gain)
        g = 1.0f;
    d.dec->pool = d.pool;
    d.dec->output_hook = take_block;
    if (!decode_pass(d.dec, s)) {
        state.SkipWithError("a frame failed to decode");
        return;
    }

    for (auto _ : state) {
        if (!decode_pass(d.dec, s)) {
            state.SkipWithError("a frame failed to decode");
            return;
        }
    }
    const double frames = static_cast<double>(state.iterations()) * s.frames.size();
    const int channels = kChannelsOfLayout[s.layout];
    state.counters["per_frame_ch"] = benchmark::Counter(
        frames * channels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(
        frames * 1024.0 / kSampleRates[s.sampling_frequency_index], benchmark::Counter::kIsRate);
    state.SetLabel(lumdec::aac_active_kernel_tables_name());  // which tables the load chose
}

std::string perf_dir()
{
    if (const char *env = std::getenv("LUMDEC_PERF_DIR"))
        return env;
    return LUMDEC_PERF_DIR;
}

const int registered = [] {
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(perf_dir(), error)) {
        if (entry.path().extension() == ".aac")
            paths.push_back(entry.path().string());
    }
    if (paths.empty()) {
        for (const char *name : {"castanets_stereo_44k1_96k", "speech_mono_16k_24k",
                                 "multi_5_1_48k_320k", "pink_stereo_48k_64k_pns"})
            paths.push_back(test_data_path(std::string("streams/") + name + ".aac"));
    }
    std::sort(paths.begin(), paths.end());
    for (const std::string &p : paths) {
        const std::string name = "BM_decode/" + fs::path(p).stem().string();
        benchmark::RegisterBenchmark(name.c_str(), BM_decode_stream, p)->Unit(benchmark::kMillisecond);
    }
    return 0;
}();

}  // namespace
