// Records built by hand for the synthesis tests, on the 48 kHz band tables
// (long bands of 4 up to 40; short: 4 8 12 16 20 28 36 44 56 68 80 96 112 128).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "syntax/records.h"
#include "syntax/stream_tables.h"

namespace lumdec {

inline aac_stream_tables tables_48k()
{
    aac_stream_tables t{};
    aac_fill_stream_tables(1, 3, &t);
    return t;
}

// A long window, or eight short ones in groups of the given lengths.
inline aac_ics_info ics_of(uint32_t max_sfb, std::initializer_list<uint32_t> short_groups = {})
{
    aac_ics_info ics{0, 0, max_sfb, 1, {1}};
    if (short_groups.size() == 0)
        return ics;
    ics.window_sequence = AAC_EIGHT_SHORT_SEQUENCE;
    ics.num_window_groups = 0;
    for (uint32_t end = 0; uint32_t length : short_groups)
        ics.window_group_end[ics.num_window_groups++] = end += length;
    return ics;
}

// Group g's sections as (codebook, end band) pairs.
inline void set_sections(uint32_t *sections, uint32_t g,
                         std::initializer_list<std::pair<uint32_t, uint32_t>> list)
{
    for (uint32_t *entry = sections + 16 * g; auto [cb, end] : list)
        *entry++ = (cb << 8) + end;
}

inline float *floats(aac_channel_state &ch) { return aac_coef_floats(ch); }

inline std::vector<uint32_t> bits_of(const float *x, size_t n)
{
    std::vector<uint32_t> out(n);
    std::memcpy(out.data(), x, 4 * n);
    return out;
}

}  // namespace lumdec
