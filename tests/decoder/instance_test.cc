// Creating and destroying decoders from plain configuration values: every
// layout at every rate, every refusal, and what is allocated and released.
#include <gtest/gtest.h>

#include <tuple>

#include "counting_allocator.h"
#include "frame/allocator.h"
#include "frame/error.h"
#include "layout_reference.h"
#include "lumdec.h"

namespace {

aac_dec_config layout_config(int32_t layout, int32_t index = 3)
{
    aac_dec_config config{};
    config.bytes_used = -7;
    config.profile = 1;
    config.sampling_frequency_index = index;
    config.channel_configuration = layout;
    return config;
}

aac_decoder *const not_written = reinterpret_cast<aac_decoder *>(uintptr_t{0x5A50});

// Creation through the export; the error-frame slot must be empty after it.
aac_status create(aac_dec_config config, aac_decoder **out)
{
    aac_status status = aac_dec_create(out, &config);
    EXPECT_EQ(aac_innermost_frame(), nullptr);
    return status;
}

TEST(DecoderInstance, EveryLayoutAtEveryIndex)
{
    const uint32_t long_bands[12] = {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40};
    const uint32_t short_bands[12] = {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15};
    const uint32_t tns_long[12] = {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39};
    const uint32_t tns_short[12] = {9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14};
    CountingAllocator hooks;
    for (int layout = 1; layout <= 10; layout++) {
        for (int index = 0; index < 12; index++) {
            SCOPED_TRACE(testing::Message() << "layout " << layout << " index " << index);
            aac_dec_config config = layout_config(layout, index);
            config.stream_flag = layout & 1;
            aac_decoder *dec = not_written;
            ASSERT_EQ(create(config, &dec), AAC_OK);
            EXPECT_EQ(dec->stream_flag, layout & 1);
            EXPECT_EQ(dec->profile, 1);
            EXPECT_EQ(dec->sampling_frequency_index, index);
            EXPECT_EQ(dec->channel_configuration, layout);
            EXPECT_EQ(map_words(dec->element_map), map_words(expected_map(layout)));
            const aac_stream_tables &t = dec->stream_tables;
            EXPECT_EQ(t.num_swb_long, long_bands[index]);
            EXPECT_EQ(t.num_swb_short, short_bands[index]);
            EXPECT_EQ(t.swb_end_long[t.num_swb_long - 1], 1024);
            EXPECT_EQ(t.swb_end_short[t.num_swb_short - 1], 128);
            EXPECT_EQ(t.tns_max_order_long, 12u);
            EXPECT_EQ(t.tns_max_order_short, 7u);
            EXPECT_EQ(t.tns_max_bands_long, tns_long[index]);
            EXPECT_EQ(t.tns_max_bands_short, tns_short[index]);
            EXPECT_EQ(dec->initialised, 0);
            EXPECT_EQ(config.bytes_used, -7);
            // Nothing but the record exists, and host fields are clear.
            EXPECT_EQ(hooks.outstanding(), 1u);
            EXPECT_EQ(dec->pool, nullptr);
            EXPECT_EQ(dec->out_block, nullptr);
            EXPECT_EQ(dec->work_alloc[0], nullptr);
            EXPECT_EQ(dec->gain[7], 0.0f);
            aac_dec_destroy(dec);
        }
    }
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.callocs, 120);
    EXPECT_EQ(hooks.mallocs, 0);
    EXPECT_EQ(hooks.reallocs, 0);
}

