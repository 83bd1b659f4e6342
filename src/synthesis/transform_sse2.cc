// The SSE2 transform kernels: the forward FFT core on two complex values per
// register (the DCT-IVs are in dct4_sse2.cc).  Every value goes through the same
// single-precision operations as in the generic kernels (transform.h), so
// the results agree to the bit; only the grouping of the work differs.
//
// The radix-2 stages run three (or two) at a time on registers: a pass
// loads the 8 (or 4) elements that a group of stages combines, applies the
// stages and stores them back.  The first pass, over stages h = 1, 2, 4,
// turns each 8-element group into registers holding elements (p, p+4), so
// that the butterflies of stages 1 and 2 are whole-register operations.
#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"
#include "synthesis/transform_sse2.h"
#include "synthesis/transform_tables.h"

namespace lumdec {

namespace {

using namespace aac_sse2;

// Exchanges element pair (a, a+1) with the elements at b0 and b1.  Both
// sides are read before either is written, so b1 may be a+1 itself.
inline void swap_pair(float *a, float *b0, float *b1)
{
    v4 va = load(a);
    v4 vb = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(b0)));
    vb = _mm_loadh_pi(vb, reinterpret_cast<const __m64 *>(b1));
    store(a, vb);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(b0), _mm_castps_si128(va));
    _mm_storeh_pi(reinterpret_cast<__m64 *>(b1), va);
}

// The permutation of aac_bit_reverse, two elements per access: elements
// perm[k] + j and perm[k] + j+1 (j even) lie side by side and trade places
// with perm[j] + k and perm[j+1] + k = perm[j] + k + M/2.  For odd k the
// last pair reaches j+1 = k, the element that stays where it is.
template <bool Odd>
void bit_reverse(float *x, int32_t M, int32_t s, const int32_t *perm)
{
    for (int32_t k = 1; k < s; k++) {
        float *row = x + 2 * perm[k], *column = x + 2 * k;
        for (int32_t j = 0; j < k; j += 2) {
            float *b0 = column + 2 * perm[j];
            swap_pair(row + 2 * j, b0, b0 + M);
            if constexpr (Odd)
                swap_pair(row + 2 * (j + s), b0 + 2 * s, b0 + M + 2 * s);
        }
    }
}

// Stages h = 1, 2, 4 of the 8-element group g at p, given as registers
// holding elements (0, 4), (1, 5), (2, 6), (3, 7); stores the group.
template <int G>
inline void first_stages(float *p, int32_t g, v4 x04, v4 x15, v4 x26, v4 x37)
{
    const float *tw = aac_fft_sse2_first[g];
    if constexpr (G == 0) {
        // Blocks 0 and 1 of stage 1 share registers with blocks 2 and 3.
        v4 u = _mm_sub_ps(x04, x15);
        x04 = _mm_add_ps(x04, x15);
        x15 = with_low(twiddle_mul(u, tw), u);
        u = _mm_sub_ps(x26, x37);
        x26 = _mm_add_ps(x26, x37);
        x37 = with_low(twiddle_mul(u, tw + 8), times_minus_j(u));
        u = _mm_sub_ps(x04, x26);
        x04 = _mm_add_ps(x04, x26);
        x26 = with_low(times_minus_j(u), u);
        u = _mm_sub_ps(x15, x37);
        x15 = _mm_add_ps(x15, x37);
        x37 = with_low(times_minus_j(u), u);
    } else {
        butterfly<kind::general>(x04, x15, tw);
        butterfly<kind::general>(x26, x37, tw + 8);
        butterfly<kind::general>(x04, x26, tw + 16);
        butterfly<kind::general>(x15, x37, tw + 16);
    }
    v4 r01 = low_halves(x04, x15), r45 = high_halves(x04, x15);
    v4 r23 = low_halves(x26, x37), r67 = high_halves(x26, x37);
    constexpr kind k4 = block_kind<G>(1, 0);
    butterfly<k4>(r01, r45, aac_fft_sse2_blocks[g]);
    butterfly<k4>(r23, r67, aac_fft_sse2_blocks[g]);
    store(p, r01);
    store(p + 4, r23);
    store(p + 8, r45);
    store(p + 12, r67);
}

