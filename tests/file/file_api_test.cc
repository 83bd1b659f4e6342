// The file interface as a host sees it: what the info reports for LC and
// HE-AAC in ADTS and MP4, the same samples whichever way the bytes arrive,
// the channel orders of a read, and the status and message of each failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_reading.h"
#include "lumdec.h"
#include "test_streams.h"

namespace {

TEST(FileInfo, DescribesLcAndHeTracks)
{
    struct Case {
        const char *file;
        int container, object_type, core_rate, rate, channels, layout, block;
        uint32_t mask;
        int64_t frames, length;
    } cases[] = {
        // 12 frames: the output runs from the second frame's block to the
        // end of the last frame.
        {"streams/multi_5_1_48k_320k.aac", AAC_CONTAINER_ADTS, 2, 48000, 48000, 6, 6, 1024, 0x3F,
         12, 12 * 1024},
        // An edit list over the whole media, from sample 0.
        {"mp4/speech_mono_16k_24k.m4a", AAC_CONTAINER_MP4, 2, 16000, 16000, 1, 1, 1024, 0x4, 33,
         33 * 1024},
        // Four channels from the program_config_element of the
        // AudioSpecificConfig, whatever the sample entry says.
        {"mp4/pce_quad_44k1_256k.m4a", AAC_CONTAINER_MP4, 2, 44100, 44100, 4, 9, 1024, 0x33, 66,
         66 * 1024},
        // Implicit SBR and PS found in the first frame: the rate doubles,
        // the mono core gives a stereo pair.
        {"he/streams/decorr_stereo_44k1_40k_v2.aac", AAC_CONTAINER_ADTS, 29, 22050, 44100, 2, 2,
         2048, 0x3, 6, 6 * 2048},
        {"he/streams/chord_stereo_48k_64k_v1.aac", AAC_CONTAINER_ADTS, 5, 24000, 48000, 2, 2,
         2048, 0x3, 6, 6 * 2048},
        // Explicit hierarchical PS (object type 29).
        {"he/mp4/explicit_hier_stereo_44k1_32k_v2.m4a", AAC_CONTAINER_MP4, 29, 22050, 44100, 2, 2,
         2048, 0x3, 26, 26 * 2048},
        // Implicit SBR in MP4, the media timescale at the output rate.
        {"he/mp4/sweep_mono_44k1_32k_v1.m4a", AAC_CONTAINER_MP4, 5, 22050, 44100, 1, 1, 2048, 0x4,
         29, 29 * 2048},
        // Downsampled SBR: the output stays at the core rate.
        {"he/mp4/downsampled_stereo_32k_48k_v1.m4a", AAC_CONTAINER_MP4, 5, 32000, 32000, 2, 2,
         1024, 0x3, 34, 34 * 1024},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        FileHandle f;
        ASSERT_EQ(aac_file_open_path(f.get(), test_data_path(c.file).c_str(), 0), AAC_OK)
            << aac_file_error(f.get());
        aac_file_info info{};
        ASSERT_EQ(aac_file_scan(f.get()), AAC_OK);
        ASSERT_EQ(aac_file_get_info(f.get(), &info), AAC_OK);
        EXPECT_EQ(info.container, c.container);
        EXPECT_EQ(info.object_type, c.object_type);
        EXPECT_EQ(info.core_sample_rate, c.core_rate);
        EXPECT_EQ(info.sample_rate, c.rate);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.layout, c.layout);
        EXPECT_EQ(info.channel_mask, c.mask);
        EXPECT_EQ(info.samples_per_block, c.block);
        EXPECT_EQ(info.frames, c.frames);
        EXPECT_EQ(info.length, c.length);
        EXPECT_EQ(info.decodable, 1);
        EXPECT_STREQ(info.unsupported, "");
        EXPECT_STREQ(info.codec_name, c.object_type == 2 ? "AAC LC"
                                      : c.object_type == 5 ? "HE-AAC"
                                                           : "HE-AAC v2");
        // The info's length is what the reads deliver.
        std::vector<float> all = read_all(f.get(), AAC_READ_INTERLEAVED);
        EXPECT_EQ(static_cast<int64_t>(all.size()), c.length * c.channels);
    }
}

