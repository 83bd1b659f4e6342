// Raw samples to planar float.  Every step is exact or a single rounding of
// an integer to float, which plain code does as well as SSE2 would, so one
// version serves both tables.  The raw buffer may have any alignment.
#include <cstring>

#include "kernels/sample_kernels.h"

namespace lumdec {

namespace {

template <int Format>
inline float raw_to_float(const unsigned char *raw, size_t n)
{
    if constexpr (Format == AAC_RAW_S16) {
        int16_t v;
        std::memcpy(&v, raw + 2 * n, sizeof v);
        return static_cast<float>(v);
    } else {
        // The 24-in-32 word is read whole, not shifted back: a written
        // sample returns 256 times larger, rounded where it has more than
        // 24 significant bits.
        int32_t v;
        std::memcpy(&v, raw + 4 * n, sizeof v);
        return static_cast<float>(v);
    }
}

}  // namespace

template <int Format>
void aac_single_from_raw(float *pcm, const void *raw)
{
    const auto *in = static_cast<const unsigned char *>(raw);
    if constexpr (Format == AAC_RAW_FLOAT) {
        std::memcpy(pcm, in, AAC_SAMPLE_FRAME * sizeof(float));
    } else {
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i++)
            pcm[i] = raw_to_float<Format>(in, i);
    }
}

template <int Format>
void aac_pair_from_raw(float *pcm, const void *raw)
{
    const auto *in = static_cast<const unsigned char *>(raw);
    float *right = pcm + AAC_SAMPLE_FRAME;
    if constexpr (Format == AAC_RAW_FLOAT) {
        // Copied as bytes so that every NaN keeps its bits.
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i++) {
            std::memcpy(pcm + i, in + 8 * i, 4);
            std::memcpy(right + i, in + 8 * i + 4, 4);
        }
    } else {
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i++) {
            pcm[i] = raw_to_float<Format>(in, 2 * i);
            right[i] = raw_to_float<Format>(in, 2 * i + 1);
        }
    }
}

template void aac_single_from_raw<AAC_RAW_S16>(float *, const void *);
template void aac_single_from_raw<AAC_RAW_S24_IN_32>(float *, const void *);
template void aac_single_from_raw<AAC_RAW_FLOAT>(float *, const void *);
template void aac_pair_from_raw<AAC_RAW_S16>(float *, const void *);
template void aac_pair_from_raw<AAC_RAW_S24_IN_32>(float *, const void *);
template void aac_pair_from_raw<AAC_RAW_FLOAT>(float *, const void *);

}  // namespace lumdec
