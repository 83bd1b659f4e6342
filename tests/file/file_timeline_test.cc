// Which samples the file interface presents: MP4 edit lists on the output
// timeline (also with a media timescale at the core rate of an HE-AAC
// stream), MP4 against ADTS, and aacdec's output being exactly the reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_reading.h"
#include "lumdec.h"
#include "mp4_builder.h"
#include "test_streams.h"
#include "tool_runner.h"

namespace {

struct Decoded {
    aac_file_info info{};
    std::vector<float> samples;  // interleaved, decoder order
};

Decoded decode_bytes(const Bytes &file)
{
    Decoded d;
    FileHandle f;
    EXPECT_EQ(aac_file_open_memory(f.get(), file.data(), static_cast<int64_t>(file.size()), 0), AAC_OK)
        << aac_file_error(f.get());
    aac_file_get_info(f.get(), &d.info);
    d.samples = read_all(f.get(), AAC_READ_INTERLEAVED | AAC_READ_DECODER_ORDER);
    return d;
}

std::vector<float> slice(const std::vector<float> &v, size_t channels, size_t from, size_t count)
{
    return {v.begin() + static_cast<ptrdiff_t>(channels * from),
            v.begin() + static_cast<ptrdiff_t>(channels * (from + count))};
}

TEST(FileTimeline, EditListPresentsItsSpanAfterItsSilence)
{
    const std::vector<Bytes> frames =
        adts_payloads(read_file(test_data_path("streams/speech_mono_16k_24k.aac")));
    Mp4Layout whole;
    whole.sample_rate = 16000;
    whole.audio_specific_config = lc_config(8, 1);
    Mp4Layout edited = whole;
    // 100 ms of silence, then the media from 2112 to its end.
    edited.edits = {{-1, 1600}, {2112, 33 * 1024 - 2112}};
    const Decoded all = decode_bytes(build_mp4(frames, whole));
    const Decoded cut = decode_bytes(build_mp4(frames, edited));
    ASSERT_EQ(all.samples.size(), 33u * 1024);
    EXPECT_EQ(cut.info.edit_list, 1);
    EXPECT_EQ(cut.info.edit_start, 2112);
    EXPECT_EQ(cut.info.encoder_delay, 2112);
    EXPECT_EQ(cut.info.lead_silence, 1600);
    EXPECT_EQ(cut.info.length, 1600 + 33 * 1024 - 2112);
    ASSERT_EQ(cut.samples.size(), static_cast<size_t>(cut.info.length));
    EXPECT_EQ(slice(cut.samples, 1, 0, 1600), std::vector<float>(1600, 0.0f));
    EXPECT_EQ(slice(cut.samples, 1, 1600, 33 * 1024 - 2112), slice(all.samples, 1, 2112, 33 * 1024 - 2112));
}

// Without an edit list the gapless playback record declares the delay; it
// does not trim (only an edit list does), and it is not listed as a tag.
TEST(FileTimeline, GaplessRecordDeclaresTheDelay)
{
    const std::vector<Bytes> frames =
        adts_payloads(read_file(test_data_path("streams/speech_mono_16k_24k.aac")));
    Mp4Layout tagged;
    tagged.sample_rate = 16000;
    tagged.audio_specific_config = lc_config(8, 1);
    tagged.tags = {{"----:iTunSMPB", " 00000000 00000840 000001C0 00000000000077C0"}, {"\xA9nam", "x"}};
    const Bytes file = build_mp4(frames, tagged);
    FileHandle f;
    ASSERT_EQ(aac_file_open_memory(f.get(), file.data(), static_cast<int64_t>(file.size()), 0), AAC_OK);
    aac_file_info info{};
    aac_file_get_info(f.get(), &info);
    EXPECT_EQ(info.encoder_delay, 0x840);
    EXPECT_EQ(info.edit_list, 0);
    EXPECT_EQ(info.length, 33 * 1024);
    EXPECT_STREQ(info.title, "x");
    const char *name, *value;
    EXPECT_EQ(aac_file_get_tag(f.get(), 1, &name, &value), AAC_ERR_ARGUMENT);
}

// An HE-AAC track whose media timescale is the core rate (22050 Hz for a
// 44.1 kHz output): the edit list and the sample durations are scaled to
// the output rate.  From sample 2048 on, the MP4's output is the ADTS
// stream's: a silent frame ahead of the first one stands in for the frame
// before the stream without turning implicit SBR and PS off.
TEST(FileTimeline, HeEditListAtTheCoreTimescale)
{
    const Bytes adts = read_file(test_data_path("he/streams/decorr_stereo_44k1_40k_v2.aac"));
    const std::vector<Bytes> frames = adts_payloads(adts);
    ASSERT_EQ(frames.size(), 6u);
    Mp4Layout whole;
    whole.sample_rate = 22050;
    whole.audio_specific_config = lc_config(7, 1);  // implicit: LC, mono core
    Mp4Layout edited = whole;
    edited.edits = {{1024, 4 * 1024}};
    const Decoded from_adts = decode_bytes(adts);
    const Decoded all = decode_bytes(build_mp4(frames, whole));
    const Decoded cut = decode_bytes(build_mp4(frames, edited));
    EXPECT_EQ(all.info.sample_rate, 44100);
    EXPECT_EQ(all.info.channels, 2);
    EXPECT_EQ(all.info.length, 6 * 2048);
    EXPECT_EQ(cut.info.edit_start, 2048);
    EXPECT_EQ(cut.info.length, 4 * 2048);
    ASSERT_EQ(all.samples.size(), 2u * 6 * 2048);
    ASSERT_EQ(from_adts.samples.size(), 2u * 6 * 2048);
    EXPECT_EQ(slice(all.samples, 2, 2048, 5 * 2048), slice(from_adts.samples, 2, 0, 5 * 2048));
    EXPECT_EQ(cut.samples, slice(all.samples, 2, 2048, 4 * 2048));
}

// aacdec writes what the interface reads: raw float in decoder order.
TEST(FileTimeline, AacdecWritesTheReads)
{
    for (const char *name : {"streams/multi_5_1_48k_320k.aac", "mp4/sweep_mono_44k1_64k_fragmented.mp4",
                             "he/streams/speech_mono_32k_24k_v1.aac",
                             "he/mp4/downsampled_stereo_32k_48k_v1.m4a"}) {
        SCOPED_TRACE(name);
        const std::string path = test_data_path(name);
        Scratch s;
        RunResult r = s.run({"-q", "-f", "f32", path, "-o", "out.f32"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(read_floats(s.path("out.f32")), decode_bytes(read_file(path)).samples);
    }
}

}  // namespace
