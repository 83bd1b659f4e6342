#include "adts_stream.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace lumdec_host {

std::vector<uint8_t> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<AdtsFrame> split_adts(const std::vector<uint8_t> &file, size_t *end)
{
    std::vector<AdtsFrame> frames;
    size_t pos = 0;
    while (pos + 7 <= file.size()) {
        const uint8_t *h = &file[pos];
        // Syncword, layer 0; protection_absent says whether a CRC follows.
        if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0)
            break;
        const size_t header = h[1] & 1 ? 7 : 9;
        const size_t length = ((h[3] & 3u) << 11) | (h[4] << 3) | (h[5] >> 5);
        if (length < header || pos + length > file.size())
            break;
        frames.push_back({pos + header, length - header, (h[2] >> 2) & 15,
                          ((h[2] & 1) << 2) | (h[3] >> 6)});
        pos += length;
    }
    if (end)
        *end = pos;
    return frames;
}

}  // namespace lumdec_host
