// The filterbank against the standard's definitions evaluated directly in
// double (filterbank_reference.h): spectra through inverse_transform and the
// output stage for every pair of window sequences and shapes, including
// mismatched transitions no valid stream has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>

#include "filterbank_reference.h"
#include "synthesis/filterbank.h"

using namespace lumdec;

namespace {

// Spectra with a falling envelope, like coded audio: one for each side of
// the boundary.
const float *spectrum(int id)
{
    static std::vector<float> data[2];
    if (data[0].empty()) {
        std::mt19937 rng(2024);
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        for (int s = 0; s < 2; s++)
            for (int k = 0; k < 1024; k++)
                data[s].push_back(dist(rng) * 3000.0f / (1.0f + (k % 128) / 16.0f));
    }
    return data[id].data();
}

struct Frame {
    uint32_t sequence, shape;
    int id;  // of the spectrum
    aac_ics_info info() const { return {sequence, shape, 0, 0, {}}; }
};

// A frame's spectrum folded the way the channel pipeline leaves it.
void load_coef(float *coef, const Frame &f)
{
    std::memcpy(coef, spectrum(f.id), 4096);
    const aac_ics_info info = f.info();
    inverse_transform(&info, coef);
}

// Output between guard zones; every output starts as a NaN that the stage
// must overwrite.
struct GuardedOutput {
    static constexpr uint32_t kSentinel = 0x7fc0dead;
    alignas(16) uint32_t buffer[128 + 2048 + 128];
    GuardedOutput() { std::fill_n(buffer, std::size(buffer), kSentinel); }
    float *out() { return reinterpret_cast<float *>(buffer + 128); }
    bool guards_intact() const
    {
        return std::count(buffer, buffer + 128, kSentinel) == 128 &&
               std::count(buffer + 2176, buffer + 2304, kSentinel) == 128;
    }
};

std::vector<float> run_output(const aac_channel_gain *gain, const Frame &prev, const Frame &cur)
{
    alignas(16) static float p[1024], c[1024];
    load_coef(p, prev);
    load_coef(c, cur);
    const aac_ics_info pi = prev.info(), ci = cur.info();
    GuardedOutput g;
    overlap_add_frame(gain, g.out(), &pi, p, &ci, c);
    EXPECT_TRUE(g.guards_intact());
    return std::vector<float>(g.out(), g.out() + 1024);
}

// Every pair of sequences and shapes, mismatched transitions too: the
// previous frame's second half plus the current frame's first half, whose
// first slope takes the previous frame's shape, scaled by g / 32768.
TEST(OutputStage, EveryTransitionEqualsTheStandardOverlapAdd)
{
    const float g = 0.75f;
    struct alignas(16) {
        aac_channel_gain set;
    } static gain;
    aac_fill_channel_gain(&gain.set, g);
    std::map<std::tuple<uint32_t, uint32_t, uint32_t, int>, std::vector<double>> windowed;
    auto reference = [&](const Frame &f, uint32_t rise_shape) -> const std::vector<double> & {
        auto &x = windowed[{f.sequence, f.shape, rise_shape, f.id}];
        if (x.empty())
            x = reference_windowed_frame(spectrum(f.id), f.sequence, f.shape, rise_shape);
        return x;
    };
    for (uint32_t ps = 0; ps < 4; ps++)
        for (uint32_t cs = 0; cs < 4; cs++)
            for (uint32_t shapes = 0; shapes < 4; shapes++) {
                const Frame prev{ps, shapes & 1, 0}, cur{cs, shapes >> 1, 1};
                SCOPED_TRACE(::testing::Message() << "sequences " << ps << " -> " << cs << ", shapes " << shapes);
                const std::vector<float> out = run_output(&gain.set, prev, cur);
                const std::vector<double> &p = reference(prev, prev.shape), &c = reference(cur, prev.shape);
                double peak = 0, err = 0;
                for (int n = 0; n < 1024; n++) {
                    const double ref = (p[1024 + n] + c[n]) * g / 32768;
                    ASSERT_TRUE(std::isfinite(out[n])) << "sample " << n;
                    peak = std::max(peak, std::fabs(ref));
                    err = std::max(err, std::fabs(out[n] - ref));
                }
                ASSERT_GT(peak, 1e-3);
                EXPECT_LT(err / peak, 1e-6);
            }
}

}  // namespace
