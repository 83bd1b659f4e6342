// The thread-local slot that holds each thread's innermost error frame.
// The slot is allocated when the library is loaded and freed when it is
// unloaded; until then its index is AAC_TLS_NONE.  How the platform provides
// the slot is known only to tls_slot_posix.cc (a pthread key) and
// tls_slot_windows.cc (a TLS index), one of which the build picks.
#pragma once

#include <cstdint>

namespace lumdec {

inline constexpr uint32_t AAC_TLS_NONE = 0xFFFFFFFFu;

extern uint32_t aac_tls_index;

// Load-time initialiser: attach = 1 allocates the slot (0 when none is
// available); attach = 0 frees it if one was allocated.
int aac_init_tls_slot(int attach);

void *aac_tls_get();
void aac_tls_set(void *value);

}  // namespace lumdec
