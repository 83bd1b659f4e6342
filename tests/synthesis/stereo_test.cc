// The stereo tools and their order: the correlated noise of a pair against
// a generator written from its definition, and a channel pair through the
// pipeline (M/S, then noise, intensity and TNS) against spectra worked out
// band by band.  (Which bands M/S and intensity touch and what they write
// there: the conformance streams.)
#include "synthesis/stereo.h"

#include <cmath>

#include "records.h"
#include "synthesis/filterbank.h"
#include "synthesis/noise.h"
#include "synthesis/pipeline.h"

using namespace lumdec;

namespace {

struct ReferenceNoise {
    uint32_t s;
    // Fills x[0..n-1] with the next n values scaled to the level gain.  The
    // energy: four sums of every fourth square over the whole quads, met as
    // (0 + 1) + (2 + 3), then the squares of the values left in order.
    void band(float *x, int n, float gain)
    {
        float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int i = 0; i < n; ++i) {
            s = s * 1664525u + 1013904223u;
            x[i] = static_cast<float>(static_cast<int32_t>(s));
        }
        const int quads = n / 4 * 4;
        for (int i = 0; i < quads; ++i)
            sums[i % 4] = x[i] * x[i] + sums[i % 4];
        float energy = (sums[0] + sums[1]) + (sums[2] + sums[3]);
        for (int i = quads; i < n; ++i)
            energy = x[i] * x[i] + energy;
        for (int i = 0; i < n; ++i)
            x[i] = x[i] * (gain / std::sqrt(energy));
    }
};

TEST(Noise, PairCopiesOnlyBandsNoisyInBothAndCoveredByMs)
{
    const aac_stream_tables t = tables_48k();
    const uint32_t map0[128] = {13, 13, 13, 1, 13};
    const int32_t sf_L[5] = {0, 4, 8, 0, -4}, sf_R[5] = {4, 0, 8, 0, 12};
    const float copy_gain[5] = {2, 0.5f, 1, 0, 16};  // 2^((vR - vL) / 4)
    auto pair = std::make_unique<aac_channel_pair_state>();
    pair->channel[0].ics_info = ics_of(5);
    const uint32_t ms_used[5] = {1, 0, 1, 1, 0};
    std::copy(ms_used, ms_used + 5, pair->ms_used);
    std::copy(sf_L, sf_L + 5, pair->channel[0].scalefactors);
    std::copy(sf_R, sf_R + 5, pair->channel[1].scalefactors);
    set_sections(pair->channel[1].sections, 0, {{13, 5}});
    float *L = floats(pair->channel[0]), *R = floats(pair->channel[1]);
    for (int k = 0; k < 1024; ++k)
        L[k] = static_cast<float>(k % 13) - 6.0f;
    for (uint32_t mask : {1u, 2u}) {
        // ms_used counts with mask 1 only; channel 0 must be noise too.
        const bool copied[5] = {true, mask == 2, true, false, mask == 2};
        std::vector<float> expected(1024, -7.5f);
        ReferenceNoise ref{99};
        for (int b = 0; b < 5; ++b)
            for (int i = 0; i < 4; ++i)
                expected[4 * b + i] = L[4 * b + i] * copy_gain[b];
        for (int b = 0; b < 5; ++b)
            if (!copied[b])
                ref.band(&expected[4 * b], 4, std::exp2(sf_R[b] / 4.0f));
        uint32_t seed = 99;
        std::fill(R, R + 1024, -7.5f);
        pair->ms_mask_present = mask;
        noise_substitution_pair(&t, *pair, map0, L, R, &seed);
        EXPECT_EQ(bits_of(R, 1024), bits_of(expected.data(), 1024));
        EXPECT_EQ(seed, ref.s);
    }
}

std::vector<uint32_t> spectra(aac_channel_pair_state &pair)
{
    std::vector<uint32_t> out = bits_of(floats(pair.channel[0]), 1024);
    const std::vector<uint32_t> right = bits_of(floats(pair.channel[1]), 1024);
    out.insert(out.end(), right.begin(), right.end());
    return out;
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
    std::fill(c0.coef, c0.coef + 16, 1);
    c0.pulse_data_present = 1;  // makes the first band 8s
    c0.pulse = {4, 0, {(7 << 16) + 0, (7 << 16) + 1, (7 << 16) + 2, (7 << 16) + 3}};
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
    uint32_t seed = 0;
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
    auto decoder = std::make_unique<aac_decoder>();
    decoder->stream_tables = tables_48k();
    decode_channel_pair(decoder.get(), input.get());
    EXPECT_EQ(spectra(*input), spectra(*expected));
    EXPECT_EQ(decoder->pns_state, seed);
}

}  // namespace
