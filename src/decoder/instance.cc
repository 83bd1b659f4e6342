#include "decoder/instance.h"

#include <cstdint>

#include "decoder/element_map.h"
#include "decoder/he_instance.h"
#include "frame/allocator.h"
#include "frame/error.h"
#include "syntax/bit_reader.h"
#include "syntax/pce.h"
#include "syntax/stream_tables.h"

namespace {

void parse_configuration_pce(aac_dec_config *config, aac_decoder *decoder)
{
    // The skip below is one fill and one skip of a fresh reader, which holds
    // at most 32 bits.
    if (config->input_data == nullptr || config->bit_offset < 0 || config->bit_offset > 31)
        aac_raise(AAC_ERR_BAD_STREAM);

    aac_bit_reader reader;
    aac_bits_init(&reader, config->input_data, config->input_size);
    aac_bits_fill(&reader, config->bit_offset);
    aac_bits_skip(&reader, config->bit_offset);

    aac_pce pce;
    aac_parse_pce(&reader, &pce);
    config->bytes_used = aac_bits_bytes_used(&reader);

    decoder->profile = static_cast<int32_t>(pce.object_type);
    decoder->sampling_frequency_index = static_cast<int32_t>(pce.sampling_frequency_index);
    decoder->channel_configuration = aac_map_from_pce(&pce, &decoder->element_map);
}

}  // namespace

void aac_init_decoder(aac_dec_config *config, aac_decoder *decoder)
{
    decoder->stream_flag = config->stream_flag;
    decoder->profile = config->profile;
    decoder->sampling_frequency_index = config->sampling_frequency_index;
    decoder->channel_configuration = config->channel_configuration;

    if (config->input_size > 0)
        parse_configuration_pce(config, decoder);
    else
        aac_map_from_layout(decoder->channel_configuration, &decoder->element_map);

    if (static_cast<uint32_t>(decoder->stream_flag) > 1 || decoder->profile != 1 ||
        static_cast<uint32_t>(decoder->sampling_frequency_index) > 11 ||
        static_cast<uint32_t>(decoder->channel_configuration) - 1 >= 10)
        aac_raise(AAC_ERR_BAD_STREAM);

    aac_fill_stream_tables(decoder->profile, decoder->sampling_frequency_index,
                           &decoder->stream_tables);
}

aac_decoder *aac_build_decoder(aac_dec_config *config)
{
    aac_decoder *decoder = nullptr;
    aac_status status;
    {
        aac_guard frame;
        status = frame.run([&] {
            decoder = static_cast<aac_decoder *>(aac_mem.calloc_func(1, sizeof *decoder));
            if (decoder == nullptr)
                aac_raise(AAC_ERR_NO_MEMORY);
            aac_init_decoder(config, decoder);
        });
    }
    if (status != AAC_OK) {
        if (decoder != nullptr) {
            aac_release_decoder(decoder);
            aac_mem.free_func(decoder);
        }
        aac_raise(status);
    }
    return decoder;
}

void aac_release_decoder(aac_decoder *decoder)
{
    if (decoder->pool != nullptr) {
        void *block = reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(decoder->out_block) &
                                               ~uintptr_t{AAC_SLOT_STATE_MASK});
        decoder->pool->ops->put(decoder->pool, block);
        decoder->out_block = nullptr;
    }
    for (void *&work : decoder->work_alloc) {
        aac_free_aligned(work);
        work = nullptr;
    }
    for (void *&gain : decoder->gain_alloc) {
        aac_free_aligned(gain);
        gain = nullptr;
    }
    if (lumdec::he_decoder *he = lumdec::he_of(decoder))
        lumdec::he_release(he);
}

extern "C" {

AAC_API aac_status AAC_CALL aac_dec_create(aac_decoder **out, aac_dec_config *config)
{
    aac_decoder *decoder = nullptr;
    aac_guard frame;
    aac_status status = frame.run([&] {
        if (out == nullptr || config == nullptr)
            aac_raise(AAC_ERR_BAD_STREAM);
        decoder = aac_build_decoder(config);
    });
    if (status == AAC_OK)
        *out = decoder;
    return status;
}

AAC_API aac_status AAC_CALL aac_dec_destroy(aac_decoder *decoder)
{
    // The host must not pass null; doing nothing is the one safe answer.
    if (decoder == nullptr)
        return AAC_OK;
    aac_release_decoder(decoder);
    aac_mem.free_func(decoder);
    return AAC_OK;
}

}  // extern "C"
