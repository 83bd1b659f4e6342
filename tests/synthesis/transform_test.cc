// Accuracy of every transform slot, in both tables, against direct
// double-precision sums computed here: the DFT, the real DFT in the kernels'
// packed layout, and the DCT-IV.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <vector>

#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"

namespace {

using cd = std::complex<double>;

enum class op { fft_forward, fft_inverse, rfft, dct4 };

// What each slot of aac_transform_slots computes.
const op kOps[] = {op::fft_forward, op::fft_inverse, op::fft_forward, op::fft_inverse,
                   op::fft_forward, op::fft_inverse, op::fft_forward, op::fft_inverse,
                   op::rfft,        op::rfft,        op::dct4,        op::dct4};

struct table {
    const char *name;
    const aac_transform_kernels *kernels;
};

const table kTables[] = {{"generic", &aac_transform_kernels_generic},
                         {"sse2", &aac_transform_kernels_sse2}};

// Runs a slot on a 16-byte aligned copy of x.
std::vector<float> run(const table &t, const aac_transform_slot &s, const std::vector<float> &x)
{
    alignas(16) static float buffer[2048];
    std::copy(x.begin(), x.end(), buffer);
    (t.kernels->*s.fn)(buffer);
    return std::vector<float>(buffer, buffer + x.size());
}

// sum over n of x[n] * exp(sign * j*2*pi*n*k/M)
std::vector<cd> dft(const std::vector<cd> &x, int sign)
{
    size_t M = x.size();
    std::vector<cd> w(M), out(M);
    for (size_t i = 0; i < M; i++)
        w[i] = std::polar(1.0, sign * 2 * M_PI * static_cast<double>(i) / static_cast<double>(M));
    for (size_t k = 0; k < M; k++) {
        cd sum = 0;
        for (size_t n = 0; n < M; n++)
            sum += x[n] * w[n * k % M];
        out[k] = sum;
    }
    return out;
}

// What the slot should produce from x, in the slot's output layout.
std::vector<double> reference(op what, const std::vector<float> &x)
{
    std::vector<double> out(x.size());
    if (what == op::dct4) {
        size_t L = x.size();
        std::vector<double> c(8 * L);  // cos(pi/L (n+1/2)(k+1/2)) = c[(2n+1)(2k+1) mod 8L]
        for (size_t i = 0; i < c.size(); i++)
            c[i] = std::cos(2 * M_PI * static_cast<double>(i) / static_cast<double>(8 * L));
        for (size_t n = 0; n < L; n++) {
            double sum = 0;
            for (size_t k = 0; k < L; k++)
                sum += x[k] * c[(2 * n + 1) * (2 * k + 1) % (8 * L)];
            out[n] = sum;
        }
        return out;
    }
    if (what == op::rfft) {
        std::vector<cd> r(x.begin(), x.end());
        std::vector<cd> R = dft(r, -1);
        size_t M = x.size() / 2;
        out[0] = R[0].real();
        out[1] = R[M].real();
        for (size_t k = 1; k < M; k++) {
            cd v = k == M / 2 ? std::conj(R[k]) : R[k];  // the split leaves bin M/2 alone
            out[2 * k] = v.real();
            out[2 * k + 1] = v.imag();
        }
        return out;
    }
    std::vector<cd> z(x.size() / 2);
    for (size_t i = 0; i < z.size(); i++)
        z[i] = cd(x[2 * i], x[2 * i + 1]);
    std::vector<cd> Z = dft(z, what == op::fft_forward ? -1 : 1);
    for (size_t i = 0; i < Z.size(); i++) {
        out[2 * i] = Z[i].real();
        out[2 * i + 1] = Z[i].imag();
    }
    return out;
}

struct error {
    double rms = 0;  // RMS error over the RMS of the reference
    double max = 0;  // largest error over the RMS of the reference
};

error measure(const std::vector<float> &y, const std::vector<double> &ref)
{
    double e2 = 0, r2 = 0, emax = 0;
    for (size_t i = 0; i < y.size(); i++) {
        double e = y[i] - ref[i];
        e2 += e * e;
        r2 += ref[i] * ref[i];
        emax = std::max(emax, std::fabs(e));
    }
    double rms = std::sqrt(r2 / static_cast<double>(y.size()));
    return {std::sqrt(e2 / r2), emax / rms};
}

// Bounds with headroom over what the kernels achieve (printed by the first
// test): a relative RMS error of 1.0 to 1.5e-7 and peaks up to 8.1e-7 of
// the reference's RMS, from 64 to 2048 values.
constexpr double kMaxRelRms = 2.5e-7;
constexpr double kMaxRelPeak = 1.5e-6;

std::vector<float> random_input(std::mt19937 &rng, size_t n, float scale)
{
    std::uniform_real_distribution<float> dist(-scale, scale);
    std::vector<float> x(n);
    for (float &v : x)
        v = dist(rng);
    return x;
}

TEST(TransformKernels, AgreeWithDirectSums)
{
    std::printf("%-8s %-16s %12s %12s\n", "table", "slot", "rel RMS", "max/RMS");
    for (const table &t : kTables) {
        for (size_t k = 0; k < std::size(aac_transform_slots); k++) {
            const aac_transform_slot &s = aac_transform_slots[k];
            std::mt19937 rng(static_cast<uint32_t>(k));  // same inputs for both tables
            error worst;
            std::vector<std::vector<float>> inputs;
            for (float scale : {1.0f, 3.0e-20f, 32768.0f, 5.0e20f})
                inputs.push_back(random_input(rng, s.floats, scale));
            for (size_t pos : {size_t{0}, size_t{1}, size_t{2}, s.floats / 2 + 1, s.floats - 1}) {
                inputs.emplace_back(s.floats, 0.0f);
                inputs.back()[pos] = -2.5f;
            }
            for (const std::vector<float> &x : inputs) {
                error e = measure(run(t, s, x), reference(kOps[k], x));
                worst.rms = std::max(worst.rms, e.rms);
                worst.max = std::max(worst.max, e.max);
            }
            std::printf("%-8s %-16s %12.3g %12.3g\n", t.name, s.name, worst.rms, worst.max);
            EXPECT_LT(worst.rms, kMaxRelRms) << t.name << " " << s.name;
            EXPECT_LT(worst.max, kMaxRelPeak) << t.name << " " << s.name;
        }
    }
}

}  // namespace
