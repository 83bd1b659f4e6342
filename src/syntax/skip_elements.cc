#include "syntax/skip_elements.h"

namespace lumdec {

void aac_skip_dse(aac_bit_reader *reader)
{
    aac_bits_fill(reader, 21);
    aac_bits_skip(reader, 4);  // element_instance_tag
    uint32_t align = aac_bits_read(reader, 1);
    int32_t count = static_cast<int32_t>(aac_bits_read(reader, 8));
    if (count == 255)
        count += static_cast<int32_t>(aac_bits_read(reader, 8));
    if (align)
        aac_bits_byte_align(reader);
    aac_bits_skip_bytes(reader, count);
}

void aac_skip_fill(aac_bit_reader *reader)
{
    aac_bits_fill(reader, 12);
    int32_t count = static_cast<int32_t>(aac_bits_read(reader, 4));
    if (count == 15)
        count += static_cast<int32_t>(aac_bits_read(reader, 8)) - 1;
    // One extension_payload takes the whole count whatever its type:
    // extension_type and the next 4 bits, then count - 1 bytes.
    if (count > 0) {
        aac_bits_fill(reader, 8);
        aac_bits_skip(reader, 8);
        aac_bits_skip_bytes(reader, count - 1);
    }
}

void aac_skip_pce(aac_bit_reader *reader)
{
    aac_bits_fill(reader, 10);
    aac_bits_skip(reader, 10);  // element_instance_tag, object_type, sampling_frequency_index
    aac_bits_fill(reader, 21);
    uint32_t front = aac_bits_read(reader, 4);
    uint32_t side = aac_bits_read(reader, 4);
    uint32_t back = aac_bits_read(reader, 4);
    uint32_t lfe = aac_bits_read(reader, 2);
    uint32_t assoc_data = aac_bits_read(reader, 3);
    uint32_t valid_cc = aac_bits_read(reader, 4);
    aac_bits_fill(reader, 14);
    if (aac_bits_read(reader, 1))
        aac_bits_skip(reader, 4);  // mono_mixdown_element_number
    if (aac_bits_read(reader, 1))
        aac_bits_skip(reader, 4);  // stereo_mixdown_element_number
    if (aac_bits_read(reader, 1))
        aac_bits_skip(reader, 3);  // matrix_mixdown_idx, pseudo_surround_enable
    // (is_cpe or is_ind_sw) + tag: 5 bits; lfe and assoc_data tags: 4 bits.
    uint32_t five_bit_entries = front + side + back;
    uint32_t four_bit_entries = lfe + assoc_data;
    for (uint32_t i = 0; i < five_bit_entries; i++) {
        aac_bits_fill(reader, 5);
        aac_bits_skip(reader, 5);
    }
    for (uint32_t i = 0; i < four_bit_entries; i++) {
        aac_bits_fill(reader, 4);
        aac_bits_skip(reader, 4);
    }
    for (uint32_t i = 0; i < valid_cc; i++) {
        aac_bits_fill(reader, 5);
        aac_bits_skip(reader, 5);
    }
    aac_bits_byte_align(reader);
    aac_bits_skip_bytes(reader, static_cast<int32_t>(aac_bits_get(reader, 8)));
}

}  // namespace lumdec
