// Creation of HE-AAC decoders from values, the output format query, the
// first-call buffers and the frame parser's notes of SBR payloads.
#include "decoder/he_instance.h"

#include <cstring>

#include "decoder/instance.h"
#include "decoder/layouts.h"
#include "frame/allocator.h"
#include "frame/error.h"
#include "sbr/sbr_process.h"
#include "sbr/sbr_tables.h"

namespace lumdec {

namespace {

const int32_t sample_rates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                  24000, 22050, 16000, 12000, 11025, 8000};

constexpr uint32_t round16(uint32_t n)
{
    return (n + 15) & ~uint32_t{15};
}

struct resource_layout {
    uint32_t channels, unity, windows, core, stereo_re, stereo_im, stereo_v, sink, ps, total;
};

// A mono core that may carry parametric stereo gets the PS tool's state.
resource_layout layout_of(int core_channels, bool ps)
{
    resource_layout r{};
    uint32_t at = 0;
    r.channels = at;
    at += round16(static_cast<uint32_t>(core_channels) * sizeof(sbr_channel));
    r.unity = at;
    at += round16(sizeof(aac_channel_gain));
    r.windows = at;
    at += 8 * 640 * sizeof(float);
    r.core = at;
    at += 2 * 1024 * sizeof(float);
    r.stereo_re = at;
    at += 32 * 64 * sizeof(float);
    r.stereo_im = at;
    at += 32 * 64 * sizeof(float);
    r.stereo_v = at;
    at += (9 + 32) * 128 * sizeof(float);
    r.sink = at;
    at += 2 * 2048 * sizeof(float);
    r.ps = at;
    at += ps ? round16(sizeof(ps_state)) : 0;
    r.total = at;
    return r;
}

// The most the stream can become, before the first frame says what it is.
void initial_format(he_decoder *he)
{
    const aac_layout &layout = aac_layouts[he->base.channel_configuration];
    aac_output_format &f = he->format;
    const bool sbr = he->sbr_mode != AAC_SBR_OFF && he->sbr_rate_index >= 0;
    const bool ps = sbr && layout.num_channels == 1 && he->ps_mode != AAC_PS_OFF;
    const int core_rate = sample_rates[he->base.sampling_frequency_index];
    f.core_sample_rate = core_rate;
    f.sbr = sbr;
    f.ps = ps;
    f.channels = layout.num_channels + (ps ? 1 : 0);
    const bool doubled = sbr && he->sbr_mode != AAC_SBR_DOWNSAMPLED;
    f.samples_per_block = doubled ? 2048 : 1024;
    f.sample_rate = doubled ? 2 * core_rate : core_rate;
    f.block_bytes = f.channels * f.samples_per_block * 4;
    f.fixed = 0;
    f.object_type = ps ? 29 : sbr ? 5 : 2;
    f.sbr_errors = 0;
}

aac_status build(aac_decoder **out, aac_he_config *config)
{
    he_decoder *he = nullptr;
    aac_guard frame;
    aac_status status = frame.run([&] {
        if (out == nullptr || config == nullptr)
            aac_raise(AAC_ERR_BAD_STREAM, "null argument");
        if (static_cast<uint32_t>(config->sbr_mode) > AAC_SBR_DOWNSAMPLED ||
            static_cast<uint32_t>(config->ps_mode) > AAC_PS_EXPLICIT)
            aac_raise(AAC_ERR_BAD_STREAM, "unknown SBR or PS mode");
        he = static_cast<he_decoder *>(aac_mem.calloc_func(1, sizeof(he_decoder)));
        if (he == nullptr)
            aac_raise(AAC_ERR_NO_MEMORY, "HE instance record");
        aac_init_decoder(&config->core, &he->base);
        he->sbr_mode = config->sbr_mode;
        he->ps_mode = config->ps_mode;
        // The SBR tool runs at twice the core rate (also when its output
        // is downsampled); its rate tables start at 96 kHz.
        he->sbr_rate_index = he->base.sampling_frequency_index - 3;
        if (he->sbr_rate_index < 0) {
            if (he->sbr_mode == AAC_SBR_EXPLICIT || he->sbr_mode == AAC_SBR_DOWNSAMPLED)
                aac_raise(AAC_ERR_BAD_STREAM, "SBR above a 48 kHz core");
            he->sbr_rate_index = -1;
        }
        const aac_layout &layout = aac_layouts[he->base.channel_configuration];
        for (int i = 0; i < layout.num_elements; i++) {
            sbr_element &el = he->sbr[i];
            el.num_channels = layout.elements[i].kind == AAC_ELEMENT_CPE ? 2 : 1;
            el.rate_index = he->sbr_rate_index;
            el.ps_allowed = layout.num_channels == 1 && he->ps_mode != AAC_PS_OFF;
        }
        initial_format(he);
        he->base.reserved0 = he_marker;
    });
    if (status != AAC_OK) {
        if (he != nullptr) {
            aac_release_decoder(&he->base);
            aac_mem.free_func(he);
        }
        return status;
    }
    *out = &he->base;
    return AAC_OK;
}

}  // namespace

