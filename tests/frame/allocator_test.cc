// Allocation hooks, the aligned allocation rule and the encoder entry
// points.
#include "frame/allocator.h"

#include <gtest/gtest.h>

#include <cstring>

#include "counting_allocator.h"

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

TEST(EncoderEntryPoints, AlwaysReportUnsupported)
{
    CountingAllocator hooks;
    int dummy = 0;
    for (void *p : {static_cast<void *>(nullptr), static_cast<void *>(&dummy)}) {
        EXPECT_EQ(aac_enc_create(p, p), AAC_ERR_UNSUPPORTED);
        EXPECT_EQ(aac_enc_destroy(p), AAC_ERR_UNSUPPORTED);
        EXPECT_EQ(aac_enc_encode(p), AAC_ERR_UNSUPPORTED);
    }
    EXPECT_EQ(dummy, 0);
    EXPECT_EQ(hooks.allocations(), 0);
}

}  // namespace