TEST(FileInfo, AdtsCountsNeedAScanAndTagsComeFromMp4)
{
    FileHandle adts;
    ASSERT_EQ(aac_file_open_path(adts.get(), test_data_path("streams/multi_5_1_48k_320k.aac").c_str(), 0),
              AAC_OK);
    aac_file_info info{};
    aac_file_get_info(adts.get(), &info);
    EXPECT_EQ(info.frames, -1);
    EXPECT_EQ(info.length, -1);
    EXPECT_EQ(info.encoder_delay, -1);
    EXPECT_EQ(info.track_count, 1);
    EXPECT_STREQ(info.container_name, "ADTS (MPEG-4)");
    EXPECT_STREQ(info.speakers, "C L R Ls Rs LFE");
    aac_file_track track{};
    ASSERT_EQ(aac_file_get_track(adts.get(), 1, &track), AAC_OK);
    EXPECT_EQ(track.object_type, 2);
    EXPECT_EQ(track.sample_rate, 48000);
    EXPECT_EQ(track.channels, 6);

    FileHandle mp4;
    ASSERT_EQ(aac_file_open_path(mp4.get(), test_data_path("he/mp4/sweep_mono_44k1_32k_v1.m4a").c_str(), 0),
              AAC_OK);
    aac_file_get_info(mp4.get(), &info);
    EXPECT_STREQ(info.encoder, "Lavf59.27.100");
    EXPECT_STREQ(info.title, "");
    EXPECT_EQ(info.edit_list, 1);
    EXPECT_EQ(info.edit_start, 0);
    const char *name = nullptr, *value = nullptr;
    ASSERT_EQ(aac_file_get_tag(mp4.get(), 0, &name, &value), AAC_OK);
    EXPECT_STREQ(name, "encoder");
    EXPECT_EQ(aac_file_get_tag(mp4.get(), 1, &name, &value), AAC_ERR_ARGUMENT);
    ASSERT_EQ(aac_file_get_track(mp4.get(), 1, &track), AAC_OK);
    // As configured: the core of an implicit stream.
    EXPECT_EQ(track.object_type, 2);
    EXPECT_EQ(track.sample_rate, 22050);
    EXPECT_EQ(track.frames, 29);
    EXPECT_EQ(aac_file_get_track(mp4.get(), 2, &track), AAC_ERR_NO_TRACK);
}

// Path, memory, seekable hooks and a stream read once give one decoding.
TEST(FileSources, EveryWayInGivesTheSameSamples)
{
    for (const char *name : {"mp4/speech_mono_16k_24k.m4a", "he/streams/decorr_stereo_44k1_40k_v2.aac",
                             "he/mp4/explicit_hier_stereo_44k1_32k_v2.m4a"}) {
        SCOPED_TRACE(name);
        const std::string path = test_data_path(name);
        const std::vector<uint8_t> bytes = file_bytes(path);
        FileHandle by_path, by_memory, by_seek, by_stream;
        ASSERT_EQ(aac_file_open_path(by_path.get(), path.c_str(), 0), AAC_OK);
        ASSERT_EQ(aac_file_open_memory(by_memory.get(), bytes.data(), static_cast<int64_t>(bytes.size()), 0),
                  AAC_OK);
        MemoryHooks seekable(bytes, true), once(bytes, false);
        ASSERT_EQ(aac_file_open_io(by_seek.get(), &seekable.io, 0), AAC_OK);
        ASSERT_EQ(aac_file_open_io(by_stream.get(), &once.io, 0), AAC_OK);
        const std::vector<float> expected = read_all(by_path.get(), AAC_READ_PLANAR);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(read_all(by_memory.get(), AAC_READ_PLANAR), expected);
        EXPECT_EQ(read_all(by_seek.get(), AAC_READ_PLANAR), expected);
        EXPECT_EQ(read_all(by_stream.get(), AAC_READ_PLANAR), expected);
    }
}

// Two handles taking turns on one thread decode as each does alone.
TEST(FileSources, HandlesTakingTurnsStayApart)
{
    const std::string a = test_data_path("he/mp4/explicit_hier_stereo_44k1_32k_v2.m4a");
    const std::string b = test_data_path("streams/multi_5_1_48k_320k.aac");
    std::vector<float> alone_a, alone_b, turns_a, turns_b;
    {
        FileHandle fa, fb;
        aac_file_open_path(fa.get(), a.c_str(), 0);
        aac_file_open_path(fb.get(), b.c_str(), 0);
        alone_a = read_all(fa.get(), AAC_READ_INTERLEAVED);
        alone_b = read_all(fb.get(), AAC_READ_INTERLEAVED);
    }
    FileHandle fa, fb;
    aac_file_open_path(fa.get(), a.c_str(), 0);
    aac_file_open_path(fb.get(), b.c_str(), 0);
    std::vector<float> buffer(6 * 700);
    for (bool more_a = true, more_b = true; more_a || more_b;) {
        // Odd block sizes cut across the decoder's blocks.
        int32_t n = more_a ? aac_file_read(fa.get(), buffer.data(), 700, AAC_READ_INTERLEAVED) : 0;
        turns_a.insert(turns_a.end(), buffer.begin(), buffer.begin() + 2 * std::max(n, 0));
        more_a = n > 0;
        n = more_b ? aac_file_read(fb.get(), buffer.data(), 333, AAC_READ_INTERLEAVED) : 0;
        turns_b.insert(turns_b.end(), buffer.begin(), buffer.begin() + 6 * std::max(n, 0));
        more_b = n > 0;
    }
    EXPECT_EQ(turns_a, alone_a);
    EXPECT_EQ(turns_b, alone_b);
}

