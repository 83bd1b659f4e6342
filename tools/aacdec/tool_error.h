// The failures aacdec reports, each with its exit status, and the exception
// that carries one up to the file's job.
#pragma once

#include <stdexcept>
#include <string>

namespace aacdec {

enum class Failure {
    usage = 1,        // bad command line
    input = 2,        // unreadable input, unknown or damaged container
    unsupported = 3,  // a stream the decoder cannot decode
    output = 4,       // the output cannot be written
    decode = 5,       // a damaged frame under --strict
    interrupted = 128,  // plus the signal (SIGINT 130, SIGTERM 143)
};

// The exit status of a failure; an interruption adds the signal's number.
int exit_status(Failure f);

class ToolError : public std::runtime_error {
public:
    ToolError(Failure failure, const std::string &message)
        : std::runtime_error(message), failure_(failure)
    {
    }
    Failure failure() const { return failure_; }

private:
    Failure failure_;
};

[[noreturn]] inline void fail(Failure f, const std::string &message)
{
    throw ToolError(f, message);
}

}  // namespace aacdec
