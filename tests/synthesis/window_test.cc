// The stored window halves against their definitions evaluated in double,
// and the gain-scaled window sets built from them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "synthesis/filterbank.h"
#include "synthesis/window_tables.h"
#include "filterbank_reference.h"

namespace {

// f is the float nearest to ref; a reference within 1e-13 of a tie between
// two floats accepts either.
::testing::AssertionResult nearest_float(float f, double ref)
{
    double err = ref - f;
    double gap = err >= 0 ? std::nextafter(f, INFINITY) - double(f)
                          : double(f) - std::nextafter(f, -INFINITY);
    if (std::fabs(err) <= gap / 2 + 1e-13 * std::fabs(ref))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << f << " is not the float nearest to " << ref;
}

struct window_case {
    const char *name;
    const float *table;
    int shape;
    int n_total;
};

const window_case kWindows[] = {
    {"sine long", aac_long_window[0], 0, 2048},
    {"KBD long", aac_long_window[1], 1, 2048},
    {"sine short", aac_short_window[0], 0, 256},
    {"KBD short", aac_short_window[1], 1, 256},
};

TEST(WindowTables, EveryEntryIsTheDefinitionRoundedToFloat)
{
    for (const window_case &c : kWindows) {
        std::vector<double> ref = reference_rising_half(c.shape, c.n_total);
        for (int n = 0; n < c.n_total / 2; n++)
            ASSERT_TRUE(nearest_float(c.table[n], ref[n])) << c.name << " entry " << n;
    }
}

// The SSE2 kernels that fill a set need 16-byte alignment.
struct alignas(16) aligned_gain {
    aac_channel_gain set;
};

// One table entry per product: window value times the channel's scale,
// the falling half read backwards and negated.
void expect_scaled(const float *set_half, const float *rise, int len, float scale)
{
    for (int i = 0; i < len; i++) {
        ASSERT_EQ(set_half[i], rise[i] * scale) << "rising entry " << i;
        ASSERT_EQ(set_half[len + i], rise[len - 1 - i] * -scale) << "falling entry " << i;
    }
}

TEST(ChannelGain, EveryEntryIsOneProductOfWindowAndScale)
{
    auto box = std::make_unique<aligned_gain>();
    aac_channel_gain *set = &box->set;
    for (float g : {1.0f, 0.7f, -1.3f, 1e6f}) {
        SCOPED_TRACE(g);
        aac_fill_channel_gain(set, g);
        const float t = g / 32768.0f;
        const float long_scale = t / 1024.0f, short_scale = t / 128.0f;
        EXPECT_EQ(set->long_scale, long_scale);
        EXPECT_EQ(set->neg_long_scale, -long_scale);
        EXPECT_EQ(set->short_scale, short_scale);
        EXPECT_EQ(set->neg_short_scale, -short_scale);
        for (int s = 0; s < 2; s++) {
            expect_scaled(set->long_win[s], aac_long_window[s], 1024, long_scale);
            expect_scaled(set->short_win[s], aac_short_window[s], 128, short_scale);
            expect_scaled(set->short_win_long_scale[s], aac_short_window[s], 128, long_scale);
        }
    }
    // A power-of-two gain scales every entry exactly.
    auto twice = std::make_unique<aligned_gain>();
    aac_fill_channel_gain(&twice->set, 2e6f);
    const float *a = &set->long_scale, *b = &twice->set.long_scale;
    for (size_t i = 0; i < sizeof(aac_channel_gain) / sizeof(float); i++)
        ASSERT_EQ(b[i], 2 * a[i]) << "float " << i;
}

}  // namespace
