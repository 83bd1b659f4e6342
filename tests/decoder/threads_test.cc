// Decoders on different threads are independent: four threads decoding four
// streams at once give the bytes of decoding them one after another, and
// calls that fail and unwind on one thread never disturb the guarded calls
// of another.  CI also runs these under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "decode_stream.h"
#include "frame/error.h"

using namespace lumdec;

namespace {

const char *const kStreams[] = {"speech_mono_16k_24k", "pink_stereo_48k_64k_pns",
                                "multi_5_1_48k_320k", "pce_quad_44k1_256k"};
constexpr int kRounds = 3;

bool same_decode(const DecodeResult &a, const DecodeResult &b)
{
    return a.status == b.status && a.block_states == b.block_states &&
           a.error_count == b.error_count && a.samples.size() == b.samples.size() &&
           std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * 4) == 0;
}

// Creation refused by its configuration, a program_config_element cut
// short, garbage frames and a failing hook: each unwinds from deep inside
// the library to its own call.
void fail_repeatedly(const std::atomic<bool> &stop, std::atomic<int> &wrong)
{
    const uint8_t garbage[] = {0x20, 0xFF, 0x13, 0x77, 0x00, 0xE1, 0x5A};
    while (!stop.load()) {
        aac_dec_config config{};
        config.profile = 2;
        config.channel_configuration = 2;
        aac_decoder *dec = nullptr;
        wrong += aac_dec_create(&dec, &config) != AAC_ERR_BAD_STREAM;
        config.profile = 1;
        config.input_data = garbage;
        config.input_size = 2;
        wrong += aac_dec_create(&dec, &config) != AAC_ERR_CORRUPT_FRAME;
        config.input_size = 0;
        wrong += aac_dec_create(&dec, &config) != AAC_OK;

        dec->gain[0] = dec->gain[1] = 1.0f;
        dec->output_hook = [](aac_decoder *, void **) -> aac_status { return -5; };
        for (int i = 0; i < 20; i++) {
            dec->input_data = garbage + i % 4;
            dec->input_size = 3;
            aac_status s = aac_dec_decode(dec);
            wrong += s != AAC_ERR_CORRUPT_FRAME && s != AAC_ERR_BAD_STREAM;
        }
        dec->input_size = 0;
        wrong += aac_dec_decode(dec) != -5;
        aac_dec_destroy(dec);
        wrong += aac_innermost_frame() != nullptr;
    }
}

// Four threads decode four streams at once, each the bytes of decoding it
// alone, while a fifth keeps failing calls.
TEST(Threads, FailingCallsOnAnotherThreadLeaveTheDecodesUntouched)
{
    std::vector<DecodeResult> alone;
    for (const char *name : kStreams)
        alone.push_back(decode_stream(test_stream(name)));

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread failing(fail_repeatedly, std::cref(stop), std::ref(wrong));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(std::size(kStreams), 0);
    for (size_t t = 0; t < std::size(kStreams); t++) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; round++)
                mismatches[t] += !same_decode(decode_stream(test_stream(kStreams[t])), alone[t]);
        });
    }
    for (std::thread &t : threads)
        t.join();
    stop = true;
    failing.join();
    for (size_t t = 0; t < std::size(kStreams); t++)
        EXPECT_EQ(mismatches[t], 0) << kStreams[t];
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
