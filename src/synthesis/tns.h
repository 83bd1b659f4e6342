// Temporal noise shaping: the transmitted all-pole filters run along the
// frequency axis of each window, in place on the float spectrum.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

inline constexpr uint32_t AAC_TNS_MAX_ORDER = 20;

// Every filter of every window of the channel (eight windows of 128 for an
// eight-short sequence, else one of 1024).
void tns_decode(const aac_ics_info *ics, const aac_tns_data *tns, float *coef);

// k[0] = 1 and k[1..order] = sin(q[i] * step), the reflection coefficients
// of coef_bits-wide (3 or 4) coded values.
void tns_dequantize(uint32_t coef_bits, const int32_t *q, uint32_t order, float *k);

// a[0..order], the direct-form coefficients of the reflection
// coefficients k[1..order] (step-up recursion).
void tns_lpc_from_reflection(float *a, const float *k, uint32_t order);

// y[n] = x[n] - sum a[i] * y[n -+ i], i = 1..order, from x[0] upwards or
// from x[length-1] downwards, starting from a zero state.
void tns_filter_up(float *x, int32_t length, const float *a, uint32_t order);
void tns_filter_down(float *x, int32_t length, const float *a, uint32_t order);

}  // namespace lumdec
