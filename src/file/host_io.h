// Inputs read through a host's hooks (aac_file_io): at random when the
// hooks can seek and give the size, else once front to back.
#pragma once

#include "file/input.h"
#include "lumdec.h"

namespace lumdec::file {

// FileError (io) when a hook fails.
OpenedInput open_host(const aac_file_io &io, int track);

}  // namespace lumdec::file
