#include "conformance.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <cstdio>

namespace {

constexpr int kFrame = 1024, kBins = kFrame / 2 + 1, kBands = 16;
const double kBandEdges[kBands + 1] = {0,        1.0 / 64, 1.0 / 32, 3.0 / 64, 1.0 / 16, 3.0 / 32,
                                       1.0 / 8,  3.0 / 16, 1.0 / 4,  5.0 / 16, 3.0 / 8,  7.0 / 16,
                                       1.0 / 2,  5.0 / 8,  3.0 / 4,  7.0 / 8,  1};
constexpr double kRelFloor = 1e-4;
const double kAbsFloor = std::pow(2.0, -30) * kBins;

using cd = std::complex<double>;
using Spectra = std::vector<std::vector<cd>>;  // per block, kBins bins
using Bands = std::vector<std::vector<double>>;  // per block, kBands sums

void fft(std::vector<cd> &a)
{
    const int n = static_cast<int>(a.size());
    for (int i = 1, j = 0; i < n; i++) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (int len = 2; len <= n; len <<= 1)
        for (int i = 0; i < n; i += len)
            for (int k = 0; k < len / 2; k++) {
                const cd u = a[i + k], v = a[i + k + len / 2] * std::polar(1.0, -2 * std::numbers::pi / len * k);
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
}

// Spectra of the whole 1024-sample blocks of channel c, Hann-windowed.
Spectra block_spectra(const std::vector<float> &x, int channels, int c)
{
    Spectra spectra(x.size() / channels / kFrame, std::vector<cd>(kFrame));
    for (size_t f = 0; f < spectra.size(); f++) {
        for (int i = 0; i < kFrame; i++)
            spectra[f][i] = (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (kFrame - 1))) *
                            static_cast<double>(x[(f * kFrame + i) * channels + c]);
        fft(spectra[f]);
        spectra[f].resize(kBins);
    }
    return spectra;
}

int band_edge(int i) { return i == kBands ? kBins : static_cast<int>(std::lround(kBandEdges[i] * (kBins - 1))); }

template <class Cell>
Bands band_sums(size_t blocks, Cell cell)
{
    Bands out(blocks, std::vector<double>(kBands));
    for (size_t f = 0; f < blocks; f++)
        for (int b = 0; b < kBands; b++)
            for (int k = band_edge(b); k < band_edge(b + 1); k++)
                out[f][b] += cell(f, k);
    return out;
}

Bands power(const Spectra &s)
{
    return band_sums(s.size(), [&](size_t f, int k) { return std::norm(s[f][k]); });
}

double db(double a, double b, double floor) { return std::fabs(10.0 * std::log10((a + floor) / (b + floor))); }

// numpy's default percentile: linear interpolation between order statistics.
double percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const double pos = q / 100.0 * (v.size() - 1);
    const size_t lo = static_cast<size_t>(std::floor(pos)), hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (pos - lo);
}

double largest(const std::vector<double> &v) { return *std::max_element(v.begin(), v.end()); }

// The long-term normalised cross-spectrum per band of a channel pair, with
// the bands where both channels carry energy.
std::vector<double> coherence(const Spectra &a, const Spectra &b, std::vector<bool> &valid)
{
    const Bands cross = band_sums(a.size(), [&](size_t f, int k) { return std::real(a[f][k] * std::conj(b[f][k])); });
    const Bands ea = power(a), eb = power(b);
    std::vector<double> c(kBands), sa(kBands), sb(kBands), coh(kBands);
    for (size_t f = 0; f < a.size(); f++)
        for (int k = 0; k < kBands; k++) {
            c[k] += cross[f][k];
            sa[k] += ea[f][k];
            sb[k] += eb[f][k];
        }
    const double ma = largest(sa), mb = largest(sb);
    valid.assign(kBands, false);
    for (int k = 0; k < kBands; k++) {
        valid[k] = sa[k] > kRelFloor * ma && sb[k] > kRelFloor * mb && sa[k] > 0 && sb[k] > 0;
        if (valid[k])
            coh[k] = c[k] / std::sqrt(std::max(sa[k] * sb[k], 1e-300));
    }
    return coh;
}

}  // namespace

