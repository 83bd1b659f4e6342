// --info: what an input holds, without decoding it.
#pragma once

#include <cstdio>
#include <string>

#include "console.h"

namespace aacdec {

// Prints the description of one input to out, also of a stream aacdec
// cannot decode (with the reason); ToolError when the input cannot be read
// or its container is damaged.
void print_info(const std::string &path, int track, Console &console, std::FILE *out);

}  // namespace aacdec
