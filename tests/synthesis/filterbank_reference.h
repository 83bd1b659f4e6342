// The synthesis filterbank as the standard defines it, in double and by the
// direct formulas, for the tests: window halves, the inverse MDCT and the
// windows of the four window sequences.
#pragma once

#include <cstdint>
#include <vector>

// x[n] = (2/N) sum_k X[k] cos(2 pi / N (n + n0)(k + 1/2)), n0 = (N/2 + 1)/2,
// for n < N, from N/2 spectral values.
std::vector<double> reference_imdct(const float *spectrum, int n_total);

// One frame's 2048 windowed time samples: its 1024 spectral values (eight
// windows of 128 for an eight-short sequence) transformed, windowed as its
// window_sequence requires and, for short frames, overlapped at 448 + 128 w.
// The first rising slope takes rise_shape (the shape of the frame before),
// everything else the frame's own shape.
std::vector<double> reference_windowed_frame(const float *spectrum, uint32_t window_sequence,
                                             uint32_t window_shape, uint32_t rise_shape);
