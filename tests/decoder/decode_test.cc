// The decode call as a host sees it: blocks one frame behind the input, the
// end of a stream and a new one after it, per-channel gains, and hooks that
// fail or swap blocks at every point of a stream.  Every call must follow
// the frame driver (stream_model.h): the hook's status comes back unless
// concealment catches it, a frame rejected by syn_elem_hook is dropped like
// a corrupt one, and every block whose two frames were accepted is the same
// as without the failure.  (Damaged frames: damaged_streams_test; no
// allocation after the first call: process_allocations.)
#include <gtest/gtest.h>

#include <algorithm>

#include "decode_stream.h"

namespace {

using States = std::vector<unsigned>;
constexpr unsigned V = AAC_SLOT_VALID, E = AAC_SLOT_EMPTY;

TEST(DecodeCall, OutputRunsOneFrameBehindAndTheStreamEndsWithAnEmptyBlock)
{
    StreamHost h(test_stream("speech_mono_16k_24k"));
    EXPECT_EQ(h.feed(0).status, AAC_OK);
    EXPECT_TRUE(h.blocks.empty());
    h.feed(1), h.feed(2), h.end();
    EXPECT_EQ(h.states, (States{V, V, E}));

    // A new stream after the end: no block for its first frame, then the
    // same output as a fresh decoder gives.
    StreamHost fresh(test_stream("speech_mono_16k_24k"));
    h.states.clear();
    for (size_t i : {0, 1})
        fresh.feed(i), h.feed(i);
    EXPECT_EQ(h.states, (States{V}));
    EXPECT_EQ(h.blocks.back(), fresh.blocks.back());

    // A first call without input sets up and ends at once.
    StreamHost empty(test_stream("mix_stereo_8k_16k"));
    empty.end();
    EXPECT_EQ(empty.states, (States{E}));
    EXPECT_TRUE(h.follows_model && fresh.follows_model && empty.follows_model);
}

TEST(DecodeCall, OnlyTheLayoutsChannelsAreWrittenAndNothingWithoutAHook)
{
    StreamHost h(test_stream("mix_stereo_8k_16k"));
    h.host.output_hook = false;
    h.feed(0);
    float *block = reinterpret_cast<float *>(reinterpret_cast<uintptr_t>(h.dec->out_block) & ~uintptr_t{15});
    std::fill_n(block, 8 * 1024, -7.0f);
    h.feed(1);
    EXPECT_EQ(std::count(block, block + 8 * 1024, -7.0f), 8 * 1024) << "written without a hook";
    h.host.output_hook = true;
    h.feed(2);
    EXPECT_EQ(std::count(block, block + 2 * 1024, -7.0f), 0) << "a channel not written";
    EXPECT_EQ(std::count(block + 2 * 1024, block + 8 * 1024, -7.0f), 6 * 1024) << "beyond the layout";
}

TEST(DecodeCall, GainsScaleEachChannelExactly)
{
    const TestStream &stream = test_stream("corr_is_stereo_32k_48k");
    DecodeOptions half, left_only;
    std::fill_n(half.gains, 8, 0.5f);
    left_only.gains[1] = 0.0f;
    const DecodeResult u = decode_stream(stream), h = decode_stream(stream, half), l = decode_stream(stream, left_only);
    ASSERT_TRUE(u.samples.size() == h.samples.size() && u.samples.size() == l.samples.size());
    for (size_t i = 0; i < u.samples.size(); i++) {
        ASSERT_EQ(h.samples[i], u.samples[i] * 0.5f) << i;
        ASSERT_EQ(l.samples[i], i % 2 ? 0.0f : u.samples[i]) << i;
    }
}

enum class Failing { output_hook, syn_elem_hook };

struct StreamRun {
    std::vector<ObservedCall> calls;
    std::vector<std::vector<float>> blocks;  // by call: the valid block it delivered
};

// Ten frames, an end of stream and two frames of a new stream.  At call
// `at` the output hook takes the block and hands over another from the
// pool, and the failing hook returns `status`.
StreamRun drive(const TestStream &stream, bool conceal, Failing failing, size_t at, aac_status status)
{
    StreamHost h(stream);
    h.dec->conceal_errors = conceal;
    h.host.syn_elem_hook = true;
    StreamRun run;
    h.on_block = [&](void **slot) {
        if (run.calls.size() != at)
            return AAC_OK;
        void *other = nullptr;
        EXPECT_EQ(h.pool->ops->get(h.pool, &other), AAC_OK);
        h.pool->ops->put(h.pool, reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(*slot) & ~uintptr_t{15}));
        *slot = other;
        return failing == Failing::output_hook ? status : AAC_OK;
    };
    h.host.on_elements = [&](const aac_syn_elem *) {
        return run.calls.size() == at && failing == Failing::syn_elem_hook ? status : AAC_OK;
    };
    for (size_t frame : std::initializer_list<size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, SIZE_MAX, 10, 11}) {
        const size_t blocks_before = h.blocks.size();
        run.calls.push_back(frame == SIZE_MAX ? h.end() : h.feed(frame));
        const bool valid = h.blocks.size() > blocks_before && !h.blocks.back().empty();
        run.blocks.push_back(valid ? h.blocks.back() : std::vector<float>{});
    }
    EXPECT_TRUE(h.follows_model);
    return run;
}

TEST(HostHooks, FailingAndSwappingHooksAtEveryCallKeepTheStreamGoing)
{
    const TestStream &stream = test_stream("castanets_stereo_44k1_96k");
    const StreamRun clean = drive(stream, false, Failing::output_hook, SIZE_MAX, AAC_OK);
    ASSERT_EQ(std::count_if(clean.blocks.begin(), clean.blocks.end(), [](auto &b) { return !b.empty(); }), 10);

    const aac_status statuses[] = {-5, AAC_ERR_CORRUPT_FRAME, AAC_ERR_BAD_STREAM};
    for (Failing failing : {Failing::output_hook, Failing::syn_elem_hook})
        for (bool conceal : {false, true})
            for (aac_status status : statuses)
                for (size_t at = 0; at < clean.calls.size(); at++) {
                    SCOPED_TRACE(::testing::Message()
                                 << (failing == Failing::output_hook ? "output_hook" : "syn_elem_hook")
                                 << " returns " << status << " at call " << at
                                 << (conceal ? ", concealing" : ""));
                    StreamRun run = drive(stream, conceal, failing, at, status);
                    const ObservedCall &c = run.calls[at];
                    const bool hook_ran = failing == Failing::output_hook ? !c.hooks.empty()
                                                                          : c.syn_hook_called;
                    EXPECT_EQ(c.status, !hook_ran || (conceal && status != -5) ? AAC_OK : status);
                    // A frame that syn_elem_hook rejected is missing from the
                    // overlaps; every other block is unchanged.
                    const size_t rejected =
                        failing == Failing::syn_elem_hook && hook_ran ? at : SIZE_MAX;
                    for (size_t call = 0; call < run.blocks.size(); call++) {
                        if (call == rejected || call == rejected + 1 || run.blocks[call].empty())
                            continue;
                        EXPECT_EQ(run.blocks[call], clean.blocks[call]) << "call " << call;
                    }
                }
}

}  // namespace
