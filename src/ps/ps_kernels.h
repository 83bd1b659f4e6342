// The parametric stereo kernel family: the inner loops of the hybrid
// analysis, the transient detector's band powers, the all-pass decorrelator
// and the mixing, with a generic and an SSE2 table.  Both do the same
// single-precision operations per element in the same order, so their
// results agree to the bit; callers go through ps_active_kernels.
#pragma once

#include <cstdint>

#include "ps/ps_tables.h"

namespace lumdec {

// Slots between the input of the decorrelator and its all-pass chain.
inline constexpr int PS_PRE_DELAY = 2;

// One all-pass run over `bands` hybrid bands (a multiple of 4) and
// num_slots slots.  Per band k and slot n, with x the input PS_PRE_DELAY slots
// back times the pre-delay phase:
//   for each link m: u = q_m * v_m[n - delay_m] - a_m x,  v_m[n] = x + a_m u,  x = u
//   d[n] = x
// (complex values, real a_m).  Rows of s are PS_STRIDE floats apart, rows of
// the links and of d PS_ALLPASS_STRIDE; every array is 16-byte aligned at
// slot 0, and s and the links hold the history rows before it.
struct ps_allpass_job {
    const float *s_re, *s_im;
    float *link_re[PS_NUM_LINKS], *link_im[PS_NUM_LINKS];
    float *d_re, *d_im;
    const ps_decorrelator_table *table;
    int32_t bands;
    int32_t num_slots;
};

// One mixing run over `bands` bands and num_slots slots.  Per slot, first
// h[j][k] += step[j][k] for the four matrix rows (PS_STRIDE floats apart),
// then with e = gain[n][k] * d[n][k]:
//   l[n][k] = h11 s + h21 e,  r[n][k] = h12 s + h22 e
// (complex s, d, l, r; real h and gain).  Pointers are at band 0 of the run,
// any alignment; each signal has its own row stride, gain rows PS_STRIDE.
struct ps_mix_job {
    const float *s_re, *s_im;
    const float *d_re, *d_im;
    const float *gain;
    float *h;
    const float *step;
    float *l_re, *l_im;
    float *r_re, *r_im;
    int32_t s_stride, d_stride, l_stride, r_stride;
    int32_t bands;
    int32_t num_slots;
};

struct ps_kernels {
    // Complex filtering of one QMF band into q outputs: for slot n < num_slots
    // and output j < q, y[n stride + j] = sum over taps i = 0..12, in that
    // order, of c[q i + j] x[n + 12 - i].  x runs from 6 slots before slot 0
    // to 6 after the last; any alignment.
    void (*hybrid_filter)(const float *x_re, const float *x_im, const float *c_re, const float *c_im,
                          int32_t q, float *y_re, float *y_im, int32_t stride, int32_t num_slots);
    // p[n stride + k] = re^2 + im^2 for k < bands (a multiple of 4), n < num_slots;
    // rows 16-byte aligned.
    void (*power)(const float *re, const float *im, float *p, int32_t stride, int32_t bands,
                  int32_t num_slots);
    void (*allpass)(const ps_allpass_job *job);
    void (*mix)(const ps_mix_job *job);
};

extern const ps_kernels ps_kernels_generic;
extern const ps_kernels ps_kernels_sse2;

// The generic table until the library's load selects by processor.
extern const ps_kernels *ps_active_kernels;

}  // namespace lumdec
