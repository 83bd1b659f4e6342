#include "frame/tls_slot.h"

#include <windows.h>

namespace lumdec {

uint32_t aac_tls_index = AAC_TLS_NONE;

static_assert(TLS_OUT_OF_INDEXES == AAC_TLS_NONE);

int aac_init_tls_slot(int attach)
{
    if (attach) {
        DWORD index = TlsAlloc();
        if (index == TLS_OUT_OF_INDEXES)
            return 0;
        aac_tls_index = index;
        return 1;
    }
    if (aac_tls_index != AAC_TLS_NONE) {
        TlsFree(aac_tls_index);
        aac_tls_index = AAC_TLS_NONE;
    }
    return 1;
}

void *aac_tls_get()
{
    return TlsGetValue(aac_tls_index);
}

void aac_tls_set(void *value)
{
    TlsSetValue(aac_tls_index, value);
}

}  // namespace lumdec
