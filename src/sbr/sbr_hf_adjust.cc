// Gains are amplitudes.  Per envelope l and high band offset m:
//   noise level  q = sqrt(E Q / (1 + Q)), sinusoid level s = sqrt(E S / (1 + Q))
//   gain         sqrt(E / ((1 + Ecur)(1 + d Q)))            no sinusoid in the band
//                sqrt(E Q / ((1 + Ecur)(1 + Q)))            a sinusoid in the band
// with E the envelope energy, Q the noise floor ratio, S 1 at a sinusoid's
// band, Ecur the energy of the generated band and d 0 in the envelopes that
// start at a transient (no noise there).  The 1 beside Ecur keeps empty
// bands finite; energies are in the 16-bit scale, where 1 is far below any
// audible level.  The limiter caps each gain at the limiter band's average
// times the header's limit, the boost then restores the band's energy by at
// most 4 dB.
#include "sbr/sbr_hf_adjust.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_tables.h"

namespace lumdec {

namespace {

struct envelope_gains {
    float gain[sbr_max_envelopes][64];
    float noise[sbr_max_envelopes][64];
    float sine[sbr_max_envelopes][64];
};

// The sinusoid at the middle band of each high-resolution band with its
// flag set; a new one waits for the transient envelope unless it was
// already playing at the end of the last frame.
void map_sinusoids(const sbr_band_tables &t, const sbr_frame_data &d, bool reset,
                   sbr_channel *ch, uint8_t (*sines)[64])
{
    std::memset(sines, 0, sizeof(uint8_t) * 64 * sbr_max_envelopes);
    if (reset)
        std::memset(ch->prev_sines, 0, sizeof ch->prev_sines);
    const int L = d.grid.num_env;
    if (d.add_harmonic_flag) {
        for (int i = 0; i < t.n_high; i++) {
            if (!d.add_harmonic[i])
                continue;
            const int m = ((t.f_high[i] + t.f_high[i + 1]) >> 1) - t.kx;
            for (int l = 0; l < L; l++)
                sines[l][m] = (l >= d.grid.transient || ch->prev_sines[m]) ? 1 : 0;
        }
    }
    std::memcpy(ch->prev_sines, sines[L - 1], sizeof ch->prev_sines);
}

void envelope_gains_of(const sbr_band_tables &t, const sbr_header &h, const sbr_frame_data &d,
                       const sbr_energies &e, const uint8_t (*sines)[64], int prev_transient,
                       const sbr_channel *ch, envelope_gains *out)
{
    const int M = t.m, kx = t.kx;
    const float limit = sbr_limiter_gains[h.limiter_gains];
    for (int l = 0; l < d.grid.num_env; l++) {
        const uint8_t *table = d.grid.freq_res[l] ? t.f_high : t.f_low;
        const int n = d.grid.freq_res[l] ? t.n_high : t.n_low;
        const int lq = d.grid.num_noise == 2 && d.grid.t_env[l] >= d.grid.t_noise[1] ? 1 : 0;
        const bool noisy = l != d.grid.transient && l != prev_transient;
        const int first = 2 * d.grid.t_env[l] + 2, end = 2 * d.grid.t_env[l + 1] + 2;

        alignas(16) float cur[64];
        aac_active_sbr_kernels->band_energy(&ch->high_re[0][kx], &ch->high_im[0][kx], M, first,
                                            end, cur);
        const float slots = static_cast<float>(end - first);
        if (h.interpol_freq) {
            const float scale = 1.0f / slots;
            for (int m = 0; m < M; m++)
                cur[m] *= scale;
        }

        float orig[64], q[64];
        uint8_t band_sine[64];
        for (int i = 0; i < n; i++) {
            const int lo = table[i] - kx, hi = table[i + 1] - kx;
            uint8_t any = 0;
            float sum = 0.0f;
            for (int m = lo; m < hi; m++) {
                orig[m] = e.env[l][i];
                any |= sines[l][m];
                sum += cur[m];
            }
            for (int m = lo; m < hi; m++)
                band_sine[m] = any;
            if (!h.interpol_freq) {
                const float mean = sum / (slots * static_cast<float>(hi - lo));
                for (int m = lo; m < hi; m++)
                    cur[m] = mean;
            }
        }
        for (int i = 0; i < t.n_noise; i++)
            for (int m = t.f_noise[i] - kx; m < t.f_noise[i + 1] - kx; m++)
                q[m] = e.noise[lq][i];

        float *gain = out->gain[l], *noise = out->noise[l], *sine = out->sine[l];
        for (int m = 0; m < M; m++) {
            const float share = orig[m] / (1.0f + q[m]);
            noise[m] = std::sqrt(share * q[m]);
            sine[m] = std::sqrt(share * static_cast<float>(sines[l][m]));
            if (!band_sine[m])
                gain[m] = std::sqrt(orig[m] / ((1.0f + cur[m]) * (1.0f + (noisy ? q[m] : 0.0f))));
            else
                gain[m] = std::sqrt(orig[m] * q[m] / ((1.0f + cur[m]) * (1.0f + q[m])));
            gain[m] += FLT_MIN;
        }

        for (int j = 0; j < t.n_limiter; j++) {
            const int lo = t.f_limiter[j] - kx, hi = t.f_limiter[j + 1] - kx;
            float sum_orig = 0.0f, sum_cur = 0.0f;
            for (int m = lo; m < hi; m++) {
                sum_orig += orig[m];
                sum_cur += cur[m];
            }
            float max_gain = limit * std::sqrt((FLT_EPSILON + sum_orig) / (FLT_EPSILON + sum_cur));
            max_gain = std::min(max_gain, 1.0e5f);
            for (int m = lo; m < hi; m++) {
                noise[m] = std::min(noise[m], noise[m] * max_gain / gain[m]);
                gain[m] = std::min(gain[m], max_gain);
            }
            float sum_out = 0.0f;
            for (int m = lo; m < hi; m++) {
                sum_out += cur[m] * gain[m] * gain[m] + sine[m] * sine[m] +
                           ((noisy && sine[m] == 0.0f) ? noise[m] * noise[m] : 0.0f);
            }
            float boost = std::sqrt((FLT_EPSILON + sum_orig) / (FLT_EPSILON + sum_out));
            boost = std::min(boost, 1.584893192f);
            for (int m = lo; m < hi; m++) {
                gain[m] *= boost;
                noise[m] *= boost;
                sine[m] *= boost;
            }
        }
    }
}

}  // namespace

void sbr_hf_adjust(const sbr_band_tables &t, const sbr_header &h, const sbr_frame_data &d,
                   const sbr_energies &e, bool reset, sbr_channel *ch)
{
    const int M = t.m, kx = t.kx, L = d.grid.num_env;
    const int prev_transient = ch->prev_transient_at_end ? 0 : -1;
    uint8_t sines[sbr_max_envelopes][64];
    map_sinusoids(t, d, reset, ch, sines);
    envelope_gains g;
    envelope_gains_of(t, h, d, e, sines, prev_transient, ch, &g);

    const bool smooth = h.smoothing_mode == 0;
    if (reset || !ch->history_valid) {
        for (int j = 0; j < 4; j++) {
            std::memcpy(ch->gain_history[j], g.gain[0], sizeof(float) * M);
            std::memcpy(ch->noise_history[j], g.noise[0], sizeof(float) * M);
        }
        ch->history_pos = 0;
        ch->history_valid = 1;
    }

    const aac_sbr_kernels *k = aac_active_sbr_kernels;
    int noise_index = ch->noise_index, sine_index = ch->sine_index;
    for (int l = 0; l < L; l++) {
        const bool noisy = l != d.grid.transient && l != prev_transient;
        const float *gain = g.gain[l], *noise = g.noise[l];
        for (int i = 2 * d.grid.t_env[l]; i < 2 * d.grid.t_env[l + 1]; i++) {
            const int pos = ch->history_pos;
            alignas(16) float g_filt[64], q_filt[64];
            const float *gs = gain, *qs = noise;
            if (smooth && noisy) {
                const float *past_g[4], *past_q[4];
                for (int j = 0; j < 4; j++) {
                    past_g[j] = ch->gain_history[(pos + 3 - j) & 3];
                    past_q[j] = ch->noise_history[(pos + 3 - j) & 3];
                }
                k->hf_smooth(g_filt, gain, past_g, sbr_smoothing_filter, M);
                k->hf_smooth(q_filt, noise, past_q, sbr_smoothing_filter, M);
                gs = g_filt;
                qs = q_filt;
            }
            std::memcpy(ch->gain_history[pos], gain, sizeof(float) * M);
            std::memcpy(ch->noise_history[pos], noise, sizeof(float) * M);
            ch->history_pos = (pos + 1) & 3;

            // Sinusoid phase j^sine_index, the imaginary part alternating
            // in sign from band to band, starting with band kx.
            const float phi_re = sine_index == 0 ? 1.0f : sine_index == 2 ? -1.0f : 0.0f;
            float phi_im = sine_index == 1 ? 1.0f : sine_index == 3 ? -1.0f : 0.0f;
            if (kx & 1)
                phi_im = -phi_im;
            k->hf_assemble(&ch->high_re[i + 2][kx], &ch->high_im[i + 2][kx], gs, qs, g.sine[l],
                           noise_index, phi_re, phi_im, noisy, M);
            noise_index = (noise_index + M) & 511;
            sine_index = (sine_index + 1) & 3;
        }
    }
    ch->noise_index = noise_index;
    ch->sine_index = sine_index;
    ch->prev_transient_at_end = d.grid.transient == L ? 1 : 0;
}

}  // namespace lumdec
