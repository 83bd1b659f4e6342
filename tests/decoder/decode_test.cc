// The decode call as a host sees it: blocks one frame behind the input in
// the right states, the end of a stream and a new one after it, concealment,
// hooks that fail or swap blocks, per-channel gains, and no allocation once
// the first call has set the decoder up.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "counting_allocator.h"
#include "decode_stream.h"
#include "lumdec.h"

namespace {

// A decoder for one test stream with a pool and a hook that records every
// block; the hook's behaviour can be changed between calls.
struct Host {
    explicit Host(const char *name, float gain = 1.0f)
        : stream(test_stream(name)),
          file(read_file(test_data_path("streams/" + stream.name + ".aac"))),
          frames(split_adts(file))
    {
        aac_dec_config config = stream_config(stream, file, frames);
        EXPECT_EQ(aac_dec_create(&dec, &config), AAC_OK);
        EXPECT_EQ(aac_frame_alloc_create(&pool, 8), AAC_OK);
        for (float &g : dec->gain)
            g = gain;
        dec->pool = pool;
        dec->output_hook = record;
        current = this;
    }
    ~Host()
    {
        aac_dec_destroy(dec);
        pool->ops->destroy(pool);
        current = nullptr;
    }

    aac_status feed(size_t i, size_t cut = SIZE_MAX)
    {
        payload.assign(file.begin() + frames[i].payload_offset,
                       file.begin() + frames[i].payload_offset +
                           std::min(frames[i].payload_size, cut));
        dec->input_data = payload.data();
        dec->input_size = static_cast<int32_t>(payload.size());
        return aac_dec_decode(dec);
    }
    aac_status end()
    {
        dec->input_size = 0;
        return aac_dec_decode(dec);
    }

    struct Block {
        unsigned state;
        std::vector<float> samples;  // planar, the layout's channels
    };
    static aac_status AAC_CALL record(aac_decoder *, void **slot)
    {
        Host &h = *current;
        uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
        const float *block = reinterpret_cast<const float *>(word & ~uintptr_t{15});
        h.blocks.push_back({static_cast<unsigned>(word & 15),
                            std::vector<float>(block, block + 1024 * h.stream.channels)});
        if (h.swap_to) {
            h.taken = const_cast<float *>(block);
            *slot = h.swap_to;
            h.swap_to = nullptr;
        }
        return h.hook_result;
    }

