// aacdec end to end: what it writes for the test streams and MP4 files,
// against the references, in every format and channel order.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "conformance.h"
#include "lumdec.h"
#include "tool_runner.h"

namespace {

// Channel c of out (WAV order: channel c carries decoder channel order[c])
// against the reference over count samples, the output shifted by offset.
void expect_matches_reference(const std::vector<float> &out, const std::vector<int> &order,
                              const std::vector<float> &ref, size_t offset, size_t count)
{
    const size_t channels = order.size();
    ASSERT_GE(out.size(), (offset + count) * channels);
    ASSERT_GE(ref.size(), count * channels);
    std::vector<float> got(count * channels);
    for (size_t i = 0; i < count * channels; i++)
        got[i / channels * channels + static_cast<size_t>(order[i % channels])] = out[offset * channels + i];
    ExactFigures f = exact_figures(got, {ref.begin(), ref.begin() + static_cast<ptrdiff_t>(count * channels)},
                                   static_cast<int>(channels));
    EXPECT_LE(f.rms, kExactRmsLimit);
    EXPECT_LE(f.max, kExactMaxLimit);
}

std::vector<float> reference(const std::string &name) { return read_floats(test_data_path("ref/" + name + ".f32")); }

const std::vector<int> kMono{0}, kPair{0, 1}, kQuad{0, 1, 2, 3}, kWav51{1, 2, 0, 5, 3, 4};

// ADTS output starts where the reference does and adds the last frame's
// second half; MP4 output presents the media from its first sample, 1024
// samples ahead of the reference.
TEST(AacdecOutput, MatchesTheReferencesAfterTheDocumentedAlignment)
{
    const struct {
        const char *input, *format, *ref;
        std::vector<int> order;
        size_t offset;  // output samples ahead of the reference's first
        size_t frames;  // input frames: the output holds 1024 samples each
    } cases[] = {
        {"streams/speech_mono_16k_24k.aac", "wavf", "speech_mono_16k_24k", kMono, 0, 33},
        {"streams/multi_5_1_48k_320k.aac", "wavf", "multi_5_1_48k_320k", kWav51, 0, 12},
        {"streams/multi_5_1_48k_320k.aac", "f32", "multi_5_1_48k_320k", {0, 1, 2, 3, 4, 5}, 0, 12},
        {"streams/multi_7_1_44k1_448k.aac", "wavf", "multi_7_1_44k1_448k", {1, 2, 0, 7, 5, 6, 3, 4}, 0, 10},
        {"streams/pce_5_1_inserted_48k_288k.aac", "wavf", "pce_5_1_inserted_48k_288k", kWav51, 0, 10},
        {"streams/pce_quad_tags_swapped_32k_192k.aac", "wavf", "pce_quad_tags_swapped_32k_192k", kQuad, 0, 12},
        {"streams/pce_dualmono_32k.aac", "wavf", "pce_dualmono_32k", kPair, 0, 20},
        {"mp4/speech_mono_16k_24k.m4a", "wavf", "speech_mono_16k_24k", kMono, 1024, 33},
        {"mp4/castanets_stereo_44k1_96k_faststart.m4a", "wavf", "castanets_stereo_44k1_96k", kPair, 1024, 88},
        {"mp4/pce_quad_44k1_256k.m4a", "wavf", "pce_quad_44k1_256k", kQuad, 1024, 66},
        {"mp4/sweep_mono_44k1_64k_fragmented.mp4", "wavf", "sweep_mono_44k1_64k_first30", kMono, 1024, 88},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.input) + " as " + c.format);
        Scratch s;
        const bool raw = std::string(c.format) == "f32";
        const std::string out = s.path(raw ? "out.f32" : "out.wav");
        RunResult r = s.run({"-f", c.format, "-o", out, test_data_path(c.input)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const Audio a = raw ? Audio{static_cast<int>(c.order.size()), read_floats(out)} : read_audio(out);
        ASSERT_EQ(a.channels, static_cast<int>(c.order.size()));
        EXPECT_EQ(a.samples.size(), c.frames * 1024 * c.order.size());
        const std::vector<float> ref = reference(c.ref);
        const size_t count = std::min(ref.size(), a.samples.size() - c.offset * c.order.size()) / c.order.size();
        expect_matches_reference(a.samples, c.order, ref, c.offset, count);
    }
}

// The integer formats are the library's own conversion of the float
// output, and FLAC holds the same integers.
TEST(AacdecFormats, IntegersAreTheLibraryConversionOfTheFloats)
{
    Scratch s;
    const std::string input = test_data_path("streams/multi_5_1_48k_320k.aac");
    for (const char *f : {"wavf", "wav16", "wav24", "flac", "flac24"})
        ASSERT_EQ(s.run({"-f", f, "-o", std::string(f) + (f[0] == 'f' ? ".flac" : ".wav"), input}).status, 0);
    const std::vector<float> floats = read_audio(s.path("wavf.wav")).samples;
    const std::vector<int32_t> w16 = read_integers(s.path("wav16.wav")), w24 = read_integers(s.path("wav24.wav"));
    ASSERT_EQ(w16.size(), floats.size());
    ASSERT_EQ(w24.size(), floats.size());
    EXPECT_EQ(read_integers(s.path("flac.flac")), w16);
    EXPECT_EQ(read_integers(s.path("flac24.flac")), w24);
    alignas(16) float plane[1024];
    alignas(16) int16_t s16[1024];
    alignas(16) int32_t s24[1024];
    size_t differences = 0;
    for (size_t start = 0; start < floats.size(); start += 1024) {
        const size_t n = std::min<size_t>(1024, floats.size() - start);
        for (size_t i = 0; i < 1024; i++)
            plane[i] = i < n ? floats[start + i] * 32768.0f : 0.0f;
        aac_convert_single_to_raw(plane, s16, AAC_RAW_S16);
        for (size_t i = 0; i < 1024; i++)
            plane[i] = i < n ? floats[start + i] * 8388608.0f : 0.0f;
        aac_convert_single_to_raw(plane, s24, AAC_RAW_S24_IN_32);
        for (size_t i = 0; i < n; i++)
            differences += (w16[start + i] != int32_t{s16[i]} * 65536) + (w24[start + i] != s24[i]);
    }
    EXPECT_EQ(differences, 0u);
}

TEST(AacdecFormats, WavHeaderAndChannelMask)
{
    const struct {
        const char *input, *format;
        int channels, format_tag;
        uint32_t mask;
    } cases[] = {
        {"multi_5_1_48k_320k", "wav16", 6, 0xFFFE, 0x3F},   {"multi_7_1_44k1_448k", "wav24", 8, 0xFFFE, 0x63F},
        {"multi_5_0_32k_240k", "wavf", 5, 0xFFFE, 0x37},    {"pce_3_0back_48k_160k", "wav16", 3, 0xFFFE, 0x103},
        {"pce_quad_44k1_256k", "wav16", 4, 0xFFFE, 0x33},   {"corr_ms_stereo_44k1_96k_msforced", "wav16", 2, 1, 0},
        {"corr_ms_stereo_44k1_96k_msforced", "wavf", 2, 3, 0},
    };
    for (const auto &c : cases) {
        Scratch s;
        ASSERT_EQ(s.run({"-q", "-f", c.format, "-o", "o.wav", test_data_path(std::string("streams/") + c.input + ".aac")}).status, 0);
        const Bytes wav = read_file(s.path("o.wav"));
        ASSERT_GT(wav.size(), 44u);
        ASSERT_EQ(std::string(wav.begin() + 12, wav.begin() + 16), "fmt ");
        auto u16 = [&](size_t at) { return wav[at] | (wav[at + 1] << 8); };
        EXPECT_EQ(u16(20), c.format_tag) << c.input;
        EXPECT_EQ(u16(22), c.channels) << c.input;
        if (c.format_tag == 0xFFFE) {
            EXPECT_EQ(u16(40) | (u16(42) << 16), static_cast<int>(c.mask)) << c.input;
        }
    }
}

// Centre and surrounds at -3 dB, LFE dropped, each side divided by the sum
// of its gains; 16-bit output then never reaches full scale here.
TEST(AacdecFormats, DownmixUsesTheNormalisedStandardFold)
{
    const float a = 0.70710678f;
    const struct {
        const char *stream;
        size_t channels;
        std::vector<float> left;  // gains of the decoder's channels before normalising
    } cases[] = {
        {"multi_5_1_48k_320k", 6, {a, 1, 0, a, 0, 0}},          // C L R Ls Rs LFE
        {"multi_7_1_44k1_448k", 8, {a, 1, 0, a, 0, a, 0, 0}},   // C L R Lss Rss Lrs Rrs LFE
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stream);
        Scratch s;
        const std::string input = test_data_path(std::string("streams/") + c.stream + ".aac");
        RunResult r = s.run({"--downmix", "-f", "wavf", "-o", "d.wav", input});
        ASSERT_EQ(r.status, 0);
        EXPECT_NE(r.err.find("to stereo"), std::string::npos) << r.err;
        ASSERT_EQ(s.run({"-qq", "--downmix", "-f", "wav16", "-o", "d16.wav", input}).status, 0);
        Audio out = read_audio(s.path("d.wav"));
        ASSERT_EQ(out.channels, 2);
        float sum = 0;
        for (float g : c.left)
            sum += g;
        std::vector<float> ref = reference(c.stream), folded;
        for (size_t i = 0; i < ref.size(); i += c.channels) {
            float l = 0, r = 0;
            for (size_t ch = 0; ch < c.channels; ch++) {
                // The right side mirrors the left: R for L, Rs for Ls.
                const size_t mirror = ch == 0 || ch == c.channels - 1 ? ch : ch % 2 ? ch + 1 : ch - 1;
                l += c.left[ch] / sum * ref[i + ch];
                r += c.left[ch] / sum * ref[i + mirror];
            }
            folded.insert(folded.end(), {l, r});
        }
        expect_matches_reference(out.samples, kPair, folded, 0, ref.size() / c.channels);
        for (int32_t v : read_integers(s.path("d16.wav")))
            ASSERT_LT(std::abs(v / 65536), 32767);
    }
}

