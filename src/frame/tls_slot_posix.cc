#include "frame/tls_slot.h"

#include <pthread.h>

#include "frame/library.h"

namespace lumdec {

uint32_t aac_tls_index = AAC_TLS_NONE;

// A static link takes the object whose constructor sets the library up only
// when some object it takes refers to it; this object's state is part of
// that set-up, so it does.
[[gnu::used]] static const void *const keep_load_sequence = &aac_load_anchor;

// A pthread key is the platform's slot here; it is a small integer that
// never equals AAC_TLS_NONE.
static_assert(sizeof(pthread_key_t) <= sizeof(uint32_t));

int aac_init_tls_slot(int attach)
{
    if (attach) {
        pthread_key_t key;
        if (pthread_key_create(&key, nullptr) != 0)
            return 0;
        aac_tls_index = static_cast<uint32_t>(key);
        return 1;
    }
    if (aac_tls_index != AAC_TLS_NONE) {
        pthread_key_delete(static_cast<pthread_key_t>(aac_tls_index));
        aac_tls_index = AAC_TLS_NONE;
    }
    return 1;
}

void *aac_tls_get()
{
    return pthread_getspecific(static_cast<pthread_key_t>(aac_tls_index));
}

void aac_tls_set(void *value)
{
    pthread_setspecific(static_cast<pthread_key_t>(aac_tls_index), value);
}

}  // namespace lumdec
