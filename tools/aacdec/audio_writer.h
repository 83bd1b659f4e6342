// Writes decoded blocks to the output file: WAV (16-bit, 24-bit or float),
// FLAC (16 or 24-bit) through libsndfile, or raw float, into an OutputFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace aacdec {

enum class Format { wav16, wav24, wavf, flac16, flac24, f32 };

// "wav16", "wav24", "wavf", "flac", "flac24", "f32".
std::optional<Format> format_named(const std::string &name);
// By the extension of a path: .wav is 16-bit, .flac 16-bit, .f32 and .raw
// raw; nothing for other extensions.
std::optional<Format> format_for_path(const std::string &path);
// Whether the path's file name has an extension.
bool has_extension(const std::string &path);

struct Downmix;
const char *extension_of(Format format);
// The decoder gain that puts samples on the scale of the format: the
// integer formats take the library's conversion at 16- or 24-bit scale.
float decoder_gain(Format format);

class AudioWriter {
public:
    // path "-" is standard output.  ToolError (output) when it cannot be
    // created.  mask: the WAV speaker bits of the channels.  With a
    // downmix, the output is its stereo pair.
    AudioWriter(const std::string &path, Format format, int channels, uint32_t mask,
                const Downmix *downmix, uint32_t rate);
    ~AudioWriter();
    AudioWriter(const AudioWriter &) = delete;
    AudioWriter &operator=(const AudioWriter &) = delete;

    int channels() const { return channels_; }
    // Whether blocks come in the decoder's channel order (raw float and
    // the downmix) rather than the WAV order.
    bool decoder_order() const { return downmix_ || format_ == Format::f32; }

    // Frames [from, to) of a block (planar, 1024 samples per
    // channel, 16-byte aligned); a null block writes silence.
    void write(const float *block, size_t from, size_t to);
    // Completes the file and gives it its name.
    void finish();

    struct State;  // public for libsndfile's I/O callbacks

private:
    std::unique_ptr<State> s_;
    Format format_;
    const Downmix *downmix_;
    int channels_;
};

}  // namespace aacdec
