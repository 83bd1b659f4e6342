// The stream configuration a decoder is created from, as ADTS headers and
// the AudioSpecificConfig of MP4 files carry it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file/bits.h"
#include "lumdec.h"

namespace lumdec::file {

inline constexpr int kAacLc = 2;  // audio object type

struct StreamConfig {
    int object_type = 0;  // as signalled: 5 or 29 for explicit hierarchical SBR
    int core_object_type = 0;  // of the AAC core (object_type but for 5 and 29)
    // Index of the decoder's band tables, 0..11 (12..15 are refused).
    int sampling_frequency_index = -1;
    uint32_t sample_rate = 0;
    int channel_configuration = 0;  // 0: the program_config_element below
    // Bytes holding a program_config_element, which starts pce_bit_offset
    // bits into the first byte (right after its element id in a frame).
    std::vector<uint8_t> pce;
    int pce_bit_offset = 0;
    bool frame_length_960 = false;
    bool sbr_signalled = false;  // object type 5 or 29, or the sync extension
    bool ps_signalled = false;
    uint32_t extension_rate = 0;  // output rate SBR announces, else 0
    // The AudioSpecificConfig it was read from (MP4), which the decoder is
    // created from; empty for ADTS.
    std::vector<uint8_t> asc;
};

inline constexpr int kSbr = 5, kSbrPs = 29;

// The standard's rate for an index, 0 for 13..15.
uint32_t rate_of_index(int index);
// The index whose tables serve a rate: the exact one for the twelve
// standard rates, otherwise the standard's nearest-rate ranges.
int index_for_rate(uint32_t rate);

const char *object_type_name(int object_type);

// Parses an AudioSpecificConfig; FileError (input) when it is damaged.
StreamConfig parse_audio_specific_config(std::span<const uint8_t> asc);

// Why the decoder cannot take the configuration, or "" when it can.
std::string unsupported_reason(const StreamConfig &config);
// FileError (unsupported) unless the decoder can take the configuration.
void check_supported(const StreamConfig &config);

// The record aac_dec_create takes for a configuration.  It points into
// config.pce, which must outlive the call.
aac_dec_config decoder_config(const StreamConfig &config);

// Bits from the first byte of config.pce to the end of the program_config_
// element there, as the library's own parser finds them (creating a decoder
// from it); 0 when the decoder refuses the layout.  FileError (input) when
// the element is damaged.
size_t pce_length(const StreamConfig &config);

}  // namespace lumdec::file
