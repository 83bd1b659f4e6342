// What aacdec says on standard error: one-line errors and warnings naming
// the file, and a progress line that only a terminal gets.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "decoding.h"

namespace aacdec {

class Console {
public:
    Console(bool quiet, bool progress_line);
    void error(const std::string &file, const std::string &message);
    void warning(const std::string &file, const std::string &message);
    void progress(const std::string &line);
    // Removes the progress line, if one is shown.
    void clear();

private:
    void print(const std::string &line);

    std::mutex mutex_;
    bool quiet_, progress_line_, shown_ = false;
};

// The progress of one file's decoding, shown at most ten times a second.
class FileProgress : public Progress {
public:
    FileProgress(Console &console, std::string file, std::string position);
    void warning(const std::string &message) override;
    void advanced(double share, double seconds) override;

private:
    Console &console_;
    std::string file_, position_;
    std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace aacdec
