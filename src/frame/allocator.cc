#include "frame/allocator.h"

#include <cstdlib>
#include <cstring>

#include "frame/library.h"

namespace lumdec {

namespace {

void *AAC_CALL std_malloc(uint32_t size) { return std::malloc(size); }
void *AAC_CALL std_calloc(uint32_t count, uint32_t size) { return std::calloc(count, size); }
void *AAC_CALL std_realloc(void *block, uint32_t size) { return std::realloc(block, size); }
void AAC_CALL std_free(void *block) { std::free(block); }

constexpr aac_malloc_func_table standard_allocator = {std_malloc, std_calloc, std_realloc,
                                                      std_free};

}  // namespace

aac_malloc_func_table aac_mem = standard_allocator;
int32_t aac_debug_trace[3];

// A static link takes the object whose constructor sets the library up only
// when some object it takes refers to it; this object's state is part of
// that set-up, so it does.
[[gnu::used]] static const void *const keep_load_sequence = &aac_load_anchor;

int aac_init_allocator(int attach)
{
    if (attach)
        aac_mem = standard_allocator;
    return 1;
}

void *aac_alloc_aligned(uint32_t size)
{
    if (size > UINT32_MAX - 16)
        return nullptr;
    void *raw = aac_mem.malloc_func(size + 16);
    if (raw == nullptr)
        return nullptr;
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(raw) + 16) & ~uintptr_t{15};
    // A hook that returns less than pointer alignment leaves no room for
    // the word below the block: refuse rather than write outside it.
    if (aligned - reinterpret_cast<uintptr_t>(raw) < sizeof(void *)) {
        aac_mem.free_func(raw);
        return nullptr;
    }
    void *block = reinterpret_cast<void *>(aligned);
    std::memcpy(static_cast<char *>(block) - sizeof(void *), &raw, sizeof raw);
    return block;
}

void aac_free_aligned(void *block)
{
    void *raw = nullptr;
    if (block != nullptr)
        std::memcpy(&raw, static_cast<char *>(block) - sizeof(void *), sizeof raw);
    aac_mem.free_func(raw);
}

}  // namespace lumdec

using namespace lumdec;

extern "C" {

AAC_API void AAC_CALL aac_set_malloc_func_table(const aac_malloc_func_table *table)
{
    aac_mem = table != nullptr ? *table : standard_allocator;
}

AAC_API void AAC_CALL aac_set_debug_trace(int32_t a, int32_t b, int32_t c)
{
    aac_debug_trace[0] = a;
    aac_debug_trace[1] = b;
    aac_debug_trace[2] = c;
}

}  // extern "C"
