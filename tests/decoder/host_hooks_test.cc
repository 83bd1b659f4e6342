// Host hooks that fail or swap blocks at every point of a stream.  Every
// call must follow the frame driver (stream_model.h): the hook's status
// comes back unless concealment catches it, a frame rejected by
// syn_elem_hook is dropped like a corrupt one, and the stream goes on, so
// that every block whose two frames were accepted is the same as without
// the failure.
#include <gtest/gtest.h>

#include <map>

#include "decode_stream.h"
#include "observing_host.h"

namespace {

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
