#include "test_streams.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

void read_pairs(std::istream &fields, TestStream &s)
{
    std::string pairs;
    fields >> pairs;
    std::istringstream each(pairs == "-" ? "" : pairs);
    for (int a, b; each >> a && each.ignore() && each >> b; each.ignore())
        s.pairs.emplace_back(a, b);
}

// The rows of folder/streams.tsv: LC rows list the configuration, HE rows
// the output format and an AudioSpecificConfig.
std::vector<TestStream> read_list(const std::string &folder)
{
    std::vector<TestStream> list;
    std::ifstream in(test_data_path(folder + "streams.tsv"));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        TestStream s;
        s.folder = folder;
        s.he = !folder.empty();
        fields >> s.name >> s.sampling_frequency_index >> s.layout >> s.channels;
        if (s.he) {
            std::string asc;
            fields >> s.samples_per_frame >> asc >> s.frames;
            s.asc = hex_bytes(asc == "-" ? "" : asc);
        } else {
            std::string pce, status;
            fields >> pce >> status >> s.comparison >> s.frames;
            s.pce_bit_offset = pce == "-" ? -1 : std::stoi(pce);
            s.expected_status = static_cast<int32_t>(std::stoul(status, nullptr, 0));
        }
        read_pairs(fields, s);
        list.push_back(s);
    }
    if (list.empty())
        throw std::runtime_error("no streams in " + test_data_path(folder + "streams.tsv"));
    return list;
}

}  // namespace

std::string test_data_path(const std::string &relative)
{
    return std::string(LUMDEC_TEST_DATA_DIR) + "/" + relative;
}

std::vector<uint8_t> hex_bytes(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

const std::vector<TestStream> &test_streams()
{
    static const std::vector<TestStream> streams = read_list("");
    return streams;
}

const std::vector<TestStream> &he_test_streams()
{
    static const std::vector<TestStream> streams = read_list("he/");
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
    for (const auto *list : {&test_streams(), &he_test_streams()})
        for (const TestStream &s : *list)
            if (s.name == name)
                return s;
    throw std::runtime_error("no test stream " + name);
}

std::vector<float> read_reference(const TestStream &stream)
{
    const std::vector<uint8_t> bytes = read_file(test_data_path(stream.folder + "ref/" + stream.name + ".f32"));
    std::vector<float> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    return samples;
}
