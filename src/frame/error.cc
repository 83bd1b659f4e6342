#include "frame/error.h"

#include <cstdlib>

#include "frame/tls_slot.h"

namespace lumdec {

aac_error_frame *aac_innermost_frame()
{
    return static_cast<aac_error_frame *>(aac_tls_get());
}

void aac_raise(aac_status status, aac_reason reason)
{
    aac_error_frame *frame = aac_innermost_frame();
    if (frame == nullptr)
        std::abort();  // a raise outside every guarded call is a library bug
    frame->status = status;
    frame->reason = reason.text;
    AAC_RESUME_CONTEXT(frame->context);
}

void aac_raise(aac_status status)
{
    aac_raise(status, aac_reason(nullptr));
}

aac_guard::aac_guard() noexcept
{
    frame_.previous = aac_innermost_frame();
    aac_tls_set(&frame_);
}

aac_guard::~aac_guard()
{
    aac_tls_set(frame_.previous);
}

}  // namespace lumdec
