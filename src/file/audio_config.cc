#include "file/audio_config.h"

namespace lumdec::file {

namespace {

const uint32_t kRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                             22050, 16000, 12000, 11025, 8000,  7350};

int read_object_type(BitReader &br)
{
    int type = static_cast<int>(br.read(5));
    return type == 31 ? 32 + static_cast<int>(br.read(6)) : type;
}

// sampling_frequency_index with its 24-bit escape; sets index and rate.
void read_sampling_frequency(BitReader &br, int &index, uint32_t &rate)
{
    index = static_cast<int>(br.read(4));
    if (index == 15) {
        rate = br.read(24);
        if (rate == 0)
            fail(Failure::input, "AudioSpecificConfig gives a sampling rate of 0 Hz");
        index = index_for_rate(rate);
    } else {
        if (index == 13 || index == 14)
            fail(Failure::input, "reserved sampling frequency index " + std::to_string(index));
        rate = kRates[index];
    }
}

bool uses_ga_specific_config(int type)
{
    switch (type) {
    case 1: case 2: case 3: case 4: case 6: case 7:
    case 17: case 19: case 20: case 21: case 22: case 23:
        return true;
    default:
        return false;
    }
}

// The backward-compatible extension after the codec's own config: SBR
// (and PS) signalled to decoders that know it, ignorable by others.
void read_sync_extension(BitReader &br, StreamConfig &config)
{
    if (br.bits_left() < 16 || br.read(11) != 0x2B7)
        return;
    if (read_object_type(br) != 5)
        return;
    config.sbr_signalled = br.read(1) != 0;
    if (!config.sbr_signalled)
        return;
    int index;
    read_sampling_frequency(br, index, config.extension_rate);
    if (br.bits_left() >= 12 && br.read(11) == 0x548)
        config.ps_signalled = br.read(1) != 0;
}

}  // namespace

size_t pce_length(const StreamConfig &config)
{
    if (config.sampling_frequency_index < 0 || config.sampling_frequency_index > 11)
        return 0;
    aac_dec_config c = decoder_config(config);
    aac_decoder *dec = nullptr;
    aac_status status = aac_dec_create(&dec, &c);
    if (status == AAC_ERR_CORRUPT_FRAME)
        fail(Failure::input, "the program_config_element is damaged");
    if (status != AAC_OK)
        return 0;
    aac_dec_destroy(dec);
    return 8 * static_cast<size_t>(c.bytes_used);
}

uint32_t rate_of_index(int index)
{
    return index >= 0 && index < 13 ? kRates[index] : 0;
}

int index_for_rate(uint32_t rate)
{
    static const uint32_t lower_bound[11] = {92017, 75132, 55426, 46009, 37566, 27713,
                                             23004, 18783, 13856, 11502, 9391};
    for (int i = 0; i < 11; i++)
        if (rate >= lower_bound[i])
            return i;
    return 11;
}

const char *object_type_name(int type)
{
    switch (type) {
    case 1: return "AAC Main";
    case 2: return "AAC LC";
    case 3: return "AAC SSR";
    case 4: return "AAC LTP";
    case 5: return "HE-AAC";
    case 6: return "AAC Scalable";
    case 7: return "TwinVQ";
    case 8: return "CELP";
    case 9: return "HVXC";
    case 17: return "ER AAC LC";
    case 19: return "ER AAC LTP";
    case 20: return "ER AAC Scalable";
    case 22: return "ER BSAC";
    case 23: return "ER AAC LD";
    case 29: return "HE-AAC v2";
    case 32: return "MPEG Layer-1";
    case 33: return "MPEG Layer-2";
    case 34: return "MPEG Layer-3";
    case 36: return "ALS";
    case 39: return "ER AAC ELD";
    case 42: return "USAC";
    default: return "unknown";
    }
}

StreamConfig parse_audio_specific_config(std::span<const uint8_t> asc)
{
    BitReader br(asc, "AudioSpecificConfig");
    StreamConfig config;
    config.object_type = read_object_type(br);
    read_sampling_frequency(br, config.sampling_frequency_index, config.sample_rate);
    config.channel_configuration = static_cast<int>(br.read(4));
    config.asc.assign(asc.begin(), asc.end());
    config.core_object_type = config.object_type;
    if (config.object_type == kSbr || config.object_type == kSbrPs) {
        // Explicit SBR: the output rate, then the core's own type and
        // configuration.
        config.sbr_signalled = true;
        config.ps_signalled = config.object_type == kSbrPs;
        int index;
        read_sampling_frequency(br, index, config.extension_rate);
        config.core_object_type = read_object_type(br);
    }
    if (!uses_ga_specific_config(config.core_object_type))
        return config;

    config.frame_length_960 = br.read(1) != 0;
    if (br.read(1))  // dependsOnCoreCoder
        br.skip(14);
    bool extension = br.read(1) != 0;
    if (config.channel_configuration == 0) {
        size_t start = br.position();
        config.pce.assign(asc.begin() + static_cast<ptrdiff_t>(start / 8), asc.end());
        config.pce_bit_offset = static_cast<int>(start % 8);
        size_t length = pce_length(config);
        if (length == 0)
            return config;  // refused: creating the decoder says why
        br.skip(length - start % 8);
    }
    const int core = config.core_object_type;
    if (core == 6 || core == 20)
        br.skip(3);  // layerNr
    if (extension) {
        if (core == 22)
            br.skip(16);
        if (core == 17 || core == 19 || core == 20 || core == 23)
            br.skip(3);
        br.skip(1);
    }
    if (config.sbr_signalled)
        return config;
    // The extension is optional: a damaged one does not spoil the core.
    try {
        read_sync_extension(br, config);
    } catch (const FileError &) {
        config.sbr_signalled = config.ps_signalled = false;
    }
    return config;
}

std::string unsupported_reason(const StreamConfig &config)
{
    const int core = config.core_object_type ? config.core_object_type : config.object_type;
    if (core != kAacLc)
        return "unsupported object type " + std::to_string(core) + " (" + object_type_name(core) +
               "); only AAC LC, HE-AAC and HE-AAC v2 are decoded";
    if (config.frame_length_960)
        return "960-sample frames are not supported";
    if (config.sampling_frequency_index > 11)
        return "sampling rate " + std::to_string(config.sample_rate) + " Hz is not supported";
    if (config.channel_configuration > 7)
        return "channel configuration " + std::to_string(config.channel_configuration) +
               " is not supported";
    return {};
}

void check_supported(const StreamConfig &config)
{
    if (std::string why = unsupported_reason(config); !why.empty())
        fail(Failure::unsupported, why);
}

aac_dec_config decoder_config(const StreamConfig &config)
{
    aac_dec_config c{};
    c.profile = 1;
    c.sampling_frequency_index = config.sampling_frequency_index;
    c.channel_configuration = config.channel_configuration;
    if (config.channel_configuration == 0) {
        c.input_data = config.pce.data();
        c.input_size = static_cast<int32_t>(config.pce.size());
        c.bit_offset = config.pce_bit_offset;
    }
    return c;
}

}  // namespace lumdec::file
