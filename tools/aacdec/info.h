// --info: what an input holds, without decoding it.
#pragma once

#include <cstdio>
#include <string>

#include "console.h"

namespace aacdec {

// Prints the description of one input to out; ToolError when the input
// cannot be opened or its stream is not supported.
void print_info(const std::string &path, int track, Console &console, std::FILE *out);

}  // namespace aacdec
