// Scale factor band tables of the twelve sampling frequency indices.
#pragma once

#include <cstdint>

namespace lumdec {

struct aac_band_table {
    uint32_t num_swb_long;
    const uint16_t *swb_end_long;   // entry b: first coefficient after band b
    uint32_t num_swb_short;
    const uint16_t *swb_end_short;
    uint32_t tns_max_bands_long;    // LC profile
    uint32_t tns_max_bands_short;
};

extern const aac_band_table aac_band_tables[12];

}  // namespace lumdec
