// aacdec end to end: what it writes for the test streams and MP4 files,
// against the references, in every format and channel order.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>

#include "conformance.h"
#include "lumdec.h"
#include "mp4_builder.h"
#include "tool_runner.h"

namespace {

// Channel c of out (WAV order: channel i carries decoder channel order[i])
// against the reference over count samples, the output shifted by offset.
void expect_matches_reference(const std::vector<float> &out, const std::vector<int> &order,
                              const std::vector<float> &ref, size_t offset, size_t count)
{
    size_t channels = order.size();
    ASSERT_GE(out.size(), (offset + count) * channels);
    ASSERT_GE(ref.size(), count * channels);
    std::vector<float> got(count * channels), want(count * channels);
    for (size_t i = 0; i < count; i++)
        for (size_t c = 0; c < channels; c++) {
            got[i * channels + static_cast<size_t>(order[c])] = out[(offset + i) * channels + c];
            want[i * channels + c] = ref[i * channels + c];
        }
    ExactFigures f = exact_figures(got, want, static_cast<int>(channels));
    EXPECT_LE(f.rms, kExactRmsLimit);
    EXPECT_LE(f.max, kExactMaxLimit);
}

std::vector<float> reference(const std::string &name)
{
    return read_floats(data_path("ref/" + name + ".f32"));
}

const std::vector<int> kMono{0}, kPair{0, 1}, kQuad{0, 1, 2, 3};
const std::vector<int> kWav51{1, 2, 0, 5, 3, 4}, kWav71{1, 2, 0, 7, 5, 6, 3, 4};

}  // namespace

struct ReferenceCase {
    const char *input, *format, *ref;
    std::vector<int> order;
    size_t offset;  // output samples ahead of the reference's first
    size_t frames;  // input frames: the output holds 1024 samples each
};

class MatchesReference : public testing::TestWithParam<ReferenceCase> {};

