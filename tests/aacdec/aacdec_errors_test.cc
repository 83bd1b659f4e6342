// aacdec on damaged, protected, unsupported and foreign inputs: the
// messages, the exit statuses and what is left on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "conformance.h"
#include "crc_reference.h"
#include "mp4_builder.h"
#include "tool_runner.h"

namespace {

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The stream with a 16-bit error check in every frame, over the header and
// the first 192 bits after the id of the frame's single channel element.
// corrupt_frame (from 1) gets a wrong check word.
Bytes protect(const Bytes &stream, size_t corrupt_frame = 0)
{
    Bytes out;
    size_t number = 0;
    for (const Bytes &payload : adts_payloads(stream)) {
        number++;
        EXPECT_EQ(payload[0] >> 5, 0) << "frame " << number << " does not start with an SCE";
        EXPECT_GE(payload.size(), 100u);
        size_t length = payload.size() + 9;
        Bytes h = {0xFF, 0xF0, stream[2], static_cast<uint8_t>((stream[3] & 0xC0) | (length >> 11)),
                   static_cast<uint8_t>(length >> 3), static_cast<uint8_t>(((length & 7) << 5) | 0x1F),
                   0xFC};
        uint16_t crc = crc16_reference(crc16_reference(0xFFFF, h, 0, 56), payload, 3, 192);
        if (number == corrupt_frame)
            crc ^= 0x0100;
        h.push_back(static_cast<uint8_t>(crc >> 8));
        h.push_back(static_cast<uint8_t>(crc));
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), payload.begin(), payload.end());
    }
    return out;
}

