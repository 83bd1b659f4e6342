// The filterbank end to end: spectra through inverse_transform and the
// output stage, against the standard's windowed overlap-add evaluated
// directly in double (filterbank_reference.h), for every pair of window
// sequences and shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "filterbank_reference.h"
#include "kernels/kernel_tables.h"
#include "synthesis/filterbank.h"

namespace {

const char *const kSequenceNames[4] = {"ONLY_LONG", "LONG_START", "EIGHT_SHORT", "LONG_STOP"};

std::string transition(uint32_t prev, uint32_t cur)
{
    return std::string(kSequenceNames[prev]) + " -> " + kSequenceNames[cur];
}

bool matched(uint32_t prev, uint32_t cur)
{
    bool prev_ends_long = prev == AAC_ONLY_LONG_SEQUENCE || prev == AAC_LONG_STOP_SEQUENCE;
    bool cur_starts_long = cur == AAC_ONLY_LONG_SEQUENCE || cur == AAC_LONG_START_SEQUENCE;
    return prev_ends_long == cur_starts_long;
}

struct alignas(16) gain_box {
    aac_channel_gain set;
};

std::unique_ptr<gain_box> make_gain(float g)
{
    auto box = std::make_unique<gain_box>();
    aac_fill_channel_gain(&box->set, g);
    return box;
}

// Spectra with a falling envelope, like coded audio; one for each side of
// the boundary, and silence.
enum spectrum_id { SPECTRUM_PREV, SPECTRUM_CUR, SPECTRUM_SILENT };

const float *spectrum(spectrum_id id)
{
    static std::vector<float> data[3];
    if (data[0].empty()) {
        std::mt19937 rng(2024);
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        for (int s = 0; s < 2; s++)
            for (int k = 0; k < 1024; k++)
                data[s].push_back(dist(rng) * 3000.0f / (1.0f + (k % 128) / 16.0f));
        data[2].assign(1024, 0.0f);
    }
    return data[id].data();
}

struct frame {
    uint32_t sequence;
    uint32_t shape;
    spectrum_id id;
};

const std::vector<double> &windowed(const frame &f, uint32_t rise_shape)
{
    static std::map<std::tuple<uint32_t, uint32_t, uint32_t, int>, std::vector<double>> cache;
    auto &x = cache[{f.sequence, f.shape, rise_shape, f.id}];
    if (x.empty())
        x = reference_windowed_frame(spectrum(f.id), f.sequence, f.shape, rise_shape);
    return x;
}

// The standard's output of the frame boundary: the previous frame's second
// half plus the current frame's first half, whose first slope takes the
// previous frame's shape; then the output scale g / 32768.
std::vector<double> reference_output(const frame &prev, const frame &cur, double g)
{
    const std::vector<double> &p = windowed(prev, prev.shape);
    const std::vector<double> &c = windowed(cur, prev.shape);
    std::vector<double> out(1024);
    for (int n = 0; n < 1024; n++)
        out[n] = (p[1024 + n] + c[n]) * g / 32768;
    return out;
}

struct aligned_coef {
    alignas(16) float v[1024];
};

aac_ics_info info_of(const frame &f)
{
    aac_ics_info info{};
    info.window_sequence = f.sequence;
    info.window_shape = f.shape;
    return info;
}

// Folds a frame's spectrum the way the channel pipeline leaves it.
std::unique_ptr<aligned_coef> folded(const frame &f)
{
    auto c = std::make_unique<aligned_coef>();
    std::memcpy(c->v, spectrum(f.id), sizeof c->v);
    aac_ics_info info = info_of(f);
    inverse_transform(&info, c->v);
    return c;
}

// Output buffer between guard zones; every output starts as a NaN that the
// stage must overwrite.
struct guarded_output {
    static constexpr uint32_t kSentinel = 0x7fc0dead;
    alignas(16) float buffer[128 + 2048 + 128];
    guarded_output()
    {
        std::fill_n(reinterpret_cast<uint32_t *>(buffer), std::size(buffer), kSentinel);
    }
    float *out() { return buffer + 128; }
    ::testing::AssertionResult guards_intact() const
    {
        for (int i = 0; i < 128; i++) {
            uint32_t below, above;
            std::memcpy(&below, &buffer[i], 4);
            std::memcpy(&above, &buffer[128 + 2048 + i], 4);
            if (below != kSentinel || above != kSentinel)
                return ::testing::AssertionFailure() << "write outside the output, guard " << i;
        }
        return ::testing::AssertionSuccess();
    }
};

std::vector<float> run_output(const aac_channel_gain *gain, const frame &prev, const frame &cur)
{
    auto p = folded(prev), c = folded(cur);
    aac_ics_info pi = info_of(prev), ci = info_of(cur);
    guarded_output g;
    overlap_add_frame(gain, g.out(), &pi, p->v, &ci, c->v);
    EXPECT_TRUE(g.guards_intact());
    return std::vector<float>(g.out(), g.out() + 1024);
}

// Every pair of sequences and shapes; mismatched transitions, too, equal
// the standard's halves added, each side windowed as its own sequence
// requires.  The worst errors relative to the output peak are recorded.
TEST(OutputStage, EveryTransitionEqualsTheStandardOverlapAdd)
{
    const float g = 0.75f;
    auto gain = make_gain(g);
    double worst[2] = {0, 0};  // mismatched, matched
    for (uint32_t ps = 0; ps < 4; ps++)
        for (uint32_t cs = 0; cs < 4; cs++)
            for (uint32_t shapes = 0; shapes < 4; shapes++) {
                frame prev{ps, shapes & 1, SPECTRUM_PREV}, cur{cs, shapes >> 1, SPECTRUM_CUR};
                SCOPED_TRACE(::testing::Message() << transition(ps, cs) << ", shapes " << shapes);
                std::vector<float> out = run_output(&gain->set, prev, cur);
                std::vector<double> ref = reference_output(prev, cur, g);
                double peak = 0, err = 0;
                for (int n = 0; n < 1024; n++) {
                    ASSERT_TRUE(std::isfinite(out[n])) << "sample " << n;
                    peak = std::max(peak, std::fabs(ref[n]));
                    err = std::max(err, std::fabs(out[n] - ref[n]));
                }
                ASSERT_GT(peak, 1e-3);
                EXPECT_LT(err / peak, 1e-6);
                double &w = worst[matched(ps, cs)];
                w = std::max(w, err / peak);
            }
    RecordProperty("worst_matched", (::testing::Message() << worst[1]).GetString());
    RecordProperty("worst_mismatched", (::testing::Message() << worst[0]).GetString());
}

// Around an eight-short frame the frames meet only in one short slope,
// 448..575; outside it each output comes from one frame alone.
TEST(OutputStage, ShortBoundaryRegionsComeFromOneFrameOnly)
{
    auto gain = make_gain(1.0f);
    const uint32_t cases[][2] = {{AAC_LONG_START_SEQUENCE, AAC_EIGHT_SHORT_SEQUENCE},
                                 {AAC_EIGHT_SHORT_SEQUENCE, AAC_LONG_STOP_SEQUENCE},
                                 {AAC_EIGHT_SHORT_SEQUENCE, AAC_EIGHT_SHORT_SEQUENCE}};
    for (const auto &c : cases) {
        SCOPED_TRACE(transition(c[0], c[1]));
        std::vector<float> both = run_output(&gain->set, {c[0], 1, SPECTRUM_PREV},
                                             {c[1], 0, SPECTRUM_CUR});
        std::vector<float> prev_only = run_output(&gain->set, {c[0], 1, SPECTRUM_PREV},
                                                  {c[1], 0, SPECTRUM_SILENT});
        std::vector<float> cur_only = run_output(&gain->set, {c[0], 1, SPECTRUM_SILENT},
                                                 {c[1], 0, SPECTRUM_CUR});
        // Against silence each product stands alone, so the sum of the two
        // one-sided outputs rounds exactly as the joint one.
        for (int n = 0; n < 1024; n++) {
            ASSERT_EQ(both[n], prev_only[n] + cur_only[n]) << n;
            if (n < 448)
                ASSERT_EQ(cur_only[n], 0.0f) << n;
            else if (n >= 576)
                ASSERT_EQ(prev_only[n], 0.0f) << n;
            else
                ASSERT_TRUE(prev_only[n] != 0.0f && cur_only[n] != 0.0f) << n;
        }
    }
}

// The whole chain (window sets, transforms, overlaps) gives the same bits
// under either table, and doubling the gain doubles every sample exactly.
TEST(OutputStage, SameBitsFromEitherTableAndExactGainDoubling)
{
    struct restore_sse2 {
        ~restore_sse2() { aac_force_kernel_tables(true); }
    } restore;
    for (uint32_t ps = 0; ps < 4; ps++)
        for (uint32_t cs = 0; cs < 4; cs++)
            for (uint32_t shapes = 0; shapes < 4; shapes++) {
                frame prev{ps, shapes & 1, SPECTRUM_PREV}, cur{cs, shapes >> 1, SPECTRUM_CUR};
                SCOPED_TRACE(::testing::Message() << transition(ps, cs) << ", shapes " << shapes);
                std::vector<float> out[2];
                for (int sse2 = 0; sse2 < 2; sse2++) {
                    aac_force_kernel_tables(sse2 != 0);
                    auto gain = make_gain(0.9f);
                    out[sse2] = run_output(&gain->set, prev, cur);
                }
                ASSERT_EQ(0, std::memcmp(out[0].data(), out[1].data(), 4096));
                auto doubled = make_gain(1.8f);
                std::vector<float> twice = run_output(&doubled->set, prev, cur);
                for (int n = 0; n < 1024; n++)
                    ASSERT_EQ(twice[n], 2 * out[1][n]) << n;
            }
}

// Element records for the single and pair entry points.
void load_channel(aac_channel_state &ch, const frame &f, bool write_info = true)
{
    if (write_info)
        ch.ics_info = info_of(f);
    std::memcpy(aac_coef_floats(ch), folded(f)->v, 4096);
}

TEST(OutputStage, SingleChannelWithoutGainOutputsZeros)
{
    auto prev = std::make_unique<aac_channel_state>(), cur = std::make_unique<aac_channel_state>();
    const frame pf{AAC_ONLY_LONG_SEQUENCE, 0, SPECTRUM_PREV};
    const frame cf{AAC_LONG_START_SEQUENCE, 1, SPECTRUM_CUR};
    load_channel(*prev, pf);
    load_channel(*cur, cf);
    auto gain = make_gain(1.5f);

    guarded_output g;
    output_single_channel(&gain->set, g.out(), prev.get(), cur.get());
    EXPECT_EQ(0, std::memcmp(g.out(), run_output(&gain->set, pf, cf).data(), 4096));
    output_single_channel(nullptr, g.out(), prev.get(), cur.get());
    for (int n = 0; n < 1024; n++)
        ASSERT_EQ(g.out()[n], 0.0f) << n;
    EXPECT_TRUE(g.guards_intact());
}

// Channel 1 of a pair with a common window has no ics_info of its own in
// that frame: whatever its record holds there must not be used.
TEST(OutputStage, PairChannelOneUsesChannelZeroWindowUnderCommonWindow)
{
    auto gain0 = make_gain(1.0f), gain1 = make_gain(0.5f);
    struct pair_case {
        uint32_t prev_common, cur_common;
        frame prev1, cur1;  // what channel 1 used in each frame
    };
    const frame prev0{AAC_LONG_START_SEQUENCE, 1, SPECTRUM_PREV};
    const frame cur0{AAC_EIGHT_SHORT_SEQUENCE, 0, SPECTRUM_CUR};
    const frame own_prev{AAC_ONLY_LONG_SEQUENCE, 0, SPECTRUM_CUR};
    const frame own_cur{AAC_LONG_STOP_SEQUENCE, 1, SPECTRUM_PREV};
    // Channel 1 carries other content than channel 0 under the same window.
    const frame shared_prev{prev0.sequence, prev0.shape, SPECTRUM_CUR};
    const frame shared_cur{cur0.sequence, cur0.shape, SPECTRUM_PREV};
    const pair_case cases[] = {
        {1, 1, shared_prev, shared_cur},
        {1, 0, shared_prev, own_cur},
        {0, 1, own_prev, shared_cur},
    };
    for (const pair_case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "common_window " << c.prev_common << " -> " << c.cur_common);
        auto prev = std::make_unique<aac_channel_pair_state>();
        auto cur = std::make_unique<aac_channel_pair_state>();
        prev->common_window = c.prev_common;
        cur->common_window = c.cur_common;
        load_channel(prev->channel[0], prev0);
        load_channel(cur->channel[0], cur0);
        // A stale window in channel 1's own record where a common window applies.
        const frame stale{AAC_ONLY_LONG_SEQUENCE, 1, SPECTRUM_SILENT};
        prev->channel[1].ics_info = info_of(c.prev_common ? stale : c.prev1);
        cur->channel[1].ics_info = info_of(c.cur_common ? stale : c.cur1);
        load_channel(prev->channel[1], c.prev1, false);
        load_channel(cur->channel[1], c.cur1, false);

        guarded_output g;
        output_channel_pair(&gain0->set, &gain1->set, g.out(), prev.get(), cur.get());
        EXPECT_EQ(0, std::memcmp(g.out(), run_output(&gain0->set, prev0, cur0).data(), 4096));
        EXPECT_EQ(0, std::memcmp(g.out() + 1024,
                                 run_output(&gain1->set, c.prev1, c.cur1).data(), 4096));

        output_channel_pair(&gain0->set, nullptr, g.out(), prev.get(), cur.get());
        for (int n = 1024; n < 2048; n++)
            ASSERT_EQ(g.out()[n], 0.0f) << n;
        output_channel_pair(nullptr, &gain1->set, g.out(), prev.get(), cur.get());
        for (int n = 0; n < 1024; n++)
            ASSERT_EQ(g.out()[n], 0.0f) << n;
        EXPECT_EQ(0, std::memcmp(g.out() + 1024,
                                 run_output(&gain1->set, c.prev1, c.cur1).data(), 4096));
        EXPECT_TRUE(g.guards_intact());
    }
}

}  // namespace
