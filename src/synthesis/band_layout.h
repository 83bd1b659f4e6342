// Where a channel's bands lie: the band ends of its window kind and the
// step from one short window to the next in the coef buffer.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

inline constexpr uint32_t AAC_SHORT_WINDOW_LENGTH = 128;

struct aac_band_layout {
    const uint16_t *swb_end;  // entry b: first coefficient after band b, within a window
    uint32_t num_swb;
};

inline aac_band_layout aac_band_layout_of(const aac_stream_tables *tables,
                                          const aac_ics_info *ics)
{
    if (ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE)
        return {tables->swb_end_short, tables->num_swb_short};
    return {tables->swb_end_long, tables->num_swb_long};
}

// A long sequence is the one window of group 0, so walking the groups as
// runs of 128-value windows covers both kinds.
inline uint32_t aac_band_start(const uint16_t *swb_end, uint32_t band)
{
    return band ? swb_end[band - 1] : 0;
}

}  // namespace lumdec
