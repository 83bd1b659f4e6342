// Allocation hooks, the aligned allocation rule, and the block pool: aligned
// blocks on demand, last in first out, and nothing leaked when an
// allocation fails.
#include "frame/allocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "counting_allocator.h"

using namespace lumdec;

namespace {

TEST(AlignedAllocation, AsksForSixteenMoreAndReleasesTheRawBlock)
{
    CountingAllocator hooks;
    for (uint32_t size : {1u, 15u, 16u, 4096u, 32768u}) {
        void *block = aac_alloc_aligned(size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
        ASSERT_EQ(hooks.live.size(), 1u);
        EXPECT_EQ(hooks.live.begin()->second, size + 16);
        std::memset(block, 0x5A, size);  // the whole block is usable (ASan watches)
        aac_free_aligned(block);
        EXPECT_EQ(hooks.outstanding(), 0u);
    }
    // A failing hook, and a size that does not fit, give null.
    hooks.fail_at(hooks.allocations() + 1);
    EXPECT_EQ(aac_alloc_aligned(100), nullptr);
    EXPECT_EQ(aac_alloc_aligned(UINT32_MAX - 15), nullptr);
    EXPECT_EQ(hooks.mallocs, 6);  // the oversized request never reaches the hook
    EXPECT_EQ(hooks.callocs + hooks.reallocs + hooks.bad_frees, 0);
}

// Hooks may return any address; the block must still lie inside the
// allocation with room for the word below it.
unsigned char arena[256];
size_t arena_shift;

TEST(AlignedAllocation, EveryHookAlignmentStaysInsideTheAllocation)
{
    aac_malloc_func_table table = {[](uint32_t) -> void * { return arena + arena_shift; }, nullptr,
                                   nullptr, [](void *) {}};
    aac_set_malloc_func_table(&table);
    const uintptr_t base = (reinterpret_cast<uintptr_t>(arena) + 15) & ~uintptr_t{15};
    for (size_t shift = 0; shift < 16; shift++) {
        arena_shift = base - reinterpret_cast<uintptr_t>(arena) + shift;
        auto *raw = arena + arena_shift;
        auto *block = static_cast<unsigned char *>(aac_alloc_aligned(64));
        if (16 - shift < sizeof(void *)) {
            EXPECT_EQ(block, nullptr) << "no room for the raw pointer at offset " << shift;
            continue;
        }
        ASSERT_NE(block, nullptr) << "raw address offset " << shift;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
        EXPECT_GE(block - sizeof(void *), raw);
        EXPECT_LE(block + 64, raw + 64 + 16);
    }
    aac_set_malloc_func_table(nullptr);
}

// The hooks' table is a local of CountingAllocator's constructor, so the
// library must keep a copy; after the hooks are gone, null must bring the
// standard allocator back (a call into them would crash).
TEST(MallocFuncTable, IsCopiedAndNullRestoresTheStandardAllocator)
{
    {
        CountingAllocator hooks;
        aac_free_aligned(aac_alloc_aligned(8));
        EXPECT_EQ(hooks.mallocs, 1);
        EXPECT_EQ(hooks.frees, 1);
    }
    void *block = aac_alloc_aligned(8);
    EXPECT_NE(block, nullptr);
    aac_free_aligned(block);
}

void *get(aac_frame_alloc *pool)
{
    void *block = nullptr;
    EXPECT_EQ(pool->ops->get(pool, &block), AAC_OK);
    return block;
}

TEST(BlockPool, HandsOutAlignedBlocksAndReusesThemLastInFirstOut)
{
    CountingAllocator hooks;
    aac_frame_alloc *pool = nullptr, *other = nullptr;
    ASSERT_EQ(aac_frame_alloc_create(&pool, 8), AAC_OK);
    EXPECT_EQ(pool->block_size, 32768);
    EXPECT_EQ(pool->blocks_allocated, 0);

    void *a = get(pool);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(pool->blocks_allocated, 1);
    EXPECT_EQ(hooks.bytes_requested, sizeof(aac_frame_alloc) + 32768 + 16);
    std::fill_n(static_cast<float *>(a), 8 * 1024, 1.0f);  // eight channels fit
    pool->ops->put(pool, a);
    EXPECT_EQ(get(pool), a);  // no new allocation
    void *b = get(pool);
    EXPECT_NE(b, a);
    pool->ops->put(pool, a);
    pool->ops->put(pool, b);
    pool->ops->put(pool, nullptr);  // ignored
    EXPECT_EQ(get(pool), b);
    EXPECT_EQ(get(pool), a);
    EXPECT_EQ(pool->blocks_allocated, 2);
    EXPECT_EQ(hooks.mallocs, 2);

    // Pools share their operations; a destroy releases the free blocks.
    pool->ops->put(pool, a);
    pool->ops->put(pool, b);
    ASSERT_EQ(aac_frame_alloc_create(&other, 1), AAC_OK);
    EXPECT_EQ(other->ops, pool->ops);
    EXPECT_EQ(pool->ops->destroy(pool), AAC_OK);
    EXPECT_EQ(other->ops->destroy(other), AAC_OK);
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.bad_frees + hooks.reallocs, 0);
}

TEST(BlockPool, RefusedSizesLeaveOutAlone)
{
    CountingAllocator hooks;
    aac_frame_alloc sentinel{};
    aac_frame_alloc *out = &sentinel;
    for (int32_t units : {0, -1, AAC_FRAME_ALLOC_MAX_UNITS + 1, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(aac_frame_alloc_create(&out, units), AAC_ERR_BAD_STREAM) << units;
        EXPECT_EQ(out, &sentinel);
    }
    EXPECT_EQ(aac_frame_alloc_create(nullptr, 2), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(hooks.allocations(), 0);
    // The largest accepted size still fits the aligned rule in 32 bits.
    ASSERT_EQ(aac_frame_alloc_create(&out, AAC_FRAME_ALLOC_MAX_UNITS), AAC_OK);
    EXPECT_EQ(out->block_size, AAC_FRAME_ALLOC_MAX_UNITS * 4096);
    out->ops->destroy(out);
    EXPECT_EQ(hooks.outstanding(), 0u);
}

// Every allocation of a pool's life failing in turn: the failure is
// reported (not raised) where it happens, the count stays right, and
// everything allocated is released once.
TEST(BlockPool, FailingEveryAllocationInTurnLeaksNothing)
{
    for (int n = 1; n <= 4; n++) {
        CountingAllocator hooks;
        hooks.fail_at(n);
        aac_frame_alloc sentinel{}, *pool = &sentinel;
        if (n == 1) {
            EXPECT_EQ(aac_frame_alloc_create(&pool, 2), AAC_ERR_NO_MEMORY);
            EXPECT_EQ(pool, &sentinel) << "out was written";
            continue;
        }
        ASSERT_EQ(aac_frame_alloc_create(&pool, 2), AAC_OK);
        std::vector<void *> held;
        void *block = &hooks;
        for (int i = 0; i < 3; i++) {
            if (pool->ops->get(pool, &block) == AAC_OK)
                held.push_back(block);
            else
                EXPECT_EQ(block, held.empty() ? &hooks : held.back()) << "out was written";
        }
        EXPECT_EQ(held.size(), 2u) << "n = " << n;
        EXPECT_EQ(pool->blocks_allocated, 2);
        for (void *b : held)
            pool->ops->put(pool, b);
        pool->ops->destroy(pool);
        EXPECT_EQ(hooks.outstanding(), 0u) << "n = " << n;
        EXPECT_EQ(hooks.bad_frees, 0);
    }
}

}  // namespace
