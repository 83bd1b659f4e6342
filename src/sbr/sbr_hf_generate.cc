#include "sbr/sbr_hf_generate.h"

#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_tables.h"

namespace lumdec {

namespace {

// Chirp factor of each noise band from this and the last frame's inverse
// filtering modes, smoothed against the last factor.
void chirp_factors(const sbr_band_tables &t, const sbr_frame_data &d, bool reset,
                   sbr_channel *ch, float *bw)
{
    if (reset) {
        std::memset(ch->prev_invf, 0, sizeof ch->prev_invf);
        std::memset(ch->prev_bw, 0, sizeof ch->prev_bw);
    }
    for (int i = 0; i < t.n_noise; i++) {
        const float fresh = sbr_chirp_new[d.invf_mode[i]][ch->prev_invf[i]];
        const float old = ch->prev_bw[i];
        float v = fresh < old ? 0.75f * fresh + 0.25f * old : 0.90625f * fresh + 0.09375f * old;
        if (v < 0.015625f)
            v = 0.0f;
        if (v >= 0.99609375f)
            v = 0.99609375f;
        bw[i] = v;
        ch->prev_bw[i] = v;
        ch->prev_invf[i] = d.invf_mode[i];
    }
}

// Prediction coefficients of low bands first..first+count-1 from their
// covariances; unstable predictors (a coefficient of magnitude 4 or more)
// are switched off.
void predictors(const sbr_channel *ch, int first, int count, float (*alpha)[4])
{
    alignas(16) float cov[8 * 32];
    aac_active_sbr_kernels->hf_covariance(&ch->low_re[0][first], &ch->low_im[0][first], count,
                                          cov);
    for (int b = 0; b < count; b++) {
        const float r11 = cov[b], r22 = cov[32 + b];
        const float r01r = cov[64 + b], r01i = cov[96 + b];
        const float r02r = cov[128 + b], r02i = cov[160 + b];
        const float r12r = cov[192 + b], r12i = cov[224 + b];
        float a1r = 0, a1i = 0, a0r = 0, a0i = 0;
        const float det = r22 * r11 - (r12r * r12r + r12i * r12i) / 1.000001f;
        if (det != 0.0f) {
            a1r = (r01r * r12r - r01i * r12i - r02r * r11) / det;
            a1i = (r01i * r12r + r01r * r12i - r02i * r11) / det;
        }
        if (r11 != 0.0f) {
            a0r = -(r01r + a1r * r12r + a1i * r12i) / r11;
            a0i = -(r01i + a1i * r12r - a1r * r12i) / r11;
        }
        if (a0r * a0r + a0i * a0i >= 16.0f || a1r * a1r + a1i * a1i >= 16.0f)
            a0r = a0i = a1r = a1i = 0.0f;
        // A NaN (only from damaged input of infinite energy) switches the
        // predictor off too.
        if (!(a0r == a0r && a0i == a0i && a1r == a1r && a1i == a1i))
            a0r = a0i = a1r = a1i = 0.0f;
        alpha[b][0] = a0r;
        alpha[b][1] = a0i;
        alpha[b][2] = a1r;
        alpha[b][3] = a1i;
    }
}

}  // namespace

void sbr_hf_generate(const sbr_band_tables &t, const sbr_frame_data &d, bool reset,
                     sbr_channel *ch)
{
    const int first = 2 * d.grid.t_env[0] + 2;
    const int end = 2 * d.grid.t_env[d.grid.num_env] + 2;
    for (int l = first; l < sbr_high_slots; l++) {
        std::memset(ch->high_re[l], 0, sizeof ch->high_re[l]);
        std::memset(ch->high_im[l], 0, sizeof ch->high_im[l]);
    }

    float bw[sbr_max_noise_bands];
    chirp_factors(t, d, reset, ch, bw);

    int src_lo = 32, src_hi = 0;
    for (int p = 0; p < t.num_patches; p++) {
        if (t.patch_start[p] < src_lo)
            src_lo = t.patch_start[p];
        if (t.patch_start[p] + t.patch_bands[p] > src_hi)
            src_hi = t.patch_start[p] + t.patch_bands[p];
    }
    float alpha[32][4];
    predictors(ch, src_lo, src_hi - src_lo, alpha);

    // Coefficients by target band offset: bw a0 and bw^2 a1 (complex).
    alignas(16) float coef[4 * 64];
    int k = t.kx;
    for (int p = 0; p < t.num_patches; p++) {
        const int start = k;
        for (int x = 0; x < t.patch_bands[p]; x++, k++) {
            int g = 0;
            while (g + 1 < t.n_noise && k >= t.f_noise[g + 1])
                g++;
            const float *a = alpha[t.patch_start[p] + x - src_lo];
            const float b = bw[g], b2 = b * b;
            const int o = k - t.kx;
            coef[o] = b * a[0];
            coef[64 + o] = b * a[1];
            coef[128 + o] = b2 * a[2];
            coef[192 + o] = b2 * a[3];
        }
        const int o = start - t.kx;
        aac_active_sbr_kernels->hf_filter(&ch->high_re[0][start], &ch->high_im[0][start],
                                          &ch->low_re[0][t.patch_start[p]],
                                          &ch->low_im[0][t.patch_start[p]], coef + o,
                                          t.patch_bands[p], first, end);
    }
}

}  // namespace lumdec
