// The process-wide allocation hooks, the 16-byte aligned allocation rule and
// the debug-trace settings.
#pragma once

#include <cstdint>

#include "lumdec.h"

namespace lumdec {

// Every allocation and release of the library goes through this table.
extern aac_malloc_func_table aac_mem;

// Load-time initialiser: attach = 1 fills aac_mem with the standard
// allocator; always returns 1.
int aac_init_allocator(int attach);

// Allocates size + 16 bytes through malloc_func and returns the first
// 16-byte aligned address past the start, with the raw pointer stored in
// the pointer-sized word just below it.  Null when the hook returns null or
// the size does not fit.
void *aac_alloc_aligned(uint32_t size);

// Releases a block of aac_alloc_aligned; null is passed on to free_func.
void aac_free_aligned(void *block);

// The three debug-trace values; nothing in the library reads them.
extern int32_t aac_debug_trace[3];

}  // namespace lumdec