// ADTS output starts where the reference does and adds the last frame's
// second half; MP4 output presents the media from its first sample, 1024
// samples ahead of the reference.
TEST_P(MatchesReference, AfterTheDocumentedAlignment)
{
    const ReferenceCase &c = GetParam();
    Scratch s;
    std::string out = s.path(std::string("out.") + (std::strcmp(c.format, "f32") ? "wav" : "f32"));
    RunResult r = s.run({"-f", c.format, "-o", out, data_path(c.input)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<float> samples;
    if (std::strcmp(c.format, "f32") == 0) {
        samples = read_floats(out);
    } else {
        Audio a = read_audio(out);
        ASSERT_EQ(a.channels, static_cast<int>(c.order.size()));
        samples = a.samples;
    }
    size_t channels = c.order.size();
    EXPECT_EQ(samples.size(), c.frames * 1024 * channels);
    std::vector<float> ref = reference(c.ref);
    size_t count = std::min(ref.size() / channels, samples.size() / channels - c.offset);
    expect_matches_reference(samples, c.order, ref, c.offset, count);
}

INSTANTIATE_TEST_SUITE_P(
    Aacdec, MatchesReference,
    testing::Values(
        ReferenceCase{"streams/speech_mono_16k_24k.aac", "wavf", "speech_mono_16k_24k", kMono, 0, 33},
        ReferenceCase{"streams/corr_ms_stereo_44k1_96k_msforced.aac", "wavf",
                      "corr_ms_stereo_44k1_96k_msforced", kPair, 0, 30},
        ReferenceCase{"streams/multi_5_1_48k_320k.aac", "wavf", "multi_5_1_48k_320k", kWav51, 0, 12},
        ReferenceCase{"streams/multi_5_1_48k_320k.aac", "f32", "multi_5_1_48k_320k",
                      {0, 1, 2, 3, 4, 5}, 0, 12},
        ReferenceCase{"streams/multi_7_1_44k1_448k.aac", "wavf", "multi_7_1_44k1_448k", kWav71, 0, 10},
        ReferenceCase{"streams/pce_5_1_inserted_48k_288k.aac", "wavf", "pce_5_1_inserted_48k_288k",
                      kWav51, 0, 10},
        ReferenceCase{"streams/pce_quad_tags_swapped_32k_192k.aac", "wavf",
                      "pce_quad_tags_swapped_32k_192k", kQuad, 0, 12},
        ReferenceCase{"streams/pce_dualmono_32k.aac", "wavf", "pce_dualmono_32k", kPair, 0, 20},
        ReferenceCase{"mp4/speech_mono_16k_24k.m4a", "wavf", "speech_mono_16k_24k", kMono, 1024, 33},
        ReferenceCase{"mp4/castanets_stereo_44k1_96k_faststart.m4a", "wavf",
                      "castanets_stereo_44k1_96k", kPair, 1024, 88},
        ReferenceCase{"mp4/pce_quad_44k1_256k.m4a", "wavf", "pce_quad_44k1_256k", kQuad, 1024, 66},
        ReferenceCase{"mp4/sweep_mono_44k1_64k_fragmented.mp4", "wavf",
                      "sweep_mono_44k1_64k_first30", kMono, 1024, 88}));

// The integer formats are the library's own conversion of the float
// output, and FLAC holds the same integers.
TEST(AacdecFormats, IntegersAreTheLibraryConversionOfTheFloats)
{
    Scratch s;
    std::string input = data_path("streams/multi_5_1_48k_320k.aac");
    for (const char *f : {"wavf", "wav16", "wav24", "flac", "flac24"}) {
        std::string out = std::string(f) + (f[0] == 'f' ? ".flac" : ".wav");
        ASSERT_EQ(s.run({"-f", f, "-o", out, input}).status, 0);
    }
    Audio floats = read_audio(s.path("wavf.wav"));
    std::vector<int32_t> w16 = read_integers(s.path("wav16.wav"));
    std::vector<int32_t> w24 = read_integers(s.path("wav24.wav"));
    ASSERT_EQ(w16.size(), floats.samples.size());
    ASSERT_EQ(w24.size(), floats.samples.size());
    EXPECT_EQ(read_integers(s.path("flac.flac")), w16);
    EXPECT_EQ(read_integers(s.path("flac24.flac")), w24);

    const size_t C = 6, frames = floats.samples.size() / C;
    alignas(16) float plane[1024];
    alignas(16) int16_t s16[1024];
    alignas(16) int32_t s24[1024];
    size_t differences = 0;
    for (size_t c = 0; c < C; c++)
        for (size_t start = 0; start < frames; start += 1024) {
            size_t n = std::min<size_t>(1024, frames - start);
            for (size_t i = 0; i < 1024; i++)
                plane[i] = i < n ? floats.samples[(start + i) * C + c] * 32768.0f : 0.0f;
            aac_convert_single_to_raw(plane, s16, AAC_RAW_S16);
            for (size_t i = 0; i < 1024; i++)
                plane[i] = i < n ? floats.samples[(start + i) * C + c] * 8388608.0f : 0.0f;
            aac_convert_single_to_raw(plane, s24, AAC_RAW_S24_IN_32);
            for (size_t i = 0; i < n; i++) {
                // libsndfile reads 16-bit samples into the top of an int.
                differences += w16[(start + i) * C + c] != int32_t{s16[i]} * 65536;
                differences += w24[(start + i) * C + c] != s24[i];
            }
        }
    EXPECT_EQ(differences, 0u);
}

TEST(AacdecFormats, WavHeaderAndChannelMask)
{
    struct Case {
        const char *input, *format;
        int channels, format_tag;
        uint32_t mask;
    } cases[] = {
        {"multi_5_1_48k_320k", "wav16", 6, 0xFFFE, 0x3F},
        {"multi_7_1_44k1_448k", "wav24", 8, 0xFFFE, 0x63F},
        {"multi_5_0_32k_240k", "wavf", 5, 0xFFFE, 0x37},
        {"pce_3_0back_48k_160k", "wav16", 3, 0xFFFE, 0x103},
        {"corr_ms_stereo_44k1_96k_msforced", "wav16", 2, 1, 0},
        {"corr_ms_stereo_44k1_96k_msforced", "wavf", 2, 3, 0},
    };
    for (const Case &c : cases) {
        Scratch s;
        ASSERT_EQ(s.run({"-q", "-f", c.format, "-o", "o.wav",
                         data_path(std::string("streams/") + c.input + ".aac")})
                      .status,
                  0);
        Bytes wav = read_bytes(s.path("o.wav"));
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

TEST(AacdecFormats, DownmixFoldsFrontAndSurroundsIntoThePair)
{
    Scratch s;
    ASSERT_EQ(s.run({"--downmix", "-f", "wavf", "-o", "d.wav",
                     data_path("streams/multi_5_1_48k_320k.aac")})
                  .status,
              0);
    Audio a = read_audio(s.path("d.wav"));
    ASSERT_EQ(a.channels, 2);
    std::vector<float> ref = reference("multi_5_1_48k_320k"), folded;
    for (size_t i = 0; i < ref.size() / 6; i++) {
        const float *f = &ref[i * 6];  // C L R Ls Rs LFE
        folded.push_back((f[1] + f[3]) + f[0]);
        folded.push_back((f[2] + f[4]) + f[0]);
    }
    expect_matches_reference(a.samples, kPair, folded, 0, ref.size() / 6);
}

// The flushed half-frame is the last frame's tail: with the head of the
// next frame (decoded after a silent frame of the same window shape) it
// makes up the reference block of the two frames' overlap.
TEST(AacdecLength, FlushedHalfFrameIsTheLastFramesTail)
{
    Scratch s;
    Bytes stream = read_bytes(data_path("streams/vo_sweep_mono_8k_12k.aac"));
    std::vector<Bytes> frames = adts_payloads(stream);
    const size_t k = 8;
    auto adts = [](const std::vector<Bytes> &payloads) {
        Bytes out;
        for (const Bytes &p : payloads) {
            size_t length = p.size() + 7;
            Bytes h = {0xFF, 0xF1, 0x6C, static_cast<uint8_t>(0x40 | (length >> 11)),
                       static_cast<uint8_t>(length >> 3),
                       static_cast<uint8_t>(((length & 7) << 5) | 0x1F), 0xFC};
            out.insert(out.end(), h.begin(), h.end());
            out.insert(out.end(), p.begin(), p.end());
        }
        return out;
    };
    ASSERT_EQ(stream[2], 0x6C);  // LC, 8 kHz, mono: the header the lambda writes
    ASSERT_EQ(frames[k - 1][0] >> 5, 0);  // an SCE first, so the shape is bit 18
    int shape = (frames[k - 1][2] >> 5) & 1;
    // SCE tag 0, global_gain 0, ONLY_LONG of that shape, max_sfb 0, nothing else, END.
    Bytes silent = {0x00, 0x00, static_cast<uint8_t>(shape << 5), 0x07};
    s.write("first.aac", adts(std::vector<Bytes>(frames.begin(), frames.begin() + k)));
    s.write("next.aac", adts({silent, frames[k]}));
    ASSERT_EQ(s.run({"-f", "f32", "first.aac", "next.aac"}).status, 0);
    std::vector<float> first = read_floats(s.path("first.f32"));
    std::vector<float> next = read_floats(s.path("next.f32"));
    ASSERT_EQ(first.size(), k * 1024);
    ASSERT_EQ(next.size(), 2 * 1024u);
    std::vector<float> sum(1024);
    double energy = 0;
    for (size_t i = 0; i < 1024; i++) {
        sum[i] = first[(k - 1) * 1024 + i] + next[i];
        energy += first[(k - 1) * 1024 + i] * first[(k - 1) * 1024 + i];
    }
    EXPECT_GT(energy, 1e-3);
    std::vector<float> ref = reference("vo_sweep_mono_8k_12k");
    expect_matches_reference(sum, kMono, {ref.begin() + (k - 1) * 1024, ref.end()}, 0, 1024);
}

TEST(AacdecLength, EditListsSelectTheirSpan)
{
    Bytes stream = read_bytes(data_path("streams/speech_mono_16k_24k.aac"));
    std::vector<Bytes> frames = adts_payloads(stream);
    std::vector<float> ref = reference("speech_mono_16k_24k");  // samples 1024.. of 33 frames
    struct Case {
        std::vector<std::pair<int64_t, uint64_t>> edits;
        std::vector<std::string> args;
        size_t silence, from, length;  // output: silence, then ref[from - 1024, ...)
    } cases[] = {
        {{{2112, 20000}}, {}, 0, 2112, 20000},
        {{{0, 33 * 1024}}, {}, 0, 0, 33 * 1024},
        {{{-1, 500}, {1024, 5000}}, {}, 500, 1024, 5000},
        // Past the end of the media: up to the last frame's duration.
        {{{1024, 90000}}, {}, 0, 1024, 32 * 1024},
        {{}, {"--track", "2"}, 0, 0, 33 * 1024},
    };
    for (const Case &c : cases) {
        Mp4Layout layout;
        layout.sample_rate = 16000;
        layout.audio_specific_config = lc_config(8, 1);
        layout.edits = c.edits;
        layout.second_audio_track = !c.args.empty();
        Scratch s;
        s.write("in.m4a", build_mp4(frames, layout));
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-f", "f32", "in.m4a"});
        RunResult r = s.run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<float> out = read_floats(s.path("in.f32"));
        ASSERT_EQ(out.size(), c.silence + c.length);
        for (size_t i = 0; i < c.silence; i++)
            ASSERT_EQ(out[i], 0.0f);
        // The first 1024 samples of a decoding have no reference.
        size_t skip = c.from < 1024 ? 1024 - c.from : 0;
        size_t count = std::min(c.length - skip, ref.size() - (c.from + skip - 1024));
        expect_matches_reference(out, kMono, {ref.begin() + static_cast<ptrdiff_t>(c.from + skip - 1024), ref.end()},
                                 c.silence + skip, count);
    }
}

// Standard input and output, and several files at once, write what a
// plain decoding of each file writes.
TEST(AacdecFiles, PipesAndParallelJobsWriteTheSameFiles)
{
    Scratch s;
    std::string aac = data_path("streams/castanets_mono_11k025_24k.aac");
    std::string m4a = data_path("mp4/speech_mono_16k_24k.m4a");
    std::string pce = data_path("streams/pce_3_0back_48k_160k.aac");
    ASSERT_EQ(s.run({aac, m4a, pce}).status, 0);
    Bytes expected = read_bytes(s.path("castanets_mono_11k025_24k.wav"));
    ASSERT_GT(expected.size(), 44u);
    ASSERT_EQ(s.run({"-", "-o", "stdin.wav"}, "< '" + aac + "'").status, 0);
    ASSERT_EQ(s.run({aac, "-o", "-"}, "| cat > piped.wav").status, 0);
    ASSERT_EQ(s.run({aac, "-o", "-"}, "> redirected.wav").status, 0);
    for (const char *name : {"stdin.wav", "piped.wav", "redirected.wav"})
        EXPECT_EQ(read_bytes(s.path(name)), expected) << name;

    ASSERT_EQ(::mkdir(s.path("jobs").c_str(), 0777), 0);
    ASSERT_EQ(s.run({"-j", "3", "-d", "jobs", pce, aac, m4a}).status, 0);
    for (const char *name : {"castanets_mono_11k025_24k.wav", "speech_mono_16k_24k.wav",
                             "pce_3_0back_48k_160k.wav"})
        EXPECT_EQ(read_bytes(s.path(std::string("jobs/") + name)), read_bytes(s.path(name))) << name;
}

TEST(AacdecInfo, DescribesTheStreamWithoutDecoding)
{
    Scratch s;
    RunResult r = s.run({"--info", data_path("streams/multi_5_1_48k_320k.aac"),
                         data_path("mp4/sweep_mono_44k1_64k_fragmented.mp4")},
                        "> info.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes text = read_bytes(s.path("info.txt"));
    std::string info(text.begin(), text.end());
    // 10252 bytes over 12 frames of 1024 samples at 48 kHz.
    char bitrate[64];
    std::snprintf(bitrate, sizeof bitrate, "bitrate      %.1f kbit/s", 10252 * 8 / (12 * 1024 / 48000.0) / 1000);
    for (const std::string &line : std::vector<std::string>{
             "container    ADTS (MPEG-4)", "object type  AAC LC", "sample rate  48000 Hz",
          "channels     6, layout 6 (5.1: C L R Ls Rs LFE)", "frames       12",
          "duration     0.256 s (12288 samples per channel)", std::string(bitrate),
          "container    MP4, fragmented", "sample rate  44100 Hz", "frames       88",
          "duration     2.043 s (90112 samples per channel)"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
    EXPECT_TRUE(s.files().size() == 1) << "--info wrote files";
}