// The flushed half-frame is the last frame's tail: with the head of the
// next frame (decoded after a silent frame of the same window shape) it
// makes up the reference block of the two frames' overlap.
TEST(AacdecLength, FlushedHalfFrameIsTheLastFramesTail)
{
    Scratch s;
    const Bytes stream = read_file(test_data_path("streams/vo_sweep_mono_8k_12k.aac"));
    const std::vector<Bytes> frames = adts_payloads(stream);
    const size_t k = 8;
    ASSERT_EQ(stream[2], 0x6C);           // LC, 8 kHz, mono: the header written here
    ASSERT_EQ(frames[k - 1][0] >> 5, 0);  // an SCE first, so the shape is bit 18
    const int shape = (frames[k - 1][2] >> 5) & 1;
    // SCE tag 0, global_gain 0, ONLY_LONG of that shape, max_sfb 0, nothing else, END.
    const Bytes silent = {0x00, 0x00, static_cast<uint8_t>(shape << 5), 0x07};
    Bytes first, next = adts_frame(silent, 0x6C, 0x40), last = adts_frame(frames[k], 0x6C, 0x40);
    for (size_t i = 0; i < k; i++) {
        const Bytes f = adts_frame(frames[i], 0x6C, 0x40);
        first.insert(first.end(), f.begin(), f.end());
    }
    next.insert(next.end(), last.begin(), last.end());
    s.write("first.aac", first);
    s.write("next.aac", next);
    ASSERT_EQ(s.run({"-f", "f32", "first.aac", "next.aac"}).status, 0);
    const std::vector<float> a = read_floats(s.path("first.f32")), b = read_floats(s.path("next.f32"));
    ASSERT_EQ(a.size(), k * 1024);
    ASSERT_EQ(b.size(), 2 * 1024u);
    std::vector<float> sum(1024);
    double energy = 0;
    for (size_t i = 0; i < 1024; i++) {
        sum[i] = a[(k - 1) * 1024 + i] + b[i];
        energy += a[(k - 1) * 1024 + i] * a[(k - 1) * 1024 + i];
    }
    EXPECT_GT(energy, 1e-3);
    const std::vector<float> ref = reference("vo_sweep_mono_8k_12k");
    expect_matches_reference(sum, kMono, {ref.begin() + (k - 1) * 1024, ref.end()}, 0, 1024);
}

