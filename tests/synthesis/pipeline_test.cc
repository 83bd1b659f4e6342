// The channel pipeline on hand-built records: the expected spectra are
// worked out band by band (noise from the generator, which has its own
// tests), transformed, and compared bit for bit on both kernel tables.
#include "synthesis/pipeline.h"

#include <gtest/gtest.h>

#include <cmath>

#include "records.h"
#include "synthesis/filterbank.h"
#include "synthesis/noise.h"

namespace {

std::unique_ptr<aac_decoder> new_decoder()
{
    auto decoder = std::make_unique<aac_decoder>();
    decoder->stream_tables = tables_48k();
    return decoder;
}

// Transformed expected spectra of a pair, 16-byte aligned.
std::vector<uint32_t> transformed(aac_channel_pair_state &expected, const aac_ics_info &ics0,
                                  const aac_ics_info &ics1)
{
    inverse_transform(&ics0, floats(expected.channel[0]));
    inverse_transform(&ics1, floats(expected.channel[1]));
    std::vector<uint32_t> out = bits_of(floats(expected.channel[0]), 1024);
    std::vector<uint32_t> r = bits_of(floats(expected.channel[1]), 1024);
    out.insert(out.end(), r.begin(), r.end());
    return out;
}

std::vector<uint32_t> run_pair(const aac_channel_pair_state &input, uint32_t *pns_state)
{
    auto decoder = new_decoder();
    auto pair = new_pair();
    auto [generic, sse2] = with_both_kernel_tables<std::vector<uint32_t>>([&] {
        *pair = input;
        decoder->pns_state = 0;
        decode_channel_pair(decoder.get(), pair.get());
        std::vector<uint32_t> out = bits_of(floats(pair->channel[0]), 1024);
        std::vector<uint32_t> r = bits_of(floats(pair->channel[1]), 1024);
        out.insert(out.end(), r.begin(), r.end());
        return out;
    });
    EXPECT_EQ(generic, sse2);
    *pns_state = decoder->pns_state;
    return sse2;
}

TEST(Pipeline, BandCodebookMapsFollowTheSections)
{
    uint32_t sections[128] = {}, map[128] = {};
    set_sections(sections, 0, {{1, 5}, {13, 18}, {15, 20}});  // a long window crosses index 16
    const aac_ics_info ics = long_ics(20);
    expand_band_codebooks(&ics, sections, map);
    for (uint32_t b = 0; b < 20; ++b)
        EXPECT_EQ(map[b], b < 5 ? 1u : b < 18 ? 13u : 15u) << b;
    const aac_ics_info grouped = short_ics(3, {5, 3});
    set_sections(sections, 0, {{11, 3}});
    set_sections(sections, 1, {{0, 1}, {14, 3}});
    expand_band_codebooks(&grouped, sections, map);
    EXPECT_EQ(std::vector<uint32_t>(map, map + 3), (std::vector<uint32_t>{11, 11, 11}));
    EXPECT_EQ(std::vector<uint32_t>(map + 16, map + 19), (std::vector<uint32_t>{0, 14, 14}));
}

TEST(Pipeline, PairRunsStereoToolsThenNoiseThenTns)
{
    auto input = new_pair();
    input->common_window = 1;
    input->ms_mask_present = 1;
    std::fill(input->ms_used, input->ms_used + 4, 1u);
    aac_channel_state &c0 = input->channel[0], &c1 = input->channel[1];
    c0.ics_info = long_ics(4);                // bands of 4 values
    c1.ics_info = short_ics(1, {8});          // not written with a common window
    std::fill(c0.coef, c0.coef + 1024, 77);   // above max_sfb: cleared
    std::fill(c0.coef, c0.coef + 4, 8);       // 16
    std::fill(c0.coef + 4, c0.coef + 16, 1);  // 1 (band 2 is noise)
    set_sections(c0.sections, 0, {{1, 2}, {13, 3}, {1, 4}});
    c0.noise_used = c0.tns_data_present = 1;
    aac_tns_n_filt(c0.tns, 0) = 1;
    aac_tns_coef_bits(c0.tns, 0) = 4;
    aac_tns_filter &filter = aac_tns_filter_at(c0.tns, 0, 0);
    filter.start_coef = 0;
    filter.end_coef = 8;
    filter.order = 1;
    filter.coef[0] = 2;
    std::fill(c1.coef, c1.coef + 4, 1);
    set_sections(c1.sections, 0, {{1, 1}, {15, 2}, {13, 4}});
    c1.scalefactors[2] = 4;  // noise levels
    c1.scalefactors[3] = 8;
    c1.noise_used = c1.intensity_used = 1;

    uint32_t pns_state = 0;
    const std::vector<uint32_t> out = run_pair(*input, &pns_state);

    auto expected = new_pair();
    float *L = floats(expected->channel[0]), *R = floats(expected->channel[1]);
    uint32_t seed = 0;
    generate_noise_band(L + 8, 4, 1.0f, &seed);
    for (int i = 0; i < 4; ++i) {
        L[i] = 17.0f;            // M/S of 16 and 1
        R[i] = 15.0f;
        L[4 + i] = 1.0f;         // R intensity there: no M/S
        R[4 + i] = -1.0f;        // position 0, inverted by ms_used
        R[8 + i] = 2.0f * L[8 + i];  // both noise with ms_used: a copy at 2^(4/4)
        L[12 + i] = 1.0f;        // M/S ran while R's noise band was still zero
    }
    generate_noise_band(R + 12, 4, 4.0f, &seed);
    const float k1 = static_cast<float>(std::sin(static_cast<double>(2.0f * (1.5707964f / 7.5f))));
    for (int n = 1; n < 8; ++n)  // TNS on the decoded left channel
        L[n] = L[n] - L[n - 1] * k1;
    EXPECT_EQ(out, transformed(*expected, c0.ics_info, c0.ics_info));
    EXPECT_EQ(pns_state, seed);
}

TEST(Pipeline, PairWithoutCommonWindowUsesEachChannelsOwnInfo)
{
    auto input = new_pair();
    input->ms_mask_present = 2;  // stale: no M/S and no copied noise
    aac_channel_state &c0 = input->channel[0], &c1 = input->channel[1];
    c0.ics_info = long_ics(1);
    set_sections(c0.sections, 0, {{13, 1}});
    c0.noise_used = 1;
    c1.ics_info = short_ics(2, {8});
    set_sections(c1.sections, 0, {{13, 1}, {1, 2}});
    c1.scalefactors[1] = 4;
    c1.noise_used = c1.tns_data_present = 1;
    for (int w = 0; w < 8; ++w)
        std::fill(c1.coef + 128 * w + 4, c1.coef + 128 * w + 8, 8);  // 16 * 2
    aac_tns_n_filt(c1.tns, 3) = 1;  // window 3 of the short sequence only
    aac_tns_coef_bits(c1.tns, 3) = 3;
    aac_tns_filter &filter = aac_tns_filter_at(c1.tns, 3, 0);
    filter.end_coef = 8;
    filter.order = 1;
    filter.direction = 1;
    filter.coef[0] = -4;

    uint32_t pns_state = 0;
    const std::vector<uint32_t> out = run_pair(*input, &pns_state);

    auto expected = new_pair();
    float *L = floats(expected->channel[0]), *R = floats(expected->channel[1]);
    uint32_t seed = 0;
    generate_noise_band(L, 4, 1.0f, &seed);
    for (int w = 0; w < 8; ++w) {
        generate_noise_band(R + 128 * w, 4, 1.0f, &seed);
        std::fill(R + 128 * w + 4, R + 128 * w + 8, 32.0f);
    }
    const float k1 = static_cast<float>(std::sin(static_cast<double>(-4.0f * (1.5707964f / 4.5f))));
    for (int p = 6; p >= 0; --p)
        R[384 + p] = R[384 + p] - R[384 + p + 1] * k1;
    EXPECT_EQ(out, transformed(*expected, c0.ics_info, c1.ics_info));
    EXPECT_EQ(pns_state, seed);
}

TEST(Pipeline, SingleChannelWithPulseAndNothingAboveMaxSfb)
{
    auto decoder = new_decoder();
    auto ch = new_channel();
    std::fill(ch->coef, ch->coef + 1024, -3);
    ch->ics_info = short_ics(0, {8});
    decode_single_channel(decoder.get(), ch.get());
    EXPECT_EQ(bits_of(floats(*ch), 1024), std::vector<uint32_t>(1024, 0u));

    std::fill(ch->coef, ch->coef + 1024, 0);
    ch->ics_info = long_ics(1);
    set_sections(ch->sections, 0, {{3, 1}});
    ch->pulse_data_present = 1;
    ch->pulse.number_pulse = 1;
    ch->pulse.pulse_packed[0] = (8 << 16) + 2;  // 0 - 8 -> -16
    decode_single_channel(decoder.get(), ch.get());
    alignas(16) float expected[1024] = {};
    expected[2] = -16.0f;
    inverse_transform(&ch->ics_info, expected);
    EXPECT_EQ(bits_of(floats(*ch), 1024), bits_of(expected, 1024));
}

}  // namespace
