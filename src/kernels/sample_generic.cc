// Generic sample kernels: plain loops over one frame, any alignment.  They
// define the results; the SSE2 kernels reproduce them bit for bit.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels/sample_kernels.h"

namespace lumdec {

namespace {

// The sample is the first operand of both comparisons, as in the SSE2
// maximum and minimum, so a NaN becomes the low bound in both versions.
template <int Format>
inline int32_t clamp_round(float x)
{
    x = x > aac_raw_low[Format] ? x : aac_raw_low[Format];
    x = x < aac_raw_high[Format] ? x : aac_raw_high[Format];
    // Adding 2^23 with the sign of x leaves no bits below the units, so the
    // addition rounds as the processor converts (to nearest, ties to even,
    // in the default mode); removing it again is exact for |x| <= 2^23.
    const float shift = std::copysign(8388608.0f, x);
    return static_cast<int32_t>((x + shift) - shift);
}

// Stores x as sample n of a raw buffer.
template <int Format>
inline void put_raw(unsigned char *raw, size_t n, float x)
{
    if constexpr (Format == AAC_RAW_S16) {
        const auto v = static_cast<int16_t>(clamp_round<Format>(x));
        std::memcpy(raw + 2 * n, &v, sizeof v);
    } else if constexpr (Format == AAC_RAW_S24_IN_32) {
        const uint32_t v = static_cast<uint32_t>(clamp_round<Format>(x)) << 8;
        std::memcpy(raw + 4 * n, &v, sizeof v);
    } else {
        std::memcpy(raw + 4 * n, &x, sizeof x);
    }
}

struct generic_sample {
    template <int Format>
    static void single_to_raw(const float *pcm, void *raw)
    {
        auto *out = static_cast<unsigned char *>(raw);
        if constexpr (Format == AAC_RAW_FLOAT) {
            std::memcpy(out, pcm, AAC_SAMPLE_FRAME * sizeof(float));
        } else {
            for (size_t i = 0; i < AAC_SAMPLE_FRAME; i++)
                put_raw<Format>(out, i, pcm[i]);
        }
    }

    template <int Format>
    static void pair_to_raw(const float *pcm, void *raw)
    {
        auto *out = static_cast<unsigned char *>(raw);
        const float *right = pcm + AAC_SAMPLE_FRAME;
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i++) {
            if constexpr (Format == AAC_RAW_FLOAT) {
                // Copied as bytes so that every NaN keeps its bits.
                std::memcpy(out + 8 * i, pcm + i, 4);
                std::memcpy(out + 8 * i + 4, right + i, 4);
            } else {
                put_raw<Format>(out, 2 * i, pcm[i]);
                put_raw<Format>(out, 2 * i + 1, right[i]);
            }
        }
    }

    // The five planes of a 3/2 frame: centre, front left, front right, left
    // surround, right surround.  Each side is the same-side pair summed first,
    // then the centre; the grouping matters when the first sum rounds.
    struct planes5 {
        const float *c, *l, *r, *ls, *rs;
        explicit planes5(const float *pcm5)
            : c(pcm5), l(pcm5 + AAC_SAMPLE_FRAME), r(pcm5 + 2 * AAC_SAMPLE_FRAME),
              ls(pcm5 + 3 * AAC_SAMPLE_FRAME), rs(pcm5 + 4 * AAC_SAMPLE_FRAME)
        {
        }
        float left(size_t i) const { return (l[i] + ls[i]) + c[i]; }
        float right(size_t i) const { return (r[i] + rs[i]) + c[i]; }
    };

    template <int Format>
    static void downmix_to_raw(const float *pcm5, void *raw)
    {
        auto *out = static_cast<unsigned char *>(raw);
        const planes5 in(pcm5);
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i++) {
            put_raw<Format>(out, 2 * i, in.left(i));
            put_raw<Format>(out, 2 * i + 1, in.right(i));
        }
    }

    static void downmix(const float *pcm5, float *pair)
    {
        const planes5 in(pcm5);
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i++) {
            pair[i] = in.left(i);
            pair[AAC_SAMPLE_FRAME + i] = in.right(i);
        }
    }

    // The gain of sample i is d / 512 with d = i - 511.5 (fade in) or 511.5 - i
    // (fade out), all exact, and the sample is multiplied by it once.  Scaling
    // the product sample * d by 1/512 afterwards would round a second time for
    // results below the normal range and overflow for samples beyond
    // 2^128 / 511.5, where the table gains of the SSE2 kernels do neither.
    template <size_t Channels>
    static void fade_in(float *pcm)
    {
        for (size_t c = 0; c < Channels; c++) {
            float *x = pcm + c * AAC_SAMPLE_FRAME;
            std::fill(x, x + AAC_FADE_RAMP, 0.0f);
            for (size_t i = AAC_FADE_RAMP; i < AAC_SAMPLE_FRAME; i++)
                x[i] = x[i] * ((static_cast<float>(i) - 511.5f) * 0.001953125f);
        }
    }

    template <size_t Channels>
    static void fade_out(float *pcm)
    {
        for (size_t c = 0; c < Channels; c++) {
            float *x = pcm + c * AAC_SAMPLE_FRAME;
            for (size_t i = 0; i < AAC_FADE_RAMP; i++)
                x[i] = x[i] * ((511.5f - static_cast<float>(i)) * 0.001953125f);
            std::fill(x + AAC_FADE_RAMP, x + AAC_SAMPLE_FRAME, 0.0f);
        }
    }

    template <size_t Channels>
    static void mute(float *pcm)
    {
        std::fill(pcm, pcm + Channels * AAC_SAMPLE_FRAME, 0.0f);
    }
};

}  // namespace

const aac_sample_kernels aac_sample_kernels_generic = make_sample_table<generic_sample>();

}  // namespace lumdec
