// The HE-AAC test streams in tests/data/he and a host that decodes them
// through the HE exports: created from the ADTS header's values with
// implicit SBR and PS, or from the AudioSpecificConfig the list gives;
// blocks of the size the output format asks for, every valid one collected.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "lumdec.h"

struct HeStream {
    std::string name;
    int sampling_frequency_index;  // of the core
    int layout;                    // of the core
    int channels;                  // output channels
    int samples_per_frame;         // output samples per channel per frame
    std::vector<uint8_t> asc;      // empty: configured from the ADTS header
    int frames;
    std::vector<std::pair<int, int>> pairs;
};

inline void PrintTo(const HeStream &stream, std::ostream *os) { *os << stream.name; }

const std::vector<HeStream> &he_streams();
const HeStream &he_stream(const std::string &name);
std::vector<float> read_he_reference(const HeStream &stream);

struct HeOptions {
    bool conceal = true;
    float gains[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    int32_t sbr_mode = AAC_SBR_IMPLICIT;  // for streams configured by values
    // Frame contents handed to the decoder, by default the stream's own.
    std::function<std::vector<uint8_t>(size_t frame, const std::vector<uint8_t> &payload)> mutate;
    aac_syn_elem_hook syn_elem_hook = nullptr;
};

struct HeResult {
    aac_status create_status = AAC_OK;
    aac_output_format created{};  // the format right after creation
    aac_output_format format{};   // after the last frame
    std::vector<aac_status> status;
    std::vector<unsigned> block_states;
    std::vector<float> samples;   // valid blocks, interleaved
    int32_t error_count = 0;
};

HeResult decode_he_stream(const HeStream &stream, const HeOptions &options = {});