void he_setup(he_decoder *he)
{
    const aac_layout &layout = aac_layouts[he->base.channel_configuration];
    const bool ps = layout.num_channels == 1 && he->ps_mode != AAC_PS_OFF;
    const resource_layout r = layout_of(layout.num_channels, ps);
    if (he->resources == nullptr) {
        he->resources = aac_alloc_aligned(r.total);
        if (he->resources == nullptr)
            aac_raise(AAC_ERR_NO_MEMORY, "SBR buffers");
    }
    char *base = static_cast<char *>(he->resources);
    he->channels = reinterpret_cast<sbr_channel *>(base + r.channels);
    he->unity = reinterpret_cast<aac_channel_gain *>(base + r.unity);
    he->windows = reinterpret_cast<float *>(base + r.windows);
    he->core = reinterpret_cast<float *>(base + r.core);
    he->stereo_re = reinterpret_cast<float (*)[64]>(base + r.stereo_re);
    he->stereo_im = reinterpret_cast<float (*)[64]>(base + r.stereo_im);
    he->stereo_v = reinterpret_cast<float *>(base + r.stereo_v);
    he->sink = reinterpret_cast<float *>(base + r.sink);
    std::memset(he->stereo_v, 0, (9 + 32) * 128 * sizeof(float));
    he->ps = ps ? reinterpret_cast<ps_state *>(base + r.ps) : nullptr;
    if (he->ps)
        ps_reset(he->ps);

    // The core runs in the 16-bit scale that the SBR energies refer to;
    // the host's gain, the 16-bit-to-1.0 scale and the synthesis bank's 1/64
    // go into each output channel's prototype.
    aac_fill_channel_gain(he->unity, 32768.0f);
    // The 32-band synthesis of downsampled SBR takes the even taps.
    const bool down = he->sbr_mode == AAC_SBR_DOWNSAMPLED;
    for (int c = 0; c < 8; c++) {
        float *w = he->windows + 640 * c;
        if (down) {
            const float scale = he->base.gain[c] * 0x1p-15f * 0x1p-6f;
            for (int i = 0; i < 320; i++)
                w[i] = sbr_qmf_window[2 * i] * scale;
        } else {
            const float scale = he->base.gain[c] * 0x1p-15f * 0x1p-6f;
            for (int i = 0; i < 640; i++)
                w[i] = sbr_qmf_window[i] * scale;
        }
    }
    int channel = 0;
    for (int i = 0; i < layout.num_elements; i++) {
        sbr_element &el = he->sbr[i];
        for (int c = 0; c < el.num_channels; c++) {
            el.ch[c] = he->channels + channel++;
            sbr_reset_channel(el.ch[c]);
        }
    }
}

void he_release(he_decoder *he)
{
    aac_free_aligned(he->resources);
    he->resources = nullptr;
}

void he_begin_frame(he_decoder *he)
{
    for (sbr_element &el : he->sbr)
        el.payload_present = 0;
    he->last_element = -1;
}

void he_note_element(he_decoder *he, int32_t offset)
{
    he->last_element = -1;
    if (offset < 0)
        return;
    const aac_layout &layout = aac_layouts[he->base.channel_configuration];
    for (int i = 0; i < layout.num_elements; i++)
        if (aac_element_offset(layout, i) == static_cast<uint32_t>(offset))
            he->last_element = i;
}

void he_note_fill(he_decoder *he, aac_bit_reader *reader)
{
    aac_bits_fill(reader, 12);
    int32_t count = static_cast<int32_t>(aac_bits_read(reader, 4));
    if (count == 15)
        count += static_cast<int32_t>(aac_bits_read(reader, 8)) - 1;
    if (count <= 0)
        return;
    aac_bits_fill(reader, 8);
    const uint32_t type = aac_bits_peek(reader, 4);
    const int32_t start = aac_bits_position(reader) + 4;
    aac_bits_skip(reader, 8);
    aac_bits_skip_bytes(reader, count - 1);
    // EXT_SBR_DATA and EXT_SBR_DATA_CRC; the first payload of an element
    // counts.
    if ((type == 13 || type == 14) && he->last_element >= 0 && he->sbr_rate_index >= 0 &&
        he->sbr_mode != AAC_SBR_OFF) {
        sbr_element &el = he->sbr[he->last_element];
        if (!el.payload_present) {
            el.payload_present = 1;
            el.payload_crc = type == 14;
            el.payload_start = start;
            el.payload_bits = 8 * count - 4;
        }
    }
}

}  // namespace lumdec

using namespace lumdec;

extern "C" {

AAC_API aac_status AAC_CALL aac_dec_create_he(aac_decoder **out, aac_he_config *config)
{
    return build(out, config);
}

AAC_API aac_status AAC_CALL aac_dec_get_format(const aac_decoder *dec, aac_output_format *format)
{
    if (dec == nullptr || format == nullptr)
        return AAC_ERR_BAD_STREAM;
    if (dec->reserved0 == he_marker) {
        *format = reinterpret_cast<const he_decoder *>(dec)->format;
        for (const sbr_element &el : reinterpret_cast<const he_decoder *>(dec)->sbr)
            format->sbr_errors += el.error_count;
        return AAC_OK;
    }
    const aac_layout &layout = aac_layouts[dec->channel_configuration];
    aac_output_format f{};
    f.core_sample_rate = f.sample_rate = sample_rates[dec->sampling_frequency_index];
    f.channels = layout.num_channels;
    f.samples_per_block = 1024;
    f.block_bytes = f.channels * 4096;
    f.fixed = 1;
    f.object_type = 2;
    *format = f;
    return AAC_OK;
}

}  // extern "C"
