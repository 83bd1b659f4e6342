// aacdec's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audio_writer.h"

namespace aacdec {

struct Options {
    std::vector<std::string> inputs;
    std::string output;     // -o: a file, or "-" for standard output
    std::string directory;  // -d: where default output names go
    std::optional<Format> format;
    bool downmix = false;
    bool strict = false;
    bool info = false;
    int quiet = 0;  // -q: no progress line; -qq: no warnings either
    bool help = false;
    bool version = false;
    int track = 0;  // --track N; 0: not given (the first audio track)
    int jobs = 1;
};

// ToolError (usage) on a malformed command line.
Options parse_options(int argc, const char *const *argv);

const char *usage_text();

struct Job {
    std::string input, output;
    Format format;
};

// Output name and format of every input.  Without -o the output takes the
// input's name with the format's extension, in the current directory (or
// the -d directory).  ToolError (usage) when outputs collide or cannot be
// named.
std::vector<Job> plan_jobs(const Options &options);

}  // namespace aacdec
