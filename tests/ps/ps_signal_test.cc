// The signal path of parametric stereo: hybrid analysis and synthesis give
// back their input in step, each sub-subband takes its own part of the
// spectrum, and the all-pass chain has its transfer function in both band
// configurations.  Expected values come from double-precision evaluations
// written here from the definitions.  (The transient gain: the PS streams.)
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "ps/ps_layout.h"
#include "ps_runner.h"

namespace {

using namespace lumdec;
using cdouble = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// Centre frequencies of the sub-subbands in QMF band widths, and the QMF
// band each comes from.
const double kCentre20[10] = {-0.375, -0.125, 0.125, 0.375, 0.625, 0.875, 1.25, 1.75, 2.25, 2.75};
const int kSource20[10] = {0, 0, 0, 0, 0, 0, 1, 1, 2, 2};
const double kCentre34[32] = {1 / 12.0, 3 / 12.0, 5 / 12.0, 7 / 12.0, 9 / 12.0, 11 / 12.0, 13 / 12.0,
                              15 / 12.0, 17 / 12.0, -5 / 12.0, -3 / 12.0, -1 / 12.0, 2.125, 2.375, 0.625,
                              0.875, 1.125, 1.375, 1.625, 1.875, 2.25, 2.75, 3.25, 1.75, 4.25, 2.75, 3.25,
                              3.75, 4.25, 4.75, 5.25, 3.75};
const int kSource34[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1,
                           1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4};

QmfSignal random_signal(int slots, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    QmfSignal s = silent_signal(slots);
    for (auto &row : s)
        for (cfloat &v : row)
            v = {u(rng), u(rng)};
    return s;
}

TEST(PsHybrid, IdentityMixingGivesBackTheInputInStepInBothConfigurations)
{
    constexpr int kFrames = 12;
    const QmfSignal in = random_signal(32 * kFrames + PS_LOOKAHEAD_SLOTS, 3);
    ps_state ps;
    ps_reset(&ps);
    // Held start state, then the 34-band and the 20-band configuration with
    // the parameters of a plain copy.
    const PsOutput out = run_ps(ps, in, kFrames, [&](int f) {
        if (f >= 4)
            set_uniform_frame(ps.frame, f < 8 ? 34 : 20, false, false, 0, 0);
    });
    double worst = 0;
    for (size_t t = 0; t < out.left.size(); t++)
        for (size_t k = 0; k < 64; k++) {
            worst = std::max(worst, static_cast<double>(std::abs(out.left[t][k] - in[t][k])));
            ASSERT_EQ(out.left[t][k], out.right[t][k]) << "slot " << t << " band " << k;
        }
    EXPECT_LT(worst, 2e-6);
}

TEST(PsHybrid, EachSubbandTakesItsOwnPartOfTheSplitBands)
{
    for (int config : {20, 34}) {
        const ps_layout &layout = ps_layout_of(config);
        const double *centre = config == 20 ? kCentre20 : kCentre34;
        const int *source = config == 20 ? kSource20 : kSource34;
        for (int k = 0; k < layout.sub; k++) {
            // A tone at the sub-subband's centre: a QMF band advances its
            // phase by pi times the frequency in band widths per slot.
            float x_re[32 + PS_LOOKAHEAD_SLOTS][64] = {}, x_im[32 + PS_LOOKAHEAD_SLOTS][64] = {};
            for (int n = 0; n < 32 + PS_LOOKAHEAD_SLOTS; n++) {
                x_re[n][source[k]] = static_cast<float>(std::cos(kPi * centre[k] * n));
                x_im[n][source[k]] = static_cast<float>(std::sin(kPi * centre[k] * n));
            }
            ps_state ps;
            ps_reset(&ps);
            ps_hybrid_analysis(&ps, layout, x_re, x_im, 32);
            int loudest = -1;
            double loudest_power = 0;
            for (int j = 0; j < layout.sub; j++) {
                if (source[j] != source[k])
                    continue;
                double power = 0;
                for (int n = 6; n < 32; n++) {
                    const float re = ps.s_re[PS_LONG_DELAY + n][j], im = ps.s_im[PS_LONG_DELAY + n][j];
                    power += re * re + im * im;
                }
                if (power > loudest_power) {
                    loudest_power = power;
                    loudest = j;
                }
            }
            EXPECT_EQ(loudest, k) << config << "-band configuration, sub-subband " << k;
        }
    }
}

// Impulse response of one band of the decorrelator: the two-slot pre-delay
// with its phase, then three all-pass sections in direct form II.
std::vector<cdouble> allpass_response(double f, double decay, int slots)
{
    const int delay[3] = {3, 4, 5};
    const double fraction[3] = {0.43, 0.75, 0.347};
    std::vector<cdouble> x(static_cast<size_t>(slots));
    for (int n = 2; n < slots; n++)
        x[static_cast<size_t>(n)] = n == 2 ? std::polar(1.0, -kPi * 0.39 * f) : 0.0;
    for (int m = 0; m < 3; m++) {
        const cdouble q = std::polar(1.0, -kPi * fraction[m] * f);
        const double a = std::exp(-delay[m] / 7.0) * decay;
        std::vector<cdouble> v(static_cast<size_t>(slots)), y(static_cast<size_t>(slots));
        for (int n = 0; n < slots; n++) {
            const cdouble back = n >= delay[m] ? v[static_cast<size_t>(n - delay[m])] : 0.0;
            v[static_cast<size_t>(n)] = x[static_cast<size_t>(n)] + a * q * back;
            y[static_cast<size_t>(n)] = -a * v[static_cast<size_t>(n)] + q * back;
        }
        x = y;
    }
    return x;
}

TEST(PsDecorrelator, AllPassChainHasItsTransferFunctionInEveryBand)
{
    constexpr int kSlots = 96;
    for (int config : {20, 34}) {
        const ps_layout &layout = ps_layout_of(config);
        const int bands = (layout.allpass + 3) & ~3;
        // Unit impulses at slot 0 in every band, two rows of silence before.
        std::vector<float> s_re((PS_PRE_DELAY + kSlots) * PS_STRIDE), s_im(s_re.size());
        for (int k = 0; k < bands; k++)
            s_re[PS_PRE_DELAY * PS_STRIDE + k] = 1.0f;
        alignas(16) static float link_re[PS_NUM_LINKS][PS_MAX_LINK_DELAY + kSlots][PS_ALLPASS_STRIDE];
        alignas(16) static float link_im[PS_NUM_LINKS][PS_MAX_LINK_DELAY + kSlots][PS_ALLPASS_STRIDE];
        alignas(16) static float d_re[kSlots][PS_STRIDE], d_im[kSlots][PS_STRIDE];
        std::fill(&link_re[0][0][0], &link_re[0][0][0] + sizeof link_re / sizeof(float), 0.0f);
        std::fill(&link_im[0][0][0], &link_im[0][0][0] + sizeof link_im / sizeof(float), 0.0f);
        ps_allpass_job job;
        job.s_re = s_re.data() + PS_PRE_DELAY * PS_STRIDE;
        job.s_im = s_im.data() + PS_PRE_DELAY * PS_STRIDE;
        for (int m = 0; m < PS_NUM_LINKS; m++) {
            job.link_re[m] = link_re[m][PS_MAX_LINK_DELAY];
            job.link_im[m] = link_im[m][PS_MAX_LINK_DELAY];
        }
        job.d_re = d_re[0];
        job.d_im = d_im[0];
        job.table = layout.decorrelator;
        job.bands = bands;
        job.num_slots = kSlots;
        ps_active_kernels->allpass(&job);
        const double *centre = config == 20 ? kCentre20 : kCentre34;
        for (int k = 0; k < layout.allpass; k++) {
            const int q = k < layout.sub ? -1 : k - layout.sub + layout.split;
            const double f = q < 0 ? centre[k] : q + 0.5;
            const double decay = q <= 3 ? 1.0 : std::max(0.0, 1.0 - 0.05 * (q - 3));
            const std::vector<cdouble> expected = allpass_response(f, decay, kSlots);
            for (int n = 0; n < kSlots; n++)
                ASSERT_LT(std::abs(cdouble(d_re[n][k], d_im[n][k]) - expected[static_cast<size_t>(n)]), 2e-6)
                    << config << "-band configuration, band " << k << ", slot " << n;
        }
    }
}

}  // namespace