template <int G>
inline void first_group(float *p, int32_t g)
{
    v4 r01 = load(p), r23 = load(p + 4), r45 = load(p + 8), r67 = load(p + 12);
    first_stages<G>(p, g, low_halves(r01, r45), high_halves(r01, r45), low_halves(r23, r67),
                    high_halves(r23, r67));
}

void first_pass(float *x, int32_t M)
{
    first_group<0>(x, 0);
    first_group<1>(x + 16, 1);
    for (int32_t g = 2; g < M / 8; g++)
        first_group<2>(x + 16 * g, g);
}

// Stages h, 2h of group g on registers r[k] = elements i + k*h, k < 4.
template <int G>
inline void stages_of_2(v4 (&r)[8], int32_t g)
{
    const float *t1 = aac_fft_sse2_blocks[2 * g], *t2 = aac_fft_sse2_blocks[g];
    butterfly<block_kind<G>(2, 0)>(r[0], r[1], t1);
    butterfly<block_kind<G>(2, 1)>(r[2], r[3], t1 + 8);
    butterfly<block_kind<G>(1, 0)>(r[0], r[2], t2);
    butterfly<block_kind<G>(1, 0)>(r[1], r[3], t2);
}

// S stages from h up on the group g of h << S elements at p: the elements
// i + k*h, k < 2^S, meet only each other.
template <int S, int G>
void group_of(float *p, int32_t h, int32_t g)
{
    const int32_t n = 2 * h;
    for (int32_t i = 0; i < h; i += 2, p += 4) {
        v4 r[8];
        for (int k = 0; k < 1 << S; k++)
            r[k] = load(p + k * n);
        if constexpr (S == 3)
            stages_of_3<G>(r, g);
        else
            stages_of_2<G>(r, g);
        for (int k = 0; k < 1 << S; k++)
            store(p + k * n, r[k]);
    }
}

template <int S>
void pass_of(float *x, int32_t M, int32_t h)
{
    int32_t size = h << S;
    group_of<S, 0>(x, h, 0);
    if (M > size)
        group_of<S, 1>(x + 2 * size, h, 1);
    for (int32_t g = 2; g < M / size; g++)
        group_of<S, 2>(x + 2 * size * g, h, g);
}

template <const aac_fft_size &Size>
void fft_forward(float *x)
{
    constexpr int32_t M = Size.points(), s = Size.root();
    const int32_t *perm = Size.perm;
    if constexpr (Size.odd())
        bit_reverse<true>(x, M, s, perm);
    else
        bit_reverse<false>(x, M, s, perm);
    first_pass(x, M);
    // The stages from h = 8 up, three at a time, or two at a time where
    // three would leave a single stage.
    int32_t h = 8;
    for (int32_t left = Size.stages - 3; left > 0;) {
        int32_t fused = left == 4 || left == 2 ? 2 : 3;
        if (fused == 3)
            pass_of<3>(x, M, h);
        else
            pass_of<2>(x, M, h);
        h <<= fused;
        left -= fused;
    }
}

// The SSE2 slots; the AVX2 table differs only in its 1024-value DCT-IV.
constexpr aac_transform_kernels table_with(aac_transform_fn dct4_1024)
{
    return {
        fft_forward<aac_fft64>,
        aac_fft_inverse<aac_fft64>,
        fft_forward<aac_fft128>,
        aac_fft_inverse<aac_fft128>,
        fft_forward<aac_fft512>,
        aac_fft_inverse<aac_fft512>,
        fft_forward<aac_fft1024>,
        aac_fft_inverse<aac_fft1024>,
        aac_real_fft<fft_forward<aac_fft128>, 128, aac_rfft_split_256>,
        aac_real_fft<fft_forward<aac_fft1024>, 1024, aac_rfft_split_2048>,
        aac_dct4_128_sse2,
        dct4_1024,
        fft_forward<aac_fft32>,
    };
}

}  // namespace

constinit const aac_transform_kernels aac_transform_kernels_sse2 = table_with(aac_dct4_1024_sse2);
#if defined(LUMDEC_HAVE_AVX2)
constinit const aac_transform_kernels aac_transform_kernels_avx2 = table_with(aac_dct4_1024_avx2);
#endif

}  // namespace lumdec