TEST(AacdecLength, EditListsSelectTheirSpan)
{
    const std::vector<Bytes> frames = adts_payloads(read_file(test_data_path("streams/speech_mono_16k_24k.aac")));
    const std::vector<float> ref = reference("speech_mono_16k_24k");  // samples 1024.. of 33 frames
    const struct {
        std::vector<std::pair<int64_t, uint64_t>> edits;
        bool second_track;
        int64_t media_duration;        // of the media header, -1: the frames' length
        size_t silence, from, length;  // output: silence, then ref[from - 1024, ...)
        const char *warning;
    } cases[] = {
        {{{2112, 20000}}, false, -1, 0, 2112, 20000, nullptr},
        {{{0, 33 * 1024}}, false, -1, 0, 0, 33 * 1024, nullptr},
        {{{-1, 500}, {1024, 5000}}, false, -1, 500, 1024, 5000, nullptr},
        {{{1024, 90000}}, false, -1, 0, 1024, 32 * 1024, nullptr},  // past the end: up to the media's end
        {{}, true, -1, 0, 0, 33 * 1024, nullptr},
        // A media header less the encoder delay (as HandBrake writes it):
        // the sample durations say where the media ends.
        {{{2112, 33 * 1024 - 2112}}, false, 33 * 1024 - 2112, 0, 2112, 33 * 1024 - 2112, nullptr},
        {{{40000, 1000}}, false, -1, 0, 40000, 0, "past the end of the media"},
    };
    for (const auto &c : cases) {
        Mp4Layout layout;
        layout.sample_rate = 16000;
        layout.audio_specific_config = lc_config(8, 1);
        layout.edits = c.edits;
        layout.second_audio_track = c.second_track;
        layout.media_duration = c.media_duration;
        Scratch s;
        s.write("in.m4a", build_mp4(frames, layout));
        std::vector<std::string> args = {"-f", "f32", "in.m4a"};
        if (c.second_track)
            args.insert(args.begin(), {"--track", "2"});
        RunResult r = s.run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("warning") != std::string::npos, c.warning != nullptr) << r.err;
        if (c.warning) {
            EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
        }
        const std::vector<float> out = read_floats(s.path("in.f32"));
        ASSERT_EQ(out.size(), c.silence + c.length);
        EXPECT_EQ(std::count(out.begin(), out.begin() + static_cast<ptrdiff_t>(c.silence), 0.0f),
                  static_cast<ptrdiff_t>(c.silence));
        if (c.length == 0)
            continue;
        // The first 1024 samples of a decoding have no reference.
        const size_t skip = c.from < 1024 ? 1024 - c.from : 0;
        const size_t count = std::min(c.length - skip, ref.size() - (c.from + skip - 1024));
        expect_matches_reference(out, kMono, {ref.begin() + static_cast<ptrdiff_t>(c.from + skip - 1024), ref.end()},
                                 c.silence + skip, count);
    }
}

