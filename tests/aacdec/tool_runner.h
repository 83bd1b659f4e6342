// Runs the aacdec program in a scratch directory and reads what it wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mp4_builder.h"

struct RunResult {
    int status = -1;
    std::string err;  // standard error
};

class Scratch {
public:
    Scratch();
    ~Scratch();
    const std::string &dir() const { return dir_; }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    std::string write(const std::string &name, const Bytes &bytes) const;
    // Runs aacdec with shell-quoted args in the directory; extra is added
    // to the command line as it stands (redirections, pipes).
    RunResult run(const std::vector<std::string> &args, const std::string &extra = "") const;
    // Names of the files left in the directory.
    std::vector<std::string> files() const;

private:
    std::string dir_;
};

struct Audio {
    int channels = 0, rate = 0, format = 0;
    std::vector<float> samples;  // interleaved, full scale 1.0
};

// Reads a WAV or FLAC file with libsndfile.
Audio read_audio(const std::string &path);
// Reads 16-bit or 24-bit samples as libsndfile's integers (24-bit scaled by 256).
std::vector<int32_t> read_integers(const std::string &path);
std::vector<float> read_floats(const std::string &path);

Bytes read_bytes(const std::string &path);
std::string data_path(const std::string &relative);

// The ADTS frames of a file, headers stripped.
std::vector<Bytes> adts_payloads(const Bytes &file);
