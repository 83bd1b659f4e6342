// Decodes a test stream through the public interface, the way a host does:
// ADTS headers stripped, the decoder configured by layout number or by the
// program_config_element of the first frame, gains 1.0, a block pool and an
// output hook that collects every block.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "lumdec.h"
#include "test_streams.h"

struct DecodeOptions {
    bool conceal = false;
    float gains[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    bool end_of_stream = true;  // finish with an input_size 0 call
    // Frame contents handed to the decoder, by default the stream's own.
    std::function<std::vector<uint8_t>(size_t frame, const std::vector<uint8_t> &payload)> mutate;
    std::set<size_t> leave_out;  // frames not handed to the decoder at all
};

struct DecodeResult {
    aac_status create_status = AAC_OK;
    int channels = 0;
    int layout = 0;
    std::vector<aac_status> status;      // per decode call with input (frames left out: none)
    std::vector<int32_t> bytes_used;     // per decode call with input
    std::vector<int32_t> payload_size;   // the ADTS payload of each frame
    std::vector<unsigned> block_states;  // of every block handed to the hook, in order
    std::vector<float> samples;          // valid blocks, interleaved
    int32_t error_count = 0;
    bool noise_used = false;             // noise substitution ran
};

// The configuration a host builds for a stream.
aac_dec_config stream_config(const TestStream &stream, const std::vector<uint8_t> &file,
                             const std::vector<AdtsFrame> &frames);

DecodeResult decode_stream(const TestStream &stream, const DecodeOptions &options = {});
