// The HE-AAC exports and decode path as a host sees them: creation from
// values and from AudioSpecificConfigs, the output format before and after
// the first frame, what an LC host gets from an HE stream, gains applied
// after SBR, and concealment of damaged SBR data, one payload and seeded
// bit flips.  (No allocation after the first decode call:
// process_allocations.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "counting_allocator.h"
#include "decode_stream.h"

namespace {

aac_he_config he_config(int sfi, int layout, int sbr_mode, int ps_mode)
{
    aac_he_config c{};
    c.core.profile = 1;
    c.core.sampling_frequency_index = sfi;
    c.core.channel_configuration = layout;
    c.sbr_mode = sbr_mode;
    c.ps_mode = ps_mode;
    return c;
}

TEST(HeInterface, CreationRefusesWhatItCannotDecodeAndLeavesNothingAllocated)
{
    CountingAllocator counting;
    aac_decoder *dec = reinterpret_cast<aac_decoder *>(0x1);
    aac_he_config ok = he_config(6, 2, AAC_SBR_IMPLICIT, AAC_PS_IMPLICIT);
    EXPECT_EQ(aac_dec_create_he(nullptr, &ok), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(aac_dec_create_he(&dec, nullptr), AAC_ERR_BAD_STREAM);
    const aac_he_config bad[] = {
        he_config(6, 2, 4, AAC_PS_OFF),                      // unknown SBR mode
        he_config(6, 1, AAC_SBR_IMPLICIT, 3),                // unknown PS mode
        he_config(2, 2, AAC_SBR_EXPLICIT, AAC_PS_OFF),       // SBR above a 64 kHz core
        he_config(1, 2, AAC_SBR_DOWNSAMPLED, AAC_PS_OFF),
        he_config(12, 2, AAC_SBR_IMPLICIT, AAC_PS_OFF),      // the core's own refusals
        he_config(6, 11, AAC_SBR_IMPLICIT, AAC_PS_OFF),
    };
    for (aac_he_config c : bad)
        EXPECT_EQ(aac_dec_create_he(&dec, &c), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(dec, reinterpret_cast<aac_decoder *>(0x1));
    EXPECT_EQ(counting.outstanding(), 0u);

    // Implicit SBR on a 64 kHz core cannot happen: the decoder stays LC.
    aac_he_config fast = he_config(2, 2, AAC_SBR_IMPLICIT, AAC_PS_OFF);
    ASSERT_EQ(aac_dec_create_he(&dec, &fast), AAC_OK);
    aac_output_format f;
    ASSERT_EQ(aac_dec_get_format(dec, &f), AAC_OK);
    EXPECT_EQ(f.sbr, 0);
    EXPECT_EQ(f.sample_rate, 64000);
    EXPECT_EQ(f.samples_per_block, 1024);
    aac_dec_destroy(dec);
    EXPECT_EQ(counting.outstanding(), 0u);
}

TEST(HeInterface, FormatOfPlainAndHeDecoders)
{
    aac_dec_config lc{};
    lc.profile = 1;
    lc.sampling_frequency_index = 4;
    lc.channel_configuration = 6;
    aac_decoder *dec = nullptr;
    ASSERT_EQ(aac_dec_create(&dec, &lc), AAC_OK);
    aac_output_format f;
    EXPECT_EQ(aac_dec_get_format(dec, nullptr), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(aac_dec_get_format(nullptr, &f), AAC_ERR_BAD_STREAM);
    ASSERT_EQ(aac_dec_get_format(dec, &f), AAC_OK);
    EXPECT_EQ(f.sample_rate, 44100);
    EXPECT_EQ(f.core_sample_rate, 44100);
    EXPECT_EQ(f.channels, 6);
    EXPECT_EQ(f.samples_per_block, 1024);
    EXPECT_EQ(f.block_bytes, 6 * 4096);
    EXPECT_EQ(f.fixed, 1);
    EXPECT_EQ(f.sbr + f.ps, 0);
    EXPECT_EQ(dec->reserved0, 0) << "an LC record carries no HE marker";
    aac_dec_destroy(dec);

    // A mono core that may carry PS needs stereo blocks at twice the rate;
    // the first frame (SBR, no PS) fixes one channel.
    const TestStream &mono = test_stream("speech_mono_32k_24k_v1");
    const DecodeResult speech = decode_stream(mono);
    EXPECT_EQ(speech.created.fixed, 0);
    EXPECT_EQ(speech.created.channels, 2);
    EXPECT_EQ(speech.created.samples_per_block, 2048);
    EXPECT_EQ(speech.created.block_bytes, 2 * 2048 * 4);
    EXPECT_EQ(speech.created.sample_rate, 32000);
    EXPECT_EQ(speech.format.fixed, 1);
    EXPECT_EQ(speech.format.channels, 1);
    EXPECT_EQ(speech.format.ps, 0);
    EXPECT_EQ(speech.format.object_type, 5);
    EXPECT_EQ(speech.format.block_bytes, speech.created.block_bytes);

    // Implicit SBR allowed but the stream decoded with SBR off: the core.
    const DecodeResult core = decode_stream(mono, {.sbr_mode = AAC_SBR_OFF});
    EXPECT_EQ(core.format.sbr, 0);
    EXPECT_EQ(core.format.sample_rate, 16000);
    EXPECT_EQ(core.format.samples_per_block, 1024);
    EXPECT_EQ(core.samples.size(), size_t{5 * 1024});
}

TEST(HeInterface, AudioSpecificConfigs)
{
    struct Case {
        const char *asc;
        int32_t flags;
        aac_status status;
        int rate = 0, core_rate = 0, channels = 0, samples = 0, sbr = 0, ps = 0, object_type = 0;
    };
    const Case cases[] = {
        // LC 22050 Hz mono: implicit signalling may double it and add PS.
        {"1388", AAC_ASC_IMPLICIT, AAC_OK, 44100, 22050, 2, 2048, 1, 1, 29},
        {"1388", 0, AAC_OK, 22050, 22050, 1, 1024, 0, 0, 2},
        // LC 24 kHz mono + 0x2B7: SBR to 48 kHz; PS still possible.
        {"130856e598", AAC_ASC_IMPLICIT, AAC_OK, 48000, 24000, 2, 2048, 1, 1, 29},
        {"130856e598", 0, AAC_OK, 48000, 24000, 1, 2048, 1, 0, 5},
        // ... + 0x548: PS announced.
        {"130856e59d4880", 0, AAC_OK, 48000, 24000, 2, 2048, 1, 1, 29},
        // Object type 5, 22050 -> 44100 stereo; 29 with a mono core.
        {"2b920800", 0, AAC_OK, 44100, 22050, 2, 2048, 1, 0, 5},
        {"eb8a0800", 0, AAC_OK, 44100, 22050, 2, 2048, 1, 1, 29},
        // Extension rate = core rate: downsampled SBR.
        {"2a928800", 0, AAC_OK, 32000, 32000, 2, 1024, 1, 0, 5},
        // Main profile; 960-sample frames; an extension rate neither the
        // core's nor twice it (32000 -> 96000).
        {"0a10", 0, AAC_ERR_BAD_STREAM},
        {"138c", 0, AAC_ERR_BAD_STREAM},
        {"2a900800", 0, AAC_ERR_BAD_STREAM},
        // Cut short.
        {"13", 0, AAC_ERR_CORRUPT_FRAME},
        {"2b92", 0, AAC_ERR_CORRUPT_FRAME},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.asc);
        const std::vector<uint8_t> asc = hex_bytes(c.asc);
        aac_decoder *dec = nullptr;
        ASSERT_EQ(aac_dec_create_asc(&dec, asc.data(), static_cast<int32_t>(asc.size()), c.flags), c.status);
        if (c.status != AAC_OK)
            continue;
        aac_output_format f;
        ASSERT_EQ(aac_dec_get_format(dec, &f), AAC_OK);
        EXPECT_EQ(f.sample_rate, c.rate);
        EXPECT_EQ(f.core_sample_rate, c.core_rate);
        EXPECT_EQ(f.channels, c.channels);
        EXPECT_EQ(f.samples_per_block, c.samples);
        EXPECT_EQ(f.sbr, c.sbr);
        EXPECT_EQ(f.ps, c.ps);
        EXPECT_EQ(f.object_type, c.object_type);
        aac_dec_destroy(dec);
    }
    aac_decoder *dec = nullptr;
    EXPECT_EQ(aac_dec_create_asc(&dec, nullptr, 2, 0), AAC_ERR_BAD_STREAM);
}

// What a host made with aac_dec_create gets from an HE stream: the core,
// fill elements skipped, the same bytes as an HE decoder with SBR off.
TEST(HeDecoding, LcHostsGetTheCoreAsBefore)
{
    const TestStream &stream = test_stream("chord_stereo_48k_64k_v1");
    const DecodeResult lc = decode_stream(stream, {.sbr_mode = kLcHost});
    EXPECT_EQ(lc.status, std::vector<aac_status>(stream.frames, AAC_OK));
    EXPECT_EQ(lc.bytes_used, lc.payload_size);
    const DecodeResult core = decode_stream(stream, {.sbr_mode = AAC_SBR_OFF});
    ASSERT_EQ(lc.samples.size(), size_t(stream.frames - 1) * 1024 * 2);
    ASSERT_EQ(core.samples.size(), lc.samples.size());
    EXPECT_EQ(std::memcmp(core.samples.data(), lc.samples.data(), lc.samples.size() * 4), 0);
}

// The SBR envelopes are absolute energies: a gain scales the output after
// SBR (a power of two exactly), and gain 0 switches a channel off.
TEST(HeDecoding, GainsScaleTheOutputAfterSbr)
{
    const TestStream &stream = test_stream("chord_stereo_48k_64k_v1");
    const DecodeResult unity = decode_stream(stream);
    DecodeOptions options;
    options.gains[0] = 0.25f;
    options.gains[1] = 0.0f;
    const DecodeResult scaled = decode_stream(stream, options);
    ASSERT_EQ(scaled.samples.size(), unity.samples.size());
    size_t nonzero = 0;
    for (size_t i = 0; i < unity.samples.size(); i += 2) {
        ASSERT_EQ(scaled.samples[i], unity.samples[i] * 0.25f) << "sample " << i / 2;
        ASSERT_EQ(scaled.samples[i + 1], 0.0f);
        nonzero += unity.samples[i] != 0.0f;
    }
    EXPECT_GT(nonzero, unity.samples.size() / 4);
}

uint32_t get_bits(const std::vector<uint8_t> &d, int pos, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; i++, pos++)
        v = (v << 1) | ((d[pos >> 3] >> (7 - (pos & 7))) & 1);
    return v;
}

void put_bits(std::vector<uint8_t> &d, int pos, int n, uint32_t v)
{
    for (int i = n - 1; i >= 0; i--, pos++) {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (pos & 7));
        d[pos >> 3] = static_cast<uint8_t>(((v >> i) & 1) ? d[pos >> 3] | bit : d[pos >> 3] & ~bit);
    }
}

// Energy of the upper half of the spectrum of one 2048-sample block of the
// first channel of a stereo output (12 to 24 kHz at 48 kHz: the SBR band
// only), Hann-windowed.
double high_band_energy(const std::vector<float> &x, size_t block)
{
    const size_t from = 2 * 2048 * block;
    const size_t n = 2048;
    const double pi = 3.14159265358979323846;
    double e = 0;
    for (size_t k = n / 4; k < n / 2; k += 2) {
        double re = 0, im = 0;
        for (size_t i = 0; i < n; i++) {
            const double w = 0.5 - 0.5 * std::cos(2 * pi * i / n);
            re += w * x[from + 2 * i] * std::cos(2 * pi * k * i / n);
            im -= w * x[from + 2 * i] * std::sin(2 * pi * k * i / n);
        }
        e += re * re + im * im;
    }
    return e;
}

// A frame whose SBR payload asks for impossible band tables (start band
// 31, stop band 21) keeps its core and the last good SBR data: every block
// is delivered, none goes lost, no level jumps, and the frames after it
// come back to the undamaged decoding.
TEST(HeDecoding, DamagedSbrPayloadIsConcealedWithoutAGap)
{
    const TestStream &stream = test_stream("chord_stereo_48k_64k_v1");
    // Bit positions of each frame's fill elements, from the element lists.
    std::vector<std::vector<int32_t>> fill_positions;
    DecodeOptions clean_options;
    clean_options.on_elements = [&](const aac_syn_elem *list) {
        std::vector<int32_t> fills;
        for (const aac_syn_elem *e = list; *e != AAC_ID_END; e += *e == AAC_ID_CPE ? 3 : 2)
            if (*e == AAC_ID_FIL)
                fills.push_back(e[1]);
        fill_positions.push_back(fills);
        return AAC_OK;
    };
    const DecodeResult clean = decode_stream(stream, clean_options);
    ASSERT_EQ(fill_positions.size(), size_t(stream.frames));

    const size_t damaged = 3;
    ASSERT_FALSE(fill_positions[damaged].empty());
    DecodeOptions options;
    options.mutate = [&](size_t frame, const std::vector<uint8_t> &payload) {
        std::vector<uint8_t> out = payload;
        if (frame != damaged)
            return out;
        int pos = fill_positions[damaged][0] + 3;
        const uint32_t count = get_bits(out, pos, 4);
        pos += count == 15 ? 12 : 4;
        EXPECT_EQ(get_bits(out, pos, 4), 13u) << "an SBR payload";
        // bs_header_flag 1, bs_amp_res 0, bs_start_freq 15, bs_stop_freq 0
        put_bits(out, pos + 4, 10, 0x2F0);
        return out;
    };
    const DecodeResult hit = decode_stream(stream, options);
    EXPECT_EQ(hit.status, std::vector<aac_status>(stream.frames, AAC_OK));
    EXPECT_EQ(hit.error_count, 0);
    EXPECT_EQ(hit.format.sbr_errors, 1);
    EXPECT_EQ(hit.block_states, clean.block_states);
    ASSERT_EQ(hit.samples.size(), clean.samples.size());

    // Block b holds frame b + 1 (counted from 0).  Before the damaged
    // frame: the same.  In it and after it the high band keeps its level
    // (within 2 dB of the undamaged decoding; a gap would lose it all), and
    // the last block has come back to within 0.2 dB.
    const size_t n = 2 * 2048, blocks = hit.samples.size() / n;
    for (size_t b = 0; b + 1 < damaged; b++)
        EXPECT_EQ(std::memcmp(&hit.samples[b * n], &clean.samples[b * n], n * 4), 0);
    bool differs = false;
    for (size_t b = damaged - 1; b < blocks; b++) {
        const double db = 10 * std::log10(high_band_energy(hit.samples, b) /
                                          high_band_energy(clean.samples, b));
        std::printf("block %zu: high band %+.2f dB\n", b, db);
        EXPECT_LT(std::fabs(db), b + 1 == blocks ? 0.2 : 2.0) << "block " << b;
        differs |= std::memcmp(&hit.samples[b * n], &clean.samples[b * n], n * 4) != 0;
    }
    EXPECT_TRUE(differs) << "the damage changed nothing";
}

// Seeded bit flips in the last third of every other frame, where the fill
// elements with the SBR data lie: with concealment every call succeeds as
// the frame driver's model says, and the damage shows up as concealed SBR
// payloads or lost frames.  Run under the sanitizers and memcheck, this is
// where damaged SBR data meets the whole decoder.
TEST(HeDecoding, BitFlipsInTheSbrDataAreConcealed)
{
    for (const TestStream &stream : he_test_streams()) {
        SCOPED_TRACE(stream.name);
        std::mt19937 rng(0x5B5 + static_cast<uint32_t>(stream.frames));
        DecodeOptions options;
        options.conceal = true;
        options.mutate = [&](size_t frame, const std::vector<uint8_t> &payload) {
            std::vector<uint8_t> out = payload;
            if (frame % 2 == 1 && out.size() > 3) {
                const size_t from = 2 * out.size() / 3;
                for (int n = 0; n < 4; n++)
                    out[from + rng() % (out.size() - from)] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            return out;
        };
        const DecodeResult hit = decode_stream(stream, options);
        EXPECT_EQ(hit.status, std::vector<aac_status>(stream.frames, AAC_OK));
        EXPECT_TRUE(hit.follows_model);
        EXPECT_GT(hit.format.sbr_errors + hit.error_count, 0);
    }
}

}  // namespace
