// The test streams in tests/data: their list, ADTS framing and references.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "adts_stream.h"

using lumdec_host::AdtsFrame;
using lumdec_host::read_file;
using lumdec_host::split_adts;

struct TestStream {
    std::string name;
    int sampling_frequency_index;
    int layout;               // 1..10, or 0 for a stream refused at creation
    int channels;
    int pce_bit_offset;       // -1: configured by layout number
    int32_t expected_status;  // of the decoder's creation
    std::string comparison;   // "exact" or "noise_energy"
    int frames;
    std::vector<std::pair<int, int>> pairs;  // channel pairs of the output
};

// Names the stream in test output (instead of its bytes).
inline void PrintTo(const TestStream &stream, std::ostream *os) { *os << stream.name; }

// Every stream listed in tests/data/streams.tsv.
const std::vector<TestStream> &test_streams();
// Those that a decoder is created for (not refused at creation).
std::vector<TestStream> decodable_test_streams();
const TestStream &test_stream(const std::string &name);
std::string test_data_path(const std::string &relative);

// The stream's reference output: interleaved floats, (frames - 1) x 1024
// per channel.
std::vector<float> read_reference(const TestStream &stream);
