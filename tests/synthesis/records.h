// Element records built by hand for the synthesis tests, on the 48 kHz band
// tables (long: 49 bands; short: 4 8 12 16 20 28 36 44 56 68 80 96 112 128).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "kernels/kernel_tables.h"
#include "syntax/records.h"
#include "syntax/stream_tables.h"

inline aac_stream_tables tables_48k()
{
    aac_stream_tables t{};
    aac_fill_stream_tables(1, 3, &t);
    return t;
}

inline aac_ics_info long_ics(uint32_t max_sfb)
{
    aac_ics_info ics{};
    ics.max_sfb = max_sfb;
    ics.num_window_groups = 1;
    ics.window_group_end[0] = 1;
    return ics;
}

inline aac_ics_info short_ics(uint32_t max_sfb, std::initializer_list<uint32_t> group_lengths)
{
    aac_ics_info ics{};
    ics.window_sequence = AAC_EIGHT_SHORT_SEQUENCE;
    ics.max_sfb = max_sfb;
    uint32_t end = 0;
    for (uint32_t length : group_lengths)
        ics.window_group_end[ics.num_window_groups++] = end += length;
    return ics;
}

// Sections of group g as (codebook, end band) pairs.
inline void set_sections(uint32_t *sections, uint32_t g,
                         std::initializer_list<std::pair<uint32_t, uint32_t>> list)
{
    uint32_t *entry = sections + 16 * g;
    for (auto [cb, end] : list)
        *entry++ = (cb << 8) + end;
}

inline std::unique_ptr<aac_channel_state> new_channel()
{
    return std::make_unique<aac_channel_state>();
}

inline std::unique_ptr<aac_channel_pair_state> new_pair()
{
    return std::make_unique<aac_channel_pair_state>();
}

inline float *floats(aac_channel_state &ch) { return aac_coef_floats(ch); }

inline std::vector<uint32_t> bits_of(const float *x, size_t n)
{
    std::vector<uint32_t> out(n);
    std::memcpy(out.data(), x, 4 * n);
    return out;
}

// Runs a stage with the generic and with the SSE2 vector kernels and
// returns both results; SSE2 stays selected afterwards.
template <typename Result>
std::pair<Result, Result> with_both_kernel_tables(const std::function<Result()> &run)
{
    aac_force_kernel_tables(false);
    Result generic = run();
    aac_force_kernel_tables(true);
    return {generic, run()};
}