// WAV order puts the front pair first; planar and interleaved hold the same
// values; the gain scales every sample.
TEST(FileRead, ChannelOrdersLayoutsAndGain)
{
    const std::string path = test_data_path("streams/multi_5_1_48k_320k.aac");
    auto read_with = [&](int32_t flags, float gain) {
        aac_file_config config{};
        config.gain = gain;
        FileHandle f(&config);
        EXPECT_EQ(aac_file_open_path(f.get(), path.c_str(), 0), AAC_OK);
        return read_all(f.get(), flags);
    };
    const std::vector<float> decoder = read_with(AAC_READ_INTERLEAVED | AAC_READ_DECODER_ORDER, 0);
    const std::vector<float> wav = read_with(AAC_READ_INTERLEAVED, 0);
    const std::vector<float> planar = read_with(AAC_READ_PLANAR | AAC_READ_DECODER_ORDER, 0);
    const std::vector<float> doubled = read_with(AAC_READ_INTERLEAVED | AAC_READ_DECODER_ORDER, 2.0f);
    ASSERT_EQ(decoder.size(), 6u * 12 * 1024);
    ASSERT_EQ(wav.size(), decoder.size());
    // Decoder order C L R Ls Rs LFE; WAV order L R C LFE Ls Rs.
    const int wav_from[6] = {1, 2, 0, 5, 3, 4};
    const size_t frames = decoder.size() / 6;
    size_t mismatches = 0;
    for (size_t i = 0; i < frames; i++)
        for (size_t c = 0; c < 6; c++) {
            mismatches += wav[i * 6 + c] != decoder[i * 6 + static_cast<size_t>(wav_from[c])];
            mismatches += doubled[i * 6 + c] != 2.0f * decoder[i * 6 + c];
        }
    EXPECT_EQ(mismatches, 0u);
    // read_all reads planar in blocks of 1024: plane c of each block.
    EXPECT_EQ(planar[1024 * 1 + 5], decoder[5 * 6 + 1]);
    EXPECT_EQ(planar[1024 * 6 + 1024 * 2 + 7], decoder[(1024 + 7) * 6 + 2]);
}

