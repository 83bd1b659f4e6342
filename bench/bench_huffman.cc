// Huffman decoding throughput: spectral values per second for each codebook
// over a whole long window, and scale factor differences per second.
//
// The input is random bytes.  Every bit pattern is a valid codeword stream,
// and random bits pick each codeword with probability 2^-length, the
// distribution each code was built for; signs and escapes are random too.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "syntax/huffman.h"

using namespace lumdec;

namespace {

std::vector<uint8_t> random_bytes(size_t size)
{
    std::mt19937 rng(42);
    std::vector<uint8_t> bytes(size);
    for (uint8_t &b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

// 32 bands of 32 coefficients.
const uint16_t *band_ends()
{
    static uint16_t ends[32];
    for (int b = 0; b < 32; b++)
        ends[b] = static_cast<uint16_t>(32 * (b + 1));
    return ends;
}

void BM_spectral_codebook(benchmark::State &state)
{
    const uint32_t cb = static_cast<uint32_t>(state.range(0));
    const std::vector<uint8_t> bytes = random_bytes(16384);
    const aac_stream_tables tables = {32, band_ends(), 4, band_ends(), 12, 7, 32, 4};
    const aac_ics_info ics = {AAC_ONLY_LONG_SEQUENCE, 0, 32, 1, {1}};
    const uint32_t sections[1] = {(cb << 8) + 32};
    alignas(16) int32_t coef[1024];
    int64_t bits = 0;
    for (auto _ : state) {
        aac_bit_reader r;
        aac_bits_init(&r, bytes.data(), static_cast<int32_t>(bytes.size()));
        aac_parse_spectral_data(&r, coef, &ics, sections, &tables);
        benchmark::DoNotOptimize(coef);
        bits += aac_bits_position(&r);
    }
    state.SetItemsProcessed(state.iterations() * 1024);
    state.counters["bits/value"] = static_cast<double>(bits) / (1024.0 * state.iterations());
}
BENCHMARK(BM_spectral_codebook)->DenseRange(1, 11);

void BM_scalefactor_diff(benchmark::State &state)
{
    const std::vector<uint8_t> bytes = random_bytes(4096);
    for (auto _ : state) {
        aac_bit_reader r;
        aac_bits_init(&r, bytes.data(), static_cast<int32_t>(bytes.size()));
        int32_t sum = 0;
        for (int i = 0; i < 256; i++)
            sum += aac_decode_scalefactor_diff(&r);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_scalefactor_diff);

}  // namespace
