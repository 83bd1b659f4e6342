#include "interrupt.h"

#include "tool_error.h"

namespace aacdec {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

}  // namespace

void request_stop(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
}

int stop_signal()
{
    return g_signal.load();
}

int exit_status(Failure f)
{
    if (f == Failure::interrupted)
        return 128 + (stop_signal() ? stop_signal() : 2);
    return static_cast<int>(f);
}

void check_stop()
{
    if (g_signal.load() != 0)
        fail(Failure::interrupted, "interrupted");
}

}  // namespace aacdec
