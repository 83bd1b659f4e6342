#include "synthesis/tns.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <utility>

namespace lumdec {

namespace {

// pi/2 rounded to single precision.
constexpr float kHalfPi = 1.5707964f;
static_assert(std::bit_cast<uint32_t>(kHalfPi) == 0x3FC90FDBu);

// The all-pole filter from x upwards (step 1) or downwards (step -1); the
// values already filtered lie at cur[-step * i].  Every term is one product
// and one subtraction in increasing i, as in the plain recursion, so the
// unrolled forms round exactly as it does.

// The first values, which have fewer than order filtered predecessors.
template <int step>
void all_pole_start(float *x, int32_t count, const float *a)
{
    for (int32_t n = 0; n < count; ++n) {
        float *cur = x + step * n;
        float y = *cur;
        int32_t i = 1;
        for (; i + 3 <= n; i += 4) {
            y = y - cur[-step * i] * a[i];
            y = y - cur[-step * (i + 1)] * a[i + 1];
            y = y - cur[-step * (i + 2)] * a[i + 2];
            y = y - cur[-step * (i + 3)] * a[i + 3];
        }
        for (; i <= n; ++i)
            y = y - cur[-step * i] * a[i];
        *cur = y;
    }
}

// The rest, with all order terms, fully unrolled for each order: the filter
// spends its time here, and a loop over the terms would cost a third more
// in loop control.
template <int step, int order>
void all_pole_full(float *x, int32_t from, int32_t length, const float *a)
{
    float *cur = x + step * from;
    for (int32_t n = from; n < length; ++n, cur += step) {
        float y = *cur;
        [&]<int... i>(std::integer_sequence<int, i...>) {
            ((y = y - cur[-step * (i + 1)] * a[i + 1]), ...);
        }(std::make_integer_sequence<int, order>{});
        *cur = y;
    }
}

using all_pole_full_fn = void (*)(float *, int32_t, int32_t, const float *);

template <int step, int... order>
constexpr std::array<all_pole_full_fn, AAC_TNS_MAX_ORDER + 1> full_filters(
    std::integer_sequence<int, order...>)
{
    return {nullptr, &all_pole_full<step, order + 1>...};
}

template <int step>
void all_pole(float *x, int32_t length, const float *a, uint32_t order)
{
    static constexpr auto full =
        full_filters<step>(std::make_integer_sequence<int, AAC_TNS_MAX_ORDER>{});
    const int32_t terms = static_cast<int32_t>(order);
    all_pole_start<step>(x, std::min(length, terms), a);
    if (length > terms && order > 0)
        full[order](x, terms, length, a);
}

}  // namespace

void tns_dequantize(uint32_t coef_bits, const int32_t *q, uint32_t order, float *k)
{
    const float half_range = static_cast<float>(1u << (coef_bits - 1));
    const float pos_step = kHalfPi / (half_range - 0.5f);
    const float neg_step = kHalfPi / (half_range + 0.5f);
    k[0] = 1.0f;
    for (uint32_t i = 0; i < order; ++i) {
        const float step = q[i] >= 0 ? pos_step : neg_step;
        const float angle = static_cast<float>(q[i]) * step;
        k[i + 1] = static_cast<float>(std::sin(static_cast<double>(angle)));
    }
}

void tns_lpc_from_reflection(float *a, const float *k, uint32_t order)
{
    float scratch[AAC_TNS_MAX_ORDER + 1];
    // The buffers alternate from step to step and the last step must write a.
    float *next = order % 2 ? a : scratch;
    float *prev = order % 2 ? scratch : a;
    a[0] = 1.0f;
    scratch[0] = 1.0f;
    for (uint32_t m = 1; m <= order; ++m) {
        for (uint32_t i = 1; i < m; ++i)
            next[i] = prev[m - i] * k[m] + prev[i];
        next[m] = k[m];
        std::swap(next, prev);
    }
}

void tns_filter_up(float *x, int32_t length, const float *a, uint32_t order)
{
    all_pole<1>(x, length, a, order);
}

void tns_filter_down(float *x, int32_t length, const float *a, uint32_t order)
{
    if (length > 0)
        all_pole<-1>(x + length - 1, length, a, order);
}

void tns_decode(const aac_ics_info *ics, const aac_tns_data *tns, float *coef)
{
    const int windows = ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE ? 8 : 1;
    for (int w = 0; w < windows; ++w) {
        float *window = coef + AAC_SHORT_WINDOW_LENGTH * w;
        const int filters = static_cast<int>(aac_tns_n_filt(*tns, w));
        for (int f = 0; f < filters; ++f) {
            const aac_tns_filter &filter = aac_tns_filter_at(*tns, w, f);
            const int32_t length = static_cast<int32_t>(filter.end_coef - filter.start_coef);
            if (filter.order == 0 || length < 1)
                continue;
            float k[AAC_TNS_MAX_ORDER + 1];
            float a[AAC_TNS_MAX_ORDER + 1];
            tns_dequantize(aac_tns_coef_bits(*tns, w), filter.coef, filter.order, k);
            tns_lpc_from_reflection(a, k, filter.order);
            if (filter.direction)
                tns_filter_down(window + filter.start_coef, length, a, filter.order);
            else
                tns_filter_up(window + filter.start_coef, length, a, filter.order);
        }
    }
}

}  // namespace lumdec
