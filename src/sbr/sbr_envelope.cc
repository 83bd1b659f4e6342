#include "sbr/sbr_envelope.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumdec {

namespace {

const uint8_t *table_of(const sbr_band_tables &t, int freq_res)
{
    return freq_res ? t.f_high : t.f_low;
}

int bands_of(const sbr_band_tables &t, int freq_res)
{
    return freq_res ? t.n_high : t.n_low;
}

// 2^(q / 2) for any integer q, exact to the rounding of sqrt(2).
float half_power(int q)
{
    const float root = (q & 1) ? 1.41421356237f : 1.0f;
    return std::ldexp(root, q >> 1);
}

// 2^(v / a) for a = 1 or 2.
float step_power(int v, int a)
{
    return a == 2 ? half_power(v) : std::ldexp(1.0f, v);
}

}  // namespace

void sbr_decode_levels(const sbr_band_tables &t, const sbr_frame_data &d, sbr_channel *ch,
                       sbr_levels *out)
{
    // The last envelope by QMF band: time differences read the band of the
    // previous envelope that holds the current band's lower edge.
    int32_t *by_band = ch->prev_env_by_band;
    for (int l = 0; l < d.grid.num_env; l++) {
        const uint8_t *table = table_of(t, d.grid.freq_res[l]);
        const int n = bands_of(t, d.grid.freq_res[l]);
        int32_t *row = out->env[l];
        if (d.df_env[l] == 0) {
            int32_t acc = 0;
            for (int k = 0; k < n; k++) {
                acc += d.env[l][k];
                row[k] = acc;
            }
        } else {
            for (int k = 0; k < n; k++)
                row[k] = by_band[table[k]] + d.env[l][k];
        }
        for (int k = 0; k < n; k++)
            for (int b = table[k]; b < table[k + 1]; b++)
                by_band[b] = row[k];
    }
    for (int l = 0; l < d.grid.num_noise; l++) {
        int32_t *row = out->noise[l];
        if (d.df_noise[l] == 0) {
            int32_t acc = 0;
            for (int k = 0; k < t.n_noise; k++) {
                acc += d.noise[l][k];
                row[k] = acc;
            }
        } else {
            for (int k = 0; k < t.n_noise; k++)
                row[k] = ch->prev_noise[k] + d.noise[l][k];
        }
        std::memcpy(ch->prev_noise, row, sizeof(int32_t) * t.n_noise);
    }
}

// Values outside the coded ranges only come from damaged time differences;
// they are clamped so that no energy overflows.
void sbr_dequantise(const sbr_band_tables &t, const sbr_frame_data &d, const sbr_levels &levels,
                    sbr_energies *out)
{
    const int a = d.amp_res ? 1 : 2;
    const int top = a == 2 ? 127 : 63;
    for (int l = 0; l < d.grid.num_env; l++) {
        const int n = bands_of(t, d.grid.freq_res[l]);
        for (int k = 0; k < n; k++)
            out->env[l][k] = 64.0f * step_power(std::clamp(levels.env[l][k], 0, top), a);
    }
    for (int l = 0; l < d.grid.num_noise; l++)
        for (int k = 0; k < t.n_noise; k++)
            out->noise[l][k] = std::ldexp(1.0f, 6 - std::clamp(levels.noise[l][k], 0, 30));
}

void sbr_dequantise_coupled(const sbr_band_tables &t, const sbr_frame_data &d,
                            const sbr_levels &level, const sbr_levels &balance,
                            sbr_energies *out0, sbr_energies *out1)
{
    const int a = d.amp_res ? 1 : 2;
    const int top = a == 2 ? 127 : 63;
    const int pan = a == 2 ? 24 : 12;
    for (int l = 0; l < d.grid.num_env; l++) {
        const int n = bands_of(t, d.grid.freq_res[l]);
        for (int k = 0; k < n; k++) {
            const float e = 64.0f * 2.0f * step_power(std::clamp(level.env[l][k], 0, top), a);
            const int b = std::clamp(balance.env[l][k], 0, 2 * pan);
            out0->env[l][k] = e / (1.0f + step_power(pan - b, a));
            out1->env[l][k] = e / (1.0f + step_power(b - pan, a));
        }
    }
    for (int l = 0; l < d.grid.num_noise; l++) {
        for (int k = 0; k < t.n_noise; k++) {
            const float q = std::ldexp(1.0f, 7 - std::clamp(level.noise[l][k], 0, 30));
            const int b = std::clamp(balance.noise[l][k], 0, 24);
            out0->noise[l][k] = q / (1.0f + std::ldexp(1.0f, 12 - b));
            out1->noise[l][k] = q / (1.0f + std::ldexp(1.0f, b - 12));
        }
    }
}

void sbr_conceal_data(const sbr_band_tables &t, int prev_end, sbr_frame_data *d)
{
    sbr_grid &g = d->grid;
    const uint8_t res = g.num_env > 0 ? g.freq_res[g.num_env - 1] : 1;
    g.frame_class = 0;
    g.num_env = 1;
    g.num_noise = 1;
    g.transient = -1;
    g.t_env[0] = std::clamp(prev_end - 16, 0, 3);
    g.t_env[1] = 16;
    g.t_noise[0] = g.t_env[0];
    g.t_noise[1] = 16;
    g.freq_res[0] = res;
    d->df_env[0] = 1;
    d->df_noise[0] = 1;
    std::memset(d->env, 0, sizeof d->env);
    std::memset(d->noise, 0, sizeof d->noise);
    (void)t;
}

}  // namespace lumdec
