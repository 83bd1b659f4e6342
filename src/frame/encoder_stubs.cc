// The encoder entry points exist so that hosts written against the full
// interface load; encoding is not supported.
#include "lumdec.h"

namespace lumdec {

}  // namespace lumdec

using namespace lumdec;

extern "C" {

AAC_API aac_status AAC_CALL aac_enc_create(void *, const void *) { return AAC_ERR_UNSUPPORTED; }
AAC_API aac_status AAC_CALL aac_enc_destroy(void *) { return AAC_ERR_UNSUPPORTED; }
AAC_API aac_status AAC_CALL aac_enc_encode(void *) { return AAC_ERR_UNSUPPORTED; }

}  // extern "C"