    TestStream stream;
    std::vector<uint8_t> file, payload;
    std::vector<AdtsFrame> frames;
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    std::vector<Block> blocks;
    aac_status hook_result = AAC_OK;
    void *swap_to = nullptr;
    void *taken = nullptr;  // the block the hook took when it swapped
    static Host *current;
};
Host *Host::current = nullptr;

std::vector<unsigned> states(const Host &h)
{
    std::vector<unsigned> s;
    for (const auto &b : h.blocks)
        s.push_back(b.state);
    return s;
}

TEST(DecodeCall, OutputRunsOneFrameBehindAndTheStreamEndsWithAnEmptyBlock)
{
    Host h("speech_mono_16k_24k");
    EXPECT_EQ(h.feed(0), AAC_OK);
    EXPECT_EQ(h.dec->bytes_used, static_cast<int32_t>(h.frames[0].payload_size));
    EXPECT_TRUE(h.blocks.empty());
    EXPECT_EQ(h.feed(1), AAC_OK);
    EXPECT_EQ(h.feed(2), AAC_OK);
    EXPECT_EQ(h.end(), AAC_OK);
    EXPECT_EQ(states(h), (std::vector<unsigned>{AAC_SLOT_VALID, AAC_SLOT_VALID, AAC_SLOT_EMPTY}));

    // A new stream after the end: no block for its first frame, then the
    // same output as a fresh decoder gives.
    DecodeResult fresh = decode_stream(h.stream);
    h.blocks.clear();
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(h.feed(i), AAC_OK);
    ASSERT_EQ(h.blocks.size(), 3u);
    EXPECT_EQ(std::memcmp(h.blocks[0].samples.data(), fresh.samples.data(), 1024 * 4), 0);
}

TEST(DecodeCall, AFirstCallWithoutInputSetsUpAndEndsAtOnce)
{
    Host h("mix_stereo_8k_16k");
    EXPECT_EQ(h.end(), AAC_OK);
    EXPECT_EQ(h.dec->initialised, 1);
    EXPECT_EQ(states(h), (std::vector<unsigned>{AAC_SLOT_EMPTY}));
}

TEST(DecodeCall, OnlyTheLayoutsChannelsAreWrittenAndNothingWithoutAHook)
{
    Host h("mix_stereo_8k_16k");
    h.dec->output_hook = nullptr;
    EXPECT_EQ(h.feed(0), AAC_OK);
    float *block = reinterpret_cast<float *>(reinterpret_cast<uintptr_t>(h.dec->out_block) & ~uintptr_t{15});
    std::fill_n(block, 8 * 1024, -7.0f);
    EXPECT_EQ(h.feed(1), AAC_OK);
    for (int i = 0; i < 8 * 1024; i++)
        ASSERT_EQ(block[i], -7.0f) << "written without a hook at " << i;
    h.dec->output_hook = Host::record;
    EXPECT_EQ(h.feed(2), AAC_OK);
    for (int i = 0; i < 2 * 1024; i++)
        ASSERT_NE(block[i], -7.0f) << "channel sample " << i << " not written";
    for (int i = 2 * 1024; i < 8 * 1024; i++)
        ASSERT_EQ(block[i], -7.0f) << "written beyond the layout at " << i;
}

TEST(DecodeCall, ConcealmentReportsLostBlocksAndTheStreamRecovers)
{
    Host good("corr_ms_stereo_44k1_96k_msforced");
    for (size_t i = 0; i < 8; i++)
        good.feed(i);

    Host h("corr_ms_stereo_44k1_96k_msforced");
    h.dec->conceal_errors = 1;
    for (size_t i = 0; i < 8; i++)
        EXPECT_EQ(h.feed(i, i == 4 ? 10 : SIZE_MAX), AAC_OK) << "frame " << i;
    EXPECT_EQ(h.dec->error_count, 1);
    // The lost frame's block and the next one (whose overlap needs it).
    EXPECT_EQ(states(h), (std::vector<unsigned>{0, 0, 0, AAC_SLOT_LOST, AAC_SLOT_LOST, 0, 0}));
    // Two frames after the damage the output is the undamaged one again.
    EXPECT_EQ(h.blocks[5].samples, good.blocks[5].samples);
    EXPECT_EQ(h.blocks[6].samples, good.blocks[6].samples);

    // A damaged first frame: the second call reports a lost block, the third
    // a valid one.
    Host first("corr_ms_stereo_44k1_96k_msforced");
    first.dec->conceal_errors = 1;
    EXPECT_EQ(first.feed(0, 3), AAC_OK);
    EXPECT_EQ(first.feed(1), AAC_OK);
    EXPECT_EQ(first.feed(2), AAC_OK);
    EXPECT_EQ(states(first), (std::vector<unsigned>{AAC_SLOT_LOST, AAC_SLOT_VALID}));
}

TEST(DecodeCall, WithoutConcealmentABadFrameIsReportedAndSkipped)
{
    Host good("castanets_stereo_44k1_96k");
    for (size_t i : {0, 1, 2, 4, 5})
        good.feed(i);

    Host h("castanets_stereo_44k1_96k");
    for (size_t i = 0; i < 3; i++)
        EXPECT_EQ(h.feed(i), AAC_OK);
    size_t before = h.blocks.size();
    EXPECT_EQ(h.feed(3, 20), AAC_ERR_CORRUPT_FRAME);
    EXPECT_EQ(h.blocks.size(), before);
    EXPECT_EQ(h.dec->error_count, 0);
    EXPECT_EQ(h.feed(4), AAC_OK);
    EXPECT_EQ(h.feed(5), AAC_OK);
    // As if frame 3 had never been given.
    ASSERT_EQ(h.blocks.size(), good.blocks.size());
    for (size_t b = 0; b < good.blocks.size(); b++)
        EXPECT_EQ(h.blocks[b].samples, good.blocks[b].samples) << "block " << b;
}

aac_status AAC_CALL reject_frame(aac_decoder *, const aac_syn_elem *) { return AAC_ERR_BAD_STREAM; }

TEST(DecodeCall, AFrameRejectedByTheElementHookIsConcealedLikeACorruptOne)
{
    Host h("speech_mono_16k_24k");
    h.dec->conceal_errors = 1;
    h.feed(0);
    h.feed(1);
    h.dec->syn_elem_hook = reject_frame;
    EXPECT_EQ(h.feed(2), AAC_OK);
    h.dec->syn_elem_hook = nullptr;
    h.feed(3);
    h.feed(4);
    EXPECT_EQ(h.dec->error_count, 1);
    EXPECT_EQ(states(h), (std::vector<unsigned>{0, AAC_SLOT_LOST, AAC_SLOT_LOST, 0}));
}

TEST(DecodeCall, HookFailuresAreReturnedAndTheStreamGoesOn)
{
    Host good("speech_mono_16k_24k");
    for (size_t i = 0; i < 5; i++)
        good.feed(i);

    Host h("speech_mono_16k_24k");
    h.feed(0);
    h.hook_result = -5;
    EXPECT_EQ(h.feed(1), -5);
    h.hook_result = AAC_OK;
    for (size_t i = 2; i < 5; i++)
        EXPECT_EQ(h.feed(i), AAC_OK);
    // The failing hook still had its block; the frame counted as decoded.
    ASSERT_EQ(h.blocks.size(), good.blocks.size());
    for (size_t b = 0; b < good.blocks.size(); b++)
        EXPECT_EQ(h.blocks[b].samples, good.blocks[b].samples);
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
    EXPECT_EQ(std::vector<float>(mine, mine + 1024), h.blocks[1].samples);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(h.dec->out_block) & ~uintptr_t{15},
              reinterpret_cast<uintptr_t>(mine));
    // The host hands the pool's block back in place of its own, which the
    // decoder would otherwise give to the pool at destroy.
    h.dec->out_block = h.taken;
}