// Standard input and output, and several files at once, write what a
// plain decoding of each file writes.
TEST(AacdecFiles, PipesAndParallelJobsWriteTheSameFiles)
{
    Scratch s;
    const std::string aac = test_data_path("streams/castanets_mono_11k025_24k.aac");
    const std::string m4a = test_data_path("mp4/speech_mono_16k_24k.m4a");
    const std::string pce = test_data_path("streams/pce_3_0back_48k_160k.aac");
    ASSERT_EQ(s.run({aac, m4a, pce}).status, 0);
    const Bytes expected = read_file(s.path("castanets_mono_11k025_24k.wav"));
    ASSERT_GT(expected.size(), 44u);
    ASSERT_EQ(s.run({"-", "-o", "stdin.wav"}, "< '" + aac + "'").status, 0);
    ASSERT_EQ(s.run({"-", "-o", "stdin_m4a.wav"}, "< '" + m4a + "'").status, 0);  // spooled
    EXPECT_EQ(read_file(s.path("stdin_m4a.wav")), read_file(s.path("speech_mono_16k_24k.wav")));
    ASSERT_EQ(s.run({aac, "-o", "-"}, "| cat > piped.wav").status, 0);
    ASSERT_EQ(s.run({aac, "-o", "-"}, "> redirected.wav").status, 0);
    for (const char *name : {"stdin.wav", "piped.wav", "redirected.wav"})
        EXPECT_EQ(read_file(s.path(name)), expected) << name;

    ASSERT_EQ(s.run({"-j", "3", "-d", "jobs/new", pce, aac, m4a}).status, 0);  // -d makes its directory
    for (const char *name : {"castanets_mono_11k025_24k.wav", "speech_mono_16k_24k.wav", "pce_3_0back_48k_160k.wav"})
        EXPECT_EQ(read_file(s.path(std::string("jobs/new/") + name)), read_file(s.path(name))) << name;

    // On a terminal (script gives aacdec one) a summary line stays after the
    // progress line; -q drops both.
    for (const char *quiet : {"", "-q "}) {
        const std::string command = "cd '" + s.path("") + "' && script -qec \"'" AACDEC_PATH "' " + quiet +
                                    "-f f32 -o tty.f32 '" + m4a + "'\" /dev/null < /dev/null > tty.txt";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const Bytes tty = read_file(s.path("tty.txt"));
        EXPECT_EQ(std::string(tty.begin(), tty.end()).find("2.112 s of audio (33 frames)") != std::string::npos, !*quiet);
    }
}

