// The generic band replication kernels: plain scalar code whose operation
// order the SSE2 kernels repeat lane by lane.
//
// The QMF banks run the complex modulations as FFTs:
//   analysis   X[k] = 2 e^(-i pi (2k+1)/256) conj(FFT64(u[n] e^(-i pi n/64)))[k]
//   synthesis  V[n] = Re(e^(i pi (n-127.5)/128) conj(FFT128(conj(X[k]) e^(i 255 pi k/128))))[n]
// with u the windowed and folded input, and the forward FFTs of the
// transform table.
#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_kernels.h"
#include "sbr/sbr_tables.h"

namespace lumdec {

void sbr_analysis_slot_generic(const float *in, float *fft, aac_transform_fn fft64)
{
    // u[63 - m] = sum_j in[256 - 64 j + m] * w[64 j + m]
    float u[64];
    for (int m = 0; m < 64; m++) {
        float acc = in[256 + m] * sbr_qmf_analysis_window[m];
        for (int j = 1; j < 5; j++)
            acc = acc + in[256 - 64 * j + m] * sbr_qmf_analysis_window[64 * j + m];
        u[63 - m] = acc;
    }
    for (int n = 0; n < 64; n++) {
        fft[2 * n] = u[n] * sbr_analysis_pre[n][0];
        fft[2 * n + 1] = u[n] * sbr_analysis_pre[n][1];
    }
    fft64(fft);
}

void sbr_synthesis_down_pre_generic(const float *re, const float *im, float *fft)
{
    for (int k = 0; k < 32; k++) {
        const float c = sbr_synthesis_down_pre[k][0], s = sbr_synthesis_down_pre[k][1];
        fft[2 * k] = re[k] * c + im[k] * s;
        fft[2 * k + 1] = re[k] * s - im[k] * c;
    }
    std::memset(fft + 64, 0, 64 * sizeof(float));
}

void sbr_synthesis_slot_pre_generic(const float *re, const float *im, float *fft)
{
    for (int k = 0; k < 64; k++) {
        const float c = sbr_synthesis_pre[k][0], s = sbr_synthesis_pre[k][1];
        fft[2 * k] = re[k] * c + im[k] * s;
        fft[2 * k + 1] = re[k] * s - im[k] * c;
    }
    std::memset(fft + 128, 0, 128 * sizeof(float));
}

namespace {

void qmf_analysis(const float *in, float *re, float *im, int32_t num_slots)
{
    alignas(16) float fft[128];
    for (int32_t s = 0; s < num_slots; s++) {
        sbr_analysis_slot_generic(in + 32 * s, fft, aac_transform_kernels_generic.fft64_forward);
        for (int k = 0; k < 32; k++) {
            const float p = fft[2 * k], q = fft[2 * k + 1];
            const float cr = sbr_analysis_post[k][0], ci = sbr_analysis_post[k][1];
            re[32 * s + k] = p * cr + q * ci;
            im[32 * s + k] = p * ci - q * cr;
        }
    }
}

void qmf_synthesis(float *v, const float *re, const float *im, const float *window, float *out,
                   int32_t num_slots)
{
    alignas(16) float fft[256];
    for (int32_t s = 0; s < num_slots; s++) {
        sbr_synthesis_slot_pre_generic(re + 64 * s, im + 64 * s, fft);
        aac_transform_kernels_generic.fft128_forward(fft);
        float *cur = v + 128 * (9 + s);
        for (int n = 0; n < 128; n++)
            cur[n] = fft[2 * n] * sbr_synthesis_post[n][0] +
                     fft[2 * n + 1] * sbr_synthesis_post[n][1];
        for (int k = 0; k < 64; k++) {
            float acc = cur[k] * window[k];
            acc = acc + cur[-128 + 64 + k] * window[64 + k];
            for (int j = 1; j < 5; j++) {
                acc = acc + cur[-256 * j + k] * window[128 * j + k];
                acc = acc + cur[-256 * j - 128 + 64 + k] * window[128 * j + 64 + k];
            }
            out[64 * s + k] = acc;
        }
    }
    std::memmove(v, v + 128 * num_slots, 9 * 128 * sizeof(float));
}

void qmf_synthesis_down(float *v, const float *re, const float *im, const float *window,
                        float *out, int32_t num_slots)
{
    alignas(16) float fft[128];
    for (int32_t s = 0; s < num_slots; s++) {
        sbr_synthesis_down_pre_generic(re + 64 * s, im + 64 * s, fft);
        aac_transform_kernels_generic.fft64_forward(fft);
        float *cur = v + 64 * (9 + s);
        for (int n = 0; n < 64; n++)
            cur[n] = fft[2 * n] * sbr_synthesis_down_post[n][0] +
                     fft[2 * n + 1] * sbr_synthesis_down_post[n][1];
        for (int k = 0; k < 32; k++) {
            float acc = cur[k] * window[k];
            acc = acc + cur[-64 + 32 + k] * window[32 + k];
            for (int j = 1; j < 5; j++) {
                acc = acc + cur[-128 * j + k] * window[64 * j + k];
                acc = acc + cur[-128 * j - 64 + 32 + k] * window[64 * j + 32 + k];
            }
            out[32 * s + k] = acc;
        }
    }
    std::memmove(v, v + 64 * num_slots, 9 * 64 * sizeof(float));
}

void hf_covariance(const float *re, const float *im, int32_t bands, float *out)
{
    for (int32_t b = 0; b < bands; b++) {
        float r11 = 0, r22 = 0, r01r = 0, r01i = 0, r02r = 0, r02i = 0, r12r = 0, r12i = 0;
        for (int n = 0; n < 38; n++) {
            const float x0r = re[32 * n + b], x0i = im[32 * n + b];
            const float x1r = re[32 * (n + 1) + b], x1i = im[32 * (n + 1) + b];
            const float x2r = re[32 * (n + 2) + b], x2i = im[32 * (n + 2) + b];
            r11 = r11 + (x1r * x1r + x1i * x1i);
            r22 = r22 + (x0r * x0r + x0i * x0i);
            r01r = r01r + (x2r * x1r + x2i * x1i);
            r01i = r01i + (x2i * x1r - x2r * x1i);
            r02r = r02r + (x2r * x0r + x2i * x0i);
            r02i = r02i + (x2i * x0r - x2r * x0i);
            r12r = r12r + (x1r * x0r + x1i * x0i);
            r12i = r12i + (x1i * x0r - x1r * x0i);
        }
        out[b] = r11;
        out[32 + b] = r22;
        out[64 + b] = r01r;
        out[96 + b] = r01i;
        out[128 + b] = r02r;
        out[160 + b] = r02i;
        out[192 + b] = r12r;
        out[224 + b] = r12i;
    }
}

void hf_filter(float *dst_re, float *dst_im, const float *src_re, const float *src_im,
               const float *coef, int32_t bands, int32_t first, int32_t end)
{
    for (int32_t l = first; l < end; l++) {
        for (int32_t b = 0; b < bands; b++) {
            const float a0r = coef[b], a0i = coef[64 + b];
            const float a1r = coef[128 + b], a1i = coef[192 + b];
            const float x0r = src_re[32 * l + b], x0i = src_im[32 * l + b];
            const float x1r = src_re[32 * (l - 1) + b], x1i = src_im[32 * (l - 1) + b];
            const float x2r = src_re[32 * (l - 2) + b], x2i = src_im[32 * (l - 2) + b];
            dst_re[64 * l + b] = x0r + a0r * x1r - a0i * x1i + a1r * x2r - a1i * x2i;
            dst_im[64 * l + b] = x0i + a0r * x1i + a0i * x1r + a1r * x2i + a1i * x2r;
        }
    }
}

void band_energy(const float *re, const float *im, int32_t bands, int32_t first, int32_t end,
                 float *out)
{
    for (int32_t b = 0; b < bands; b++) {
        float acc = 0;
        for (int32_t l = first; l < end; l++) {
            const float r = re[64 * l + b], i = im[64 * l + b];
            acc = acc + (r * r + i * i);
        }
        out[b] = acc;
    }
}

}  // namespace

}  // namespace lumdec

const aac_sbr_kernels aac_sbr_kernels_generic = {
    lumdec::qmf_analysis, lumdec::qmf_synthesis, lumdec::qmf_synthesis_down, lumdec::hf_covariance, lumdec::hf_filter,
    lumdec::band_energy,
};
