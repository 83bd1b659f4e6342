// One decoding of an opened input, pulled block by block: a decoder created
// for the input's configuration (its format found on the first frame), fed
// the input's frames and the frames that complete the output at both ends,
// its blocks trimmed to the presented span and queued for the reader.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "file/input.h"
#include "lumdec.h"

namespace lumdec::file {

struct DecodeSettings {
    float gain = 1.0f;
    bool strict = false;
    bool core_only = false;
};

struct DecodeCounts {
    uint64_t frames = 0;       // frames of the input handed to the decoder
    uint64_t lost_frames = 0;  // of them, concealed as lost
    uint64_t samples = 0;      // per channel, delivered
};

class FileDecoder {
public:
    // Creates the decoder and decodes the first frames on a probe until one
    // fixes the output format (at most kProbeFrames; if none does, the AAC
    // core is decoded alone); then sets the span on the output timeline.  FileError
    // (unsupported, input or memory) when the configuration is refused.
    FileDecoder(OpenedInput &in, const DecodeSettings &settings);
    ~FileDecoder();
    FileDecoder(const FileDecoder &) = delete;
    FileDecoder &operator=(const FileDecoder &) = delete;

    const aac_output_format &format() const { return format_; }
    // The output's layout number (2 for parametric stereo on a mono core).
    int layout() const { return layout_; }
    const OutputSpan &span() const { return span_; }

    // Up to `frames` samples per channel of the output into planes[c]
    // (channel c in the decoder's order), each plane `stride` floats
    // apart; the count written, 0 at the end.  FileError (decode) for
    // damage when strict, (memory) when the decoder runs out.
    size_t read(float *out, size_t frames, size_t stride, bool interleaved, const uint8_t *order);
    const DecodeCounts &counts() const { return counts_; }
    // New warnings are appended as the reading finds damage.
    std::vector<std::string> &warnings() { return warnings_; }

    struct Run;

private:
    // as_configured: as the stream signals SBR and PS (implicitly for
    // ADTS); announced: SBR (and PS) as the probe found them; core: AAC LC.
    enum class Signalling { as_configured, announced, core };
    static constexpr size_t kProbeFrames = 8;
    // The constructor's work, and what the destructor gives back (also when
    // start() fails half-way).
    void start();
    void release() noexcept;
    aac_decoder *create(Signalling signalling, bool forced_ps, bool downsampled);
    void step();
    void finish();

    OpenedInput &in_;
    DecodeSettings settings_;
    aac_decoder *dec_ = nullptr;
    aac_frame_alloc *pool_ = nullptr;
    aac_output_format format_{};
    int layout_ = 0;
    OutputSpan span_;
    std::vector<std::string> warnings_;
    DecodeCounts counts_;
    std::unique_ptr<Run> run_;
    bool done_ = false;
};

}  // namespace lumdec::file
