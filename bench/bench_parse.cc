// The frame parser over whole test streams: every frame's raw_data_block
// parsed into a workspace, as the decode call does before reconstruction.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "decoder/layouts.h"
#include "frame/allocator.h"
#include "frame/error.h"
#include "lumdec.h"
#include "syntax/raw_data_block.h"
#include "test_streams.h"

using namespace lumdec;

namespace {

void BM_parse_stream(benchmark::State &state, const std::string &name)
{
    const TestStream &stream = test_stream(name);
    std::vector<uint8_t> file = read_file(test_data_path("streams/" + name + ".aac"));
    std::vector<AdtsFrame> frames = split_adts(file);
    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = stream.sampling_frequency_index;
    config.channel_configuration = stream.layout;
    aac_decoder *dec = nullptr;
    if (aac_dec_create(&dec, &config) != AAC_OK) {
        state.SkipWithError("creation failed");
        return;
    }
    void *work = aac_alloc_aligned(aac_workspace_size(aac_layouts[stream.layout]));
    dec->cur_work = work;
    aac_guard guard;
    for (auto _ : state) {
        for (const AdtsFrame &f : frames) {
            dec->input_data = file.data() + f.payload_offset;
            dec->input_size = static_cast<int32_t>(f.payload_size);
            if (guard.run([&] { aac_parse_raw_data_block(dec); }) != AAC_OK)
                state.SkipWithError("frame refused");
        }
    }
    const double frames_parsed = static_cast<double>(state.iterations() * frames.size());
    state.counters["per_frame_channel"] = benchmark::Counter(
        frames_parsed * stream.channels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    aac_free_aligned(work);
    aac_dec_destroy(dec);
}

BENCHMARK_CAPTURE(BM_parse_stream, mono_speech, std::string("speech_mono_16k_24k"));
BENCHMARK_CAPTURE(BM_parse_stream, stereo_castanets, std::string("castanets_stereo_44k1_96k"));
BENCHMARK_CAPTURE(BM_parse_stream, stereo_full_scale, std::string("fullscale_stereo_96k_256k"));
BENCHMARK_CAPTURE(BM_parse_stream, multi_5_1, std::string("multi_5_1_48k_320k"));

}  // namespace
