// Time per channel of the spectral stages and of the whole channel pipeline
// on a typical 48 kHz frame: dense low bands, sparse high bands, a few noise
// and intensity bands, an order-12 TNS filter.  Each iteration restores the
// parsed record first (copy_record shows what that costs alone).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>

#include "kernels/kernel_tables.h"
#include "synthesis/dequantize.h"
#include "synthesis/noise.h"
#include "synthesis/pipeline.h"
#include "synthesis/stereo.h"
#include "synthesis/tns.h"
#include "syntax/stream_tables.h"

using namespace lumdec;

namespace {

struct Frame {
    aac_decoder decoder{};
    aac_channel_pair_state parsed{};
    aac_channel_pair_state dequantized{};  // both channels after inverse quantisation
    aac_channel_pair_state work{};
    uint32_t map0[128] = {};
};

// Channel c of a long-window pair with M/S on every band; channel 1 carries
// intensity in bands 44..47 and both channels noise in bands 40..43.
void fill_channel(aac_channel_state &ch, int c, const aac_stream_tables &t, std::mt19937 &rng)
{
    ch.ics_info = {AAC_ONLY_LONG_SEQUENCE, 0, 49, 1, {1}};
    const uint32_t sections[][2] = {{11, 8}, {9, 16}, {7, 24}, {5, 32}, {3, 40},
                                    {13, 44}, {c ? 15u : 1u, 48}, {0, 49}};
    for (size_t i = 0; i < std::size(sections); ++i)
        ch.sections[i] = (sections[i][0] << 8) + sections[i][1];
    for (int b = 0; b < 49; ++b)
        ch.scalefactors[b] = 40 - b / 2 + static_cast<int32_t>(rng() % 5);
    for (uint32_t k = 0; k < 1024; ++k) {
        const uint32_t spread = k < t.swb_end_long[7] ? 40 : k < t.swb_end_long[31] ? 6 : 2;
        ch.coef[k] = static_cast<int32_t>(rng() % (2 * spread + 1)) - static_cast<int32_t>(spread);
    }
    ch.noise_used = 1;
    ch.intensity_used = c;
    ch.pulse_data_present = 1;
    ch.pulse = {4, 0, {(3 << 16) + 20, (1 << 16) + 31, (7 << 16) + 40, (2 << 16) + 44}};
    ch.tns_data_present = 1;
    aac_tns_n_filt(ch.tns, 0) = 1;
    aac_tns_coef_bits(ch.tns, 0) = 4;
    aac_tns_filter_at(ch.tns, 0, 0) = {0, 40, 0, t.swb_end_long[39], 12, 0,
                                       {3, -2, 1, 0, -1, 2, 1, 0, 0, -1, 1, 0}};
}

Frame &frame()
{
    static const std::unique_ptr<Frame> f = [] {
        auto f = std::make_unique<Frame>();
        aac_fill_stream_tables(1, 3, &f->decoder.stream_tables);
        std::mt19937 rng(3);
        f->parsed.common_window = 1;
        f->parsed.ms_mask_present = 2;
        for (int c = 0; c < 2; ++c)
            fill_channel(f->parsed.channel[c], c, f->decoder.stream_tables, rng);
        const aac_ics_info *ics = &f->parsed.channel[0].ics_info;
        expand_band_codebooks(ics, f->parsed.channel[0].sections, f->map0);
        f->dequantized = f->parsed;
        for (aac_channel_state &ch : f->dequantized.channel)
            dequantize_and_scale(&f->decoder.stream_tables, ics, ch.sections, ch.scalefactors,
                                 ch.coef, ch.pulse_data_present);
        return f;
    }();
    return *f;
}

// Stages after inverse quantisation start from the dequantized record.
void run(benchmark::State &state, bool sse2, void (*stage)(Frame &), bool from_floats)
{
    Frame &f = frame();
    const aac_channel_pair_state &input = from_floats ? f.dequantized : f.parsed;
    aac_force_kernel_tables(sse2);
    for (auto _ : state) {
        std::memcpy(&f.work, &input, sizeof f.work);
        stage(f);
        benchmark::ClobberMemory();
    }
    aac_force_kernel_tables(true);
}

void copy_record(Frame &) {}

void dequantize(Frame &f)
{
    aac_channel_state &ch = f.work.channel[0];
    apply_pulse_data(&ch.pulse, ch.coef);
    dequantize_and_scale(&f.decoder.stream_tables, &ch.ics_info, ch.sections, ch.scalefactors,
                         ch.coef, ch.pulse_data_present);
}

void stereo_tools(Frame &f)
{
    aac_channel_state &l = f.work.channel[0], &r = f.work.channel[1];
    float *L = aac_coef_floats(l), *R = aac_coef_floats(r);
    ms_stereo(&f.decoder.stream_tables, f.work, f.map0, L, R);
    noise_substitution(&f.decoder.stream_tables, &l.ics_info, l.sections, l.scalefactors, L,
                       &f.decoder.pns_state);
    noise_substitution_pair(&f.decoder.stream_tables, f.work, f.map0, L, R, &f.decoder.pns_state);
    intensity_stereo(&f.decoder.stream_tables, f.work, L, R);
}

void tns(Frame &f)
{
    aac_channel_state &ch = f.work.channel[0];
    tns_decode(&ch.ics_info, &ch.tns, aac_coef_floats(ch));
}

void single_channel(Frame &f) { decode_single_channel(&f.decoder, &f.work.channel[0]); }

void channel_pair(Frame &f) { decode_channel_pair(&f.decoder, &f.work); }

const int registered = [] {
    const struct {
        const char *name;
        void (*stage)(Frame &);
        bool from_floats;
    } stages[] = {{"copy_record", copy_record, false},
                  {"dequantize_long", dequantize, false},
                  {"stereo_and_noise_pair", stereo_tools, true},
                  {"tns_order12_long", tns, true},
                  {"decode_single_channel", single_channel, false},
                  {"decode_channel_pair", channel_pair, false}};
    for (const auto &s : stages)
        for (bool sse2 : {false, true})
            benchmark::RegisterBenchmark(
                (std::string(s.name) + (sse2 ? "/sse2" : "/generic")).c_str(),
                [s, sse2](benchmark::State &state) { run(state, sse2, s.stage, s.from_floats); });
    return 0;
}();

}  // namespace
