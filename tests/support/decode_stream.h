// Test streams through the public interface, the way a host decodes them:
// ADTS headers stripped, the decoder configured by layout number or by the
// program_config_element of the first frame (HE streams: through the HE
// exports, from the ADTS header's values or the listed AudioSpecificConfig),
// gains 1.0, a block pool of the output format's block size, and every call
// made through ObservingHost and checked against the frame driver's model
// (stream_model.h).
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "lumdec.h"
#include "observing_host.h"
#include "test_streams.h"

// sbr_mode of an HE stream's decoder that makes it with aac_dec_create, as
// an LC host would.
inline constexpr int32_t kLcHost = -1;

// One decoder for one test stream, fed frame by frame; its output hook
// records every block in the format the decoder reports.
class StreamHost {
public:
    explicit StreamHost(const TestStream &stream, int32_t sbr_mode = AAC_SBR_IMPLICIT);
    ~StreamHost();
    StreamHost(const StreamHost &) = delete;
    StreamHost &operator=(const StreamHost &) = delete;

    std::vector<uint8_t> payload(size_t frame) const;
    // One call on an exact-size heap copy of data (empty: end of stream).
    ObservedCall decode(const std::vector<uint8_t> &data);
    ObservedCall feed(size_t frame) { return decode(payload(frame)); }
    ObservedCall end() { return decode({}); }

    const TestStream stream;
    std::vector<uint8_t> file;
    std::vector<AdtsFrame> frames;
    aac_status create_status;
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    aac_output_format created{};  // the format right after creation
    ObservingHost host;
    // What the host may do with each block before it is recorded.
    std::function<aac_status(void **slot)> on_block = [](void **) { return AAC_OK; };
    std::vector<unsigned> states;               // of every block handed to the hook
    std::vector<std::vector<float>> blocks;     // interleaved samples, empty unless valid
    bool follows_model = true;                  // every call so far as the model predicts

private:
    StreamModel model_;
};

struct DecodeOptions {
    bool conceal = false;
    int32_t sbr_mode = AAC_SBR_IMPLICIT;  // of an HE stream's decoder, or kLcHost
    float gains[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    bool end_of_stream = true;  // finish with an input_size 0 call
    // Frame contents handed to the decoder, by default the stream's own.
    std::function<std::vector<uint8_t>(size_t frame, const std::vector<uint8_t> &payload)> mutate{};
    std::set<size_t> leave_out{};  // frames not handed to the decoder at all
    // Installed as syn_elem_hook when set.
    std::function<aac_status(const aac_syn_elem *list)> on_elements{};
};

struct DecodeResult {
    aac_status create_status = AAC_OK;
    int layout = 0;
    aac_output_format created{}, format{};  // right after creation, after the last call
    std::vector<aac_status> status;      // per decode call with input (frames left out: none)
    std::vector<int32_t> bytes_used;     // per decode call with input
    std::vector<int32_t> payload_size;   // the ADTS payload of each frame
    std::vector<unsigned> block_states;  // of every block handed to the hook, in order
    std::vector<std::vector<float>> blocks;  // per block, interleaved; empty unless valid
    std::vector<float> samples;          // the valid blocks one after another
    int32_t error_count = 0;
    bool noise_used = false;             // noise substitution ran
    bool follows_model = true;
};

DecodeResult decode_stream(const TestStream &stream, const DecodeOptions &options = {});
