// Mixing: the matrices give each intensity and coherence index its power
// ratio and correlation, and ps_apply moves between them slot by slot as a
// double-precision evaluation of the mixing formulas does, across frames,
// with both mixing procedures and both intensity resolutions.  (Envelope
// borders and frames without parameters: the PS streams.)
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <numbers>

#include "ps/ps_layout.h"
#include "ps_runner.h"

namespace {

using namespace lumdec;
using cdouble = std::complex<double>;
using Matrix = std::array<double, 4>;  // h11, h12, h21, h22

const double kDefaultDb[15] = {-25, -18, -14, -10, -7, -4, -2, 0, 2, 4, 7, 10, 14, 18, 25};
const double kFineDb[31] = {-50, -45, -40, -35, -30, -25, -22, -19, -16, -13, -10, -8, -6, -4, -2, 0,
                            2,   4,   6,   8,   10,  13,  16,  19,  22,  25,  30,  35,  40,  45,  50};
const double kRho[8] = {1, 0.937, 0.84118, 0.60092, 0.36764, 0, -0.589, -1};

double db_of(bool fine, int iid)
{
    return fine ? kFineDb[iid + 15] : kDefaultDb[iid + 7];
}

// Rotation by the coherence angle, tilted towards the louder channel.
Matrix mix_a(double db, double rho)
{
    const double c = std::pow(10.0, db / 20), c1 = std::sqrt(2 / (1 + c * c)), c2 = c * c1;
    const double alpha = std::acos(rho) / 2, beta = alpha * (c1 - c2) / std::numbers::sqrt2;
    return {c2 * std::cos(beta + alpha), c1 * std::cos(beta - alpha), c2 * std::sin(beta + alpha),
            c1 * std::sin(beta - alpha)};
}

// Mono and decorrelated signal scaled to the eigenvalues of the target
// covariance and rotated onto its principal axes (coherence at least 0.05).
Matrix mix_b(double db, double rho)
{
    const double c = std::pow(10.0, db / 20);
    rho = std::max(rho, 0.05);
    double alpha = db == 0 ? std::numbers::pi / 4 : std::atan(2 * c * rho / (c * c - 1)) / 2;
    if (alpha < 0)
        alpha += std::numbers::pi / 2;
    const double m = c + 1 / c, mu = std::sqrt(1 + (4 * rho * rho - 4) / (m * m));
    const double gamma = std::atan(std::sqrt((1 - mu) / (1 + mu)));
    const double r = std::numbers::sqrt2;
    return {r * std::cos(alpha) * std::cos(gamma), r * std::sin(alpha) * std::cos(gamma),
            -r * std::sin(alpha) * std::sin(gamma), r * std::cos(alpha) * std::sin(gamma)};
}

Matrix expected_matrix(bool mixing_b, bool fine, int iid, int icc)
{
    return mixing_b ? mix_b(db_of(fine, iid), kRho[icc]) : mix_a(db_of(fine, iid), kRho[icc]);
}

TEST(PsMix, MatricesGiveEveryIndexPairItsPowerRatioAndCorrelation)
{
    for (bool mixing_b : {false, true})
        for (bool fine : {false, true})
            for (int iid = fine ? -15 : -7; iid <= (fine ? 15 : 7); iid++)
                for (int icc = 0; icc < 8; icc++) {
                    const float *h = ps_matrix(mixing_b, fine, iid, icc);
                    // left = h11 s + h21 d, right = h12 s + h22 d, s and d
                    // uncorrelated of unit power.
                    const double left = double(h[0]) * h[0] + double(h[2]) * h[2];
                    const double right = double(h[1]) * h[1] + double(h[3]) * h[3];
                    const double cross = double(h[0]) * h[1] + double(h[2]) * h[3];
                    const double rho = mixing_b ? std::max(kRho[icc], 0.05) : kRho[icc];
                    const std::string what = std::string(mixing_b ? "R_b" : "R_a") + (fine ? " fine " : " default ") +
                                             std::to_string(iid) + "/" + std::to_string(icc);
                    EXPECT_NEAR(left + right, 2.0, 1e-6) << what;
                    EXPECT_NEAR(10 * std::log10(left / right), db_of(fine, iid), 1e-3) << what;
                    EXPECT_NEAR(cross / std::sqrt(left * right), rho, 2e-4) << what;
                }
}

// A steady tone in QMF band 40: one slot of delay is its decorrelator and
// the transient gain stays 1, so left = h11 s + h21 s(t-1).
QmfSignal steady_tone(int frames)
{
    QmfSignal in = silent_signal(32 * frames + PS_LOOKAHEAD_SLOTS);
    for (size_t t = 0; t < in.size(); t++)
        in[t][40] = cfloat(std::polar(0.7, 0.9 * static_cast<double>(t)));
    return in;
}

void expect_mixed(const QmfSignal &in, const PsOutput &out, size_t t, const Matrix &h, const std::string &what)
{
    const cdouble s = in[t][40], d = t ? cdouble(in[t - 1][40]) : 0.0;
    const cdouble left = h[0] * s + h[2] * d, right = h[1] * s + h[3] * d;
    ASSERT_LT(std::abs(cdouble(out.left[t][40]) - left), 3e-6) << what << ", slot " << t;
    ASSERT_LT(std::abs(cdouble(out.right[t][40]) - right), 3e-6) << what << ", slot " << t;
}

TEST(PsMix, FramesMoveFromMatrixToMatrixAsTheFormulasSay)
{
    for (bool mixing_b : {false, true})
        for (bool fine : {false, true}) {
            struct Step {
                int iid, icc;
            };
            std::vector<Step> steps;
            for (int iid = fine ? -15 : -7; iid <= (fine ? 15 : 7); iid++)
                for (int icc = 0; icc < 8; icc++)
                    steps.push_back({iid, icc});
            const int frames = static_cast<int>(steps.size());
            const QmfSignal in = steady_tone(frames);
            ps_state ps;
            ps_reset(&ps);
            const PsOutput out = run_ps(ps, in, frames, [&](int f) {
                set_uniform_frame(ps.frame, 20, fine, mixing_b, steps[static_cast<size_t>(f)].iid,
                                  steps[static_cast<size_t>(f)].icc);
            });
            Matrix from = {1, 1, 0, 0};
            for (int f = 0; f < frames; f++) {
                const Step &st = steps[static_cast<size_t>(f)];
                const Matrix to = expected_matrix(mixing_b, fine, st.iid, st.icc);
                for (int n = 0; n < 32; n++) {
                    Matrix h;
                    for (int r = 0; r < 4; r++)
                        h[static_cast<size_t>(r)] = from[static_cast<size_t>(r)] +
                            (n + 1) / 32.0 * (to[static_cast<size_t>(r)] - from[static_cast<size_t>(r)]);
                    expect_mixed(in, out, static_cast<size_t>(32 * f + n), h,
                                 std::string(mixing_b ? "R_b" : "R_a") + (fine ? " fine " : " default ") +
                                     std::to_string(st.iid) + "/" + std::to_string(st.icc));
                }
                from = to;
            }
        }
}

}  // namespace
