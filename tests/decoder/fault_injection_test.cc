// Allocation failures at every point of a host's set-up: the pool, the
// decoder, and the buffers of the first decode call, for every layout.
// Each failure must surface as AAC_ERR_NO_MEMORY at the call that
// allocates, never be concealed, and leave nothing behind; after a failed
// first call the next call sets up and decodes.
#include <gtest/gtest.h>

#include <algorithm>

#include "counting_allocator.h"
#include "decoder/layouts.h"
#include "observing_host.h"
#include "layout_reference.h"

using namespace lumdec;

namespace {

struct GainPattern {
    const char *name;
    float (*gain)(int channel);
};

// Every channel its own window set; or sets shared and channels off.
const GainPattern gain_patterns[] = {
    {"distinct", [](int c) { return 1.0f + c; }},
    {"shared_and_off", [](int c) { return c % 3 == 2 ? 0.0f : (c % 2 ? 0.5f : 1.0f); }},
};

struct Stages {
    aac_status pool = AAC_OK, create = AAC_OK, first_call = AAC_OK;
    int allocations = 0;  // made by the whole sequence
};

// Pool, decoder, first call (which sets up), retried once if it failed,
// one more frame; then everything is released.  The host gives up when it
// gets no pool.
Stages run_host(int layout, const GainPattern &gains, int fail_at, int *hook_calls)
{
    CountingAllocator hooks;
    hooks.fail_at(fail_at);
    Stages s;
    aac_frame_alloc *pool = nullptr;
    s.pool = aac_frame_alloc_create(&pool, 8);
    if (s.pool != AAC_OK) {  // the host gives up
        EXPECT_EQ(hooks.outstanding(), 0u);
        s.allocations = hooks.allocations();
        return s;
    }

    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = 4;
    config.channel_configuration = layout;
    aac_decoder *const unwritten = reinterpret_cast<aac_decoder *>(uintptr_t{0x5A50});
    aac_decoder *dec = unwritten;
    s.create = aac_dec_create(&dec, &config);
    EXPECT_EQ(s.create != AAC_OK, dec == unwritten) << "*out is written exactly on success";
    if (s.create == AAC_OK) {
        for (int c = 0; c < 8; c++)
            dec->gain[c] = gains.gain(c);
        dec->pool = pool;
        dec->conceal_errors = 1;
        ObservingHost host(dec);
        std::vector<uint8_t> frame = silent_frame(layout);
        ObservedCall first = host.decode(frame.data(), static_cast<int32_t>(frame.size()));
        s.first_call = first.status;
        EXPECT_EQ(first.set_up_after, first.status == AAC_OK);
        EXPECT_TRUE(first.hooks.empty());
        if (first.status != AAC_OK) {
            EXPECT_EQ(host.decode(frame.data(), static_cast<int32_t>(frame.size())).status, AAC_OK);
        }
        ObservedCall second = host.decode(frame.data(), static_cast<int32_t>(frame.size()));
        EXPECT_EQ(second.status, AAC_OK);
        *hook_calls = static_cast<int>(second.hooks.size());
        EXPECT_EQ(dec->error_count, 0);  // a failed allocation is never concealed
        aac_dec_destroy(dec);
    }
    pool->ops->destroy(pool);
    s.allocations = hooks.allocations();
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.bad_frees, 0);
    return s;
}

TEST(FaultInjection, EachAllocationFailsInTurnForEveryLayout)
{
    for (int layout = 1; layout <= 10; layout++) {
        for (const GainPattern &gains : gain_patterns) {
            SCOPED_TRACE(::testing::Message() << "layout " << layout << ", gains " << gains.name);
            int hook_calls = 0;
            Stages clean = run_host(layout, gains, 0, &hook_calls);
            ASSERT_EQ(clean.create, AAC_OK);
            ASSERT_EQ(clean.first_call, AAC_OK);
            EXPECT_EQ(hook_calls, 1);
            // Pool record, decoder record, first block, two workspaces, and
            // one window set per distinct non-zero gain.
            const int channels = aac_layouts[layout].num_channels;
            std::vector<float> distinct;
            for (int c = 0; c < channels; c++) {
                float g = gains.gain(c);
                if (g != 0.0f && std::find(distinct.begin(), distinct.end(), g) == distinct.end())
                    distinct.push_back(g);
            }
            ASSERT_EQ(clean.allocations, 5 + static_cast<int>(distinct.size()));

            for (int n = 1; n <= clean.allocations; n++) {
                SCOPED_TRACE(::testing::Message() << "allocation " << n << " fails");
                Stages s = run_host(layout, gains, n, &hook_calls);
                EXPECT_EQ(s.pool, n == 1 ? AAC_ERR_NO_MEMORY : AAC_OK);
                EXPECT_EQ(s.create, n == 2 ? AAC_ERR_NO_MEMORY : AAC_OK);
                if (n >= 3) {
                    EXPECT_EQ(s.first_call, AAC_ERR_NO_MEMORY);
                    EXPECT_EQ(hook_calls, 1);
                }
            }
        }
    }
}

// A block the host put into the slot before the first call stays the
// host's: the set-up takes the decoder's own block from the pool, also
// when it has to be repeated, and destroy gives back only that one.
TEST(FaultInjection, AHostPlacedBlockIsNeverGivenToThePool)
{
    for (int fail_at : {0, 4}) {  // 4: the first workspace, after the pool's block
        CountingAllocator hooks;
        aac_frame_alloc *pool = nullptr;
        ASSERT_EQ(aac_frame_alloc_create(&pool, 8), AAC_OK);
        aac_dec_config config{};
        config.profile = 1;
        config.sampling_frequency_index = 4;
        config.channel_configuration = 2;
        aac_decoder *dec = nullptr;
        ASSERT_EQ(aac_dec_create(&dec, &config), AAC_OK);
        dec->gain[0] = dec->gain[1] = 1.0f;
        dec->pool = pool;
        alignas(16) static float host_block[2 * 1024];
        dec->out_block = host_block;
        hooks.fail_at(fail_at);
        ObservingHost host(dec);
        const std::vector<uint8_t> frame = silent_frame(2);
        if (fail_at != 0) {
            EXPECT_EQ(host.decode(frame.data(), static_cast<int32_t>(frame.size())).status,
                      AAC_ERR_NO_MEMORY);
            EXPECT_EQ(dec->out_block, host_block) << "the failed set-up's block went back";
        }
        for (int i = 0; i < 2; i++)
            EXPECT_EQ(host.decode(frame.data(), static_cast<int32_t>(frame.size())).status, AAC_OK);
        EXPECT_NE(reinterpret_cast<uintptr_t>(dec->out_block) & ~uintptr_t{15},
                  reinterpret_cast<uintptr_t>(host_block));
        aac_dec_destroy(dec);
        EXPECT_EQ(pool->blocks_allocated, 1);
        pool->ops->destroy(pool);
        EXPECT_EQ(hooks.bad_frees, 0) << "the host's block was freed as the pool's";
        EXPECT_EQ(hooks.outstanding(), 0u);
    }
}

}  // namespace
