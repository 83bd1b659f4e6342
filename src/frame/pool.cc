// The block pool: fixed-size, 16-byte aligned blocks handed out and taken
// back last in, first out.  A free block's first word links the next one.
#include <cstring>

#include "frame/allocator.h"
#include "frame/error.h"

namespace lumdec {

namespace {

void *next_free(void *block)
{
    void *next;
    std::memcpy(&next, block, sizeof next);
    return next;
}

aac_status AAC_CALL pool_destroy(aac_frame_alloc *pool)
{
    for (void *block = pool->free_head; block != nullptr;) {
        void *next = next_free(block);
        aac_free_aligned(block);
        block = next;
    }
    aac_mem.free_func(pool);
    return AAC_OK;
}

aac_status AAC_CALL pool_get(aac_frame_alloc *pool, void **out)
{
    if (pool->free_head != nullptr) {
        *out = pool->free_head;
        pool->free_head = next_free(pool->free_head);
        return AAC_OK;
    }
    void *block = aac_alloc_aligned(static_cast<uint32_t>(pool->block_size));
    if (block == nullptr)
        return AAC_ERR_NO_MEMORY;
    *out = block;
    pool->blocks_allocated += 1;
    return AAC_OK;
}

aac_status AAC_CALL pool_put(aac_frame_alloc *pool, void *block)
{
    if (block != nullptr) {
        std::memcpy(block, &pool->free_head, sizeof pool->free_head);
        pool->free_head = block;
    }
    return AAC_OK;
}

constexpr aac_frame_alloc_ops pool_ops = {pool_destroy, pool_get, pool_put};

}  // namespace

}  // namespace lumdec

using namespace lumdec;

extern "C" AAC_API aac_status AAC_CALL aac_frame_alloc_create(aac_frame_alloc **out,
                                                              int32_t units)
{
    aac_frame_alloc *pool = nullptr;
    aac_guard guard;
    aac_status status = guard.run([&] {
        // Blocks are allocated as block_size + 16 bytes: keep that in 32 bits.
        if (out == nullptr || units < 1 || units > AAC_FRAME_ALLOC_MAX_UNITS)
            aac_raise(AAC_ERR_BAD_STREAM, "no pool pointer, or a block size out of range");
        pool = static_cast<aac_frame_alloc *>(aac_mem.calloc_func(1, sizeof *pool));
        if (pool == nullptr)
            aac_raise(AAC_ERR_NO_MEMORY, "pool record");
        pool->ops = &pool_ops;
        pool->free_head = nullptr;
        pool->block_size = units << 12;
        pool->blocks_allocated = 0;
        *out = pool;
    });
    if (status != AAC_OK && pool != nullptr)
        pool_destroy(pool);
    return status;
}
