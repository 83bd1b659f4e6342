// TNS against hand-worked values and a reference written straight from the
// recursions: reflection coefficients, step-up to direct form, all-pole
// filter over the range.
#include "synthesis/tns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "records.h"

namespace {

struct Filter {
    uint32_t start, end, direction, coef_bits;
    std::vector<int32_t> q;
};

void reference_filter(float *window, const Filter &f)
{
    const uint32_t order = static_cast<uint32_t>(f.q.size());
    if (order == 0 || f.end <= f.start)
        return;
    const float half_pi = 1.5707964f, levels = static_cast<float>(1 << (f.coef_bits - 1));
    std::vector<float> a{1.0f};
    for (uint32_t m = 1; m <= order; ++m) {
        const int32_t q = f.q[m - 1];
        const float step = half_pi / (q >= 0 ? levels - 0.5f : levels + 0.5f);
        const float k = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(q) * step)));
        std::vector<float> next(m + 1, 1.0f);
        for (uint32_t i = 1; i < m; ++i)
            next[i] = a[m - i] * k + a[i];
        next[m] = k;
        a = next;
    }
    const int32_t length = static_cast<int32_t>(f.end - f.start);
    for (int32_t n = 0; n < length; ++n) {
        const int32_t p = f.direction ? length - 1 - n : n, dir = f.direction ? -1 : 1;
        float *x = window + f.start;
        float y = x[p];
        for (int32_t i = 1; i <= std::min<int32_t>(n, static_cast<int32_t>(order)); ++i)
            y = y - x[p - dir * i] * a[i];
        x[p] = y;
    }
}

void set_filter(aac_tns_data &tns, int w, int index, const Filter &f)
{
    aac_tns_n_filt(tns, w) = static_cast<uint32_t>(index + 1);
    aac_tns_coef_bits(tns, w) = f.coef_bits;
    aac_tns_filter &out = aac_tns_filter_at(tns, w, index);
    out = aac_tns_filter{};
    out.start_coef = f.start;
    out.end_coef = f.end;
    out.order = static_cast<uint32_t>(f.q.size());
    out.direction = f.direction;
    std::copy(f.q.begin(), f.q.end(), out.coef);
}

std::vector<float> ramp()
{
    std::vector<float> x(1024);
    for (int k = 0; k < 1024; ++k)
        x[k] = std::sin(0.37f * static_cast<float>(k)) * 1000.0f + static_cast<float>(k % 7);
    return x;
}

TEST(Tns, StepsRecursionAndFilterKnownValues)
{
    float k[4];
    const int32_t q3[] = {-4, 3, 0};
    tns_dequantize(3, q3, 3, k);
    EXPECT_EQ(k[0], 1.0f);
    EXPECT_NEAR(k[1], -0.98480775f, 1e-7f);  // sin(-4 pi/9): the negative step
    EXPECT_NEAR(k[2], 0.97492791f, 1e-7f);   // sin(3 pi/7)
    EXPECT_EQ(k[3], 0.0f);
    const int32_t q4[] = {7, -8};
    tns_dequantize(4, q4, 2, k);
    EXPECT_NEAR(k[1], 0.99452190f, 1e-7f);   // sin(7 pi/15)
    EXPECT_NEAR(k[2], -0.99573418f, 1e-7f);  // sin(-8 pi/17)

    const float refl[] = {1.0f, 0.5f, 0.25f, 0.5f};
    float a[4];
    tns_lpc_from_reflection(a, refl, 2);
    EXPECT_EQ(std::vector<float>(a, a + 3), (std::vector<float>{1, 0.625f, 0.25f}));
    tns_lpc_from_reflection(a, refl, 3);
    EXPECT_EQ(std::vector<float>(a, a + 4), (std::vector<float>{1, 0.75f, 0.5625f, 0.5f}));

    const float a1[] = {1.0f, 0.5f};
    float up[] = {1, 1, 1, 1}, down[] = {1, 1, 1, 1};
    tns_filter_up(up, 4, a1, 1);
    tns_filter_down(down, 4, a1, 1);
    EXPECT_EQ(std::vector<float>(up, up + 4), (std::vector<float>{1, 0.5f, 0.75f, 0.625f}));
    EXPECT_EQ(std::vector<float>(down, down + 4), (std::vector<float>{0.625f, 0.75f, 0.5f, 1}));
}

