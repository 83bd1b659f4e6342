// Decodes an ADTS stream from memory for instruction counting: one pass to
// warm the decoder up, then `passes` passes inside callgrind's collection
// window (run under valgrind --tool=callgrind --collect-atstart=no).  The
// output hook takes each block and does nothing with it, as a host that
// consumes blocks in place would.
//
//   perf_decode STREAM.aac [passes] [--he]
//
// --he decodes through aac_dec_create_he with implicit SBR and PS.  Prints
// frames, output channels and sampling frequency index of the stream.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "adts_stream.h"
#include "lumdec.h"

namespace {

aac_status AAC_CALL take_block(aac_decoder *, void **) { return AAC_OK; }

void decode_pass(aac_decoder *dec, const std::vector<uint8_t> &file,
                 const std::vector<lumdec_host::AdtsFrame> &frames)
{
    for (const lumdec_host::AdtsFrame &f : frames) {
        dec->input_data = file.data() + f.payload_offset;
        dec->input_size = static_cast<int32_t>(f.payload_size);
        if (aac_dec_decode(dec) != AAC_OK)
            std::exit(3);
    }
    dec->input_size = 0;
    aac_dec_decode(dec);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: perf_decode STREAM.aac [passes]\n");
        return 2;
    }
    int passes = argc > 2 ? std::atoi(argv[2]) : 1;
    const bool he = argc > 3 && std::string(argv[3]) == "--he";
    std::vector<uint8_t> file;
    try {
        file = lumdec_host::read_file(argv[1]);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "perf_decode: %s\n", e.what());
        return 2;
    }
    const std::vector<lumdec_host::AdtsFrame> frames = lumdec_host::split_adts(file);
    const int sfi = frames.empty() ? -1 : frames[0].sampling_frequency_index;
    const int configuration = frames.empty() ? -1 : frames[0].channel_configuration;
    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = sfi;
    config.channel_configuration = configuration;
    aac_decoder *dec = nullptr;
    aac_he_config he_config{};
    he_config.core = config;
    he_config.sbr_mode = AAC_SBR_IMPLICIT;
    he_config.ps_mode = AAC_PS_IMPLICIT;
    if (frames.empty() ||
        (he ? aac_dec_create_he(&dec, &he_config) : aac_dec_create(&dec, &config)) != AAC_OK) {
        std::fprintf(stderr, "perf_decode: %s is not a stream this decoder takes\n", argv[1]);
        return 2;
    }
    aac_frame_alloc *pool = nullptr;
    aac_output_format format;
    aac_dec_get_format(dec, &format);
    aac_frame_alloc_create(&pool, format.block_bytes / 4096);
    for (float &g : dec->gain)
        g = 1.0f;
    dec->pool = pool;
    dec->output_hook = take_block;

    decode_pass(dec, file, frames);
    CALLGRIND_TOGGLE_COLLECT;
    for (int p = 0; p < passes; p++)
        decode_pass(dec, file, frames);
    CALLGRIND_TOGGLE_COLLECT;

    aac_dec_get_format(dec, &format);
    std::printf("frames=%zu channels=%d sfi=%d passes=%d\n", frames.size(), format.channels, sfi,
                passes);
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);
    return 0;
}
