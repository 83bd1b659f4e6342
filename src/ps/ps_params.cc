#include "ps/ps_params.h"

#include <cstring>

namespace lumdec {

namespace {

template <class T, class Mean>
void to_20(const T *src, int n, T *dst, Mean mean)
{
    if (n == 20) {
        std::memcpy(dst, src, 20 * sizeof(T));
    } else if (n == 10) {
        for (int b = 0; b < 10; b++)
            dst[2 * b] = dst[2 * b + 1] = src[b];
    } else if (n == 34) {
        for (int t = 0; t < 20; t++) {
            const ps_fold &fold = ps_fold_34_to_20[t];
            int weight = 0;
            T sum = 0;
            for (int i = 0; i < fold.count; i++) {
                sum += static_cast<T>(fold.weights[i] * src[fold.sources[i]]);
                weight += fold.weights[i];
            }
            dst[t] = mean(sum, weight);
        }
    } else {
        std::memset(dst, 0, 20 * sizeof(T));
    }
}

template <class T, class Mean>
void from_20(const T *src, T *dst, int n, Mean mean)
{
    if (n == 20) {
        std::memcpy(dst, src, 20 * sizeof(T));
    } else if (n == 10) {
        for (int b = 0; b < 10; b++)
            dst[b] = mean(static_cast<T>(src[2 * b] + src[2 * b + 1]), 2);
    } else {
        for (int j = 0; j < 34; j++) {
            const uint8_t *from = ps_spread_20_to_34[j];
            dst[j] = from[0] == from[1] ? src[from[0]] : mean(static_cast<T>(src[from[0]] + src[from[1]]), 2);
        }
    }
}

template <class T, class Mean>
void map_bands(const T *src, int n_src, T *dst, int n_dst, Mean mean)
{
    if (n_src == n_dst) {
        for (int b = 0; b < n_dst; b++)
            dst[b] = src[b];
        return;
    }
    T mid[20];
    to_20(src, n_src, mid, mean);
    from_20(mid, dst, n_dst, mean);
}

float float_mean(float sum, int weight)
{
    return sum / static_cast<float>(weight);
}

}  // namespace

void ps_map_index_base(const int8_t *src, int n_src, int8_t *dst, int n_dst)
{
    if (n_src == 0) {
        for (int b = 0; b < n_dst; b++)
            dst[b] = 0;
        return;
    }
    // Weighted sums overflow int8_t: add in int.  Integer means truncate
    // toward zero, as C++ division does.
    int wide_src[PS_MAX_PAR_BANDS], wide_dst[PS_MAX_PAR_BANDS];
    for (int b = 0; b < n_src; b++)
        wide_src[b] = src[b];
    map_bands(wide_src, n_src, wide_dst, n_dst, [](int sum, int weight) { return sum / weight; });
    for (int b = 0; b < n_dst; b++)
        dst[b] = static_cast<int8_t>(wide_dst[b]);
}

void ps_map_phase_base(const int8_t *src, int n_src, int8_t *dst, int n_dst)
{
    for (int b = 0; b < n_dst; b++)
        dst[b] = n_src == n_dst ? src[b] : 0;
}

void ps_map_float(const float *src, int n_src, float *dst, int n_dst)
{
    map_bands(src, n_src, dst, n_dst, float_mean);
}

int ps_envelopes(const ps_frame &f, int num_slots, int *end, int *coded)
{
    int count = 0;
    for (int e = 0; e < f.num_env; e++) {
        int last = f.var_borders ? f.border[e] : (e + 1) * num_slots / f.num_env - 1;
        if (last >= num_slots - 1)
            last = num_slots - 1;
        end[count] = last;
        coded[count] = e;
        count++;
        if (last == num_slots - 1)
            break;
    }
    if (count > 0 && end[count - 1] < num_slots - 1) {
        end[count] = num_slots - 1;
        coded[count] = coded[count - 1];
        count++;
    }
    return count;
}

}  // namespace lumdec
