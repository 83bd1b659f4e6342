// Where a channel's bands lie, and the walk over its sections that the
// parser and the spectral stages share.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

struct aac_band_layout {
    const uint16_t *swb_end;  // entry b: first coefficient after band b, within a window
    uint32_t num_swb;
};

// The band ends of the window kind an ics_info uses.
inline aac_band_layout aac_band_layout_of(const aac_stream_tables *tables,
                                          const aac_ics_info *ics)
{
    if (ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE)
        return {tables->swb_end_short, tables->num_swb_short};
    return {tables->swb_end_long, tables->num_swb_long};
}

// First coefficient of band b within its window.
inline uint32_t aac_band_start(const uint16_t *swb_end, uint32_t band)
{
    return band ? swb_end[band - 1] : 0;
}

// One section of one window group.  A long sequence is the one window of
// group 0, so a walk over groups of 128-value windows covers both kinds:
// band b of window w of the group starts at window_offset(w) +
// aac_band_start(swb_end, b).
struct aac_section {
    uint32_t group;
    uint32_t first_window;    // of the group
    uint32_t windows;         // in the group
    uint32_t codebook;
    uint32_t start_band;      // the section's bands: [start_band, end_band)
    uint32_t end_band;

    uint32_t window_offset(uint32_t w) const
    {
        return AAC_SHORT_WINDOW_LENGTH * (first_window + w);
    }
};

// Calls visit(const aac_section &) for every section below max_sfb, group
// by group in stream order.
template <typename Visit>
inline void aac_for_each_section(const aac_ics_info *ics, const uint32_t *sections, Visit &&visit)
{
    uint32_t first_window = 0;
    for (uint32_t g = 0; g < ics->num_window_groups; ++g) {
        const uint32_t group_end = ics->window_group_end[g];
        const uint32_t *entry = sections + aac_group_offset(g);
        for (uint32_t band = 0; band < ics->max_sfb; ++entry) {
            const aac_section section = {g,
                                         first_window,
                                         group_end - first_window,
                                         aac_section_codebook(*entry),
                                         band,
                                         aac_section_end(*entry)};
            visit(section);
            band = section.end_band;
        }
        first_window = group_end;
    }
}

}  // namespace lumdec
