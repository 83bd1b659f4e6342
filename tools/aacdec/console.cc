#include "console.h"

#include <cstdio>

namespace aacdec {

Console::Console(int quiet, bool terminal) : warnings_(quiet < 2), progress_line_(terminal && quiet == 0)
{
}

void Console::print(const std::string &line)
{
    if (shown_)
        std::fputs("\r\033[K", stderr);
    shown_ = false;
    std::fprintf(stderr, "aacdec: %s\n", line.c_str());
}

void Console::error(const std::string &file, const std::string &message)
{
    std::lock_guard lock(mutex_);
    print(file.empty() ? message : file + ": " + message);
}

void Console::warning(const std::string &file, const std::string &message)
{
    std::lock_guard lock(mutex_);
    if (warnings_)
        print(file + ": warning: " + message);
}

void Console::note(const std::string &file, const std::string &message)
{
    std::lock_guard lock(mutex_);
    if (warnings_)
        print(file + ": " + message);
}

void Console::summary(const std::string &line)
{
    std::lock_guard lock(mutex_);
    if (progress_line_)
        print(line);
}

void Console::progress(const std::string &line)
{
    std::lock_guard lock(mutex_);
    if (!progress_line_)
        return;
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Console::clear()
{
    std::lock_guard lock(mutex_);
    if (shown_)
        std::fputs("\r\033[K", stderr);
    shown_ = false;
}

FileProgress::FileProgress(Console &console, std::string file, std::string position)
    : console_(console), file_(std::move(file)), position_(std::move(position)),
      start_(std::chrono::steady_clock::now()), last_(start_)
{
}

void FileProgress::warning(const std::string &message)
{
    console_.warning(file_, message);
}

void FileProgress::advanced(double share, double seconds)
{
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100))
        return;
    last_ = now;
    double wall = std::chrono::duration<double>(now - start_).count();
    char line[512];
    if (share >= 0)
        std::snprintf(line, sizeof line, "%s%s: %3.0f%%, %.1fx realtime", position_.c_str(),
                      file_.c_str(), 100.0 * share, wall > 0 ? seconds / wall : 0.0);
    else
        std::snprintf(line, sizeof line, "%s%s: %.1f s, %.1fx realtime", position_.c_str(),
                      file_.c_str(), seconds, wall > 0 ? seconds / wall : 0.0);
    console_.progress(line);
}

void FileProgress::finished(const DecodeSummary &summary, const std::string &output)
{
    if (!console_.shows_progress())
        return;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char line[256];
    std::snprintf(line, sizeof line, "%.3f s of audio (%llu frames", summary.seconds,
                  static_cast<unsigned long long>(summary.frames));
    std::string text = position_ + file_ + ": " + line;
    if (summary.lost_frames > 0)
        text += ", " + std::to_string(summary.lost_frames) + " concealed";
    std::snprintf(line, sizeof line, ") in %.2f s, %.0fx realtime, to ", wall,
                  wall > 0 ? summary.seconds / wall : 0.0);
    console_.summary(text + line + output);
}

}  // namespace aacdec