TEST(DecoderInstance, RefusesUnsupportedValuesWithoutAllocating)
{
    // stream_flag, profile, index, layout
    const std::tuple<int32_t, int32_t, int32_t, int32_t> refused[] = {
        {2, 1, 3, 2}, {-1, 1, 3, 2}, {0, 0, 3, 2}, {0, 2, 3, 2},  {0, 1, 12, 2},
        {0, 1, -1, 2}, {0, 1, 3, 0}, {0, 1, 3, 11}, {0, 1, 3, -1}, {0, 1, 3, INT32_MIN},
    };
    CountingAllocator hooks;
    for (auto [stream_flag, profile, index, layout] : refused) {
        SCOPED_TRACE(testing::Message() << stream_flag << " " << profile << " " << index << " "
                                        << layout);
        aac_dec_config config = layout_config(layout, index);
        config.stream_flag = stream_flag;
        config.profile = profile;
        aac_decoder *dec = not_written;
        EXPECT_EQ(create(config, &dec), AAC_ERR_BAD_STREAM);
        EXPECT_EQ(dec, not_written);
        EXPECT_EQ(hooks.outstanding(), 0u);
    }
    EXPECT_EQ(hooks.bad_frees, 0);

    aac_dec_config config = layout_config(2);
    aac_decoder *dec = not_written;
    EXPECT_EQ(aac_dec_create(nullptr, &config), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(aac_dec_create(&dec, nullptr), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(dec, not_written);
    EXPECT_EQ(aac_innermost_frame(), nullptr);
}

TEST(DecoderInstance, FailedCreationRestoresAnEnclosingFrame)
{
    aac_guard outer;
    aac_error_frame *before = aac_innermost_frame();
    aac_dec_config config = layout_config(11);
    aac_decoder *dec = not_written;
    EXPECT_EQ(aac_dec_create(&dec, &config), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(aac_innermost_frame(), before);
    config.channel_configuration = 1;
    ASSERT_EQ(aac_dec_create(&dec, &config), AAC_OK);
    EXPECT_EQ(aac_innermost_frame(), before);
    aac_dec_destroy(dec);
}

TEST(DecoderInstance, EveryAllocationFailureLeavesNothingBehind)
{
    int allocations;
    {
        CountingAllocator hooks;
        aac_decoder *dec = nullptr;
        ASSERT_EQ(create(layout_config(7), &dec), AAC_OK);
        allocations = hooks.allocations();
        aac_dec_destroy(dec);
    }
    for (int n = 1; n <= allocations; n++) {
        CountingAllocator hooks;
        hooks.fail_at(n);
        aac_decoder *dec = not_written;
        EXPECT_EQ(create(layout_config(7), &dec), AAC_ERR_NO_MEMORY);
        EXPECT_EQ(dec, not_written);
        EXPECT_EQ(hooks.outstanding(), 0u);
        EXPECT_EQ(hooks.bad_frees, 0);
    }
    // The record is allocated before anything is checked.
    CountingAllocator hooks;
    hooks.fail_at(1);
    aac_decoder *dec = not_written;
    EXPECT_EQ(create(layout_config(0), &dec), AAC_ERR_NO_MEMORY);
}

TEST(DecoderInstance, DestroyBeforeAnyDecodeReleasesOnlyNulls)
{
    CountingAllocator hooks;
    aac_decoder *dec = nullptr;
    ASSERT_EQ(create(layout_config(2), &dec), AAC_OK);
    EXPECT_EQ(aac_dec_destroy(dec), AAC_OK);
    EXPECT_EQ(hooks.frees, 11);       // two workspaces, eight window sets, the record
    EXPECT_EQ(hooks.null_frees, 10);
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.bad_frees, 0);
}

TEST(DecoderInstance, DestroyReturnsTheBlockAndReleasesEveryBufferOnce)
{
    CountingAllocator hooks;
    aac_frame_alloc *pool = nullptr;
    ASSERT_EQ(aac_frame_alloc_create(&pool, 2), AAC_OK);
    aac_decoder *dec = nullptr;
    ASSERT_EQ(create(layout_config(6), &dec), AAC_OK);

    // The state after a first decode call: a block from the pool tagged
    // lost, two workspaces, window sets for channels 0 and 5 only.
    void *block = nullptr;
    ASSERT_EQ(pool->ops->get(pool, &block), AAC_OK);
    dec->pool = pool;
    dec->out_block = reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(block) | AAC_SLOT_LOST);
    dec->work_alloc[0] = aac_alloc_aligned(4096);
    dec->work_alloc[1] = aac_alloc_aligned(4096);
    dec->gain_alloc[0] = aac_alloc_aligned(512);
    dec->gain_alloc[5] = aac_alloc_aligned(512);
    dec->initialised = 1;
    ASSERT_EQ(hooks.outstanding(), 7u);

    int frees = hooks.frees, null_frees = hooks.null_frees;
    EXPECT_EQ(aac_dec_destroy(dec), AAC_OK);
    EXPECT_EQ(hooks.frees - frees, 11);
    EXPECT_EQ(hooks.null_frees - null_frees, 6);
    EXPECT_EQ(pool->free_head, block);
    EXPECT_EQ(hooks.outstanding(), 2u);  // the pool and its block
    pool->ops->destroy(pool);
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.bad_frees, 0);
}

}  // namespace
