// Accuracy of every transform slot, in both tables, against direct
// double-precision sums computed here: the DFT, the real DFT in the kernels'
// packed layout, and the DCT-IV.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"

using namespace lumdec;

namespace {

using cd = std::complex<double>;

enum Op { kForward, kInverse, kRealForward, kDct4 };
// What each slot of aac_transform_slots computes.
const Op kOps[] = {kForward, kInverse, kForward, kInverse, kForward, kInverse,
                   kForward, kInverse, kRealForward, kRealForward, kDct4, kDct4, kForward};
static_assert(std::size(kOps) == std::size(aac_transform_slots), "every slot needs its operation");

// sum over n of x[n] exp(sign j 2 pi n k / M)
std::vector<cd> dft(const std::vector<cd> &x, int sign)
{
    const size_t m = x.size();
    std::vector<cd> w(m), out(m);
    for (size_t i = 0; i < m; i++)
        w[i] = std::polar(1.0, sign * 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(m));
    for (size_t k = 0; k < m; k++)
        for (size_t n = 0; n < m; n++)
            out[k] += x[n] * w[n * k % m];
    return out;
}

// What the slot should produce from x, in the slot's output layout.
std::vector<double> reference(Op op, const std::vector<float> &x)
{
    const size_t size = x.size(), m = size / 2;
    std::vector<double> out(size);
    if (op == kDct4) {
        std::vector<double> c(8 * size);  // cos(pi/L (n+1/2)(k+1/2)) = c[(2n+1)(2k+1) mod 8L]
        for (size_t i = 0; i < c.size(); i++)
            c[i] = std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(8 * size));
        for (size_t n = 0; n < size; n++)
            for (size_t k = 0; k < size; k++)
                out[n] += x[k] * c[(2 * n + 1) * (2 * k + 1) % (8 * size)];
        return out;
    }
    std::vector<cd> z(op == kRealForward ? size : m);
    for (size_t i = 0; i < z.size(); i++)
        z[i] = op == kRealForward ? cd(x[i]) : cd(x[2 * i], x[2 * i + 1]);
    const std::vector<cd> spectrum = dft(z, op == kInverse ? 1 : -1);
    for (size_t k = 0; k < m; k++) {
        // The real transform packs bin M into bin 0's imaginary part, and
        // its split leaves bin M/2 conjugated.
        const cd v = op != kRealForward ? spectrum[k]
                     : k == 0           ? cd(spectrum[0].real(), spectrum[m].real())
                     : k == m / 2       ? std::conj(spectrum[k])
                                        : spectrum[k];
        out[2 * k] = v.real();
        out[2 * k + 1] = v.imag();
    }
    return out;
}

// Bounds with headroom over what the kernels achieve: a relative RMS error
// of 1.0 to 1.5e-7 and peaks up to 8.1e-7 of the reference's RMS, from 64
// to 2048 values.
constexpr double kMaxRelRms = 2.5e-7, kMaxRelPeak = 1.5e-6;

TEST(TransformKernels, AgreeWithDirectSums)
{
    for (const aac_transform_kernels *table : {&aac_transform_kernels_generic, &aac_transform_kernels_sse2}) {
        for (size_t slot = 0; slot < std::size(aac_transform_slots); slot++) {
            const aac_transform_slot &s = aac_transform_slots[slot];
            std::mt19937 rng(static_cast<uint32_t>(slot));
            std::vector<std::vector<float>> inputs;
            for (float scale : {1.0f, 3.0e-20f, 32768.0f, 5.0e20f}) {
                std::uniform_real_distribution<float> dist(-scale, scale);
                inputs.emplace_back(s.floats);
                for (float &v : inputs.back())
                    v = dist(rng);
            }
            for (size_t pos : {size_t{0}, size_t{1}, size_t{2}, s.floats / 2 + 1, s.floats - 1}) {
                inputs.emplace_back(s.floats, 0.0f);
                inputs.back()[pos] = -2.5f;
            }
            for (const std::vector<float> &x : inputs) {
                alignas(16) static float y[2048];
                std::copy(x.begin(), x.end(), y);
                (table->*s.fn)(y);
                const std::vector<double> ref = reference(kOps[slot], x);
                double e2 = 0, r2 = 0, peak = 0;
                for (size_t i = 0; i < x.size(); i++) {
                    e2 += (y[i] - ref[i]) * (y[i] - ref[i]);
                    r2 += ref[i] * ref[i];
                    peak = std::max(peak, std::fabs(y[i] - ref[i]));
                }
                EXPECT_LT(std::sqrt(e2 / r2), kMaxRelRms) << s.name;
                EXPECT_LT(peak / std::sqrt(r2 / static_cast<double>(x.size())), kMaxRelPeak) << s.name;
            }
        }
    }
}

}  // namespace