// Only regular files are written under a temporary name and renamed: a
// symbolic link leads to the file replaced (whose mode stays), pipes and
// devices are written in place.  SIGTERM ends the run with 143 and takes
// the temporary file with it.
TEST(AacdecFiles, WritesDevicesAndPipesInPlaceAndLeavesNothingWhenStopped)
{
    Scratch s;
    const std::string aac = test_data_path("streams/castanets_mono_11k025_24k.aac");
    ASSERT_EQ(s.run({aac, "-o", "plain.wav"}).status, 0);
    const Bytes expected = read_file(s.path("plain.wav"));

    s.write("target.wav", {1, 2, 3});
    ASSERT_EQ(::chmod(s.path("target.wav").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("target.wav", s.path("link.wav").c_str()), 0);
    ASSERT_EQ(s.run({aac, "-o", "link.wav"}).status, 0);
    struct stat st;
    ASSERT_EQ(::lstat(s.path("link.wav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(s.path("target.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(read_file(s.path("target.wav")), expected);

    ASSERT_EQ(::mkfifo(s.path("pipe").c_str(), 0600), 0);
    const std::string in_dir = "cd '" + s.path("") + "' && ";
    ASSERT_EQ(std::system((in_dir + "('" AACDEC_PATH "' '" + aac + "' -o pipe & cat pipe > from_pipe.wav; wait $!)").c_str()), 0);
    EXPECT_EQ(read_file(s.path("from_pipe.wav")), expected);
    ASSERT_EQ(::stat(s.path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // A device node of our own (the null device's numbers), where we may make one.
    if (::mknod(s.path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(s.run({aac, "-o", "null"}).status, 0);
        ASSERT_EQ(::stat(s.path("null").c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        // The full device: a failed write inside libsndfile is an error, not a crash.
        ASSERT_EQ(::mknod(s.path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
        RunResult r = s.run({"-f", "flac", "-o", "full", aac});
        EXPECT_EQ(r.status, 4);
        EXPECT_NE(r.err.find("cannot write full: No space left on device"), std::string::npos) << r.err;
    }

    // Input from a pipe that stays open: aacdec waits in a read, with its
    // output under a temporary name, when the signal comes.
    const std::string script = in_dir + "mkfifo in && ('" AACDEC_PATH "' - -o out.wav < in 2> err & p=$!; "
                               "exec 3> in; cat '" + aac + "' >&3; "
                               "for i in $(seq 400); do ls -a | grep -q '^[.]out[.]wav[.]' && break; sleep 0.05; done; "
                               "kill -TERM $p; wait $p; echo $? > status)";
    ASSERT_EQ(std::system(script.c_str()), 0);
    const Bytes status = read_file(s.path("status"));
    EXPECT_EQ(std::string(status.begin(), status.end()), "143\n");
    for (const std::string &name : s.files())
        EXPECT_EQ(name.find("out.wav"), std::string::npos) << name << " left behind";
}

TEST(AacdecInfo, DescribesTheStreamWithoutDecoding)
{
    Scratch s;
    const std::vector<Bytes> frames = adts_payloads(read_file(test_data_path("streams/speech_mono_16k_24k.aac")));
    Mp4Layout tagged;
    tagged.sample_rate = 16000;
    tagged.audio_specific_config = lc_config(8, 1);
    tagged.second_audio_track = true;
    tagged.edits = {{-1, 1600}, {2112, 33 * 1024 - 2112}};
    tagged.media_duration = 33 * 1024 - 2112;
    tagged.tags = {{"\xA9nam", "Test title"}, {"\xA9" "ART", "Someone"}, {"\xA9too", "an encoder"}};
    s.write("tagged.m4a", build_mp4(frames, tagged));
    RunResult r = s.run({"--info", test_data_path("streams/multi_5_1_48k_320k.aac"),
                         test_data_path("mp4/sweep_mono_44k1_64k_fragmented.mp4"), "tagged.m4a",
                         test_data_path("he/mp4/explicit_hier_stereo_44k1_32k_v2.m4a")}, "> info.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes text = read_file(s.path("info.txt"));
    const std::string info(text.begin(), text.end());
    // 10252 bytes over 12 frames of 1024 samples at 48 kHz.
    char bitrate[64];
    std::snprintf(bitrate, sizeof bitrate, "bitrate      %.1f kbit/s", 10252 * 8 / (12 * 1024 / 48000.0) / 1000);
    for (const std::string &line : std::vector<std::string>{
             "container    ADTS (MPEG-4)", "object type  AAC LC", "sample rate  48000 Hz",
             "channels     6, layout 6 (5.1: C L R Ls Rs LFE)", "frames       12",
             "duration     0.256 s (12288 samples per channel)", bitrate, "container    MP4, fragmented",
             "sample rate  44100 Hz", "frames       88", "duration     2.043 s (90112 samples per channel)",
             // 100 ms of silence, then the media from 2112 to its end by the sample durations.
             "tracks       2 audio tracks", "*1  id 1, AAC LC, 16000 Hz, 1 channels, 33 frames, 2.112 s",
             "edit list    31680 samples from sample 2112, after 1600 samples of silence",
             "duration     2.080 s (33280 samples per channel)", "title        Test title", "artist       Someone",
             "encoder      an encoder",
             // HE-AAC v2: the output's rate and channels, the core's rate.
             "object type  HE-AAC v2 (AAC LC + SBR + PS)", "sample rate  44100 Hz (core 22050 Hz)",
             "channels     2, layout 2 (stereo: L R)", "frames       26"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
    EXPECT_EQ(s.files().size(), 2u) << "--info wrote files";
}

}  // namespace
