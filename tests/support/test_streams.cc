#include "test_streams.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

std::string test_data_path(const std::string &relative)
{
    return std::string(LUMDEC_TEST_DATA_DIR) + "/" + relative;
}

std::vector<uint8_t> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const std::vector<TestStream> &test_streams()
{
    static const std::vector<TestStream> streams = [] {
        std::vector<TestStream> list;
        std::ifstream in(test_data_path("streams.tsv"));
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream fields(line);
            TestStream s;
            std::string pce, status, pairs;
            fields >> s.name >> s.sampling_frequency_index >> s.layout >> s.channels >> pce >> status >>
                s.comparison >> s.frames >> pairs;
            s.pce_bit_offset = pce == "-" ? -1 : std::stoi(pce);
            s.expected_status = static_cast<int32_t>(std::stoul(status, nullptr, 0));
            std::istringstream each(pairs == "-" ? "" : pairs);
            for (int a, b; each >> a && each.ignore() && each >> b; each.ignore())
                s.pairs.emplace_back(a, b);
            list.push_back(s);
        }
        if (list.empty())
            throw std::runtime_error("no streams in " + test_data_path("streams.tsv"));
        return list;
    }();
    return streams;
}

std::vector<TestStream> decodable_test_streams()
{
    std::vector<TestStream> list;
    for (const TestStream &s : test_streams())
        if (s.layout != 0)
            list.push_back(s);
    return list;
}

const TestStream &test_stream(const std::string &name)
{
    for (const TestStream &s : test_streams())
        if (s.name == name)
            return s;
    throw std::runtime_error("no test stream " + name);
}

std::vector<AdtsFrame> split_adts(const std::vector<uint8_t> &file)
{
    std::vector<AdtsFrame> frames;
    for (size_t pos = 0, length; pos + 7 <= file.size(); pos += length) {
        const uint8_t *h = &file[pos];
        const size_t header = h[1] & 1 ? 7 : 9;
        length = ((h[3] & 3u) << 11) | (h[4] << 3) | (h[5] >> 5);
        if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0 || length < header || pos + length > file.size())
            throw std::runtime_error("not an ADTS stream");
        frames.push_back({pos + header, length - header, (h[2] >> 2) & 15, ((h[2] & 1) << 2) | (h[3] >> 6)});
    }
    return frames;
}

std::vector<float> read_reference(const TestStream &stream)
{
    const std::vector<uint8_t> bytes = read_file(test_data_path("ref/" + stream.name + ".f32"));
    std::vector<float> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    return samples;
}