TEST(FileErrors, StatusAndMessageOfEachFailure)
{
    const std::string adts = test_data_path("streams/multi_5_1_48k_320k.aac");
    const std::string mp4 = test_data_path("mp4/speech_mono_16k_24k.m4a");
    const std::vector<uint8_t> text(3000, 'x');
    struct Case {
        const char *name;
        aac_status status;
        const char *message;
        std::function<aac_status(aac_file *)> open;
    } cases[] = {
        {"missing", AAC_ERR_IO, "cannot open: No such file or directory",
         [](aac_file *f) { return aac_file_open_path(f, "/nonexistent/x.aac", 0); }},
        {"text", AAC_ERR_FORMAT, "not an ADTS or MP4 file",
         [&](aac_file *f) { return aac_file_open_memory(f, text.data(), 3000, 0); }},
        {"mp4_track_2", AAC_ERR_NO_TRACK, "the MP4 file has 1 audio track; there is no track 2",
         [&](aac_file *f) { return aac_file_open_path(f, mp4.c_str(), 2); }},
        {"adts_track_2", AAC_ERR_NO_TRACK, "an ADTS stream holds one track",
         [&](aac_file *f) { return aac_file_open_path(f, adts.c_str(), 2); }},
        {"negative_track", AAC_ERR_ARGUMENT, "track numbers count from 1",
         [&](aac_file *f) { return aac_file_open_path(f, adts.c_str(), -1); }},
        {"null_path", AAC_ERR_ARGUMENT, "no path",
         [](aac_file *f) { return aac_file_open_path(f, nullptr, 0); }},
        {"no_read_hook", AAC_ERR_ARGUMENT, "no read hook",
         [](aac_file *f) {
             aac_file_io io{};
             return aac_file_open_io(f, &io, 0);
         }},
        {"failing_hook", AAC_ERR_IO, "the read hook failed",
         [](aac_file *f) {
             aac_file_io io{[](void *, void *, int32_t) -> int64_t { return -1; }, nullptr, nullptr,
                            nullptr};
             return aac_file_open_io(f, &io, 0);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FileHandle f;
        EXPECT_EQ(c.open(f.get()), c.status);
        EXPECT_NE(std::string(aac_file_error(f.get())).find(c.message), std::string::npos)
            << aac_file_error(f.get());
        // Nothing is open after a failed open.
        aac_file_info info{};
        EXPECT_EQ(aac_file_get_info(f.get(), &info), AAC_ERR_ARGUMENT);
        float sample;
        EXPECT_EQ(aac_file_read(f.get(), &sample, 1, 0), AAC_ERR_ARGUMENT);
    }
    EXPECT_STREQ(aac_file_error(nullptr), "");
    EXPECT_EQ(aac_file_create(nullptr, nullptr), AAC_ERR_ARGUMENT);
    aac_file_config reserved{};
    reserved.reserved[2] = 1;
    aac_file *f = nullptr;
    EXPECT_EQ(aac_file_create(&f, &reserved), AAC_ERR_ARGUMENT);
    EXPECT_EQ(f, nullptr);
    aac_file_close(nullptr);
}

// A layout the decoder refuses still opens and describes itself; reading
// it fails.  Damage is concealed with warnings, or fails a strict read.
TEST(FileErrors, RefusedStreamsAndDamage)
{
    FileHandle refused;
    ASSERT_EQ(aac_file_open_path(refused.get(),
                                 test_data_path("streams/refused_quad_side_44k1_256k.aac").c_str(), 0),
              AAC_OK);
    aac_file_info info{};
    aac_file_get_info(refused.get(), &info);
    EXPECT_EQ(info.decodable, 0);
    EXPECT_NE(std::string(info.unsupported).find("program_config_element"), std::string::npos);
    float buffer[2048];
    EXPECT_EQ(aac_file_read(refused.get(), buffer, 1024, 0), AAC_ERR_BAD_STREAM);

    std::vector<uint8_t> cut = file_bytes(test_data_path("streams/multi_5_1_48k_320k.aac"));
    cut.erase(cut.end() - 10, cut.end());  // the last frame cut short
    FileHandle lenient;
    ASSERT_EQ(aac_file_open_memory(lenient.get(), cut.data(), static_cast<int64_t>(cut.size()), 0), AAC_OK);
    EXPECT_EQ(read_all(lenient.get(), AAC_READ_INTERLEAVED).size(), 6u * 11 * 1024);
    ASSERT_NE(aac_file_warning(lenient.get(), 0), nullptr);
    EXPECT_NE(std::string(aac_file_warning(lenient.get(), 0)).find("the last frame is cut short"),
              std::string::npos);
    EXPECT_EQ(aac_file_warning(lenient.get(), 1), nullptr);

    aac_file_config config{};
    config.strict = 1;
    FileHandle strict(&config);
    ASSERT_EQ(aac_file_open_memory(strict.get(), cut.data(), static_cast<int64_t>(cut.size()), 0), AAC_OK);
    std::vector<float> big(6 * 1024 * 16);
    EXPECT_EQ(aac_file_read(strict.get(), big.data(), 1024 * 16, 0), AAC_ERR_CORRUPT_FRAME);
    EXPECT_NE(std::string(aac_file_error(strict.get())).find("cut short"), std::string::npos);
    // After a failure the handle only reports.
    EXPECT_EQ(aac_file_read(strict.get(), big.data(), 1024, 0), AAC_ERR_ARGUMENT);
}

// A damaged first frame of an HE-AAC stream: the next frame fixes the
// format (SBR; PS only if that frame carries it), and every block has the
// format the info promised.
TEST(FileErrors, DamagedFirstFrameOfAnHeStream)
{
    std::vector<uint8_t> bytes = file_bytes(test_data_path("he/streams/decorr_stereo_44k1_40k_v2.aac"));
    const size_t first = ((bytes[3] & 3u) << 11) | (bytes[4] << 3) | (bytes[5] >> 5);
    std::fill(bytes.begin() + 7, bytes.begin() + static_cast<ptrdiff_t>(first), uint8_t{0xA5});
    FileHandle f;
    ASSERT_EQ(aac_file_open_memory(f.get(), bytes.data(), static_cast<int64_t>(bytes.size()), 0), AAC_OK);
    aac_file_info info{};
    aac_file_get_info(f.get(), &info);
    EXPECT_EQ(info.sample_rate, 44100);
    EXPECT_EQ(info.samples_per_block, 2048);
    const std::vector<float> samples = read_all(f.get(), AAC_READ_INTERLEAVED);
    EXPECT_EQ(samples.size(), static_cast<size_t>(info.channels) * 6 * 2048);
    ASSERT_NE(aac_file_warning(f.get(), 0), nullptr);
    EXPECT_EQ(std::string(aac_file_warning(f.get(), 0)).rfind("frame 1: ", 0), 0u) << aac_file_warning(f.get(), 0);
    aac_file_stats stats{};
    aac_file_get_stats(f.get(), &stats);
    EXPECT_EQ(stats.frames, 6);
    EXPECT_EQ(stats.lost_frames, 1);
    EXPECT_EQ(stats.samples, 6 * 2048);
}

}  // namespace
