// Decodes a test stream through the public interface, the way a host does:
// ADTS headers stripped, the decoder configured by layout number or by the
// program_config_element of the first frame, gains 1.0, a block pool and an
// output hook that collects every block.
#pragma once

#include <functional>

#include "lumdec.h"
#include "test_streams.h"

struct DecodeOptions {
    bool conceal = false;
    // Frame contents handed to the decoder, by default the stream's own.
    std::function<std::vector<uint8_t>(size_t frame, const std::vector<uint8_t> &payload)> mutate;
};

struct DecodeResult {
    aac_status create_status = AAC_OK;
    int layout = 0;
    std::vector<aac_status> status;      // per frame
    std::vector<int32_t> bytes_used;     // per frame
    std::vector<int32_t> payload_size;   // of each frame
    std::vector<unsigned> block_states;  // of every block handed to the hook, in order
    std::vector<float> samples;          // valid blocks, interleaved
    int32_t error_count = 0;
};

// The configuration a host builds for a stream.
aac_dec_config stream_config(const TestStream &stream, const std::vector<uint8_t> &file,
                             const std::vector<AdtsFrame> &frames);

// Every frame, then an input_size 0 call.
DecodeResult decode_stream(const TestStream &stream, const DecodeOptions &options = {});
