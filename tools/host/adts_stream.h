// What a host program needs to hand an ADTS file to the decoder: the file's
// bytes, where each frame's raw_data_block lies, and how many channels each
// layout (channel configuration) puts out.  Shared by the corpus and
// instruction-count programs and the tests; it uses nothing of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumdec_host {

// Output channels of layouts 0 to 10 (0: none configured).
inline constexpr int kLayoutChannels[11] = {0, 1, 2, 3, 4, 5, 6, 8, 3, 4, 2};

// The whole file; throws std::runtime_error naming it when it cannot be read.
std::vector<uint8_t> read_file(const std::string &path);

// One ADTS frame: its raw_data_block (after the header and, when present,
// the CRC) and the fields of its header a decoder is configured from.
struct AdtsFrame {
    size_t payload_offset, payload_size;
    int sampling_frequency_index, channel_configuration;
};

// The frames of file up to the first bytes that are not a whole ADTS frame;
// *end, when given, receives that position (file.size() when every byte
// belongs to a frame).
std::vector<AdtsFrame> split_adts(const std::vector<uint8_t> &file, size_t *end = nullptr);

}  // namespace lumdec_host
