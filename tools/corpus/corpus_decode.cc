// Decodes one ADTS stream the way the corpus describes it and writes the
// valid output blocks as interleaved little-endian floats.  Uses only the
// public interface.
//
//   corpus_decode STREAM.aac OUT.f32 --sfi N (--layout L | --pce-bit-offset B)
//                 [--conceal] [--he]
//
// --he creates the decoder with aac_dec_create_he, implicit SBR and PS
// allowed, --asc HEX with aac_dec_create_asc from an AudioSpecificConfig
// (implicit signalling allowed; the ADTS headers then only delimit the
// access units); both write what the decoder's output format says.
//
// Prints one line of figures: frames, parse failures, frames whose
// bytes_used differs from the ADTS payload, and the output blocks by state.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "adts_stream.h"
#include "lumdec.h"

namespace {

struct Output {
    int channels = 0;
    int samples = 1024;
    std::vector<float> pcm;  // interleaved
    int valid = 0, lost = 0, end = 0;
};

Output *current_output = nullptr;

aac_status AAC_CALL collect_block(aac_decoder *dec, void **slot)
{
    Output &out = *current_output;
    aac_output_format format;
    if (aac_dec_get_format(dec, &format) == AAC_OK) {
        out.channels = format.channels;
        out.samples = format.samples_per_block;
    }
    uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
    unsigned state = word & AAC_SLOT_STATE_MASK;
    const float *block = reinterpret_cast<const float *>(word & ~uintptr_t{AAC_SLOT_STATE_MASK});
    if (state == AAC_SLOT_VALID) {
        out.valid++;
        for (int i = 0; i < out.samples; i++)
            for (int c = 0; c < out.channels; c++)
                out.pcm.push_back(block[out.samples * c + i]);
    } else if (state == AAC_SLOT_LOST) {
        out.lost++;
    } else {
        out.end++;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: corpus_decode STREAM.aac OUT.f32 --sfi N "
                             "(--layout L | --pce-bit-offset B) [--conceal]\n");
        return 2;
    }
    const char *in_path = argv[1], *out_path = argv[2];
    int sfi = -1, layout = 0, pce_bit_offset = -1;
    bool conceal = false, he = false;
    std::vector<uint8_t> asc;
    for (int i = 3; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--sfi" && i + 1 < argc)
            sfi = std::atoi(argv[++i]);
        else if (arg == "--layout" && i + 1 < argc)
            layout = std::atoi(argv[++i]);
        else if (arg == "--pce-bit-offset" && i + 1 < argc)
            pce_bit_offset = std::atoi(argv[++i]);
        else if (arg == "--conceal")
            conceal = true;
        else if (arg == "--he")
            he = true;
        else if (arg == "--asc" && i + 1 < argc)
            for (const char *p = argv[++i]; p[0] && p[1]; p += 2)
                asc.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    }

    std::vector<uint8_t> file;
    try {
        file = lumdec_host::read_file(in_path);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "corpus_decode: %s\n", e.what());
        return 2;
    }
    const std::vector<lumdec_host::AdtsFrame> frames = lumdec_host::split_adts(file);

    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = sfi;
    config.channel_configuration = layout;
    if (pce_bit_offset >= 0 && !frames.empty()) {
        config.input_data = &file[frames[0].payload_offset];
        config.input_size = static_cast<int32_t>(frames[0].payload_size);
        config.bit_offset = pce_bit_offset;
    }
    aac_decoder *dec = nullptr;
    aac_he_config he_config{};
    he_config.core = config;
    he_config.sbr_mode = AAC_SBR_IMPLICIT;
    he_config.ps_mode = AAC_PS_IMPLICIT;
    aac_status created =
        !asc.empty() ? aac_dec_create_asc(&dec, asc.data(), static_cast<int32_t>(asc.size()),
                                          AAC_ASC_IMPLICIT)
        : he         ? aac_dec_create_he(&dec, &he_config)
                     : aac_dec_create(&dec, &config);
    if (created != AAC_OK) {
        std::printf("create_status=0x%08X\n", static_cast<unsigned>(created));
        return 0;
    }
    Output out;
    out.channels = lumdec_host::kLayoutChannels[dec->channel_configuration];
    current_output = &out;
    aac_output_format format;
    aac_dec_get_format(dec, &format);
    aac_frame_alloc *pool = nullptr;
    aac_frame_alloc_create(&pool, format.block_bytes / 4096);
    for (int c = 0; c < 8; c++)
        dec->gain[c] = 1.0f;
    dec->pool = pool;
    dec->output_hook = collect_block;
    dec->conceal_errors = conceal ? 1 : 0;

    int failures = 0, size_mismatches = 0;
    unsigned first_failure = 0;
    for (const lumdec_host::AdtsFrame &f : frames) {
        dec->input_data = &file[f.payload_offset];
        dec->input_size = static_cast<int32_t>(f.payload_size);
        aac_status status = aac_dec_decode(dec);
        if (status != AAC_OK) {
            if (failures++ == 0)
                first_failure = static_cast<unsigned>(status);
        } else if (dec->bytes_used != static_cast<int32_t>(f.payload_size)) {
            size_mismatches++;
        }
    }
    dec->input_size = 0;
    aac_dec_decode(dec);

    aac_dec_get_format(dec, &format);
    std::printf("create_status=0x00000000 layout=%d channels=%d frames=%zu failures=%d "
                "first_failure=0x%08X bytes_used_mismatches=%d concealed=%d valid=%d lost=%d "
                "end=%d rate=%d samples=%d sbr=%d ps=%d sbr_errors=%d\n",
                dec->channel_configuration, format.channels, frames.size(), failures,
                first_failure, size_mismatches, dec->error_count, out.valid, out.lost, out.end,
                format.sample_rate, format.samples_per_block, format.sbr, format.ps,
                format.sbr_errors);
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);

    FILE *o = std::fopen(out_path, "wb");
    if (!o) {
        std::fprintf(stderr, "corpus_decode: cannot write %s\n", out_path);
        return 2;
    }
    std::fwrite(out.pcm.data(), sizeof(float), out.pcm.size(), o);
    std::fclose(o);
    return 0;
}
