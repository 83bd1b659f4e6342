// The decode call as a host sees it: blocks one frame behind the input, the
// end of a stream and a new one after it, per-channel gains, no allocation
// once the first call has set up, and hooks that fail or swap blocks at
// every point of a stream.  Every such call must follow the frame driver
// (stream_model.h): the hook's status comes back unless concealment catches
// it, a frame rejected by syn_elem_hook is dropped like a corrupt one, and
// every block whose two frames were accepted is the same as without the
// failure.  (Damaged frames: damaged_streams_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

#include "counting_allocator.h"
#include "decode_stream.h"
#include "observing_host.h"

namespace {

// A decoder for one test stream with a pool and a hook that records every
// block.
struct Host {
    explicit Host(const char *name)
        : stream(test_stream(name)), file(read_file(test_data_path("streams/" + stream.name + ".aac"))),
          frames(split_adts(file))
    {
        aac_dec_config config = stream_config(stream, file, frames);
        EXPECT_EQ(aac_dec_create(&dec, &config), AAC_OK);
        EXPECT_EQ(aac_frame_alloc_create(&pool, 8), AAC_OK);
        std::fill_n(dec->gain, 8, 1.0f);
        dec->pool = pool;
        dec->output_hook = record;
    }
    ~Host()
    {
        aac_dec_destroy(dec);
        EXPECT_NE(pool->free_head, nullptr) << "destroy did not return the decoder's block";
        pool->ops->destroy(pool);
    }

    // Frame i of the stream, or the end of the stream.
    aac_status feed(size_t i, bool end = false)
    {
        const uint8_t *start = &file[frames[i].payload_offset];
        payload.assign(start, start + (end ? 0 : frames[i].payload_size));
        dec->input_data = payload.data();
        dec->input_size = static_cast<int32_t>(payload.size());
        current = this;
        return aac_dec_decode(dec);
    }
    aac_status end() { return feed(0, true); }

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
    EXPECT_TRUE(h.blocks.empty());
    EXPECT_TRUE(h.feed(1) == AAC_OK && h.feed(2) == AAC_OK && h.end() == AAC_OK);
    EXPECT_EQ(h.states, (States{V, V, E}));

    // A new stream after the end: no block for its first frame, then the
    // same output as a fresh decoder gives.
    Host fresh("speech_mono_16k_24k");
    h.states.clear();
    for (size_t i : {0, 1})
        EXPECT_TRUE(fresh.feed(i) == AAC_OK && h.feed(i) == AAC_OK);
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

enum class Failing { output_hook, syn_elem_hook };

// Ten frames, an end of stream, and two frames of a new stream.
std::vector<std::vector<uint8_t>> calls_of(const TestStream &stream)
{
    std::vector<uint8_t> file = read_file(test_data_path("streams/" + stream.name + ".aac"));
    std::vector<std::vector<uint8_t>> calls;
    for (const AdtsFrame &f : split_adts(file)) {
        if (calls.size() == 10)
            calls.emplace_back();
        calls.emplace_back(file.begin() + f.payload_offset,
                           file.begin() + f.payload_offset + f.payload_size);
        if (calls.size() == 13)
            break;
    }
    return calls;
}

struct StreamRun {
    std::vector<ObservedCall> calls;
    std::map<size_t, std::vector<float>> valid_blocks;  // by call
};

// At call `at` the output hook takes the block and hands over another
// from the pool, and the failing hook returns `status`.
StreamRun drive(const TestStream &stream, bool conceal, Failing failing, size_t at, aac_status status)
{
    aac_frame_alloc *pool = nullptr;
    EXPECT_EQ(aac_frame_alloc_create(&pool, 2), AAC_OK);
    aac_dec_config config = {0, 0, 0, 0, nullptr, 0, 1, stream.sampling_frequency_index, stream.layout};
    aac_decoder *dec = nullptr;
    EXPECT_EQ(aac_dec_create(&dec, &config), AAC_OK);
    dec->gain[0] = dec->gain[1] = 1.0f;
    dec->pool = pool;
    dec->conceal_errors = conceal;

    StreamRun run;
    size_t call = 0;
    ObservingHost host(dec);
    host.syn_elem_hook = true;
    host.on_block = [&](void **slot) {
        uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
        auto *block = reinterpret_cast<float *>(word & ~uintptr_t{AAC_SLOT_STATE_MASK});
        if ((word & AAC_SLOT_STATE_MASK) == AAC_SLOT_VALID)
            run.valid_blocks[call].assign(block, block + 2048);
        if (call != at)
            return AAC_OK;
        void *other = nullptr;
        EXPECT_EQ(pool->ops->get(pool, &other), AAC_OK);
        pool->ops->put(pool, block);
        *slot = other;
        return failing == Failing::output_hook ? status : AAC_OK;
    };
    host.on_elements = [&](const aac_syn_elem *) {
        return call == at && failing == Failing::syn_elem_hook ? status : AAC_OK;
    };

    StreamModel model;
    std::vector<std::vector<uint8_t>> frames = calls_of(stream);
    for (call = 0; call < frames.size(); call++) {
        const std::vector<uint8_t> &f = frames[call];
        ObservedCall observed = host.decode(f.data(), static_cast<int32_t>(f.size()));
        EXPECT_TRUE(model.step(observed)) << "call " << call << " status " << observed.status;
        run.calls.push_back(observed);
    }
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);
    return run;
}

TEST(HostHooks, FailingAndSwappingHooksAtEveryCallKeepTheStreamGoing)
{
    const TestStream &stream = test_stream("castanets_stereo_44k1_96k");
    const StreamRun clean = drive(stream, false, Failing::output_hook, SIZE_MAX, AAC_OK);
    ASSERT_EQ(clean.valid_blocks.size(), 10u);  // 9 + 1, none at the end of stream

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
                    for (const auto &[call, samples] : run.valid_blocks) {
                        if (call == rejected || call == rejected + 1)
                            continue;
                        ASSERT_TRUE(clean.valid_blocks.count(call)) << "call " << call;
                        EXPECT_EQ(samples, clean.valid_blocks.at(call)) << "call " << call;
                    }
                }
}

// Without a pool or an output hook a decoder parses and reconstructs but
// writes no block.
TEST(HostHooks, ADecoderWithoutPoolOrHookDecodesTheWholeStream)
{
    const TestStream &stream = test_stream("mix_stereo_8k_16k");
    std::vector<uint8_t> file = read_file(test_data_path("streams/" + stream.name + ".aac"));
    aac_dec_config config = stream_config(stream, file, split_adts(file));
    aac_decoder *dec = nullptr;
    ASSERT_EQ(aac_dec_create(&dec, &config), AAC_OK);
    dec->gain[0] = dec->gain[1] = 1.0f;
    ObservingHost host(dec);
    host.output_hook = false;
    for (const AdtsFrame &f : split_adts(file))
        EXPECT_EQ(host.decode(&file[f.payload_offset], static_cast<int32_t>(f.payload_size)).status, AAC_OK);
    EXPECT_EQ(host.decode(nullptr, 0).status, AAC_OK);
    EXPECT_EQ(dec->out_block, reinterpret_cast<void *>(uintptr_t{AAC_SLOT_EMPTY}));
    aac_dec_destroy(dec);
}

}  // namespace
