// The generic band replication kernels: plain scalar code whose operation
// order the SSE2 kernels repeat lane by lane.
//
// The QMF banks run the complex modulations as FFTs and DCT-IVs:
//   analysis   X[k] = 2 e^(-i pi (2k+1)/256) G(k), G(k) = sum of the 64
//              windowed and folded inputs u[n] e^(i pi (k+1/2) n/32): with the
//              32-point FFT F of conj((u[2m] + i u[2m+1]) e^(i pi m/32)), P =
//              F[k] and Q = F[31-k] (G of a real input is conjugate
//              symmetric, so half its even and odd parts are redundant),
//              X[k] = A (conj P + Q) + B (conj P - Q) with A = e^(-i pi
//              (2k+1)/256) and B = -i e^(i 3 pi (2k+1)/256);
//   synthesis  with C = DCT-IV(Re X) and S[n] = (-1)^n DCT-IV(Im X reversed)[n]
//              (the DST-IV of Im X), V[n] = S[n] - C[n] and V[127-n] =
//              C[n] + S[n] for n < 64;
//   downsampled synthesis (32 bands)
//              V[n] = Re(e^(i pi (n-63.75)/64) conj(FFT64(conj(X[k]) e^(i 255 pi k/128))))[n];
// the 1/64 of the synthesis sits in its window.
#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_kernels.h"
#include "sbr/sbr_tables.h"
#include "synthesis/transform.h"
#include "synthesis/transform_tables.h"

namespace lumdec {

void sbr_analysis_window_generic(const float *in, float *u)
{
    for (int m = 0; m < 64; m++) {
        float acc = in[256 + m] * sbr_qmf_analysis_window[m];
        for (int j = 1; j < 5; j++)
            acc = acc + in[256 - 64 * j + m] * sbr_qmf_analysis_window[64 * j + m];
        u[63 - m] = acc;
    }
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

void sbr_dct4_64(float *x, aac_transform_fn fft32)
{
    aac_dct4_pre_rotate(32, x, aac_dct4_rotation_64);
    fft32(x);
    aac_dct4_post_rotate(32, x, aac_dct4_rotation_64);
}

namespace {

void qmf_analysis(const float *in, float *re, float *im, int32_t num_slots)
{
    alignas(16) float u[64], fft[64];
    for (int32_t s = 0; s < num_slots; s++) {
        sbr_analysis_window_generic(in + 32 * s, u);
        for (int m = 0; m < 32; m++) {
            const float u0 = u[2 * m], u1 = u[2 * m + 1];
            const float c = sbr_analysis_pre[0][m], ms = sbr_analysis_pre[1][m];
            fft[2 * m] = u0 * c + u1 * ms;
            fft[2 * m + 1] = u0 * ms - u1 * c;
        }
        aac_transform_kernels_generic.fft32_forward(fft);
        for (int k = 0; k < 32; k++) {
            const float pr = fft[2 * k], pi = -fft[2 * k + 1];
            const float qr = fft[2 * (31 - k)], qi = fft[2 * (31 - k) + 1];
            const float sr = pr + qr, si = pi + qi, dr = pr - qr, di = pi - qi;
            const float ar = sbr_analysis_post_a[0][k], ai = sbr_analysis_post_a[1][k];
            const float br = sbr_analysis_post_b[0][k], bi = sbr_analysis_post_b[1][k];
            re[32 * s + k] = (ar * sr - ai * si) + (br * dr - bi * di);
            im[32 * s + k] = (ar * si + ai * sr) + (br * di + bi * dr);
        }
    }
}

void qmf_synthesis(float *v, const float *re, const float *im, const float *window, float *out,
                   int32_t num_slots)
{
    alignas(16) float c[64], d[64];
    const aac_transform_fn fft32 = aac_transform_kernels_generic.fft32_forward;
    for (int32_t s = 0; s < num_slots; s++) {
        for (int k = 0; k < 64; k++) {
            c[k] = re[64 * s + k];
            d[k] = im[64 * s + 63 - k];
        }
        sbr_dct4_64(c, fft32);
        sbr_dct4_64(d, fft32);
        float *cur = v + 128 * (9 + s);
        for (int n = 0; n < 64; n++) {
            const float sn = (n & 1) ? -d[n] : d[n];
            cur[n] = sn - c[n];
            cur[127 - n] = c[n] + sn;
        }
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

void hf_smooth(float *out, const float *cur, const float *const *past, const float *h,
               int32_t bands)
{
    for (int32_t b = 0; b < bands; b++) {
        float acc = cur[b] * h[4];
        for (int j = 0; j < 4; j++)
            acc = acc + past[j][b] * h[3 - j];
        out[b] = acc;
    }
}

void hf_assemble(float *re, float *im, const float *gain, const float *noise_level,
                 const float *sine, int32_t index, float phi_re, float phi_im, int32_t noisy,
                 int32_t bands)
{
    for (int32_t b = 0; b < bands; b++) {
        float yr = re[b] * gain[b], yi = im[b] * gain[b];
        if (sine[b] != 0.0f) {
            yr = yr + sine[b] * phi_re;
            yi = yi + sine[b] * phi_im;
        } else if (noisy) {
            const int32_t v = (index + b + 1) & 511;
            yr = yr + noise_level[b] * sbr_noise_re[v];
            yi = yi + noise_level[b] * sbr_noise_im[v];
        }
        re[b] = yr;
        im[b] = yi;
        phi_im = -phi_im;
    }
}

}  // namespace

}  // namespace lumdec

const aac_sbr_kernels aac_sbr_kernels_generic = {
    lumdec::qmf_analysis, lumdec::qmf_synthesis, lumdec::qmf_synthesis_down, lumdec::hf_covariance, lumdec::hf_filter,
    lumdec::band_energy, lumdec::hf_smooth, lumdec::hf_assemble,
};
