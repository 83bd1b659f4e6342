// SSE2 sample kernels: eight samples per step as two aligned groups of four,
// a fixed 128 steps per channel.  Every float buffer and every buffer they
// write starts on a 16-byte boundary.  The raw-to-float slots share the
// generic kernels.
#include <emmintrin.h>

#include <array>

#include "kernels/sample_kernels.h"

namespace lumdec {

namespace {

constexpr size_t STEP = 8;

struct octet {
    __m128 lo, hi;
};

inline octet load8(const float *p)
{
    return {_mm_load_ps(p), _mm_load_ps(p + 4)};
}

inline void store(unsigned char *p, __m128i v)
{
    _mm_store_si128(reinterpret_cast<__m128i *>(p), v);
}

inline void store(unsigned char *p, __m128 v)
{
    _mm_store_ps(reinterpret_cast<float *>(p), v);
}

// Clamped with the sample as the first operand of the maximum and minimum,
// which then return the bound for a NaN lane, as the generic clamp does.
template <int Format>
inline __m128i clamp_round(__m128 x)
{
    x = _mm_max_ps(x, _mm_set1_ps(aac_raw_low[Format]));
    x = _mm_min_ps(x, _mm_set1_ps(aac_raw_high[Format]));
    const __m128i v = _mm_cvtps_epi32(x);
    if constexpr (Format == AAC_RAW_S24_IN_32)
        return _mm_slli_epi32(v, 8);
    else
        return v;
}

// Eight samples of one channel to raw samples n to n + 7.
template <int Format>
inline void store_single(unsigned char *raw, size_t n, octet x)
{
    if constexpr (Format == AAC_RAW_S16) {
        // Saturation changes nothing after the clamp.
        store(raw + 2 * n, _mm_packs_epi32(clamp_round<Format>(x.lo), clamp_round<Format>(x.hi)));
    } else if constexpr (Format == AAC_RAW_S24_IN_32) {
        store(raw + 4 * n, clamp_round<Format>(x.lo));
        store(raw + 4 * n + 16, clamp_round<Format>(x.hi));
    } else {
        store(raw + 4 * n, x.lo);
        store(raw + 4 * n + 16, x.hi);
    }
}

// Eight left and eight right samples to raw frames n to n + 7, interleaved.
template <int Format>
inline void store_pair(unsigned char *raw, size_t n, octet l, octet r)
{
    if constexpr (Format == AAC_RAW_S16) {
        const __m128i lw = _mm_packs_epi32(clamp_round<Format>(l.lo), clamp_round<Format>(l.hi));
        const __m128i rw = _mm_packs_epi32(clamp_round<Format>(r.lo), clamp_round<Format>(r.hi));
        store(raw + 4 * n, _mm_unpacklo_epi16(lw, rw));
        store(raw + 4 * n + 16, _mm_unpackhi_epi16(lw, rw));
    } else if constexpr (Format == AAC_RAW_S24_IN_32) {
        const __m128i l0 = clamp_round<Format>(l.lo), l1 = clamp_round<Format>(l.hi);
        const __m128i r0 = clamp_round<Format>(r.lo), r1 = clamp_round<Format>(r.hi);
        store(raw + 8 * n, _mm_unpacklo_epi32(l0, r0));
        store(raw + 8 * n + 16, _mm_unpackhi_epi32(l0, r0));
        store(raw + 8 * n + 32, _mm_unpacklo_epi32(l1, r1));
        store(raw + 8 * n + 48, _mm_unpackhi_epi32(l1, r1));
    } else {
        store(raw + 8 * n, _mm_unpacklo_ps(l.lo, r.lo));
        store(raw + 8 * n + 16, _mm_unpackhi_ps(l.lo, r.lo));
        store(raw + 8 * n + 32, _mm_unpacklo_ps(l.hi, r.hi));
        store(raw + 8 * n + 48, _mm_unpackhi_ps(l.hi, r.hi));
    }
}

// Same-side pair first, centre last, as in the generic kernels.
inline __m128 fold(__m128 front, __m128 surround, __m128 centre)
{
    return _mm_add_ps(_mm_add_ps(front, surround), centre);
}

// Left and right of a 3/2 frame at samples i to i + 7.
inline void downmix8(const float *pcm5, size_t i, octet &left, octet &right)
{
    const octet c = load8(pcm5 + i);
    const octet l = load8(pcm5 + AAC_SAMPLE_FRAME + i);
    const octet r = load8(pcm5 + 2 * AAC_SAMPLE_FRAME + i);
    const octet ls = load8(pcm5 + 3 * AAC_SAMPLE_FRAME + i);
    const octet rs = load8(pcm5 + 4 * AAC_SAMPLE_FRAME + i);
    left = {fold(l.lo, ls.lo, c.lo), fold(l.hi, ls.hi, c.hi)};
    right = {fold(r.lo, rs.lo, c.lo), fold(r.hi, rs.hi, c.hi)};
}

// Ramp gains: entry k of the rising ramp is (k + 0.5) / 512, exact; the
// falling ramp is the rising one reversed.
constexpr std::array<float, AAC_FADE_RAMP> make_ramp(bool rising)
{
    std::array<float, AAC_FADE_RAMP> gain{};
    for (size_t k = 0; k < AAC_FADE_RAMP; k++) {
        const size_t step = rising ? k : AAC_FADE_RAMP - 1 - k;
        gain[k] = (static_cast<float>(step) + 0.5f) / 512.0f;
    }
    return gain;
}

alignas(16) constexpr std::array<float, AAC_FADE_RAMP> fade_in_gain = make_ramp(true);
alignas(16) constexpr std::array<float, AAC_FADE_RAMP> fade_out_gain = make_ramp(false);
static_assert(fade_in_gain[0] == 0.0009765625f && fade_in_gain[511] == 0.9990234375f);
static_assert(fade_out_gain[0] == 0.9990234375f && fade_out_gain[511] == 0.0009765625f);

inline void zero(float *x, size_t n)
{
    const __m128 z = _mm_setzero_ps();
    for (size_t i = 0; i < n; i += STEP) {
        _mm_store_ps(x + i, z);
        _mm_store_ps(x + i + 4, z);
    }
}

inline void scale(float *x, const float *gain, size_t n)
{
    for (size_t i = 0; i < n; i += STEP) {
        _mm_store_ps(x + i, _mm_mul_ps(_mm_load_ps(x + i), _mm_load_ps(gain + i)));
        _mm_store_ps(x + i + 4, _mm_mul_ps(_mm_load_ps(x + i + 4), _mm_load_ps(gain + i + 4)));
    }
}

struct sse2_sample {
    template <int Format>
    static void single_to_raw(const float *pcm, void *raw)
    {
        auto *out = static_cast<unsigned char *>(raw);
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i += STEP)
            store_single<Format>(out, i, load8(pcm + i));
    }

