#include "decode_stream.h"

#include <algorithm>

namespace {

// The configuration a host builds: by layout number, or from the
// program_config_element at the start of the first frame; for an HE stream
// the same values with SBR and PS signalled implicitly, or its
// AudioSpecificConfig.
aac_decoder *create(const StreamHost &h, int32_t sbr_mode, aac_status *status)
{
    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = h.stream.sampling_frequency_index;
    config.channel_configuration = h.frames.empty() ? 0 : h.frames[0].channel_configuration;
    if (h.stream.pce_bit_offset >= 0) {
        config.input_data = &h.file[h.frames[0].payload_offset];
        config.input_size = static_cast<int32_t>(h.frames[0].payload_size);
        config.bit_offset = h.stream.pce_bit_offset;
    }
    aac_decoder *dec = nullptr;
    if (!h.stream.he || sbr_mode == kLcHost) {
        *status = aac_dec_create(&dec, &config);
    } else if (!h.stream.asc.empty()) {
        *status = aac_dec_create_asc(&dec, h.stream.asc.data(), static_cast<int32_t>(h.stream.asc.size()),
                                     AAC_ASC_IMPLICIT);
    } else {
        aac_he_config he{config, sbr_mode, AAC_PS_IMPLICIT};
        *status = aac_dec_create_he(&dec, &he);
    }
    return dec;
}

}  // namespace

StreamHost::StreamHost(const TestStream &s, int32_t sbr_mode)
    : stream(s), file(read_file(test_data_path(s.folder + "streams/" + s.name + ".aac"))),
      frames(split_adts(file)), create_status(AAC_OK), dec(create(*this, sbr_mode, &create_status)),
      host(dec)
{
    if (create_status != AAC_OK)
        return;
    aac_dec_get_format(dec, &created);
    // Blocks of eight channels at least, so that a write past the layout's
    // channels stays inside the block, where a test can see it.
    aac_frame_alloc_create(&pool, std::max(8, created.block_bytes / 4096));
    std::fill_n(dec->gain, 8, 1.0f);
    dec->pool = pool;
    host.on_block = [this](void **slot) {
        const uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
        const unsigned state = word & AAC_SLOT_STATE_MASK;
        states.push_back(state);
        blocks.emplace_back();
        aac_output_format f;
        if (state == AAC_SLOT_VALID && aac_dec_get_format(dec, &f) == AAC_OK) {
            const float *block = reinterpret_cast<const float *>(word & ~uintptr_t{15});
            for (int i = 0; i < f.samples_per_block; i++)
                for (int c = 0; c < f.channels; c++)
                    blocks.back().push_back(block[f.samples_per_block * c + i]);
        }
        return on_block(slot);
    };
}

StreamHost::~StreamHost()
{
    aac_dec_destroy(dec);
    if (pool)
        pool->ops->destroy(pool);
}

std::vector<uint8_t> StreamHost::payload(size_t frame) const
{
    const auto start = file.begin() + static_cast<std::ptrdiff_t>(frames[frame].payload_offset);
    return std::vector<uint8_t>(start, start + static_cast<std::ptrdiff_t>(frames[frame].payload_size));
}

ObservedCall StreamHost::decode(const std::vector<uint8_t> &data)
{
    // An exact-size heap block, so that a read past the frame is caught.
    const std::vector<uint8_t> copy(data);
    dec->bytes_used = -1;
    ObservedCall call = host.decode(copy.empty() ? nullptr : copy.data(),
                                    static_cast<int32_t>(copy.size()));
    follows_model = model_.step(call) && follows_model;
    return call;
}

DecodeResult decode_stream(const TestStream &stream, const DecodeOptions &options)
{
    DecodeResult result;
    StreamHost h(stream, options.sbr_mode);
    result.create_status = h.create_status;
    if (h.create_status != AAC_OK)
        return result;
    result.layout = h.dec->channel_configuration;
    result.created = h.created;
    std::copy_n(options.gains, 8, h.dec->gain);
    h.dec->conceal_errors = options.conceal ? 1 : 0;
    if (options.on_elements) {
        h.host.syn_elem_hook = true;
        h.host.on_elements = options.on_elements;
    }
    for (size_t i = 0; i < h.frames.size(); i++) {
        if (options.leave_out.count(i))
            continue;
        const std::vector<uint8_t> payload = h.payload(i);
        result.status.push_back(h.decode(options.mutate ? options.mutate(i, payload) : payload).status);
        result.bytes_used.push_back(h.dec->bytes_used);
        result.payload_size.push_back(static_cast<int32_t>(payload.size()));
    }
    if (options.end_of_stream)
        h.end();
    for (const std::vector<float> &block : h.blocks)
        result.samples.insert(result.samples.end(), block.begin(), block.end());
    aac_dec_get_format(h.dec, &result.format);
    result.block_states = h.states;
    result.blocks = h.blocks;
    result.error_count = h.dec->error_count;
    result.noise_used = h.dec->pns_state != 0;
    result.follows_model = h.follows_model;
    return result;
}