TEST(Tns, FiltersThatChangeNothing)
{
    const aac_ics_info ics = long_ics(49);
    const std::vector<float> x = ramp();
    for (const Filter &f : {Filter{100, 300, 0, 4, {}}, Filter{200, 200, 0, 4, {3, -2}},
                            Filter{300, 200, 1, 3, {1}}, Filter{0, 1024, 0, 4, {0}},
                            Filter{0, 1024, 1, 3, {0}}}) {
        auto ch = new_channel();
        set_filter(ch->tns, 0, 0, f);
        std::copy(x.begin(), x.end(), floats(*ch));
        tns_decode(&ics, &ch->tns, floats(*ch));
        EXPECT_EQ(bits_of(floats(*ch), 1024), bits_of(x.data(), 1024)) << f.start << " " << f.end;
    }
}

TEST(Tns, LongWindowFiltersMatchTheReference)
{
    const aac_ics_info ics = long_ics(49);
    std::mt19937 rng(11);
    for (uint32_t order = 1; order <= AAC_TNS_MAX_ORDER; ++order) {
        std::vector<Filter> filters;
        for (int f = 0; f < 3; ++f) {
            Filter filter{static_cast<uint32_t>(rng() % 900), 0, static_cast<uint32_t>(rng() % 2),
                          3 + order % 2, {}};
            filter.end = filter.start + 1 + rng() % std::min<uint32_t>(200, 1024 - filter.start);
            const int32_t range = filter.coef_bits == 4 ? 16 : 8;
            for (uint32_t i = 0; i < (f == 0 ? order : 1 + rng() % order); ++i)
                filter.q.push_back(static_cast<int32_t>(rng() % range) - range / 2);
            filters.push_back(filter);
        }
        auto ch = new_channel();
        std::vector<float> expected = ramp();
        std::copy(expected.begin(), expected.end(), floats(*ch));
        for (int f = 0; f < 3; ++f) {
            set_filter(ch->tns, 0, f, filters[f]);
            reference_filter(expected.data(), filters[f]);
        }
        tns_decode(&ics, &ch->tns, floats(*ch));
        ASSERT_EQ(bits_of(floats(*ch), 1024), bits_of(expected.data(), 1024)) << order;
        // A downward filter leaves the top of its range as it was.
        const Filter &first = filters[0];
        if (first.direction && first.end <= filters[1].start && first.end <= filters[2].start) {
            EXPECT_EQ(floats(*ch)[first.end - 1], ramp()[first.end - 1]);
        }
    }
}

TEST(Tns, EachShortWindowHasItsOwnFilter)
{
    const aac_ics_info ics = short_ics(14, {4, 4});
    auto ch = new_channel();
    std::vector<float> expected = ramp();
    std::copy(expected.begin(), expected.end(), floats(*ch));
    const Filter filters[8] = {{4, 128, 0, 3, {-4, 3, 2}}, {}, {0, 100, 1, 4, {7, -8, 1, 0, 5, 2, -1}},
                               {}, {}, {}, {16, 56, 1, 3, {-1}}, {}};
    for (int w = 0; w < 8; ++w) {
        if (filters[w].q.empty())
            continue;
        set_filter(ch->tns, w, 0, filters[w]);
        reference_filter(expected.data() + 128 * w, filters[w]);
    }
    tns_decode(&ics, &ch->tns, floats(*ch));
    EXPECT_EQ(bits_of(floats(*ch), 1024), bits_of(expected.data(), 1024));
}

}  // namespace
