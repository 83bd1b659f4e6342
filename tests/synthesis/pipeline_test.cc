// The channel pipeline on hand-built records: the expected spectra are
// worked out band by band (noise from the generator, which has its own
// tests), transformed, and compared bit for bit.
#include "synthesis/pipeline.h"

#include <cmath>

#include "records.h"
#include "synthesis/filterbank.h"
#include "synthesis/noise.h"

namespace {

std::vector<uint32_t> spectra(aac_channel_state &ch) { return bits_of(floats(ch), 1024); }

std::vector<uint32_t> spectra(aac_channel_pair_state &pair)
{
    std::vector<uint32_t> out = spectra(pair.channel[0]), r = spectra(pair.channel[1]);
    out.insert(out.end(), r.begin(), r.end());
    return out;
}

void decode(aac_decoder *decoder, aac_channel_state *ch) { decode_single_channel(decoder, ch); }
void decode(aac_decoder *decoder, aac_channel_pair_state *pair) { decode_channel_pair(decoder, pair); }

// The decoded record's spectra, and the noise state after it.
template <typename Record>
std::vector<uint32_t> decoded(const Record &input, uint32_t *pns_state)
{
    auto decoder = std::make_unique<aac_decoder>();
    decoder->stream_tables = tables_48k();
    auto record = std::make_unique<Record>();
    *record = input;
    decode(decoder.get(), record.get());
    *pns_state = decoder->pns_state;
    return spectra(*record);
}

// The pipeline's TNS filters here: order 1 upwards from start with k = sin(q * step).
void tns_order1(float *x, int start, int end, float step, int32_t q)
{
    const float k = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(q) * step)));
    for (int n = start + 1; n < end; ++n)
        x[n] = x[n] - x[n - 1] * k;
}

void set_tns_order1(aac_channel_state &ch, int w, uint32_t coef_bits, uint32_t end, int32_t q)
{
    aac_tns_n_filt(ch.tns, w) = 1;
    aac_tns_coef_bits(ch.tns, w) = coef_bits;
    aac_tns_filter_at(ch.tns, w, 0) = {0, 0, 0, end, 1, 0, {q}};
    ch.tns_data_present = 1;
}

TEST(Pipeline, BandCodebookMapsFollowTheSections)
{
    uint32_t sections[128] = {}, map[128] = {};
    set_sections(sections, 0, {{1, 5}, {13, 18}, {15, 20}});  // a long window crosses index 16
    const aac_ics_info ics = ics_of(20), grouped = ics_of(3, {5, 3});
    expand_band_codebooks(&ics, sections, map);
    for (uint32_t b = 0; b < 20; ++b)
        EXPECT_EQ(map[b], b < 5 ? 1u : b < 18 ? 13u : 15u) << b;
    set_sections(sections, 0, {{11, 3}});
    set_sections(sections, 1, {{0, 1}, {14, 3}});
    expand_band_codebooks(&grouped, sections, map);
    EXPECT_EQ(std::vector<uint32_t>(map, map + 3), (std::vector<uint32_t>{11, 11, 11}));
    EXPECT_EQ(std::vector<uint32_t>(map + 16, map + 19), (std::vector<uint32_t>{0, 14, 14}));
}

