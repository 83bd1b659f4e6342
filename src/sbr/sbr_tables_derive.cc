// Band tables from a header.  Every value is an integer QMF band; the few
// logarithms and powers of the derivation are taken in double precision and
// rounded to the nearest integer, as the band borders are defined.
#include "sbr/sbr_tables_derive.h"

#include <algorithm>
#include <cmath>

#include "sbr/sbr_tables.h"

namespace lumdec {

namespace {

int nearest_int(double x)
{
    return static_cast<int>(std::floor(x + 0.5));
}

// The band widths of one logarithmic region from a to b in n bands, sorted.
void log_widths(int a, int b, int n, int *widths)
{
    const double ratio = static_cast<double>(b) / a;
    int prev = a;
    for (int k = 0; k < n; k++) {
        const int next = nearest_int(a * std::pow(ratio, static_cast<double>(k + 1) / n));
        widths[k] = next - prev;
        prev = next;
    }
    std::sort(widths, widths + n);
}

bool master_linear(const sbr_header &h, sbr_band_tables *t)
{
    const int k0 = t->k0, k2 = t->k2;
    const int dk = h.alter_scale ? 2 : 1;
    const int bands = h.alter_scale ? 2 * nearest_int((k2 - k0) / 4.0) : 2 * ((k2 - k0) / 2);
    if (bands <= 0 || bands > 64)
        return false;
    int widths[64];
    std::fill(widths, widths + bands, dk);
    int diff = k2 - (k0 + bands * dk);
    // Too far: narrow the lowest bands; not far enough: widen the highest.
    for (int k = diff < 0 ? 0 : bands - 1; diff != 0 && k >= 0 && k < bands;) {
        const int step = diff < 0 ? 1 : -1;
        widths[k] -= step;
        k += step;
        diff += step;
    }
    t->n_master = bands;
    t->f_master[0] = static_cast<uint8_t>(k0);
    for (int k = 1; k <= bands; k++) {
        if (widths[k - 1] <= 0)
            return false;
        t->f_master[k] = static_cast<uint8_t>(t->f_master[k - 1] + widths[k - 1]);
    }
    return true;
}

bool master_log(const sbr_header &h, sbr_band_tables *t)
{
    static const int bands_per_octave[3] = {12, 10, 8};
    const int k0 = t->k0, k2 = t->k2;
    const double bands = bands_per_octave[h.freq_scale - 1];
    const double warp = h.alter_scale ? 1.3 : 1.0;
    const bool two_regions = static_cast<double>(k2) / k0 > 2.2449;
    const int k1 = two_regions ? 2 * k0 : k2;

    const int n0 = 2 * nearest_int(bands * std::log(static_cast<double>(k1) / k0) / (2 * std::log(2.0)));
    if (n0 <= 0 || n0 > 64)
        return false;
    int w0[64];
    log_widths(k0, k1, n0, w0);
    if (w0[0] <= 0)
        return false;
    t->f_master[0] = static_cast<uint8_t>(k0);
    for (int k = 1; k <= n0; k++)
        t->f_master[k] = static_cast<uint8_t>(t->f_master[k - 1] + w0[k - 1]);
    t->n_master = n0;
    if (!two_regions)
        return true;

    const int n1 =
        2 * nearest_int(bands * std::log(static_cast<double>(k2) / k1) / (2 * std::log(2.0) * warp));
    if (n1 <= 0 || n0 + n1 > 64)
        return false;
    int w1[64];
    log_widths(k1, k2, n1, w1);
    // The upper region's narrowest band is made no narrower than the lower
    // region's widest, within half the upper region's spread.
    if (w1[0] < w0[n0 - 1]) {
        const int change = std::min(w0[n0 - 1] - w1[0], (w1[n1 - 1] - w1[0]) / 2);
        w1[0] += change;
        w1[n1 - 1] -= change;
        std::sort(w1, w1 + n1);
    }
    if (w1[0] <= 0)
        return false;
    for (int k = 1; k <= n1; k++)
        t->f_master[n0 + k] = static_cast<uint8_t>(t->f_master[n0 + k - 1] + w1[k - 1]);
    t->n_master = n0 + n1;
    return true;
}

// The patches that copy low bands up into [kx, kx + m).
bool derive_patches(int rate_index, sbr_band_tables *t)
{
    static const int rates[9] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000};
    const int goal = nearest_int(2.048e6 / rates[rate_index]);
    const int k0 = t->k0, kx = t->kx;
    int k = t->n_master;
    if (goal < kx + t->m) {
        k = 0;
        for (int i = 0; t->f_master[i] < goal; i++)
            k = i + 1;
    }
    int msb = k0, usb = kx, np = 0, sb = 0;
    for (int guard = 0;; guard++) {
        if (guard > 64)
            return false;
        int j = k + 1, odd;
        do {
            j--;
            sb = t->f_master[j];
            odd = (sb - 2 + k0) & 1;
        } while (sb > k0 - 1 + msb - odd && j > 0);
        const int width = std::max(sb - usb, 0);
        if (width > 0) {
            if (np == sbr_max_patches || k0 - odd - width < 0)
                return false;
            t->patch_bands[np] = static_cast<uint8_t>(width);
            t->patch_start[np] = static_cast<uint8_t>(k0 - odd - width);
            usb = sb;
            msb = sb;
            np++;
        } else {
            msb = kx;
        }
        if (t->f_master[k] - sb < 3)
            k = t->n_master;
        if (sb == kx + t->m)
            break;
    }
    if (np > 1 && t->patch_bands[np - 1] < 3)
        np--;
    if (np == 0 || np > 5)
        return false;
    t->num_patches = np;
    return true;
}

}  // namespace

