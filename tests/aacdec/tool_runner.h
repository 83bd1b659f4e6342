// Runs the aacdec program in a scratch directory, reads what it wrote, and
// builds ADTS files.
#pragma once

#include <string>
#include <vector>

#include "mp4_builder.h"
#include "test_streams.h"

struct RunResult {
    int status = -1;
    std::string err;  // standard error
};

class Scratch {
public:
    Scratch();
    ~Scratch();
    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    void write(const std::string &name, const Bytes &bytes) const;
    // aacdec with shell-quoted args, run in the directory; extra is added to
    // the command line as it stands (redirections, pipes).
    RunResult run(const std::vector<std::string> &args, const std::string &extra = "") const;
    std::vector<std::string> files() const;  // left in the directory

private:
    std::string dir_;
};

struct Audio {
    int channels = 0;
    std::vector<float> samples;  // interleaved, full scale 1.0
};

// WAV or FLAC through libsndfile, as floats or as its integers (16-bit
// samples in the top half, 24-bit ones scaled by 256); raw floats.
Audio read_audio(const std::string &path);
std::vector<int32_t> read_integers(const std::string &path);
std::vector<float> read_floats(const std::string &path);

// The ADTS frames of a file, headers stripped.
std::vector<Bytes> adts_payloads(const Bytes &file);
// An ADTS frame without error check: byte 2 (profile, rate) and the
// channel configuration's top bits in byte 3 as given.
Bytes adts_frame(const Bytes &payload, uint8_t byte2, uint8_t byte3);
