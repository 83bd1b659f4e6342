#include "test_streams.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

std::string test_data_path(const std::string &relative)
{
    return std::string(LUMDEC_TEST_DATA_DIR) + "/" + relative;
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

std::vector<float> read_reference(const TestStream &stream)
{
    const std::vector<uint8_t> bytes = read_file(test_data_path("ref/" + stream.name + ".f32"));
    std::vector<float> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    return samples;
}
