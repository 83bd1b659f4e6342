// The file layer's container readers on files built in the test.  ADTS: tags,
// damage between frames, cut and padded ends, inputs that are not ADTS.
// MP4: every layout gives back the frames it was built from, and damaged
// files end in an error, never a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "file/adts_reader.h"
#include "file/audio_config.h"
#include "file/byte_source.h"
#include "file/input.h"
#include "file/mp4_reader.h"
#include "mp4_builder.h"
#include "pce_writer.h"
#include "tool_runner.h"

using namespace lumdec::file;

namespace {

std::vector<Bytes> synthetic_frames(size_t n, bool same_size = false)
{
    std::vector<Bytes> frames;
    for (size_t i = 0; i < n; i++)
        frames.emplace_back(same_size ? 40 : 20 + (i * 37) % 50, static_cast<uint8_t>(i + 1));
    return frames;
}

Mp4File read(const Bytes &file)
{
    MemorySource source(file);
    return read_mp4(source);
}

// The message of the FileError that reading raises, or "" when it reads.
std::string read_error(const Bytes &file)
{
    try {
        read(file);
        return "";
    } catch (const FileError &e) {
        EXPECT_EQ(e.failure(), Failure::input);
        return e.what();
    }
}

// Writes value into the 32-bit field at offset at of the first box of the type.
void patch32(Bytes &file, const std::string &type, ptrdiff_t at, uint32_t value)
{
    auto box = std::search(file.begin(), file.end(), type.begin(), type.end());
    ASSERT_NE(box, file.end()) << type;
    for (int i = 0; i < 4; i++)
        box[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

TEST(Mp4Reader, EveryLayoutGivesBackTheFramesBuiltIn)
{
    const std::pair<const char *, std::function<void(Mp4Layout &)>> layouts[] = {
        {"moov_last", [](Mp4Layout &) {}},
        {"moov_first_chunks_of_4", [](Mp4Layout &l) { l.moov_first = true, l.samples_per_chunk = 4; }},
        {"co64_chunks_of_5", [](Mp4Layout &l) { l.co64 = true, l.samples_per_chunk = 5; }},
        {"video_track_first", [](Mp4Layout &l) { l.video_track_first = true; }},
        {"two_audio_tracks", [](Mp4Layout &l) { l.second_audio_track = true; }},
        {"fragments_moof_relative", [](Mp4Layout &l) { l.fragments = Fragments::moof_relative; }},
        {"fragments_explicit_base", [](Mp4Layout &l) { l.fragments = Fragments::explicit_base; }},
        {"fragments_trex_defaults", [](Mp4Layout &l) { l.fragments = Fragments::trex_defaults; }},
        {"quicktime_v1_wave", [](Mp4Layout &l) { l.quicktime_version = 1; }},
        {"quicktime_v2_wave", [](Mp4Layout &l) { l.quicktime_version = 2, l.sample_rate = 44100; }},
    };
    for (const auto &[name, set] : layouts) {
        SCOPED_TRACE(name);
        Mp4Layout layout;
        set(layout);
        layout.audio_specific_config = lc_config(3, 2);
        const std::vector<Bytes> frames = synthetic_frames(23, layout.fragments == Fragments::trex_defaults);
        const Bytes file = build_mp4(frames, layout);
        const Mp4File mp4 = read(file);
        ASSERT_EQ(mp4.audio_tracks.size(), layout.second_audio_track ? 2u : 1u);
        const Mp4Track &track = mp4.audio_tracks[0];
        EXPECT_EQ(mp4.fragmented, layout.fragments != Fragments::none);
        EXPECT_EQ(track.sample_entry, fourcc("mp4a"));
        EXPECT_EQ(track.object_type_indication, 0x40);
        EXPECT_EQ(track.audio_specific_config, layout.audio_specific_config);
        EXPECT_EQ(track.sample_rate, layout.sample_rate);
        EXPECT_EQ(track.sample_durations, frames.size() * 1024);
        ASSERT_EQ(track.samples.size(), frames.size());
        for (size_t i = 0; i < frames.size(); i++) {
            const Mp4Sample &sample = track.samples[i];
            ASSERT_LE(sample.offset + sample.size, file.size());
            const auto at = file.begin() + static_cast<ptrdiff_t>(sample.offset);
            EXPECT_EQ(Bytes(at, at + static_cast<ptrdiff_t>(sample.size)), frames[i]) << "sample " << i;
        }
    }
}

TEST(AudioSpecificConfig, FieldsEscapesAndExtensions)
{
    struct Case {
        Bytes asc;
        int object_type, index;
        uint32_t rate;
        int channels;
        bool sbr, frame_960;
    } cases[] = {
        {{0x11, 0x90}, 2, 3, 48000, 2, false, false},
        // Object type escape: 31, then 6 bits + 32 (here 42).
        {{0xF9, 0x46, 0x40}, 42, 3, 48000, 2, false, false},
        // Explicit rate 50000 (index 15) maps to the 48 kHz tables.
        {{0x17, 0x80, 0x61, 0xA8, 0x08}, 2, 3, 50000, 1, false, false},
        // 960-sample frames.
        {{0x11, 0x94}, 2, 3, 48000, 2, false, true},
        // Backward-compatible SBR after the GASpecificConfig: 0x2B7, type 5, present.
        {{0x13, 0x10, 0x56, 0xE5, 0x98}, 2, 6, 24000, 2, true, false},
        // Explicit hierarchical SBR (type 5): the core's rate, an AAC LC core.
        {{0x2B, 0x92, 0x08, 0x00}, 5, 7, 22050, 2, true, false},
    };
    for (const Case &c : cases) {
        StreamConfig config = parse_audio_specific_config(c.asc);
        EXPECT_EQ(config.object_type, c.object_type);
        EXPECT_EQ(config.sampling_frequency_index, c.index);
        EXPECT_EQ(config.sample_rate, c.rate);
        EXPECT_EQ(config.channel_configuration, c.channels);
        EXPECT_EQ(config.sbr_signalled, c.sbr);
        EXPECT_EQ(config.frame_length_960, c.frame_960);
    }
    // A program_config_element (two pairs and a comment) ahead of the SBR
    // extension: the library's parser finds where it ends.
    PceFields quad;
    quad.front = {0x10};
    quad.back = {0x11};
    quad.comment = {'a', 'b'};
    Bytes asc = {0x11, 0x80};  // LC, 48 kHz, configuration 0, GASpecificConfig 000
    const Bytes pce = write_pce(quad);
    asc.insert(asc.end(), pce.begin(), pce.end());
    asc.insert(asc.end(), {0x56, 0xE5, 0x98});
    const StreamConfig with_pce = parse_audio_specific_config(asc);
    EXPECT_EQ(with_pce.channel_configuration, 0);
    EXPECT_EQ(with_pce.pce, Bytes(asc.begin() + 2, asc.end()));
    EXPECT_TRUE(with_pce.sbr_signalled);
    EXPECT_THROW(parse_audio_specific_config(Bytes{0x12}), FileError);
    // Hierarchical SBR names the output rate and the core's type: an LC
    // core is decoded, any other refused.
    const StreamConfig he = parse_audio_specific_config(Bytes{0x2B, 0x92, 0x08, 0x00});
    EXPECT_EQ(he.extension_rate, 44100u);
    EXPECT_EQ(he.core_object_type, 2);
    EXPECT_NO_THROW(check_supported(he));
    EXPECT_THROW(check_supported(parse_audio_specific_config(Bytes{0x2B, 0x92, 0x04, 0x00})),
                 FileError);
}

TEST(Mp4Damage, ErrorsNameTheFault)
{
    Mp4Layout layout;
    layout.moov_first = true;
    layout.audio_specific_config = lc_config(3, 2);
    const Bytes good = build_mp4(synthetic_frames(12), layout);
    struct Case {
        const char *expected;
        std::function<void(Bytes &)> damage;
    } cases[] = {
        {"runs past the end", [](Bytes &f) { patch32(f, "moov", -4, 1u << 30); }},
        {"has size", [](Bytes &f) { patch32(f, "stsz", -4, 0x7FFFFFF0); }},
        {"has size 4", [](Bytes &f) { patch32(f, "stco", -4, 4); }},
        {"claims", [](Bytes &f) { patch32(f, "stsz", 12, 0x40000000); }},
        {"claims", [](Bytes &f) { patch32(f, "stco", 8, 0xFFFFFFFF); }},
        {"names chunk", [](Bytes &f) { patch32(f, "stsc", 12, 7); }},
        {"no sample description", [](Bytes &f) { patch32(f, "stsd", 8, 0); }},
        {"no 'moov'", [](Bytes &f) { const std::string m = "moov"; f.resize(static_cast<size_t>(std::search(f.begin(), f.end(), m.begin(), m.end()) - f.begin() - 4)); }},
    };
    for (const Case &c : cases) {
        Bytes file = good;
        c.damage(file);
        EXPECT_NE(read_error(file).find(c.expected), std::string::npos)
            << c.expected << " / " << read_error(file);
    }
    layout.esds = false;
    EXPECT_NE(read_error(build_mp4(synthetic_frames(3), layout)).find("no 'esds' box"),
              std::string::npos);

    Mp4Layout fragmented;
    fragmented.fragments = Fragments::moof_relative;
    fragmented.audio_specific_config = lc_config(3, 2);
    Bytes file = build_mp4(synthetic_frames(12), fragmented);
    patch32(file, "trun", 8, 0x10000000);
    EXPECT_NE(read_error(file).find("'trun' box claims"), std::string::npos);
}

TEST(AdtsReader, FindsEveryIntactFrameAndCountsTheDamage)
{
    enum Twist { none, layer_bit_first, stray_byte_after_each, layer_bit_and_stray_bytes, id_bit_from_4, rate_from_4, rate_at_4 };
    const struct {
        const char *name;
        Bytes before, between, after;  // around frames; between goes after frame 3
        size_t cut;                    // bytes cut off the last frame
        Twist twist;
        size_t frames;
        uint64_t skipped_first, skipped_4, truncated, trailing;
    } cases[] = {
        {"clean", {}, {}, {}, 0, none, 8, 0, 0, 0, 0},
        {"id3v2_tag", {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20}, {}, {}, 0, none, 8, 0, 0, 0, 0},
        {"junk_before", Bytes(300, 0x55), {}, {}, 0, none, 8, 300, 0, 0, 0},
        {"20k_junk_before", Bytes(20000, 0xF3), {}, {}, 0, none, 8, 20000, 0, 0, 0},
        {"junk_between", {}, Bytes(100, 0xFF), {}, 0, none, 8, 0, 100, 0, 0},
        {"cut_last_frame", {}, {}, {}, 5, none, 7, 0, 0, 7 + 50 + 3 * 7 - 5, 0},
        {"id3v1_tag", {}, {}, Bytes{'T', 'A', 'G'}, 0, none, 8, 0, 0, 0, 0},
        {"trailing_junk", {}, {}, Bytes(50, 0x12), 0, none, 8, 0, 0, 0, 50},
        {"layer_bit_flipped_in_first_header", {}, {}, {}, 0, layer_bit_first, 8, 0, 0, 0, 0},
        {"stray_byte_after_each_frame", {}, {}, {}, 0, stray_byte_after_each, 8, 0, 1, 0, 1},
        {"layer_bit_and_stray_bytes", {}, {}, {}, 0, layer_bit_and_stray_bytes, 8, 0, 1, 0, 1},
        {"mpeg_id_bit_changes", {}, {}, {}, 0, id_bit_from_4, 8, 0, 0, 0, 0},
        // One frame whose header disagrees is taken for a damaged header
        // when its length leads on; a lasting change ends the stream.
        {"one_frame_of_another_rate", {}, {}, {}, 0, rate_at_4, 8, 0, 0, 0, 0},
        {"rate_changes", {}, {}, {}, 0, rate_from_4, 4, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = c.before;
        if (c.before.size() == 10)
            stream.resize(30, 0);  // the tag's 20 bytes of content
        for (int i = 0; i < 8; i++) {
            // Payloads of 50 + 3i bytes, each filled with its frame number.
            const bool other_rate = (c.twist == rate_from_4 && i >= 4) || (c.twist == rate_at_4 && i == 4);
            Bytes f = adts_frame(Bytes(50 + 3 * i, static_cast<uint8_t>(i)), other_rate ? 0x50 : 0x4C, 0x80);
            if ((c.twist == layer_bit_first || c.twist == layer_bit_and_stray_bytes) && i == 0)
                f[1] ^= 0x02;
            if (c.twist == id_bit_from_4 && i >= 4)
                f[1] ^= 0x08;
            stream.insert(stream.end(), f.begin(), f.end());
            if (c.twist == stray_byte_after_each || c.twist == layer_bit_and_stray_bytes)
                stream.push_back(0x00);
            if (i == 3)
                stream.insert(stream.end(), c.between.begin(), c.between.end());
        }
        stream.erase(stream.end() - static_cast<std::ptrdiff_t>(c.cut), stream.end());
        Bytes after = c.after;
        if (after.size() == 3)
            after.resize(128, ' ');
        stream.insert(stream.end(), after.begin(), after.end());

        MemoryStream in(stream);
        AdtsReader reader(in);
        std::vector<uint64_t> skipped;
        for (lumdec::file::AdtsFrame f; reader.next(f); skipped.push_back(f.skipped)) {
            EXPECT_EQ(f.bytes.size(), f.header.frame_length);
            EXPECT_EQ(f.bytes[7], static_cast<uint8_t>(skipped.size()));
            EXPECT_EQ(f.header.sampling_frequency_index, 3);
            EXPECT_EQ(f.repaired, c.twist == rate_at_4 && skipped.size() == 4);
        }
        EXPECT_EQ(skipped.size(), c.frames);
        ASSERT_GE(skipped.size(), 4u);
        EXPECT_EQ(skipped[0], c.skipped_first);
        EXPECT_EQ(skipped.size() > 4 ? skipped[4] : 0, c.skipped_4);
        EXPECT_EQ(reader.truncated_bytes(), c.truncated);
        EXPECT_EQ(reader.trailing_bytes(), c.trailing);
        EXPECT_EQ(reader.changed_at() != 0, c.twist == rate_from_4);
    }
}

TEST(AdtsReader, RefusesWhatIsNotAdts)
{
    const std::pair<Bytes, Failure> cases[] = {
        {{}, Failure::input},
        {Bytes(5000, 'a'), Failure::input},
        {{0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0}, Failure::unsupported},  // MP3 frame
    };
    for (const auto &[data, failure] : cases) {
        MemoryStream in(data);
        try {
            AdtsReader reader(in);
            ADD_FAILURE() << "accepted";
        } catch (const FileError &e) {
            EXPECT_EQ(e.failure(), failure) << e.what();
        }
    }
}
