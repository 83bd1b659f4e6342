// CRC-16 throughput over header bytes and over a frame's protected bits.
#include <benchmark/benchmark.h>

#include <vector>

#include "frame/crc.h"
#include "lumdec.h"

using namespace lumdec;

namespace {

void BM_crc_bytes(benchmark::State &state)
{
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i * 131 + 7);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            aac_calc_crc_bytes(0xFFFF, static_cast<int32_t>(data.size()), data.data()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_crc_bytes)->Arg(7)->Arg(768);

// One channel pair's protected region: 192 bits from an odd start and 128
// bits of the second channel.
void BM_crc_bits(benchmark::State &state)
{
    std::vector<uint8_t> data(768);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i * 77 + 3);
    for (auto _ : state) {
        uint16_t crc = aac_crc_bits(0xFFFF, 6000, 3, 192, data.data());
        benchmark::DoNotOptimize(aac_crc_bits(crc, 6000, 2901, 128, data.data()));
    }
}
BENCHMARK(BM_crc_bits);

}  // namespace
