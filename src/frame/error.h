// Error frames: how any layer of the library abandons an operation.
//
// Every export that can fail opens an error frame for its body.  Code below
// it reports failure only by aac_raise(), which unwinds straight to the
// innermost open frame; that frame's export performs its own clean-up and
// returns the status.  The innermost frame of each thread is kept in the
// thread's error-frame slot, and every frame puts the previous value back
// when it closes, whichever way it is left.
//
// The unwinding is a C++ exception rather than a longjmp, so the frames it
// crosses may hold objects with destructors; code between a raise and its
// frame still must not count on running anything after the raising call.
#pragma once

#include "lumdec.h"

namespace lumdec {

struct aac_error_frame {
    aac_error_frame *previous;  // innermost frame when this one was opened
};

// What aac_raise throws; caught only by aac_guard::run.
struct aac_raised {
    aac_status status;
};

// Abandons the running operation with `status` (a negative value).  Only
// ever called while a frame is open on the calling thread.
[[noreturn]] void aac_raise(aac_status status);

// The innermost open frame of the calling thread, or null.
aac_error_frame *aac_innermost_frame();

// Status given to anything other than aac_raise that tries to leave a
// guarded body (an exception thrown by a host hook written in C++, say):
// nothing may cross a C export.
aac_status aac_foreign_exception_status() noexcept;

// An open error frame, for the lifetime of the object.  run() executes a
// body under the frame and returns 0, or the status raised inside it.  A
// frame may run several bodies one after another: a recovery step after a
// caught raise raises into the same frame again.
class aac_guard {
public:
    aac_guard() noexcept;
    ~aac_guard();
    aac_guard(const aac_guard &) = delete;
    aac_guard &operator=(const aac_guard &) = delete;

    template <class Body>
    aac_status run(Body &&body) noexcept
    {
        try {
            body();
            return AAC_OK;
        } catch (const aac_raised &raised) {
            return raised.status;
        } catch (...) {
            return aac_foreign_exception_status();
        }
    }

private:
    aac_error_frame frame_;
};

}  // namespace lumdec
