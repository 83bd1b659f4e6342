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
    // quiet 1 hides the progress line, 2 the warnings and notes too.
    Console(int quiet, bool terminal);
    void error(const std::string &file, const std::string &message);
    void warning(const std::string &file, const std::string &message);
    // What was done on the user's behalf (a downmix), shown like a warning.
    void note(const std::string &file, const std::string &message);
    // A line that stays after the progress line (the summary of a file).
    void summary(const std::string &line);
    bool shows_progress() const { return progress_line_; }
    void progress(const std::string &line);
    // Removes the progress line, if one is shown.
    void clear();

private:
    void print(const std::string &line);

    std::mutex mutex_;
    bool warnings_, progress_line_, shown_ = false;
};

// The progress of one file's decoding, shown at most ten times a second.
class FileProgress : public Progress {
public:
    FileProgress(Console &console, std::string file, std::string position);
    void warning(const std::string &message) override;
    void advanced(double share, double seconds) override;
    // On a terminal: one line with what was decoded, where it went and how
    // fast.
    void finished(const DecodeSummary &summary, const std::string &output);

private:
    Console &console_;
    std::string file_, position_;
    std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace aacdec
