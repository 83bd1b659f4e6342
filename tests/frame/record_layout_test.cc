// Built for 32-bit x86, the records that cross the boundary have every
// field at the word a 32-bit host expects.  (c_api_test checks the same
// table at run time as a C host compiles the header.)
#include <cstddef>
#include <cstdint>

#include "lumdec.h"
#include "record_words.h"

#if UINTPTR_MAX == 0xFFFFFFFFu

#define LUMDEC_CHECK_FIELD(record, field, word) \
    static_assert(offsetof(record, field) == 4 * (word), #record "." #field " is misplaced");
#define LUMDEC_CHECK_SIZE(record, words) \
    static_assert(sizeof(record) == 4 * (words), "sizeof(" #record ") is wrong");

LUMDEC_RECORD_FIELDS(LUMDEC_CHECK_FIELD)
LUMDEC_RECORD_SIZES(LUMDEC_CHECK_SIZE)

#endif
