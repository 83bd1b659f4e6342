#include "syntax/stream_tables.h"

#include "syntax/band_tables.h"

namespace lumdec {

void aac_fill_stream_tables(int32_t, int32_t sampling_frequency_index,
                            aac_stream_tables *tables)
{
    // Only the LC profile gets this far, so the profile selects nothing.
    const aac_band_table &bands = aac_band_tables[sampling_frequency_index];
    tables->num_swb_long = bands.num_swb_long;
    tables->swb_end_long = bands.swb_end_long;
    tables->num_swb_short = bands.num_swb_short;
    tables->swb_end_short = bands.swb_end_short;
    tables->tns_max_order_long = AAC_TNS_MAX_ORDER_LONG;
    tables->tns_max_order_short = AAC_TNS_MAX_ORDER_SHORT;
    tables->tns_max_bands_long = bands.tns_max_bands_long;
    tables->tns_max_bands_short = bands.tns_max_bands_short;
}

}  // namespace lumdec
