#include "filterbank_reference.h"

#include <cmath>
#include <map>
#include <numbers>

namespace {

// sum over k of ((x/2)^k / k!)^2
double bessel_i0(double x)
{
    double q = x * x / 4, term = 1, sum = 1;
    for (int k = 1; term > sum * 1e-20; k++) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

// Rising half (N/2 values) of the window of length N: shape 0 sine
// sin(pi/N (n + 0.5)), shape 1 Kaiser-Bessel-derived with alpha 4 for
// N = 2048 and 6 for N = 256.
std::vector<double> rising_half(int shape, int n_total)
{
    const int half = n_total / 2;
    std::vector<double> w(half);
    if (shape == 0) {
        for (int n = 0; n < half; n++)
            w[n] = std::sin(std::numbers::pi / n_total * (n + 0.5));
        return w;
    }
    const double alpha = n_total == 2048 ? 4 : 6;
    const double quarter = n_total / 4;
    std::vector<double> kernel(half + 1);
    double total = 0;
    for (int p = 0; p <= half; p++) {
        double r = (p - quarter) / quarter;
        kernel[p] = bessel_i0(std::numbers::pi * alpha * std::sqrt(1 - r * r));
        total += kernel[p];
    }
    double running = 0;
    for (int n = 0; n < half; n++) {
        running += kernel[n];
        w[n] = std::sqrt(running / total);
    }
    return w;
}

const std::vector<double> &rising(int shape, int n_total)
{
    static std::map<std::pair<int, int>, std::vector<double>> cache;
    auto &w = cache[{shape, n_total}];
    if (w.empty())
        w = rising_half(shape, n_total);
    return w;
}

}  // namespace

std::vector<double> reference_imdct(const float *spectrum, int n_total)
{
    // (n + n0)(k + 1/2) = (2n + N/2 + 1)(2k + 1) / 4, so every angle is a
    // whole multiple of 2 pi / 4N.
    const int period = 4 * n_total;
    std::vector<double> cosines(period);
    for (int m = 0; m < period; m++)
        cosines[m] = std::cos(2 * std::numbers::pi * m / period);
    std::vector<double> x(n_total);
    for (int n = 0; n < n_total; n++) {
        const long a = 2 * n + n_total / 2 + 1;
        double sum = 0;
        for (int k = 0; k < n_total / 2; k++)
            sum += spectrum[k] * cosines[a * (2 * k + 1) % period];
        x[n] = 2.0 / n_total * sum;
    }
    return x;
}

std::vector<double> reference_windowed_frame(const float *spectrum, uint32_t window_sequence,
                                             uint32_t window_shape, uint32_t rise_shape)
{
    std::vector<double> out(2048, 0.0);
    const std::vector<double> &short_own = rising(window_shape, 256);
    const std::vector<double> &short_rise = rising(rise_shape, 256);
    if (window_sequence == 2) {
        for (int w = 0; w < 8; w++) {
            std::vector<double> z = reference_imdct(spectrum + 128 * w, 256);
            const std::vector<double> &up = w == 0 ? short_rise : short_own;
            for (int j = 0; j < 128; j++) {
                out[448 + 128 * w + j] += z[j] * up[j];
                out[448 + 128 * w + 128 + j] += z[128 + j] * short_own[127 - j];
            }
        }
        return out;
    }
    std::vector<double> x = reference_imdct(spectrum, 2048);
    const std::vector<double> &long_own = rising(window_shape, 2048);
    const std::vector<double> &long_rise = rising(rise_shape, 2048);
    for (int n = 0; n < 1024; n++) {
        double w;
        if (window_sequence != 3)
            w = long_rise[n];
        else
            w = n < 448 ? 0 : n < 576 ? short_rise[n - 448] : 1;
        out[n] = x[n] * w;
    }
    for (int n = 1024; n < 2048; n++) {
        double w;
        if (window_sequence != 1)
            w = long_own[2047 - n];
        else
            w = n < 1472 ? 1 : n < 1600 ? short_own[1599 - n] : 0;
        out[n] = x[n] * w;
    }
    return out;
}
