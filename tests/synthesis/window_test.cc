// The stored window halves against their definitions evaluated in double.
#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