    template <int Format>
    static void pair_to_raw(const float *pcm, void *raw)
    {
        auto *out = static_cast<unsigned char *>(raw);
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i += STEP)
            store_pair<Format>(out, i, load8(pcm + i), load8(pcm + AAC_SAMPLE_FRAME + i));
    }

    template <int Format>
    static void downmix_to_raw(const float *pcm5, void *raw)
    {
        auto *out = static_cast<unsigned char *>(raw);
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i += STEP) {
            octet left, right;
            downmix8(pcm5, i, left, right);
            store_pair<Format>(out, i, left, right);
        }
    }

    static void downmix(const float *pcm5, float *pair)
    {
        for (size_t i = 0; i < AAC_SAMPLE_FRAME; i += STEP) {
            octet left, right;
            downmix8(pcm5, i, left, right);
            _mm_store_ps(pair + i, left.lo);
            _mm_store_ps(pair + i + 4, left.hi);
            _mm_store_ps(pair + AAC_SAMPLE_FRAME + i, right.lo);
            _mm_store_ps(pair + AAC_SAMPLE_FRAME + i + 4, right.hi);
        }
    }

    template <size_t Channels>
    static void fade_in(float *pcm)
    {
        for (size_t c = 0; c < Channels; c++) {
            float *x = pcm + c * AAC_SAMPLE_FRAME;
            zero(x, AAC_FADE_RAMP);
            scale(x + AAC_FADE_RAMP, fade_in_gain.data(), AAC_FADE_RAMP);
        }
    }

    template <size_t Channels>
    static void fade_out(float *pcm)
    {
        for (size_t c = 0; c < Channels; c++) {
            float *x = pcm + c * AAC_SAMPLE_FRAME;
            scale(x, fade_out_gain.data(), AAC_FADE_RAMP);
            zero(x + AAC_FADE_RAMP, AAC_FADE_RAMP);
        }
    }

    template <size_t Channels>
    static void mute(float *pcm)
    {
        zero(pcm, Channels * AAC_SAMPLE_FRAME);
    }
};

}  // namespace

const aac_sample_kernels aac_sample_kernels_sse2 = make_sample_table<sse2_sample>();

}  // namespace lumdec