void sbr_derive_limiter(const sbr_header &h, sbr_band_tables *t)
{
    if (h.limiter_bands == 0) {
        t->f_limiter[0] = t->f_low[0];
        t->f_limiter[1] = t->f_low[t->n_low];
        t->n_limiter = 1;
        return;
    }
    int borders[sbr_max_patches + 1];
    borders[0] = t->kx;
    for (int p = 0; p < t->num_patches; p++)
        borders[p + 1] = borders[p] + t->patch_bands[p];
    auto is_border = [&](int band) {
        return std::find(borders, borders + t->num_patches + 1, band) != borders + t->num_patches + 1;
    };
    int table[64 + sbr_max_patches];
    int n = 0;
    for (int k = 0; k <= t->n_low; k++)
        table[n++] = t->f_low[k];
    for (int p = 1; p < t->num_patches; p++)
        table[n++] = borders[p];
    std::sort(table, table + n);

    // Neighbours closer than the resolution asks are merged, keeping patch
    // borders.
    const float ratio = sbr_limiter_merge_ratio[h.limiter_bands];
    int kept = 0;
    for (int in = 1; in < n; in++) {
        const int candidate = table[in];
        if (static_cast<float>(candidate) >= static_cast<float>(table[kept]) * ratio)
            table[++kept] = candidate;
        else if (candidate == table[kept] || !is_border(candidate))
            continue;
        else if (!is_border(table[kept]))
            table[kept] = candidate;
        else
            table[++kept] = candidate;
    }
    // The last band always reaches the top of the high band, even when its
    // own border was merged away.
    kept = std::min(kept, sbr_max_limiter_bands);
    if (kept == 0)
        kept = 1;
    table[kept] = table[n - 1];
    for (int i = 0; i <= kept; i++)
        t->f_limiter[i] = static_cast<uint8_t>(table[i]);
    t->n_limiter = kept;
}

bool sbr_derive_tables(const sbr_header &h, int rate_index, sbr_band_tables *t)
{
    if (rate_index < 0 || rate_index > 8)
        return false;
    const sbr_rate_params &rate = sbr_rate_table[rate_index];
    t->k0 = rate.start_min + rate.start_offset[h.start_freq];
    if (h.stop_freq < 14)
        t->k2 = std::min(64, rate.stop_min + rate.stop_offset[h.stop_freq]);
    else
        t->k2 = std::min(64, (h.stop_freq == 14 ? 2 : 3) * t->k0);
    if (t->k0 <= 0 || t->k2 <= t->k0 || t->k2 - t->k0 > rate.max_span)
        return false;

    if (!(h.freq_scale == 0 ? master_linear(h, t) : master_log(h, t)))
        return false;
    if (h.xover_band >= t->n_master)
        return false;

    t->n_high = t->n_master - h.xover_band;
    for (int k = 0; k <= t->n_high; k++)
        t->f_high[k] = t->f_master[k + h.xover_band];
    t->n_low = (t->n_high + 1) / 2;
    t->f_low[0] = t->f_high[0];
    for (int k = 1; k <= t->n_low; k++)
        t->f_low[k] = t->f_high[2 * k - (t->n_high & 1)];
    t->kx = t->f_high[0];
    t->m = t->f_high[t->n_high] - t->kx;
    if (t->kx > 32 || t->kx + t->m > 64 || t->m <= 0 || t->m > 48)
        return false;

    const int n_q = h.noise_bands == 0
                        ? 1
                        : std::max(1, nearest_int(h.noise_bands *
                                                  std::log2(static_cast<double>(t->k2) / t->kx)));
    if (n_q > sbr_max_noise_bands)
        return false;
    t->n_noise = n_q;
    int i = 0;
    t->f_noise[0] = t->f_low[0];
    for (int k = 1; k <= n_q; k++) {
        i += (t->n_low - i) / (n_q + 1 - k);
        t->f_noise[k] = t->f_low[i];
    }

    if (!derive_patches(rate_index, t))
        return false;
    sbr_derive_limiter(h, t);
    return true;
}

}  // namespace lumdec
