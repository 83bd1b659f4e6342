// The block pool: aligned blocks on demand, last in first out, and nothing
// leaked when an allocation fails.
#include <gtest/gtest.h>

#include <vector>

#include "counting_allocator.h"
#include "lumdec.h"

namespace {

struct Pool {
    aac_frame_alloc *pool = nullptr;
    void *get()
    {
        void *block = nullptr;
        EXPECT_EQ(pool->ops->get(pool, &block), AAC_OK);
        return block;
    }
    void put(void *block) { EXPECT_EQ(pool->ops->put(pool, block), AAC_OK); }
};

TEST(BlockPool, HandsOutAlignedBlocksAndReusesThemLastInFirstOut)
{
    CountingAllocator hooks;
    Pool p;
    ASSERT_EQ(aac_frame_alloc_create(&p.pool, 8), AAC_OK);
    EXPECT_EQ(hooks.callocs, 1);
    EXPECT_EQ(p.pool->block_size, 32768);
    EXPECT_EQ(p.pool->blocks_allocated, 0);
    EXPECT_EQ(p.pool->free_head, nullptr);

    void *a = p.get();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(p.pool->blocks_allocated, 1);
    EXPECT_EQ(hooks.mallocs, 1);
    EXPECT_EQ(hooks.bytes_requested, sizeof(aac_frame_alloc) + 32768 + 16);
    std::fill_n(static_cast<float *>(a), 8 * 1024, 1.0f);  // eight channels fit

    p.put(a);
    EXPECT_EQ(p.get(), a);  // no new allocation
    EXPECT_EQ(hooks.mallocs, 1);

    void *b = p.get();
    EXPECT_NE(b, a);
    p.put(a);
    p.put(b);
    EXPECT_EQ(p.get(), b);
    EXPECT_EQ(p.get(), a);
    EXPECT_EQ(p.pool->blocks_allocated, 2);

    // Null is ignored.
    void *head = p.pool->free_head;
    p.put(nullptr);
    EXPECT_EQ(p.pool->free_head, head);

    void *c = p.get();
    p.put(a);
    p.put(b);
    p.put(c);
    EXPECT_EQ(hooks.outstanding(), 4u);
    int frees_before = hooks.frees;
    EXPECT_EQ(p.pool->ops->destroy(p.pool), AAC_OK);
    EXPECT_EQ(hooks.frees - frees_before, 4);  // three blocks and the record
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.bad_frees, 0);
    EXPECT_EQ(hooks.reallocs, 0);
}

TEST(BlockPool, ABlockThatCannotBeAllocatedIsReportedNotRaised)
{
    CountingAllocator hooks;
    Pool p;
    ASSERT_EQ(aac_frame_alloc_create(&p.pool, 1), AAC_OK);
    hooks.fail_at(2);
    void *out = &hooks;
    EXPECT_EQ(p.pool->ops->get(p.pool, &out), AAC_ERR_NO_MEMORY);
    EXPECT_EQ(out, &hooks);  // untouched
    EXPECT_EQ(p.pool->blocks_allocated, 0);
    void *block = p.get();  // the next attempt succeeds
    EXPECT_EQ(p.pool->blocks_allocated, 1);
    p.put(block);
    p.pool->ops->destroy(p.pool);
    EXPECT_EQ(hooks.outstanding(), 0u);
}

TEST(BlockPool, CreationFailuresLeaveOutAloneAndLeakNothing)
{
    CountingAllocator hooks;
    aac_frame_alloc sentinel{};
    aac_frame_alloc *out = &sentinel;
    hooks.fail_at(1);
    EXPECT_EQ(aac_frame_alloc_create(&out, 4), AAC_ERR_NO_MEMORY);
    EXPECT_EQ(out, &sentinel);
    hooks.fail_at(0);
    for (int32_t units : {0, -1, AAC_FRAME_ALLOC_MAX_UNITS + 1, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(aac_frame_alloc_create(&out, units), AAC_ERR_BAD_STREAM) << units;
        EXPECT_EQ(out, &sentinel);
    }
    EXPECT_EQ(hooks.outstanding(), 0u);

    // The largest accepted size still fits the aligned rule in 32 bits.
    ASSERT_EQ(aac_frame_alloc_create(&out, AAC_FRAME_ALLOC_MAX_UNITS), AAC_OK);
    EXPECT_EQ(out->block_size, AAC_FRAME_ALLOC_MAX_UNITS * 4096);
    out->ops->destroy(out);
    EXPECT_EQ(hooks.outstanding(), 0u);
}

// Every allocation of a pool's life failing in turn: the failure is
// reported where it happens and everything allocated is released once.
TEST(BlockPool, FailingEveryAllocationInTurnLeaksNothing)
{
    for (int n = 1; n <= 4; n++) {
        CountingAllocator hooks;
        hooks.fail_at(n);
        aac_frame_alloc *pool = nullptr;
        aac_status created = aac_frame_alloc_create(&pool, 2);
        if (n == 1) {
            EXPECT_EQ(created, AAC_ERR_NO_MEMORY);
            EXPECT_EQ(hooks.outstanding(), 0u);
            continue;
        }
        ASSERT_EQ(created, AAC_OK);
        std::vector<void *> held;
        int failures = 0;
        for (int i = 0; i < 3; i++) {
            void *block = nullptr;
            aac_status got = pool->ops->get(pool, &block);
            if (got == AAC_ERR_NO_MEMORY)
                failures++;
            else
                held.push_back(block);
        }
        EXPECT_EQ(failures, 1) << "n = " << n;
        EXPECT_EQ(pool->blocks_allocated, 2);
        for (void *block : held)
            pool->ops->put(pool, block);
        pool->ops->destroy(pool);
        EXPECT_EQ(hooks.outstanding(), 0u) << "n = " << n;
        EXPECT_EQ(hooks.bad_frees, 0);
    }
}

// A host may hand the decoder its own pool object: only the first field
// matters.  The operations are reachable through it alone.
TEST(BlockPool, OperationsAreSharedByAllPools)
{
    aac_frame_alloc *a = nullptr, *b = nullptr;
    ASSERT_EQ(aac_frame_alloc_create(&a, 1), AAC_OK);
    ASSERT_EQ(aac_frame_alloc_create(&b, 2), AAC_OK);
    EXPECT_EQ(a->ops, b->ops);
    EXPECT_EQ(a->ops->destroy(a), AAC_OK);
    EXPECT_EQ(b->ops->destroy(b), AAC_OK);
}

}  // namespace