ExactFigures exact_figures(const std::vector<float> &out, const std::vector<float> &ref, int channels)
{
    ExactFigures figures;
    const size_t samples = ref.size() / channels;
    for (int c = 0; c < channels; c++) {
        double sum = 0, worst = 0;
        for (size_t i = 0; i < samples; i++) {
            const double d = static_cast<double>(out[i * channels + c]) - ref[i * channels + c];
            sum += d * d;
            worst = std::max(worst, std::fabs(d));
        }
        figures.rms = std::max(figures.rms, samples ? std::sqrt(sum / samples) : 0.0);
        figures.max = std::max(figures.max, worst);
    }
    return figures;
}

EnergyFigures energy_figures(const std::vector<float> &out, const std::vector<float> &ref, int channels,
                             const std::vector<std::pair<int, int>> &pairs)
{
    EnergyFigures r;
    std::vector<Spectra> so(channels), sr(channels);
    for (int c = 0; c < channels; c++) {
        so[c] = block_spectra(out, channels, c);
        sr[c] = block_spectra(ref, channels, c);
        const size_t frames = sr[c].size();
        if (frames == 0)
            continue;
        const Bands po = power(so[c]), pr = power(sr[c]);
        std::vector<double> lo(kBands), lr(kBands), fo(frames), fr(frames), dframe(frames), dcell;
        for (size_t f = 0; f < frames; f++)
            for (int b = 0; b < kBands; b++) {
                lo[b] += po[f][b];
                lr[b] += pr[f][b];
                fo[f] += po[f][b];
                fr[f] += pr[f][b];
            }
        for (int b = 0; b < kBands; b++)
            r.lt_band_db = std::max(r.lt_band_db, db(lo[b], lr[b], kRelFloor * largest(lr) + kAbsFloor * frames));
        for (size_t f = 0; f < frames; f++) {
            dframe[f] = db(fo[f], fr[f], kRelFloor * largest(fr) + kAbsFloor);
            const double cell_floor = kRelFloor * largest(pr[f]) + kAbsFloor;
            for (int b = 0; b < kBands; b++)
                if (pr[f][b] > cell_floor)
                    dcell.push_back(db(po[f][b], pr[f][b], cell_floor));
        }
        r.frame_db_p99 = std::max(r.frame_db_p99, percentile(dframe, 99));
        r.frame_db_max = std::max(r.frame_db_max, largest(dframe));
        if (!dcell.empty()) {
            r.cell_db_median = std::max(r.cell_db_median, percentile(dcell, 50));
            r.cell_db_p95 = std::max(r.cell_db_p95, percentile(dcell, 95));
        }
    }
    for (auto [a, b] : pairs) {
        std::vector<bool> vo, vr;
        const std::vector<double> co = coherence(so[a], so[b], vo), cr = coherence(sr[a], sr[b], vr);
        for (int k = 0; k < kBands; k++)
            if (vo[k] && vr[k])
                r.coherence_diff = std::max(r.coherence_diff, std::fabs(co[k] - cr[k]));
    }
    return r;
}

bool EnergyFigures::pass() const
{
    return lt_band_db <= 1.0 && frame_db_p99 <= 1.0 && frame_db_max <= 3.0 && cell_db_median <= 1.0 &&
           cell_db_p95 <= 6.0 && coherence_diff <= 0.25;
}

std::string EnergyFigures::describe() const
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "long-term band %.2f dB, frame p99 %.2f dB, frame max %.2f dB, cell median %.2f dB, "
                  "cell p95 %.2f dB, coherence diff %.3f",
                  lt_band_db, frame_db_p99, frame_db_max, cell_db_median, cell_db_p95, coherence_diff);
    return text;
}
