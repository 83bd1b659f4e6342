// program_config_element, parsed whole at decoder creation.
#pragma once

#include <cstdint>

#include "syntax/bit_reader.h"

namespace lumdec {

struct aac_pce {
    uint32_t object_type;               // 0 Main, 1 LC, 2 SSR, 3 reserved
    uint32_t sampling_frequency_index;
    uint32_t num_front_channel_elements;
    uint32_t num_side_channel_elements;
    uint32_t num_back_channel_elements;
    uint32_t num_lfe_channel_elements;
    uint32_t num_assoc_data_elements;
    uint32_t num_valid_cc_elements;
    uint32_t mono_mixdown_present;
    uint32_t mono_mixdown_element_number;    // written only when present
    uint32_t stereo_mixdown_present;
    uint32_t stereo_mixdown_element_number;  // written only when present
    uint32_t matrix_mixdown_idx_present;
    uint32_t matrix_mixdown_idx;             // written only when present
    uint32_t pseudo_surround_enable;         // written only when present
    uint32_t comment_field_bytes;
    uint32_t front_element[16];    // (is_cpe << 4) + element_tag_select
    uint32_t side_element[16];
    uint32_t back_element[16];
    uint32_t lfe_element[16];      // element_tag_select
    uint32_t assoc_data_element[16];
    uint32_t valid_cc_element[16]; // (cc_element_is_ind_sw << 4) + element_tag_select
    uint8_t comment_field_data[256];
};

// Parses one program_config_element, starting at its element_instance_tag,
// into pce.  Entries beyond the element counts are not written.  Raises
// AAC_ERR_CORRUPT_FRAME when the data runs out.
void aac_parse_pce(aac_bit_reader *reader, aac_pce *pce);

}  // namespace lumdec
