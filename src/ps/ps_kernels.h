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
// (complex values, real a_m).  Rows of s and d are PS_STRIDE floats apart,
// rows of the links PS_ALLPASS_STRIDE; every array is 16-byte aligned at
// slot 0, and s and the links hold the history rows before it.
struct ps_allpass_job {
    const float *s_re, *s_im;
    float *link_re[PS_NUM_LINKS], *link_im[PS_NUM_LINKS];
    float *d_re, *d_im;
    const ps_decorrelator_table *table;
    int32_t bands;
    int32_t num_slots;
};

// One mixing run over `bands` hybrid bands and num_slots slots, band k
// governed by parameter band b = par[k].  The matrices start from
// h[j][b] (the four rows PS_PAR_STRIDE floats apart) and move by step[j][b]
// before each slot; then with e = gain[n][b] d[n][k]:
//   l[n][k] = h11 s + h21 e,  r[n][k] = h12 s + h22 e
// (complex s, d, l, r; real h and gain).  Signal pointers are at band 0 of
// the run, any alignment; rows of s and d are PS_STRIDE floats apart, rows
// of gain PS_PAR_STRIDE, rows of l and r out_stride.
struct ps_mix_job {
    const float *s_re, *s_im;
    const float *d_re, *d_im;
    const float *gain;
    const float *h;
    const float *step;
    const uint8_t *par;
    float *l_re, *l_im;
    float *r_re, *r_im;
    int32_t out_stride;
    int32_t bands;
    int32_t num_slots;
};

struct ps_kernels {
    // One QMF band through q complex filters of 13 taps conjugate-symmetric
    // about the centre (cos and sin parts [7][q], ps_tables.h).  For slot
    // n < num_slots and output j < q, with x(t) = x[t + 6] (x runs from 6
    // slots before slot 0 to 6 after the last, any alignment),
    //   y = cos[0][j] x(n), then for m = 1..6, with u = x(n+m) + x(n-m) and
    //   v = x(n+m) - x(n-m):
    //   y_re += cos[m][j] u_re + sin[m][j] v_im,  y_im += cos[m][j] u_im - sin[m][j] v_re
    // into y[n stride + j].  q is even.
    void (*hybrid_filter)(const float *x_re, const float *x_im, const float *cos, const float *sin,
                          int32_t q, float *y_re, float *y_im, int32_t stride, int32_t num_slots);
    // p[n stride + k] = re^2 + im^2 for k < bands (a multiple of 4), n < num_slots;
    // rows 16-byte aligned.
    void (*power)(const float *re, const float *im, float *p, int32_t stride, int32_t bands,
                  int32_t num_slots);
    // Transient gains per parameter band i < bands (a multiple of 4) and
    // slot n < num_slots, from the band powers p = power[n PS_PAR_STRIDE + i]:
    //   peak[i] = peak[i] * PS_PEAK_DECAY, or p where that is less
    //   smooth[i] += PS_SMOOTH (p - smooth[i])
    //   diff[i] += PS_SMOOTH ((peak[i] - p) - diff[i])
    //   gain[n PS_PAR_STRIDE + i] = smooth[i] / l where l = PS_TRANSIENT_IMPACT diff[i]
    //                               exceeds smooth[i], else 1
    // gain may be power itself; every array 16-byte aligned.
    void (*transient)(const float *power, float *gain, float *peak, float *smooth, float *diff,
                      int32_t bands, int32_t num_slots);
    void (*allpass)(const ps_allpass_job *job);
    void (*mix)(const ps_mix_job *job);
};

extern const ps_kernels ps_kernels_generic;
extern const ps_kernels ps_kernels_sse2;

// The generic table until the library's load selects by processor.
extern const ps_kernels *ps_active_kernels;

}  // namespace lumdec