// The stream's frames written again with header byte 2 masked, and frame
// `frame` (from 1) starting with a coupling channel element, which the
// decoder refuses.
Bytes rewrite(const Bytes &stream, uint8_t byte2_mask, size_t frame = 0)
{
    Bytes out;
    size_t number = 0;
    for (Bytes payload : adts_payloads(stream)) {
        if (++number == frame)
            payload[0] = static_cast<uint8_t>((payload[0] & 0x1F) | 0x40);
        const Bytes f = adts_frame(payload, stream[2] & byte2_mask, stream[3] & 0xC0);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

}  // namespace

TEST(AacdecDamage, DamagedFrameIsSilencedOrStopsAStrictRun)
{
    Scratch s;
    s.write("in.aac", rewrite(read_file(test_data_path("streams/speech_mono_16k_24k.aac")), 0xFF, 5));
    RunResult r = s.run({"-f", "f32", "in.aac"});
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(has(r.err, "in.aac: warning: frame 5: damaged frame; decoded as silence")) << r.err;
    std::vector<float> out = read_floats(s.path("in.f32"));
    std::vector<float> ref = read_floats(test_data_path("ref/speech_mono_16k_24k.f32"));
    ASSERT_EQ(out.size(), 33u * 1024);
    // Frame 5 is missing from the blocks that overlap it with its neighbours.
    for (size_t block = 0; block < 32; block++) {
        std::vector<float> got(out.begin() + block * 1024, out.begin() + (block + 1) * 1024);
        if (block == 3 || block == 4) {
            EXPECT_EQ(got, std::vector<float>(1024, 0.0f)) << "block " << block;
            continue;
        }
        std::vector<float> want(ref.begin() + block * 1024, ref.begin() + (block + 1) * 1024);
        EXPECT_LE(exact_figures(got, want, 1).max, kExactMaxLimit) << "block " << block;
    }

    ASSERT_EQ(::unlink(s.path("in.f32").c_str()), 0);
    r = s.run({"--strict", "in.aac"});
    EXPECT_EQ(r.status, 5);
    EXPECT_TRUE(has(r.err, "in.aac: frame 5: damaged frame")) << r.err;
    EXPECT_EQ(s.files(), std::vector<std::string>{"in.aac"});
}

TEST(AacdecDamage, ErrorChecksOfProtectedFrames)
{
    Scratch s;
    // From the second frame on: the first frame's element is shorter than
    // the 192 bits the check covers, which this test does not pad.
    Bytes stream = read_file(test_data_path("streams/vo_sweep_mono_8k_12k.aac"));
    size_t first = (size_t(stream[3] & 3) << 11) | (size_t(stream[4]) << 3) | (stream[5] >> 5);
    Bytes plain(stream.begin() + static_cast<ptrdiff_t>(first), stream.end());
    s.write("plain.aac", plain);
    s.write("protected.aac", protect(plain));
    s.write("wrong.aac", protect(plain, 7));
    RunResult r = s.run({"-f", "f32", "plain.aac", "protected.aac"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(s.path("protected.f32")), read_file(s.path("plain.f32")));

    r = s.run({"-f", "f32", "wrong.aac"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r.err, "wrong.aac: warning: frame 7: CRC mismatch; decoded as silence")) << r.err;
    EXPECT_EQ(read_file(s.path("wrong.f32")).size(), read_file(s.path("plain.f32")).size());

    r = s.run({"--strict", "-o", "strict.wav", "wrong.aac"});
    EXPECT_EQ(r.status, 5);
    EXPECT_TRUE(has(r.err, "wrong.aac: frame 7: CRC mismatch")) << r.err;
}

TEST(AacdecDamage, InputsItCannotDecode)
{
    const Bytes speech = read_file(test_data_path("streams/speech_mono_16k_24k.aac"));
    Mp4Layout last;
    last.sample_rate = 16000;
    last.audio_specific_config = lc_config(8, 1);
    Mp4Layout first = last;
    first.moov_first = true;
    const Bytes m4a_last = build_mp4(adts_payloads(speech), last);
    const Bytes m4a_first = build_mp4(adts_payloads(speech), first);
    Mp4Layout lead_bomb = first, rate_7mhz = first;
    lead_bomb.edits = {{-1, 16000u * 3600}, {0, 1000}};
    rate_7mhz.audio_specific_config = {0x17, 0xB5, 0x67, 0xE0, 0x08};  // explicit 7 MHz
    std::vector<Bytes> empty_samples = adts_payloads(speech);
    std::fill(empty_samples.begin() + 4, empty_samples.begin() + 24, Bytes());
    const std::string refused = test_data_path("streams/refused_quad_side_44k1_256k.aac");

    struct Case {
        const char *name;
        std::function<Bytes()> input;  // written to "in"; empty: no file
        std::vector<std::string> args;
        int status;
        const char *message;
    } cases[] = {
        {"missing", [] { return Bytes(); }, {"in"}, 2, "in: cannot open: No such file or directory"},
        {"text", [] { return Bytes(3000, 'x'); }, {"in"}, 2, "in: not an ADTS or MP4 file"},
        {"mp3", [] { Bytes b(2000, 0); b[0] = 0xFF, b[1] = 0xFB, b[2] = 0x90; return b; },
         {"in"}, 3, "in: MPEG audio layer 3, not AAC"},
        {"main_profile", [&] { return rewrite(speech, 0x3F); },
         {"in"}, 3, "in: unsupported object type 1 (AAC Main); only AAC LC, HE-AAC and HE-AAC v2 are decoded"},
        {"refused_layout", [&] { return read_file(refused); }, {"in"}, 3,
         "in: the program_config_element describes a channel layout that is not supported"},
        {"moov_cut_off", [&] { return Bytes(m4a_last.begin(), m4a_last.end() - 200); }, {"in"}, 2,
         "in: damaged MP4 file: the 'moov' box runs past the end of the file"},
        {"no_track_2", [&] { return m4a_first; }, {"--track", "2", "in"}, 2,
         "in: the MP4 file has 1 audio track; there is no track 2"},
        {"mp4_cut_in_mdat", [&] { return Bytes(m4a_first.begin(), m4a_first.end() - 2000); },
         {"in"}, 0, "in: warning: the file is cut short: the last "},
        {"adts_cut", [&] { return Bytes(speech.begin(), speech.end() - 10); }, {"in"}, 0,
         "in: warning: the last frame is cut short"},
        {"adts_cut_strict", [&] { return Bytes(speech.begin(), speech.end() - 10); },
         {"--strict", "in"}, 5, "in: the last frame is cut short"},
        {"unwritable", [&] { return speech; }, {"-o", "/nonexistent/x.wav", "in"}, 4,
         "in: cannot write /nonexistent/x.wav"},
        {"flac_at_7_mhz", [&] { return build_mp4(adts_payloads(speech), rate_7mhz); }, {"-o", "x.flac", "in"}, 4,
         "in: cannot write x.flac"},
        {"edit_lead_bomb", [&] { return build_mp4(adts_payloads(speech), lead_bomb); }, {"in"}, 2,
         "in: the edit list asks for 3600 s of silence ahead of 2 s of media; refused"},
        {"empty_samples", [&] { return build_mp4(empty_samples, first); }, {"in"}, 0,
         "in: warning: frames 5 to 24: sample of 0 bytes (20 times); decoded as silence\n"},
        {"track_on_adts", [&] { return speech; }, {"--track", "1", "in"}, 1, "in: --track applies to MP4 files"},
        {"mp3_output", [&] { return speech; }, {"-o", "out.mp3", "in"}, 1, "cannot tell the format of out.mp3"},
        {"no_input", [] { return Bytes(); }, {}, 1, "no input file"},
        {"unknown_option", [] { return Bytes(); }, {"--bogus", "in"}, 1, "unknown option '--bogus'"},
        {"unknown_format", [] { return Bytes(); }, {"-f", "mp3", "in"}, 1, "unknown format 'mp3'"},
        {"two_inputs_one_output", [] { return Bytes(); }, {"-o", "x.wav", "a", "b"}, 1, "-o names one output"},
        {"stdin_without_output", [] { return Bytes(); }, {"-"}, 1, "standard input needs -o"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        Bytes input = c.input();
        if (!input.empty())
            s.write("in", input);
        RunResult r = s.run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(has(r.err, std::string("aacdec: ") + c.message)) << r.err;
        if (c.status != 0) {
            EXPECT_EQ(s.files().size(), input.empty() ? 0u : 1u) << "files left behind";
        }
        size_t lines = 0;
        for (size_t at = 0; (at = r.err.find("aacdec: ", at)) != std::string::npos; at++)
            lines++;
        EXPECT_EQ(lines, 1u) << r.err;
    }
}

// Damage that costs no audio: every frame decodes as in the clean stream.
TEST(AacdecDamage, AdtsResynchronisationKeepsEveryIntactFrame)
{
    const Bytes clean = read_file(test_data_path("streams/speech_mono_16k_24k.aac"));
    auto each_frame = [&](const std::function<void(Bytes &frame, size_t number)> &change) {
        Bytes out;
        size_t number = 0;
        for (const Bytes &payload : adts_payloads(clean)) {
            Bytes f = adts_frame(payload, clean[2], clean[3] & 0xC0);
            change(f, ++number);
            out.insert(out.end(), f.begin(), f.end());
        }
        return out;
    };
    const struct {
        const char *name;
        Bytes stream;
        const char *warning;  // nullptr: none
    } cases[] = {
        {"layer_bit_of_the_first_header", each_frame([](Bytes &f, size_t n) { f[1] ^= n == 1 ? 0x04 : 0; }), nullptr},
        {"mpeg2_id_from_frame_10", each_frame([](Bytes &f, size_t n) { f[1] |= n >= 10 ? 0x08 : 0; }), nullptr},
        {"stray_byte_after_each_frame", each_frame([](Bytes &f, size_t) { f.push_back(0x5A); }),
         "frames 2 to 33: damaged data skipped before it (32 times, 32 bytes)"},
        {"20_kb_of_garbage_first", [&] { Bytes b = clean; b.insert(b.begin(), 20000, 0xF1); return b; }(),
         "frame 1: damaged data skipped before it (20000 bytes)"},
    };
    Scratch s;
    s.write("clean.aac", clean);
    ASSERT_EQ(s.run({"-f", "f32", "clean.aac"}).status, 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        s.write("in.aac", c.stream);
        RunResult r = s.run({"-f", "f32", "-o", "in.f32", "in.aac"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.empty(), c.warning == nullptr) << r.err;
        if (c.warning) {
            EXPECT_TRUE(has(r.err, std::string("in.aac: warning: ") + c.warning)) << r.err;
        }
        EXPECT_EQ(read_file(s.path("in.f32")), read_file(s.path("clean.f32")));
    }
    // -q keeps the warnings, -qq drops them.
    EXPECT_EQ(s.run({"-q", "-f", "f32", "-o", "in.f32", "in.aac"}).err.empty(), false);
    EXPECT_EQ(s.run({"-qq", "-f", "f32", "-o", "in.f32", "in.aac"}).err, "");
}
