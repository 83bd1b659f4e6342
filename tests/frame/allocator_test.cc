// Allocation hooks, the aligned allocation rule, the debug-trace setting and
// the encoder entry points.
#include "frame/allocator.h"

#include <gtest/gtest.h>

#include <cstring>

#include "counting_allocator.h"
#include "lumdec.h"

namespace {

TEST(AlignedAllocation, AsksForSixteenMoreAndKeepsTheRawPointerBelow)
{
    CountingAllocator hooks;
    for (uint32_t size : {1u, 15u, 16u, 4096u, 32768u}) {
        void *block = aac_alloc_aligned(size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
        ASSERT_EQ(hooks.live().size(), 1u);
        auto [raw, requested] = *hooks.live().begin();
        EXPECT_EQ(requested, size + 16);
        uintptr_t distance = reinterpret_cast<uintptr_t>(block) - reinterpret_cast<uintptr_t>(raw);
        EXPECT_GE(distance, sizeof(void *));
        EXPECT_LE(distance, 16u);
        void *stored;
        std::memcpy(&stored, static_cast<char *>(block) - sizeof stored, sizeof stored);
        EXPECT_EQ(stored, raw);
        std::memset(block, 0x5A, size);  // the whole block is usable (ASan watches)
        aac_free_aligned(block);
        EXPECT_EQ(hooks.outstanding(), 0u);
    }
    EXPECT_EQ(hooks.callocs, 0);
    EXPECT_EQ(hooks.reallocs, 0);
    EXPECT_EQ(hooks.bad_frees, 0);
}

// Hooks may return any address; the block must still lie inside the
// allocation with room for the word below it.
unsigned char arena[256];
size_t arena_shift;
void *AAC_CALL shifted_malloc(uint32_t) { return arena + arena_shift; }
void AAC_CALL ignore_free(void *) {}

TEST(AlignedAllocation, EveryHookAlignmentStaysInsideTheAllocation)
{
    aac_malloc_func_table table = {shifted_malloc, nullptr, nullptr, ignore_free};
    aac_set_malloc_func_table(&table);
    uintptr_t base = (reinterpret_cast<uintptr_t>(arena) + 15) & ~uintptr_t{15};
    for (size_t shift = 0; shift < 16; shift++) {
        arena_shift = base - reinterpret_cast<uintptr_t>(arena) + shift;
        auto *raw = reinterpret_cast<unsigned char *>(arena + arena_shift);
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

TEST(AlignedAllocation, FailuresAndSizesThatDoNotFit)
{
    CountingAllocator hooks;
    hooks.fail_at(1);
    EXPECT_EQ(aac_alloc_aligned(100), nullptr);
    EXPECT_EQ(aac_alloc_aligned(UINT32_MAX - 15), nullptr);
    EXPECT_EQ(hooks.mallocs, 1);  // the oversized request never reaches the hook
    EXPECT_EQ(hooks.outstanding(), 0u);
    aac_free_aligned(nullptr);
    EXPECT_EQ(hooks.null_frees, 1);
}

TEST(MallocFuncTable, IsCopiedAndNullRestoresTheStandardAllocator)
{
    {
        aac_malloc_func_table table;
        {
            CountingAllocator hooks;
            std::memcpy(&table, &aac_mem, sizeof table);
            aac_free_aligned(aac_alloc_aligned(8));
            EXPECT_EQ(hooks.mallocs, 1);
            EXPECT_EQ(hooks.frees, 1);
        }
        // The library kept its own copy: the caller's record may go away.
        EXPECT_NE(std::memcmp(&table, &aac_mem, sizeof table), 0);
    }
    void *block = aac_alloc_aligned(8);
    EXPECT_NE(block, nullptr);
    aac_free_aligned(block);
}

TEST(DebugTrace, ValuesAreStoredAndNothingElseHappens)
{
    CountingAllocator hooks;
    aac_set_debug_trace(1, -2, 0x7FFFFFFF);
    EXPECT_EQ(aac_debug_trace[0], 1);
    EXPECT_EQ(aac_debug_trace[1], -2);
    EXPECT_EQ(aac_debug_trace[2], 0x7FFFFFFF);
    aac_set_debug_trace(0, 0, 0);
    EXPECT_EQ(hooks.allocations() + hooks.frees, 0);
}

TEST(EncoderEntryPoints, AlwaysReportUnsupported)
{
    CountingAllocator hooks;
    int dummy = 0;
    EXPECT_EQ(aac_enc_create(nullptr, nullptr), AAC_ERR_UNSUPPORTED);
    EXPECT_EQ(aac_enc_create(&dummy, &dummy), AAC_ERR_UNSUPPORTED);
    EXPECT_EQ(aac_enc_destroy(nullptr), AAC_ERR_UNSUPPORTED);
    EXPECT_EQ(aac_enc_destroy(&dummy), AAC_ERR_UNSUPPORTED);
    EXPECT_EQ(aac_enc_encode(nullptr), AAC_ERR_UNSUPPORTED);
    EXPECT_EQ(aac_enc_encode(&dummy), AAC_ERR_UNSUPPORTED);
    EXPECT_EQ(static_cast<uint32_t>(AAC_ERR_UNSUPPORTED), 0x80000000u);
    EXPECT_EQ(dummy, 0);
    EXPECT_EQ(hooks.allocations(), 0);
}

TEST(StatusCodes, HaveTheirFixedValues)
{
    EXPECT_EQ(static_cast<uint32_t>(AAC_ERR_NO_MEMORY), 0x80000002u);
    EXPECT_EQ(static_cast<uint32_t>(AAC_ERR_CORRUPT_FRAME), 0x80000003u);
    EXPECT_EQ(static_cast<uint32_t>(AAC_ERR_BAD_STREAM), 0x80000004u);
}

}  // namespace
