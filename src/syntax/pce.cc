#include "syntax/pce.h"

namespace lumdec {

namespace {

void read_list(aac_bit_reader *reader, uint32_t *entries, uint32_t count, int width)
{
    for (uint32_t i = 0; i < count; i++) {
        aac_bits_fill(reader, width);
        entries[i] = aac_bits_read(reader, width);
    }
}

}  // namespace

void aac_parse_pce(aac_bit_reader *reader, aac_pce *pce)
{
    aac_bits_fill(reader, 10);
    aac_bits_skip(reader, 4);  // element_instance_tag: the configuration has one PCE
    pce->object_type = aac_bits_read(reader, 2);
    pce->sampling_frequency_index = aac_bits_read(reader, 4);

    aac_bits_fill(reader, 21);
    pce->num_front_channel_elements = aac_bits_read(reader, 4);
    pce->num_side_channel_elements = aac_bits_read(reader, 4);
    pce->num_back_channel_elements = aac_bits_read(reader, 4);
    pce->num_lfe_channel_elements = aac_bits_read(reader, 2);
    pce->num_assoc_data_elements = aac_bits_read(reader, 3);
    pce->num_valid_cc_elements = aac_bits_read(reader, 4);

    // The three mixdown fields with all their options set take 14 bits.
    aac_bits_fill(reader, 14);
    pce->mono_mixdown_present = aac_bits_read(reader, 1);
    if (pce->mono_mixdown_present)
        pce->mono_mixdown_element_number = aac_bits_read(reader, 4);
    pce->stereo_mixdown_present = aac_bits_read(reader, 1);
    if (pce->stereo_mixdown_present)
        pce->stereo_mixdown_element_number = aac_bits_read(reader, 4);
    pce->matrix_mixdown_idx_present = aac_bits_read(reader, 1);
    if (pce->matrix_mixdown_idx_present) {
        pce->matrix_mixdown_idx = aac_bits_read(reader, 2);
        pce->pseudo_surround_enable = aac_bits_read(reader, 1);
    }

    read_list(reader, pce->front_element, pce->num_front_channel_elements, 5);
    read_list(reader, pce->side_element, pce->num_side_channel_elements, 5);
    read_list(reader, pce->back_element, pce->num_back_channel_elements, 5);
    read_list(reader, pce->lfe_element, pce->num_lfe_channel_elements, 4);
    read_list(reader, pce->assoc_data_element, pce->num_assoc_data_elements, 4);
    read_list(reader, pce->valid_cc_element, pce->num_valid_cc_elements, 5);

    // Positions count from the start of the block, so this aligns to the
    // block's byte grid even when the element starts inside a byte.
    aac_bits_byte_align(reader);
    pce->comment_field_bytes = aac_bits_get(reader, 8);
    aac_bits_read_bytes(reader, pce->comment_field_data,
                        static_cast<int32_t>(pce->comment_field_bytes));
}

}  // namespace lumdec
