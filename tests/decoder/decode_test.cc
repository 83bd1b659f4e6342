// The decode call as a host sees it: blocks one frame behind the input, the
// end of a stream and a new one after it, a hook that swaps blocks,
// per-channel gains, and no allocation once the first call has set up.
// (Concealment and failing hooks: damaged_streams_test, host_hooks_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "counting_allocator.h"
#include "decode_stream.h"

namespace {

// A decoder for one test stream with a pool and a hook that records every
// block.
struct Host {
    explicit Host(const char *name, float gain = 1.0f)
        : stream(test_stream(name)), file(read_file(test_data_path("streams/" + stream.name + ".aac"))),
          frames(split_adts(file))
    {
        aac_dec_config config = stream_config(stream, file, frames);
        EXPECT_EQ(aac_dec_create(&dec, &config), AAC_OK);
        EXPECT_EQ(aac_frame_alloc_create(&pool, 8), AAC_OK);
        std::fill_n(dec->gain, 8, gain);
        dec->pool = pool;
        dec->output_hook = record;
    }
    ~Host()
    {
        aac_dec_destroy(dec);
        EXPECT_NE(pool->free_head, nullptr) << "destroy did not return the decoder's block";
        pool->ops->destroy(pool);
    }

    aac_status feed(size_t i)
    {
        const uint8_t *start = &file[frames[i].payload_offset];
        payload.assign(start, start + frames[i].payload_size);
        dec->input_data = payload.data();
        dec->input_size = static_cast<int32_t>(payload.size());
        current = this;
        return aac_dec_decode(dec);
    }
    void feed_all(size_t count)
    {
        for (size_t i = 0; i < count; i++)
            EXPECT_EQ(feed(i), AAC_OK) << "frame " << i;
    }
    aac_status end()
    {
        dec->input_size = 0;
        current = this;
        return aac_dec_decode(dec);
    }

    static aac_status AAC_CALL record(aac_decoder *, void **slot)
    {
        Host &h = *current;
        const uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
        const float *block = reinterpret_cast<const float *>(word & ~uintptr_t{15});
        h.states.push_back(static_cast<unsigned>(word & 15));
        h.blocks.emplace_back(block, block + 1024 * h.stream.channels);
        if (h.swap_to) {
            h.taken = const_cast<float *>(block);
            *slot = std::exchange(h.swap_to, nullptr);
        }
        return AAC_OK;
    }

    TestStream stream;
    std::vector<uint8_t> file, payload;
    std::vector<AdtsFrame> frames;
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    std::vector<unsigned> states;
    std::vector<std::vector<float>> blocks;  // planar, the layout's channels
    void *swap_to = nullptr;
    void *taken = nullptr;  // the block the hook took when it swapped
    static inline Host *current = nullptr;
};

using States = std::vector<unsigned>;
constexpr unsigned V = AAC_SLOT_VALID, E = AAC_SLOT_EMPTY;

TEST(DecodeCall, OutputRunsOneFrameBehindAndTheStreamEndsWithAnEmptyBlock)
{
    Host h("speech_mono_16k_24k");
    EXPECT_EQ(h.feed(0), AAC_OK);
    EXPECT_EQ(h.dec->bytes_used, static_cast<int32_t>(h.frames[0].payload_size));
    EXPECT_TRUE(h.blocks.empty());
    EXPECT_EQ(h.feed(1), AAC_OK);
    EXPECT_EQ(h.feed(2), AAC_OK);
    EXPECT_EQ(h.end(), AAC_OK);
    EXPECT_EQ(h.states, (States{V, V, E}));

    // A new stream after the end: no block for its first frame, then the
    // same output as a fresh decoder gives.
    Host fresh("speech_mono_16k_24k");
    fresh.feed_all(2);
    h.states.clear();
    h.feed_all(2);
    EXPECT_EQ(h.states, (States{V}));
    EXPECT_EQ(h.blocks.back(), fresh.blocks.back());

    // A first call without input sets up and ends at once.
    Host empty("mix_stereo_8k_16k");
    EXPECT_EQ(empty.end(), AAC_OK);
    EXPECT_EQ(empty.states, (States{E}));
}

TEST(DecodeCall, OnlyTheLayoutsChannelsAreWrittenAndNothingWithoutAHook)
{
    Host h("mix_stereo_8k_16k");
    h.dec->output_hook = nullptr;
    EXPECT_EQ(h.feed(0), AAC_OK);
    float *block = reinterpret_cast<float *>(reinterpret_cast<uintptr_t>(h.dec->out_block) & ~uintptr_t{15});
    std::fill_n(block, 8 * 1024, -7.0f);
    EXPECT_EQ(h.feed(1), AAC_OK);
    EXPECT_EQ(std::count(block, block + 8 * 1024, -7.0f), 8 * 1024) << "written without a hook";
    h.dec->output_hook = Host::record;
    EXPECT_EQ(h.feed(2), AAC_OK);
    EXPECT_EQ(std::count(block, block + 2 * 1024, -7.0f), 0) << "a channel not written";
    EXPECT_EQ(std::count(block + 2 * 1024, block + 8 * 1024, -7.0f), 6 * 1024) << "beyond the layout";
}

TEST(DecodeCall, AHookMaySwapInAnotherBlock)
{
    Host h("speech_mono_16k_24k");
    alignas(16) static float mine[1024];
    h.feed(0);
    h.swap_to = mine;
    h.feed(1);  // delivered in the pool's block, then swapped out
    std::fill_n(mine, 1024, 0.0f);
    h.feed(2);  // lands in mine
    ASSERT_EQ(h.blocks.size(), 2u);
    EXPECT_EQ(std::vector<float>(mine, mine + 1024), h.blocks[1]);
    // The host hands the pool's block back in place of its own, which the
    // decoder would otherwise give to the pool at destroy.
    h.dec->out_block = h.taken;
}

TEST(DecodeCall, GainsScaleEachChannelExactly)
{
    Host unit("corr_is_stereo_32k_48k"), half("corr_is_stereo_32k_48k", 0.5f);
    Host left_only("corr_is_stereo_32k_48k");
    left_only.dec->gain[1] = 0.0f;
    for (size_t i = 0; i < 6; i++) {
        unit.feed(i);
        half.feed(i);
        left_only.feed(i);
    }
    for (size_t b = 0; b < unit.blocks.size(); b++)
        for (int i = 0; i < 2048; i++) {
            const float u = unit.blocks[b][i];
            ASSERT_EQ(half.blocks[b][i], u * 0.5f) << b << ":" << i;
            ASSERT_EQ(left_only.blocks[b][i], i < 1024 ? u : 0.0f) << b << ":" << i;
        }
}

// Everything a decoder needs is allocated by its first call, concealment
// included.
TEST(DecodeCall, NothingIsAllocatedAfterTheFirstCall)
{
    for (const TestStream &s : test_streams()) {
        if (s.layout == 0)
            continue;
        CountingAllocator hooks;
        int after_first = -1;
        DecodeOptions options;
        options.conceal = true;
        options.mutate = [&](size_t frame, const std::vector<uint8_t> &payload) {
            if (frame == 1)
                after_first = hooks.allocations();
            return frame == 3 ? std::vector<uint8_t>(payload.begin(), payload.begin() + 5) : payload;
        };
        DecodeResult r = decode_stream(s, options);
        EXPECT_EQ(hooks.allocations() - after_first, 0) << s.name;
        EXPECT_EQ(r.error_count, 1) << s.name;
        EXPECT_EQ(hooks.outstanding(), 0u) << s.name;
        EXPECT_EQ(hooks.reallocs, 0);
    }
}

}  // namespace