TEST(Pipeline, PairRunsStereoToolsThenNoiseThenTns)
{
    auto input = std::make_unique<aac_channel_pair_state>();
    input->common_window = 1;
    input->ms_mask_present = 1;
    std::fill(input->ms_used, input->ms_used + 4, 1u);
    aac_channel_state &c0 = input->channel[0], &c1 = input->channel[1];
    c0.ics_info = ics_of(4);           // bands of 4 values
    c1.ics_info = ics_of(1, {8});      // not written with a common window
    std::fill(c0.coef, c0.coef + 1024, 77);
    std::fill(c0.coef, c0.coef + 4, 8);
    std::fill(c0.coef + 4, c0.coef + 16, 1);
    set_sections(c0.sections, 0, {{1, 2}, {13, 3}, {1, 4}});
    c0.noise_used = 1;
    set_tns_order1(c0, 0, 4, 16, 2);
    std::fill(c1.coef, c1.coef + 4, 1);
    std::fill(c1.coef + 4, c1.coef + 8, 0x40400000);  // 3.0f if M/S read the intensity band
    set_sections(c1.sections, 0, {{1, 1}, {15, 2}, {13, 4}});
    c1.scalefactors[2] = 4;  // noise levels
    c1.scalefactors[3] = 8;
    c1.noise_used = c1.intensity_used = 1;

    auto expected = std::make_unique<aac_channel_pair_state>();
    float *L = floats(expected->channel[0]), *R = floats(expected->channel[1]);
    uint32_t seed = 0, pns_state = 0;
    generate_noise_band(L + 8, 4, 1.0f, &seed);
    generate_noise_band(R + 12, 4, 4.0f, &seed);
    for (int i = 0; i < 4; ++i) {
        L[i] = 17.0f;  // M/S of 16 and 1
        R[i] = 15.0f;
        L[4 + i] = 1.0f;  // R is intensity there: no M/S
        R[4 + i] = -1.0f;  // position 0, inverted by ms_used
        R[8 + i] = 2.0f * L[8 + i];  // noise in both with ms_used: a copy at 2^(4/4)
        L[12 + i] = 1.0f;  // M/S ran while R's noise band was still zero
    }
    tns_order1(L, 0, 16, 1.5707964f / 7.5f, 2);
    inverse_transform(&c0.ics_info, L);
    inverse_transform(&c0.ics_info, R);
    EXPECT_EQ(decoded(*input, &pns_state), spectra(*expected));
    EXPECT_EQ(pns_state, seed);
}

TEST(Pipeline, PairWithoutCommonWindowUsesEachChannelsOwnInfo)
{
    auto input = std::make_unique<aac_channel_pair_state>();
    input->ms_mask_present = 2;  // stale: no M/S and no copied noise
    aac_channel_state &c0 = input->channel[0], &c1 = input->channel[1];
    c0.ics_info = ics_of(1);
    set_sections(c0.sections, 0, {{13, 1}});
    c0.noise_used = 1;
    c1.ics_info = ics_of(2, {8});
    set_sections(c1.sections, 0, {{13, 1}, {1, 2}});
    c1.scalefactors[1] = 4;
    c1.noise_used = 1;
    for (int w = 0; w < 8; ++w)
        std::fill(c1.coef + 128 * w + 4, c1.coef + 128 * w + 8, 8);  // 16 * 2
    set_tns_order1(c1, 3, 3, 8, -4);  // window 3 of the short sequence only

    auto expected = std::make_unique<aac_channel_pair_state>();
    float *L = floats(expected->channel[0]), *R = floats(expected->channel[1]);
    uint32_t seed = 0, pns_state = 0;
    generate_noise_band(L, 4, 1.0f, &seed);
    for (int w = 0; w < 8; ++w) {
        generate_noise_band(R + 128 * w, 4, 1.0f, &seed);
        std::fill(R + 128 * w + 4, R + 128 * w + 8, 32.0f);
    }
    tns_order1(R + 384, 0, 8, 1.5707964f / 4.5f, -4);
    inverse_transform(&c0.ics_info, L);
    inverse_transform(&c1.ics_info, R);
    EXPECT_EQ(decoded(*input, &pns_state), spectra(*expected));
    EXPECT_EQ(pns_state, seed);
}

TEST(Pipeline, SingleChannelStagesAndMaxSfbZero)
{
    auto input = std::make_unique<aac_channel_state>();
    std::fill(input->coef, input->coef + 1024, -3);
    input->ics_info = ics_of(0, {8});
    uint32_t seed = 0, pns_state = 0;
    EXPECT_EQ(decoded(*input, &pns_state), std::vector<uint32_t>(1024, 0u));

    std::fill(input->coef, input->coef + 1024, 0);
    input->ics_info = ics_of(2);
    set_sections(input->sections, 0, {{3, 1}, {13, 2}});
    input->pulse_data_present = input->noise_used = 1;
    input->pulse = {1, 0, {(8 << 16) + 2}};  // 0 - 8
    set_tns_order1(*input, 0, 4, 8, 5);
    auto expected = std::make_unique<aac_channel_state>();
    float *x = floats(*expected);
    x[2] = -16.0f;
    generate_noise_band(x + 4, 4, 1.0f, &seed);
    tns_order1(x, 0, 8, 1.5707964f / 7.5f, 5);
    inverse_transform(&input->ics_info, x);
    EXPECT_EQ(decoded(*input, &pns_state), spectra(*expected));
    EXPECT_EQ(pns_state, seed);
}

}  // namespace
