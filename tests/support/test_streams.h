// The test streams in tests/data (LC) and tests/data/he (HE-AAC): their
// lists, ADTS framing and references.
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
    std::string folder;       // below tests/data: "" or "he/"
    int sampling_frequency_index;  // of the core
    int layout;               // 1..10, or 0 for a stream refused at creation
    int channels;             // of the output
    int pce_bit_offset = -1;  // -1: configured by layout number
    int32_t expected_status = 0;  // of the decoder's creation
    std::string comparison = "exact";  // or "noise_energy"
    int frames;
    std::vector<std::pair<int, int>> pairs;  // channel pairs of the output
    bool he = false;          // made through the HE exports
    int samples_per_frame = 1024;  // output samples per channel per frame
    std::vector<uint8_t> asc;  // HE: empty, configured from the ADTS header
};

// Names the stream in test output (instead of its bytes).
inline void PrintTo(const TestStream &stream, std::ostream *os) { *os << stream.name; }

// Every stream listed in tests/data/streams.tsv.
const std::vector<TestStream> &test_streams();
// Those that a decoder is created for (not refused at creation).
std::vector<TestStream> decodable_test_streams();
// Every stream listed in tests/data/he/streams.tsv.
const std::vector<TestStream> &he_test_streams();
// A stream of either list.
const TestStream &test_stream(const std::string &name);
std::string test_data_path(const std::string &relative);
// The bytes written as hex digits ("1388" -> 0x13 0x88).
std::vector<uint8_t> hex_bytes(const std::string &hex);

// The stream's reference output: interleaved floats, (frames - 1) blocks.
std::vector<float> read_reference(const TestStream &stream);