TEST(DecodeCall, GainsScaleExactlyAndEqualGainsShareOneWindowSet)
{
    Host unit("corr_is_stereo_32k_48k");
    Host half("corr_is_stereo_32k_48k", 0.5f);
    Host left_only("corr_is_stereo_32k_48k");
    left_only.dec->gain[1] = 0.0f;
    for (size_t i = 0; i < 6; i++) {
        unit.feed(i);
        half.feed(i);
        left_only.feed(i);
    }
    EXPECT_EQ(half.dec->channel_gain[0], half.dec->channel_gain[1]);
    EXPECT_NE(half.dec->gain_alloc[0], nullptr);
    EXPECT_EQ(half.dec->gain_alloc[1], nullptr);
    EXPECT_EQ(left_only.dec->channel_gain[1], nullptr);
    for (size_t b = 0; b < unit.blocks.size(); b++) {
        const auto &u = unit.blocks[b].samples;
        for (int i = 0; i < 2048; i++) {
            ASSERT_EQ(half.blocks[b].samples[i], u[i] * 0.5f) << b << ":" << i;
            ASSERT_EQ(left_only.blocks[b].samples[i], i < 1024 ? u[i] : 0.0f) << b << ":" << i;
        }
    }
}

// Everything a decoder needs is allocated by its first call.
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
            // Damage a frame too: concealment must not allocate either.
            return frame == 3 ? std::vector<uint8_t>(payload.begin(), payload.begin() + 5)
                              : payload;
        };
        DecodeResult r = decode_stream(s, options);
        EXPECT_EQ(hooks.allocations() - after_first, 0) << s.name;
        EXPECT_EQ(r.error_count, 1) << s.name;
        EXPECT_EQ(hooks.outstanding(), 0u) << s.name;
        EXPECT_EQ(hooks.reallocs, 0);
    }
}

}  // namespace
