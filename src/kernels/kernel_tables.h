// The four kernel families: tables of function pointers with a generic and
// an SSE2 version each, and the active pointer of every family that the
// library points at the SSE2 tables when it is loaded on a processor with
// SSE2.  Callers always go through the active pointer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lumdec.h"

namespace lumdec {

// ---------------------------------------------------------------------------
// Vector kernels: small float-vector operations of the decoder core.
//
// Contract kept by every caller (the SSE2 versions rely on it): every array
// starts on a 16-byte boundary; n is a multiple of 4 for vec_zero ..
// vec_sum_diff and a multiple of 8 for the windowed overlaps; vec_scale and
// vec_add may work in place, vec_scale_reverse and the overlaps may not.
// The generic versions accept any alignment and any n.
struct aac_vector_kernels {
    // dst[i] = 0
    void (*vec_zero)(float *dst, int32_t n);
    // dst[i] = src[i] * gain
    void (*vec_scale)(float *dst, const float *src, float gain, int32_t n);
    // dst[i] = src[n-1-i] * gain
    void (*vec_scale_reverse)(float *dst, const float *src, float gain, int32_t n);
    // dst[i] = a[i] + b[i]
    void (*vec_add)(float *dst, const float *a, const float *b, int32_t n);
    // (a[i], b[i]) = (a[i] + b[i], a[i] - b[i])
    void (*vec_sum_diff)(float *a, float *b, int32_t n);
    // With h = n >> 1, for 0 <= i < h:
    //   out[i]     = win_later[i] * later[i] - win_earlier[n-1-i] * earlier[h-1-i]
    //   out[n-1-i] = win_earlier[2n-1-i] * earlier[h-1-i] + win_later[n+i] * later[i]
    void (*vec_window_overlap)(float *out, const float *later, const float *earlier,
                               const float *win_later, const float *win_earlier, int32_t n);
    // Only the first half (out[0..h-1]) of vec_window_overlap.
    void (*vec_window_overlap_head)(float *out, const float *later, const float *earlier,
                                    const float *win_later, const float *win_earlier, int32_t n);
    // Only the second half (out[h..n-1]) of vec_window_overlap.
    void (*vec_window_overlap_tail)(float *out, const float *later, const float *earlier,
                                    const float *win_later, const float *win_earlier, int32_t n);
};

// ---------------------------------------------------------------------------
// Transform kernels: in-place FFTs and DCT-IVs on 16-byte aligned data.
// Complex data are interleaved (re, im) pairs.  No scaling anywhere.
using aac_transform_fn = void (*)(float *data);

struct aac_transform_kernels {
    aac_transform_fn fft64_forward;    // 64 complex points
    aac_transform_fn fft64_inverse;
    aac_transform_fn fft128_forward;
    aac_transform_fn fft128_inverse;
    aac_transform_fn fft512_forward;
    aac_transform_fn fft512_inverse;
    aac_transform_fn fft1024_forward;
    aac_transform_fn fft1024_inverse;
    aac_transform_fn rfft256;          // 256 real values, DC and Nyquist packed in bin 0
    aac_transform_fn rfft2048;         // 2048 real values
    aac_transform_fn dct4_128;         // unnormalised DCT-IV of 128 values
    aac_transform_fn dct4_1024;        // unnormalised DCT-IV of 1024 values
    aac_transform_fn fft32_forward;    // 32 complex points
};

// ---------------------------------------------------------------------------
// Sample kernels: the host-side sample services, one frame of 1024 samples
// per channel.  The 40 slots lie in the order of the AAC_SK_* group bases.
using aac_to_raw_fn = void (*)(const float *pcm, void *raw);
using aac_from_raw_fn = void (*)(float *pcm, const void *raw);
using aac_downmix_fn = void (*)(const float *pcm5, float *pair);
using aac_shape_fn = void (*)(float *pcm);

struct aac_sample_kernels {
    aac_to_raw_fn single_to_raw[3];     // by raw format
    aac_from_raw_fn single_from_raw[3];
    aac_to_raw_fn pair_to_raw[3];
    aac_from_raw_fn pair_from_raw[3];
    aac_to_raw_fn downmix_to_raw[3];    // 3/2 downmix into an interleaved raw pair
    aac_downmix_fn downmix;             // 3/2 downmix into a planar float pair
    aac_shape_fn fade_in[8];            // by channel count - 1
    aac_shape_fn fade_out[8];
    aac_shape_fn mute[8];
};

#define AAC_SK_SLOT_OFFSET(member) (offsetof(aac_sample_kernels, member) / sizeof(void (*)()))
static_assert(sizeof(aac_sample_kernels) == AAC_SK_COUNT * sizeof(void (*)()));
static_assert(AAC_SK_SLOT_OFFSET(single_from_raw) == AAC_SK_SINGLE_FROM_RAW);
static_assert(AAC_SK_SLOT_OFFSET(pair_to_raw) == AAC_SK_PAIR_TO_RAW);
static_assert(AAC_SK_SLOT_OFFSET(pair_from_raw) == AAC_SK_PAIR_FROM_RAW);
static_assert(AAC_SK_SLOT_OFFSET(downmix_to_raw) == AAC_SK_DOWNMIX_TO_RAW);
static_assert(AAC_SK_SLOT_OFFSET(downmix) == AAC_SK_DOWNMIX);
static_assert(AAC_SK_SLOT_OFFSET(fade_in) == AAC_SK_FADE_IN);
static_assert(AAC_SK_SLOT_OFFSET(fade_out) == AAC_SK_FADE_OUT);
static_assert(AAC_SK_SLOT_OFFSET(mute) == AAC_SK_MUTE);

// ---------------------------------------------------------------------------
// Band replication kernels: the QMF banks and the inner loops of the high
// band generator and adjuster.  Matrices are stored by slot, one row of
// bands per slot, real and imaginary parts in separate planes; the low band
// has rows of 32 bands, the high band rows of 64.  Buffers handed to the
// QMF banks start on a 16-byte boundary; the band loops take any band
// offset and count, and their outputs never overlap their inputs (except
// hf_assemble, which works in place).
struct aac_sbr_kernels {
    // 32-band complex analysis of num_slots slots.  in holds 288 samples of
    // history, then 32 new samples per slot (in time order); slot s writes
    // 32 bands to re[32 s ..] and im[32 s ..].
    void (*qmf_analysis)(const float *in, float *re, float *im, int32_t num_slots);
    // 64-band complex synthesis of num_slots slots of 64 bands (rows of 64
    // from re and im) into 64 samples each.  v holds the 128-value vectors
    // of the 9 slots before, and is left holding those of the last 9;
    // window is the 640-tap prototype with the output scale folded in.
    void (*qmf_synthesis)(float *v, const float *re, const float *im, const float *window,
                          float *out, int32_t num_slots);
    // The 32-band synthesis of downsampled SBR: bands 0..31 of each row of
    // 64 into 32 samples per slot; v holds 64-value vectors, window the
    // even taps of the prototype (320) with the output scale.
    void (*qmf_synthesis_down)(float *v, const float *re, const float *im, const float *window,
                               float *out, int32_t num_slots);
    // Covariances of bands 0..bands-1 of a low-band matrix (rows of 32, 40
    // slots), over slots n = 0..37 of x = slot n, x1 = slot n+1, x2 = slot
    // n+2: out[32 i + b] for i = 0..7 holds sum |x1|^2, sum |x|^2, and the
    // real and imaginary parts of sum x2 conj(x1), sum x2 conj(x),
    // sum x1 conj(x).
    void (*hf_covariance)(const float *re, const float *im, int32_t bands, float *out);
    // Second-order prediction from a low band into a high band for slots
    // first..end-1: dst[l] = src[l] + a0 src[l-1] + a1 src[l-2] (complex),
    // a0 = (coef[b], coef[64 + b]), a1 = (coef[128 + b], coef[192 + b]);
    // dst rows of 64, src rows of 32.
    void (*hf_filter)(float *dst_re, float *dst_im, const float *src_re, const float *src_im,
                      const float *coef, int32_t bands, int32_t first, int32_t end);
    // out[b] = sum over slots first..end-1 of |x[l][b]|^2, rows of 64.
    void (*band_energy)(const float *re, const float *im, int32_t bands, int32_t first,
                        int32_t end, float *out);
    // Time smoothing of gains: out[b] = cur[b] h[4] + past[0][b] h[3] + ...
    // + past[3][b] h[0], summed in that order (past[0] the latest slot).
    void (*hf_smooth)(float *out, const float *cur, const float *const *past, const float *h,
                      int32_t bands);
    // One slot of the adjusted high band, in place: y = y gain, then at
    // bands with a sinusoid level y += sine (phi_re, phi_im (-1)^b), at the
    // others (when noisy) y += noise_level V[(index + b + 1) mod 512] with V
    // the noise table.
    void (*hf_assemble)(float *re, float *im, const float *gain, const float *noise_level,
                        const float *sine, int32_t index, float phi_re, float phi_im,
                        int32_t noisy, int32_t bands);
};

// ---------------------------------------------------------------------------
// The tables.  Slots that must agree between the versions (the conversions
// from raw samples, the inverse FFTs) hold the same function in both.
extern const aac_vector_kernels aac_vector_kernels_generic;
extern const aac_vector_kernels aac_vector_kernels_sse2;
#if defined(LUMDEC_HAVE_AVX2)
// The SSE2 vector kernels but for the windowed overlaps (vector_avx2.cc).
extern const aac_vector_kernels aac_vector_kernels_avx2;
void aac_window_overlap_avx2(float *out, const float *later, const float *earlier,
                             const float *win_later, const float *win_earlier, int32_t n);
void aac_window_overlap_head_avx2(float *out, const float *later, const float *earlier,
                                  const float *win_later, const float *win_earlier, int32_t n);
void aac_window_overlap_tail_avx2(float *out, const float *later, const float *earlier,
                                  const float *win_later, const float *win_earlier, int32_t n);
#endif
extern const aac_transform_kernels aac_transform_kernels_generic;
extern const aac_transform_kernels aac_transform_kernels_sse2;
#if defined(LUMDEC_HAVE_AVX2)
// The SSE2 transforms but for the DCT-IV of 1024 values, which runs on
// 256-bit registers; the vector table above and the band replication table
// below likewise.  Built where the compiler targets AVX2 on x86-64
// (LUMDEC_HAVE_AVX2), chosen at load where the processor and the operating
// system support it.
extern const aac_transform_kernels aac_transform_kernels_avx2;
#endif
extern const aac_sample_kernels aac_sample_kernels_generic;
extern const aac_sample_kernels aac_sample_kernels_sse2;
extern const aac_sbr_kernels aac_sbr_kernels_generic;
extern const aac_sbr_kernels aac_sbr_kernels_sse2;
#if defined(LUMDEC_HAVE_AVX2)
// The SSE2 kernels but for the QMF analysis and synthesis.
extern const aac_sbr_kernels aac_sbr_kernels_avx2;
#endif

// Active tables: the generic ones until the selectors run at load.
extern const aac_vector_kernels *aac_active_vector_kernels;

// The table to make active for the chosen vector kernels: the chosen table
// itself, or in checked builds one that checks every call against the
// contract above before passing it on.
const aac_vector_kernels *aac_checked_vector_kernels(const aac_vector_kernels *chosen);
extern const aac_transform_kernels *aac_active_transform_kernels;
extern const aac_sample_kernels *aac_active_sample_kernels;
extern const aac_sbr_kernels *aac_active_sbr_kernels;

// Load-time initialisers: with attach = 1 they point the active tables at
// the SSE2 versions when the processor has SSE2, and at the AVX2 ones where
// they exist and the processor level is AVX2; with 0 they change nothing.
// Both always return 1.
int aac_select_decoder_kernels(int attach);
int aac_select_sample_kernels(int attach);

// Points all active pointers at the generic (sse2 = false) or the SSE2
// tables.  For tests and benchmarks that compare the tables on one machine;
// the library itself only selects at load.
void aac_force_kernel_tables(bool sse2);

// Points them at the AVX2 tables (SSE2 for the families without one) and
// returns true where this build and processor have them; otherwise returns
// false and changes nothing.
bool aac_force_avx2_kernel_tables();

// Points them back at the tables the load chose.
void aac_select_loaded_kernel_tables();

// The name of the widest table the active pointers use: "generic", "sse2"
// or "avx2".
const char *aac_active_kernel_tables_name();

}  // namespace lumdec
