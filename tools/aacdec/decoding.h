// One decoding: a decoder created for an input's configuration, fed the
// input's frames (and the frames that complete the output at both ends),
// its blocks trimmed to the output span and handed to a writer.
#pragma once

#include <cstdint>
#include <string>

#include "input.h"
#include "lumdec.h"

namespace aacdec {

class AudioWriter;

class Progress {
public:
    virtual ~Progress() = default;
    virtual void warning(const std::string &message) = 0;
    // share: of the input read (negative when unknown); seconds: of output.
    virtual void advanced(double share, double seconds) = 0;
};

struct DecodeSummary {
    uint64_t frames = 0;       // frames of the input handed to the decoder
    uint64_t lost_frames = 0;  // of them, concealed as lost
    uint64_t samples = 0;      // per channel, written to the output
    double seconds = 0;        // of output
};

class Decoding {
public:
    // Creates the decoder; ToolError (unsupported or input) when the
    // configuration is refused.
    explicit Decoding(const StreamConfig &config);
    ~Decoding();
    Decoding(const Decoding &) = delete;
    Decoding &operator=(const Decoding &) = delete;

    int layout() const { return dec_->channel_configuration; }
    uint32_t sample_rate() const { return rate_; }

    // Decodes every frame of the input into out.  With strict set, the
    // first damaged frame is a ToolError (decode); otherwise damaged frames
    // are concealed and reported to progress as warnings.
    DecodeSummary run(OpenedInput &in, AudioWriter &out, bool strict, Progress &progress);

private:
    struct Run;
    void prepare(AudioWriter &out, bool strict);
    void feed(const InputFrame &frame, Run &run);

    aac_decoder *dec_ = nullptr;
    aac_frame_alloc *pool_ = nullptr;
    uint32_t rate_ = 0;
};

}  // namespace aacdec
