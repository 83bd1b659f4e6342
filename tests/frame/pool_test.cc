// The block pool: aligned blocks on demand, last in first out, and nothing
// leaked when an allocation fails.
#include <gtest/gtest.h>

#include <vector>

#include "counting_allocator.h"

namespace {

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
