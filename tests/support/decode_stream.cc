#include "decode_stream.h"

namespace {

struct Collector {
    DecodeResult *result;
    int channels;
};

// Per thread, so that streams can be decoded on several threads at once.
thread_local Collector *collector = nullptr;

aac_status AAC_CALL collect(aac_decoder *, void **slot)
{
    uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
    unsigned state = word & AAC_SLOT_STATE_MASK;
    collector->result->block_states.push_back(state);
    if (state == AAC_SLOT_VALID) {
        const float *block = reinterpret_cast<const float *>(word & ~uintptr_t{15});
        for (int i = 0; i < 1024; i++)
            for (int c = 0; c < collector->channels; c++)
                collector->result->samples.push_back(block[1024 * c + i]);
    }
    return AAC_OK;
}

}  // namespace

aac_dec_config stream_config(const TestStream &stream, const std::vector<uint8_t> &file,
                             const std::vector<AdtsFrame> &frames)
{
    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = stream.sampling_frequency_index;
    config.channel_configuration = frames.empty() ? 0 : frames[0].channel_configuration;
    if (stream.pce_bit_offset >= 0) {
        config.input_data = &file[frames[0].payload_offset];
        config.input_size = static_cast<int32_t>(frames[0].payload_size);
        config.bit_offset = stream.pce_bit_offset;
    }
    return config;
}

DecodeResult decode_stream(const TestStream &stream, const DecodeOptions &options)
{
    DecodeResult result;
    std::vector<uint8_t> file = read_file(test_data_path("streams/" + stream.name + ".aac"));
    std::vector<AdtsFrame> frames = split_adts(file);
    aac_dec_config config = stream_config(stream, file, frames);
    aac_decoder *dec = nullptr;
    result.create_status = aac_dec_create(&dec, &config);
    if (result.create_status != AAC_OK)
        return result;
    result.layout = dec->channel_configuration;
    result.channels = lumdec_host::kLayoutChannels[dec->channel_configuration];

    aac_frame_alloc *pool = nullptr;
    aac_frame_alloc_create(&pool, 8);
    for (int c = 0; c < 8; c++)
        dec->gain[c] = options.gains[c];
    dec->pool = pool;
    dec->output_hook = collect;
    dec->conceal_errors = options.conceal ? 1 : 0;
    Collector local{&result, result.channels};
    collector = &local;

    for (size_t i = 0; i < frames.size(); i++) {
        if (options.leave_out.count(i))
            continue;
        std::vector<uint8_t> payload(file.begin() + frames[i].payload_offset,
                                     file.begin() + frames[i].payload_offset + frames[i].payload_size);
        if (options.mutate)
            payload = options.mutate(i, payload);
        // payload is an exact-size heap block, so a read past the frame is caught.
        dec->input_data = payload.empty() ? nullptr : payload.data();
        dec->input_size = static_cast<int32_t>(payload.size());
        dec->bytes_used = -1;
        result.status.push_back(aac_dec_decode(dec));
        result.bytes_used.push_back(dec->bytes_used);
        result.payload_size.push_back(static_cast<int32_t>(frames[i].payload_size));
    }
    if (options.end_of_stream) {
        dec->input_data = nullptr;
        dec->input_size = 0;
        aac_dec_decode(dec);
    }
    result.error_count = dec->error_count;
    result.noise_used = dec->pns_state != 0;
    collector = nullptr;
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);
    return result;
}
