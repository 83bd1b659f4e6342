#include "he_streams.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "test_streams.h"

namespace {

struct Collector {
    HeResult *result;
};

thread_local Collector *collector = nullptr;

aac_status AAC_CALL collect(aac_decoder *dec, void **slot)
{
    const uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
    const unsigned state = word & AAC_SLOT_STATE_MASK;
    collector->result->block_states.push_back(state);
    aac_output_format f;
    if (state != AAC_SLOT_VALID || aac_dec_get_format(dec, &f) != AAC_OK)
        return AAC_OK;
    const float *block = reinterpret_cast<const float *>(word & ~uintptr_t{15});
    for (int i = 0; i < f.samples_per_block; i++)
        for (int c = 0; c < f.channels; c++)
            collector->result->samples.push_back(block[f.samples_per_block * c + i]);
    return AAC_OK;
}

}  // namespace

const std::vector<HeStream> &he_streams()
{
    static const std::vector<HeStream> streams = [] {
        std::vector<HeStream> list;
        std::ifstream in(test_data_path("he/streams.tsv"));
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream fields(line);
            HeStream s;
            std::string asc, pairs;
            fields >> s.name >> s.sampling_frequency_index >> s.layout >> s.channels >>
                s.samples_per_frame >> asc >> s.frames >> pairs;
            for (size_t i = 0; asc != "-" && i + 1 < asc.size(); i += 2)
                s.asc.push_back(static_cast<uint8_t>(std::stoi(asc.substr(i, 2), nullptr, 16)));
            std::istringstream each(pairs == "-" ? "" : pairs);
            for (int a, b; each >> a && each.ignore() && each >> b; each.ignore())
                s.pairs.emplace_back(a, b);
            list.push_back(s);
        }
        if (list.empty())
            throw std::runtime_error("no streams in " + test_data_path("he/streams.tsv"));
        return list;
    }();
    return streams;
}

const HeStream &he_stream(const std::string &name)
{
    for (const HeStream &s : he_streams())
        if (s.name == name)
            return s;
    throw std::runtime_error("no HE test stream " + name);
}

std::vector<float> read_he_reference(const HeStream &stream)
{
    const std::vector<uint8_t> bytes = read_file(test_data_path("he/ref/" + stream.name + ".f32"));
    std::vector<float> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    return samples;
}

HeResult decode_he_stream(const HeStream &stream, const HeOptions &options)
{
    HeResult result;
    const std::vector<uint8_t> file = read_file(test_data_path("he/streams/" + stream.name + ".aac"));
    const std::vector<AdtsFrame> frames = split_adts(file);
    aac_decoder *dec = nullptr;
    if (!stream.asc.empty()) {
        result.create_status = aac_dec_create_asc(&dec, stream.asc.data(),
                                                  static_cast<int32_t>(stream.asc.size()), AAC_ASC_IMPLICIT);
    } else {
        aac_he_config config{};
        config.core.profile = 1;
        config.core.sampling_frequency_index = stream.sampling_frequency_index;
        config.core.channel_configuration = stream.layout;
        config.sbr_mode = options.sbr_mode;
        config.ps_mode = AAC_PS_IMPLICIT;
        result.create_status = aac_dec_create_he(&dec, &config);
    }
    if (result.create_status != AAC_OK)
        return result;
    aac_dec_get_format(dec, &result.created);
    aac_frame_alloc *pool = nullptr;
    aac_frame_alloc_create(&pool, result.created.block_bytes / 4096);
    for (int c = 0; c < 8; c++)
        dec->gain[c] = options.gains[c];
    dec->pool = pool;
    dec->output_hook = collect;
    dec->syn_elem_hook = options.syn_elem_hook;
    dec->conceal_errors = options.conceal ? 1 : 0;
    Collector local{&result};
    collector = &local;
    for (size_t i = 0; i < frames.size(); i++) {
        std::vector<uint8_t> payload(file.begin() + frames[i].payload_offset,
                                     file.begin() + frames[i].payload_offset + frames[i].payload_size);
        if (options.mutate)
            payload = options.mutate(i, payload);
        dec->input_data = payload.empty() ? nullptr : payload.data();
        dec->input_size = static_cast<int32_t>(payload.size());
        result.status.push_back(aac_dec_decode(dec));
    }
    dec->input_data = nullptr;
    dec->input_size = 0;
    aac_dec_decode(dec);
    aac_dec_get_format(dec, &result.format);
    result.error_count = dec->error_count;
    collector = nullptr;
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);
    return result;
}
