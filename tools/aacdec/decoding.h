// aacdec's side of a decoding: an input opened through the library's file
// interface, and its samples handed to a writer block by block.
#pragma once

#include <cstdint>
#include <string>

#include "lumdec.h"
#include "tool_error.h"

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

// An open input: path "-" reads standard input.  ToolError for what the
// file interface refuses, with its message.
class Input {
public:
    Input(const std::string &path, int track, bool strict, float gain);
    ~Input();
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    aac_file *handle() const { return file_; }
    const aac_file_info &info() const { return info_; }
    // Reads an ADTS stream through to count its frames (for --info).
    void scan();
    // Warnings the input gave since the last call.
    template <class F>
    void take_warnings(F &&f)
    {
        while (const char *w = aac_file_warning(file_, shown_)) {
            shown_++;
            f(std::string(w));
        }
    }
    // ToolError for a failed call's status, with the handle's message.
    [[noreturn]] void failed(aac_status status) const;

private:
    aac_file *file_ = nullptr;
    aac_file_info info_{};
    int32_t shown_ = 0;
};

// Decodes the whole input into out; with strict set, the first damaged
// frame is a ToolError (decode).
DecodeSummary decode(Input &in, AudioWriter &out, Progress &progress);

}  // namespace aacdec
