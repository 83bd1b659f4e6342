// Decoder creation from an AudioSpecificConfig: the object type (2, or 5 and
// 29 around a core of type 2), the rates, the channel configuration or a
// program_config_element, and the backward-compatible sync extensions that
// announce SBR (0x2B7) and parametric stereo (0x548) after an LC config.
#include <cstdint>

#include "decoder/he_instance.h"
#include "frame/error.h"
#include "syntax/bit_reader.h"
#include "syntax/pce.h"

namespace lumdec {

namespace {

const int32_t rates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                           24000, 22050, 16000, 12000, 11025, 8000};

struct asc_reader {
    aac_bit_reader bits;
    int32_t size_bits;

    uint32_t get(int n) { return aac_bits_get(&bits, n); }
    int32_t left() const { return size_bits - aac_bits_position(&bits); }

    // A value read past the end is no reason to refuse the configuration:
    // it is cut short.
    [[noreturn]] void refuse(aac_reason reason) const
    {
        if (left() < 0)
            aac_raise(AAC_ERR_CORRUPT_FRAME, "AudioSpecificConfig cut short");
        aac_raise(AAC_ERR_BAD_STREAM, reason);
    }
};

int read_object_type(asc_reader &r)
{
    int type = static_cast<int>(r.get(5));
    if (type == 31)
        type = 32 + static_cast<int>(r.get(6));
    return type;
}

// An explicit frequency is accepted when it is one of the table's.
int read_rate_index(asc_reader &r)
{
    const int index = static_cast<int>(r.get(4));
    if (index != 15)
        return index;
    const int32_t rate = static_cast<int32_t>(r.get(24));
    for (int i = 0; i < 12; i++)
        if (rates[i] == rate)
            return i;
    r.refuse("a sampling frequency outside the table");
}

// Parses the configuration into a creation record (a program_config_element
// is handed on by its position, for the creation to read again).
void parse(const uint8_t *asc, int32_t size, int32_t flags, aac_he_config *config)
{
    if (asc == nullptr || size <= 0)
        aac_raise(AAC_ERR_BAD_STREAM, "no AudioSpecificConfig");
    asc_reader r;
    aac_bits_init(&r.bits, asc, size);
    r.size_bits = 8 * size;

    int type = read_object_type(r);
    const int index = read_rate_index(r);
    const int channels = static_cast<int>(r.get(4));
    int sbr = -1, ps = -1, ext_index = -1;
    if (type == 5 || type == 29) {
        sbr = 1;
        ps = type == 29 ? 1 : -1;
        ext_index = read_rate_index(r);
        type = read_object_type(r);
    }
    if (type != 2 || index > 11)
        r.refuse("an object type or rate other than AAC LC's");

    // GASpecificConfig: 960-sample frames and core coders are refused.
    if (r.get(1) != 0 || r.get(1) != 0)
        r.refuse("960-sample frames or a core coder");
    const bool extension = r.get(1) != 0;
    config->core.profile = 1;
    config->core.sampling_frequency_index = index;
    config->core.channel_configuration = channels;
    if (channels == 0) {
        const int32_t at = aac_bits_position(&r.bits);
        config->core.input_data = asc + at / 8;
        config->core.bit_offset = at % 8;
        config->core.input_size = size - at / 8;
        aac_pce pce;
        aac_parse_pce(&r.bits, &pce);
    } else if (channels > 7) {
        r.refuse("a reserved channel configuration");
    }
    if (extension)
        r.get(1);  // extensionFlag3

    if (sbr < 0 && r.left() >= 16 && r.get(11) == 0x2B7) {
        if (read_object_type(r) == 5) {
            sbr = static_cast<int>(r.get(1));
            if (sbr == 1) {
                ext_index = read_rate_index(r);
                if (r.left() >= 12 && r.get(11) == 0x548)
                    ps = static_cast<int>(r.get(1));
            }
        }
    }
    if (r.left() < 0)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "AudioSpecificConfig cut short");

    if (sbr == 1) {
        if (ext_index == index)
            config->sbr_mode = AAC_SBR_DOWNSAMPLED;
        else if (ext_index == index - 3)
            config->sbr_mode = AAC_SBR_EXPLICIT;
        else
            r.refuse("an SBR rate neither the core's nor twice it");
    } else if (sbr == 0) {
        config->sbr_mode = AAC_SBR_OFF;
    } else {
        config->sbr_mode = (flags & AAC_ASC_IMPLICIT) ? AAC_SBR_IMPLICIT : AAC_SBR_OFF;
    }
    if (ps == 1)
        config->ps_mode = AAC_PS_EXPLICIT;
    else if (ps == 0 || !(flags & AAC_ASC_IMPLICIT))
        config->ps_mode = AAC_PS_OFF;
    else
        config->ps_mode = AAC_PS_IMPLICIT;
    if (config->sbr_mode == AAC_SBR_OFF)
        config->ps_mode = AAC_PS_OFF;
}

}  // namespace

}  // namespace lumdec

using namespace lumdec;

extern "C" AAC_API aac_status AAC_CALL aac_dec_create_asc(aac_decoder **out, const uint8_t *asc,
                                                          int32_t size, int32_t flags)
{
    aac_he_config config{};
    aac_guard guard;
    const aac_status status = guard.run([&] { parse(asc, size, flags, &config); });
    if (status != AAC_OK)
        return status;
    return aac_dec_create_he(out, &config);
}
