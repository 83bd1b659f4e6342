// The failures of the file layer, each with the status the C interface
// returns for it, and the exception that carries one up to the export.
// Exceptions stay inside the layer: every export catches them.
#pragma once

#include <stdexcept>
#include <string>

#include "lumdec.h"

namespace lumdec::file {

enum class Failure {
    input,        // damaged or unknown container: AAC_ERR_FORMAT
    io,           // the source cannot be opened or read: AAC_ERR_IO
    unsupported,  // a stream the decoder cannot decode: AAC_ERR_BAD_STREAM
    usage,        // a bad argument: AAC_ERR_ARGUMENT
    no_track,     // AAC_ERR_NO_TRACK
    decode,       // a damaged frame with strict set: AAC_ERR_CORRUPT_FRAME
    memory,       // AAC_ERR_NO_MEMORY
};

aac_status status_of(Failure f);

class FileError : public std::runtime_error {
public:
    FileError(Failure failure, const std::string &message)
        : std::runtime_error(message), failure_(failure)
    {
    }
    Failure failure() const { return failure_; }

private:
    Failure failure_;
};

[[noreturn]] inline void fail(Failure f, const std::string &message)
{
    throw FileError(f, message);
}

}  // namespace lumdec::file
