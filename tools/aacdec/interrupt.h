// Stopping on SIGINT and SIGTERM: the handler records the signal, and every
// loop that reads or writes asks check_stop(), which unwinds the file's job
// (removing its temporary file) with the status 128 + the signal.
#pragma once

#include <atomic>

namespace aacdec {

void request_stop(int signal);
// The signal that asked to stop, or 0.
int stop_signal();
// ToolError (interrupted) once a stop was requested.
void check_stop();

}  // namespace aacdec
