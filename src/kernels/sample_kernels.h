// Pieces shared by the generic and the SSE2 sample kernels: the frame
// length, the clipping bounds of the integer raw formats and the
// raw-to-float kernels, of which one version serves both tables.
//
// Agreement of the two versions, element by element:
// - Float to integer clamps as max(x, low) then min(x, high) with x as the
//   first operand, which is what the SSE2 minimum and maximum do with a NaN:
//   a NaN sample clamps to the low bound.  Infinities clamp to the bounds.
//   The clamped value is rounded to nearest, ties to even.
// - Float outputs (the float raw format, the float downmix) copy bits or
//   round each addition once; a NaN result keeps the payload of the NaN
//   operand.  Only when two NaNs with different payloads meet in one
//   addition may the versions keep different payloads, since the compiler
//   is free to swap the operands of an addition.
// - Fades multiply each sample once by an exact gain, so subnormal results
//   and samples near the top of the float range agree as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "kernels/kernel_tables.h"

namespace lumdec {

constexpr size_t AAC_SAMPLE_FRAME = 1024;
constexpr size_t AAC_FADE_RAMP = AAC_SAMPLE_FRAME / 2;

// Clipping bounds of AAC_RAW_S16 and AAC_RAW_S24_IN_32, indexed by format.
constexpr float aac_raw_low[2] = {-32768.0f, -8388608.0f};
constexpr float aac_raw_high[2] = {32767.0f, 8388607.0f};

// Raw to float, any alignment of either buffer.  Instantiated for the three
// formats beside their definition.
template <int Format>
void aac_single_from_raw(float *pcm, const void *raw);
template <int Format>
void aac_pair_from_raw(float *pcm, const void *raw);

// The sample table of one implementation.  Impl holds the to-raw kernels as
// templates over the raw format, the float downmix, and the fades and mute
// as templates over the channel count (1 to 8); the raw-to-float kernels are
// shared by every table.
template <class Impl, size_t... C>
constexpr aac_sample_kernels make_sample_table(std::index_sequence<C...>)
{
    return {
        {Impl::template single_to_raw<AAC_RAW_S16>, Impl::template single_to_raw<AAC_RAW_S24_IN_32>,
         Impl::template single_to_raw<AAC_RAW_FLOAT>},
        {aac_single_from_raw<AAC_RAW_S16>, aac_single_from_raw<AAC_RAW_S24_IN_32>,
         aac_single_from_raw<AAC_RAW_FLOAT>},
        {Impl::template pair_to_raw<AAC_RAW_S16>, Impl::template pair_to_raw<AAC_RAW_S24_IN_32>,
         Impl::template pair_to_raw<AAC_RAW_FLOAT>},
        {aac_pair_from_raw<AAC_RAW_S16>, aac_pair_from_raw<AAC_RAW_S24_IN_32>,
         aac_pair_from_raw<AAC_RAW_FLOAT>},
        {Impl::template downmix_to_raw<AAC_RAW_S16>, Impl::template downmix_to_raw<AAC_RAW_S24_IN_32>,
         Impl::template downmix_to_raw<AAC_RAW_FLOAT>},
        Impl::downmix,
        {Impl::template fade_in<C + 1>...},
        {Impl::template fade_out<C + 1>...},
        {Impl::template mute<C + 1>...},
    };
}

template <class Impl>
constexpr aac_sample_kernels make_sample_table()
{
    return make_sample_table<Impl>(std::make_index_sequence<8>());
}

}  // namespace lumdec
