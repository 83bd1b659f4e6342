#include "frame/error.h"

#include <cstdlib>
#include <new>

#include "frame/tls_slot.h"

namespace lumdec {

aac_error_frame *aac_innermost_frame()
{
    return static_cast<aac_error_frame *>(aac_tls_get());
}

void aac_raise(aac_status status)
{
    if (aac_innermost_frame() == nullptr)
        std::abort();  // a raise outside every guarded call is a library bug
    throw aac_raised{status};
}

aac_status aac_foreign_exception_status() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return AAC_ERR_NO_MEMORY;
    } catch (...) {
        return AAC_ERR_UNSUPPORTED;
    }
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
