// Pieces of the band replication kernels shared by the generic and the SSE2
// table, and the slot list the kernel checker and the benchmarks walk.
#pragma once

#include <cstdint>

#include "kernels/kernel_tables.h"

namespace lumdec {

// Windowing and folding of one analysis slot: the 64 values u[0..63].
void sbr_analysis_window_generic(const float *in, float *u);

// Unnormalised DCT-IV of 64 values (16-byte aligned) around the 32-point
// FFT fft32: the rotations of the transform kernels, the same in both
// tables.
void sbr_dct4_64(float *x, aac_transform_fn fft32);

// The same for the 32-band synthesis (fft: 128 floats, the upper half zero).
void sbr_synthesis_down_pre_generic(const float *re, const float *im, float *fft);

// The AVX2 QMF banks (sbr_kernels_avx2.cc, built where LUMDEC_HAVE_AVX2 is
// defined) of the AVX2 table, whose other slots are the SSE2 kernels.
void sbr_qmf_analysis_avx2(const float *in, float *re, float *im, int32_t num_slots);
void sbr_qmf_synthesis_avx2(float *v, const float *re, const float *im, const float *window,
                            float *out, int32_t num_slots);

}  // namespace lumdec
