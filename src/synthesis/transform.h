// Building blocks of the transform kernels, shared by the generic and the
// SSE2 table.  All work in place on interleaved (re, im) float pairs.
//
// The complex FFT of M = 2^m points runs a bit-reversal permutation and then
// m radix-2 stages with half-spans h = 1, 2, ..., M/2.  A stage cuts the
// array into blocks of 2h elements, and every butterfly of block b uses the
// one twiddle T(b):  x[i] = a + d,  x[i+h] = (a - d) * T(b).
// Forward: T(2e) = conj(W[e]), T(2e+1) = conj(W[e]) * -j; inverse: T(2e) =
// W[e], T(2e+1) = W[e] * +j, with W the table aac_fft_twiddles.  Block 0
// (T = 1) takes the difference as it is and block 1 (T = -j or +j) exchanges
// its components with a sign change; every other product is formed from
// the precomputed T(b) as re = x*tr - y*ti, im = x*ti + y*tr.  The SSE2
// kernels follow these rules to the bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/kernel_tables.h"
#include "synthesis/transform_tables.h"

namespace lumdec {

// Swaps every complex element with the one at its bit-reversed index, using
// the square-root table perm of s entries (odd: log2(M) is odd).
void aac_bit_reverse(float *data, int32_t s, int32_t odd, const int32_t *perm);

// One FFT size: 2^stages complex points, and its bit-reversal table perm of
// root() entries (the reversal of the upper half of the index bits).
struct aac_fft_size {
    int32_t stages;
    const int32_t *perm;
    constexpr int32_t points() const { return 1 << stages; }
    constexpr int32_t root() const { return 1 << (stages / 2); }
    constexpr int32_t odd() const { return stages & 1; }
};
inline constexpr aac_fft_size aac_fft32{5, aac_fft_bitrev_32};
inline constexpr aac_fft_size aac_fft64{6, aac_fft_bitrev_64};
inline constexpr aac_fft_size aac_fft128{7, aac_fft_bitrev_128};
inline constexpr aac_fft_size aac_fft512{9, aac_fft_bitrev_512};
inline constexpr aac_fft_size aac_fft1024{10, aac_fft_bitrev_1024};

// Unscaled complex FFT: bit reversal, then the radix-2 stages.
void aac_fft_core_forward(const aac_fft_size &size, float *data);
void aac_fft_core_inverse(const aac_fft_size &size, float *data);

// The two rotations around the M-point FFT inside a DCT-IV of 2M values.
// Each pairs element k with m = M-1-k:
//   pre:  z[k] = (c[2k] + j*c[2M-1-2k]) * conj(t[k])
//   post: y[k] = Z[k] * conj(t[k]);  c[2k] = Re y[k], c[2M-1-2k] = -Im y[k]
// Every output is one sum or difference of two products, in the order the
// generic code writes it (-Im y is formed as ti*re - im*tr, not negated,
// which matters for the sign of a zero).
void aac_dct4_pre_rotate(int32_t M, float *data, const float (*rotation)[2]);
void aac_dct4_post_rotate(int32_t M, float *data, const float (*rotation)[2]);

// Turns the forward FFT of 2M real values, taken as M complex ones, into
// their real DFT R: bin 0 holds (R[0], R[M]) and bin k holds R[k] for
// 0 < k < M, except bin M/2, which the split leaves as it is: conj(R[M/2]).
void aac_real_fft_split(float *data, int32_t M, const float (*split)[2]);

// The SSE2 DCT-IVs (dct4_sse2.cc) and the AVX2 one (dct4_avx2.cc, built
// where LUMDEC_HAVE_AVX2 is defined).
void aac_dct4_128_sse2(float *data);
void aac_dct4_1024_sse2(float *data);
void aac_dct4_1024_avx2(float *data);

// The inverse FFTs, which sit in every table.
template <const aac_fft_size &Size>
void aac_fft_inverse(float *data)
{
    aac_fft_core_inverse(Size, data);
}

// The real FFT of 2M values through the M-point forward FFT Fft.
template <aac_transform_fn Fft, int32_t M, const float (*Split)[2]>
void aac_real_fft(float *data)
{
    Fft(data);
    aac_real_fft_split(data, M, Split);
}

// The slots in table order with their data size in floats, for the tests
// and benchmarks that run every slot.
struct aac_transform_slot {
    const char *name;
    aac_transform_fn aac_transform_kernels::*fn;
    size_t floats;
};

inline constexpr aac_transform_slot aac_transform_slots[] = {
    {"fft64_forward", &aac_transform_kernels::fft64_forward, 128},
    {"fft64_inverse", &aac_transform_kernels::fft64_inverse, 128},
    {"fft128_forward", &aac_transform_kernels::fft128_forward, 256},
    {"fft128_inverse", &aac_transform_kernels::fft128_inverse, 256},
    {"fft512_forward", &aac_transform_kernels::fft512_forward, 1024},
    {"fft512_inverse", &aac_transform_kernels::fft512_inverse, 1024},
    {"fft1024_forward", &aac_transform_kernels::fft1024_forward, 2048},
    {"fft1024_inverse", &aac_transform_kernels::fft1024_inverse, 2048},
    {"rfft256", &aac_transform_kernels::rfft256, 256},
    {"rfft2048", &aac_transform_kernels::rfft2048, 2048},
    {"dct4_128", &aac_transform_kernels::dct4_128, 128},
    {"dct4_1024", &aac_transform_kernels::dct4_1024, 1024},
    {"fft32_forward", &aac_transform_kernels::fft32_forward, 64},
};
static_assert(sizeof aac_transform_slots / sizeof aac_transform_slots[0] ==
              sizeof(aac_transform_kernels) / sizeof(aac_transform_fn));

}  // namespace lumdec
