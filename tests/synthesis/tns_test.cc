// TNS filters of every order, both directions and short windows against a
// reference written straight from the recursions: reflection coefficients,
// step-up to direct form, all-pole filter over the range from a zero state.
#include "synthesis/tns.h"

#include <cmath>
#include <random>

#include "records.h"

using namespace lumdec;

namespace {

struct Filter {
    uint32_t start, end, direction, coef_bits;
    std::vector<int32_t> q;
};

void reference_filter(float *window, const Filter &f)
{
    const uint32_t order = static_cast<uint32_t>(f.q.size());
    const float levels = static_cast<float>(1 << (f.coef_bits - 1));
    std::vector<float> a{1.0f};
    for (uint32_t m = 1; m <= order; ++m) {
        const int32_t q = f.q[m - 1];
        const float step = 1.5707964f / (q >= 0 ? levels - 0.5f : levels + 0.5f);
        const float k = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(q) * step)));
        std::vector<float> next(m + 1, 1.0f);
        for (uint32_t i = 1; i < m; ++i)
            next[i] = a[m - i] * k + a[i];
        next[m] = k;
        a = next;
    }
    const int32_t length = static_cast<int32_t>(f.end) - static_cast<int32_t>(f.start);
    const int32_t dir = f.direction ? -1 : 1;
    for (int32_t n = 0; n < length && order > 0; ++n) {
        float *x = window + f.start + (f.direction ? length - 1 - n : n);
        for (int32_t i = 1; i <= std::min<int32_t>(n, static_cast<int32_t>(order)); ++i)
            *x = *x - x[-dir * i] * a[i];
    }
}

void set_filter(aac_tns_data &tns, int w, int index, const Filter &f)
{
    aac_tns_n_filt(tns, w) = static_cast<uint32_t>(index + 1);
    aac_tns_coef_bits(tns, w) = f.coef_bits;
    aac_tns_filter &out = aac_tns_filter_at(tns, w, index);
    out = {0, 0, f.start, f.end, static_cast<uint32_t>(f.q.size()), f.direction, {}};
    std::copy(f.q.begin(), f.q.end(), out.coef);
}

TEST(Tns, FiltersOfLongAndShortWindowsMatchTheReference)
{
    std::mt19937 rng(11);
    std::vector<float> x(1024);
    for (int k = 0; k < 1024; ++k)
        x[k] = std::sin(0.37f * static_cast<float>(k)) * 1000.0f + static_cast<float>(k % 7);
    auto check = [&](const aac_ics_info &ics, const std::vector<std::vector<Filter>> &windows) {
        auto ch = std::make_unique<aac_channel_state>();
        std::vector<float> expected = x;
        for (size_t w = 0; w < windows.size(); ++w)
            for (size_t f = 0; f < windows[w].size(); ++f) {
                set_filter(ch->tns, static_cast<int>(w), static_cast<int>(f), windows[w][f]);
                reference_filter(expected.data() + 128 * w, windows[w][f]);
            }
        std::copy(x.begin(), x.end(), floats(*ch));
        tns_decode(&ics, &ch->tns, floats(*ch));
        EXPECT_EQ(bits_of(floats(*ch), 1024), bits_of(expected.data(), 1024));
    };
    // Filters that change nothing: order 0, an empty range, q = 0.
    check(ics_of(49), {{{100, 300, 0, 4, {}}, {200, 200, 0, 4, {3, -2}}, {0, 1024, 1, 3, {0}}}});
    // Up to three filters of any order in a long window, running on from slot 0.
    for (uint32_t order = 1; order <= AAC_TNS_MAX_ORDER; ++order) {
        std::vector<Filter> filters;
        for (uint32_t f = 0, bits = 3 + order % 2; f < 3; ++f) {
            const uint32_t start = rng() % 900, end = start + 1 + rng() % (1024 - start);
            filters.push_back({start, end, static_cast<uint32_t>(rng() % 2), bits, {}});
            for (uint32_t i = 0; i < (f ? 1 + rng() % order : order); ++i)
                filters[f].q.push_back(static_cast<int32_t>(rng() % (1u << bits)) - (1 << (bits - 1)));
        }
        check(ics_of(49), {filters});
    }
    // Each short window has its own filter, or none, and its own coef_bits.
    check(ics_of(14, {4, 4}), {{{4, 128, 0, 3, {-4, 3, 2}}}, {}, {{0, 100, 1, 4, {7, -8, 1, 0, 5, 2}}},
                               {}, {}, {}, {{16, 56, 1, 3, {-1}}}});
}

}  // namespace
