// Pieces of the band replication kernels shared by the generic and the SSE2
// table, and the slot list the kernel checker and the benchmarks walk.
#pragma once

#include <cstdint>

#include "kernels/kernel_tables.h"

namespace lumdec {

// Windowing, folding and pre-rotation of one analysis slot into fft (128
// floats, 16-byte aligned), then the forward FFT fft64.
void sbr_analysis_slot_generic(const float *in, float *fft, aac_transform_fn fft64);

// Pre-rotation of one synthesis slot's 64 bands into fft (256 floats, the
// upper half zero).
void sbr_synthesis_slot_pre_generic(const float *re, const float *im, float *fft);

// The same for the 32-band synthesis (fft: 128 floats, the upper half zero).
void sbr_synthesis_down_pre_generic(const float *re, const float *im, float *fft);

}  // namespace lumdec
