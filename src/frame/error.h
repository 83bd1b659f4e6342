// Error frames: how any layer of the library abandons an operation.
//
// Every export that can fail opens an error frame for its body.  Code below
// it reports failure only by aac_raise(), which jumps straight back to the
// innermost open frame; that frame's export performs its own clean-up and
// returns the status.  The innermost frame of each thread is kept in the
// thread's error-frame slot, and every frame puts the previous value back
// when it closes, whichever way it is left.
//
// A raise is a longjmp to the context the frame saved: it allocates nothing
// (a C++ exception would take its object from the heap, past the allocator
// hooks, once per concealed frame) and runs no code of the functions it
// leaves.  That is sound only because nothing between an export's frame and
// a raise owns anything with a destructor: the library is written in plain
// records that an export or a later destroy releases (DEVELOPERS.md, Errors).
#pragma once

#include <csetjmp>
#include <new>

#include "lumdec.h"

// Checked builds (LUMDEC_CHECKED) keep the reason each raise gives.
#ifndef LUMDEC_CHECKED
#define LUMDEC_CHECKED 0
#endif

namespace lumdec {

#if defined(_WIN32)
// The C runtime's longjmp on Windows unwinds through the system's exception
// dispatcher; the compiler's own pair restores the stack and frame pointers
// and the resume address, which is all a raise needs.
using aac_jump_context = void *[5];
#define AAC_SAVE_CONTEXT(context) __builtin_setjmp(context)
#define AAC_RESUME_CONTEXT(context) __builtin_longjmp(context, 1)
#else
// The C library's pair, which the sanitizers know how to follow.
using aac_jump_context = std::jmp_buf;
#define AAC_SAVE_CONTEXT(context) setjmp(context)
#define AAC_RESUME_CONTEXT(context) std::longjmp(context, 1)
#endif

struct aac_error_frame {
    aac_jump_context context;   // where a raise resumes
    aac_error_frame *previous;  // innermost frame when this one was opened
    aac_status status;          // what the raise reported
    const char *reason;         // its reason (checked builds), else null
};

// Why a raise happens, in words, for whoever triages a refused frame.  The
// text is kept only in checked builds; elsewhere the literal at the raise
// is used at compile time only and never reaches the binary.
struct aac_reason {
    consteval aac_reason(const char *text) noexcept : text(LUMDEC_CHECKED ? text : nullptr) {}
    const char *text;
};

// Abandons the running operation with `status` (a negative value).  Only
// ever called while a frame is open on the calling thread.
[[noreturn]] void aac_raise(aac_status status, aac_reason reason);

// For statuses that come from outside (a host hook's result), which carry no
// reason of the library's own.
[[noreturn]] void aac_raise(aac_status status);

// The innermost open frame of the calling thread, or null.
aac_error_frame *aac_innermost_frame();

#if __cpp_exceptions
// Status given to a C++ exception that tries to leave a guarded body (one
// thrown by a host hook written in C++, say): nothing may cross a C export.
// Code built without exceptions (the 32-bit DLL) has nothing to catch: an
// exception thrown by a hook cannot pass through it and ends the process.
inline aac_status aac_foreign_exception_status() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return AAC_ERR_NO_MEMORY;
    } catch (...) {
        return AAC_ERR_UNSUPPORTED;
    }
}
#endif

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

    // Kept out of line: the frame's context must belong to a function that
    // is still running when a raise resumes it.
    template <class Body>
    [[gnu::noinline]] aac_status run(Body &&body) noexcept
    {
        frame_.reason = nullptr;
        if (AAC_SAVE_CONTEXT(frame_.context) != 0)
            return frame_.status;
#if __cpp_exceptions
        try {
            body();
        } catch (...) {
            return aac_foreign_exception_status();
        }
#else
        body();
#endif
        return AAC_OK;
    }

    // The reason of the last raise this frame caught (checked builds).
    const char *reason() const { return frame_.reason; }

private:
    aac_error_frame frame_;
};

}  // namespace lumdec
