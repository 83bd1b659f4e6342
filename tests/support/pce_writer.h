// program_config_elements for the parser and creation tests.
#pragma once

#include "bit_writer.h"

struct PceFields {
    uint32_t tag = 0, object_type = 1, sampling_frequency_index = 3;
    std::vector<uint32_t> front, side, back;  // (is_cpe << 4) + tag
    std::vector<uint32_t> lfe, assoc_data;    // tag
    std::vector<uint32_t> valid_cc;           // (is_ind_sw << 4) + tag
    int mono_mixdown = -1, stereo_mixdown = -1;  // element number, -1: absent
    int matrix_mixdown = -1, pseudo_surround = 0;
    std::vector<uint8_t> comment;
};

// The element after lead_bits one-bits, padded with zeros to whole bytes.
inline std::vector<uint8_t> write_pce(const PceFields &p, int lead_bits = 0)
{
    BitWriter w;
    for (int i = 0; i < lead_bits; i++)
        w.bit(true);
    w.put(p.tag, 4).put(p.object_type, 2).put(p.sampling_frequency_index, 4);
    const std::vector<uint32_t> *lists[6] = {&p.front, &p.side, &p.back, &p.lfe, &p.assoc_data,
                                             &p.valid_cc};
    const int count_bits[6] = {4, 4, 4, 2, 3, 4}, entry_bits[6] = {5, 5, 5, 4, 4, 5};
    for (int l = 0; l < 6; l++)
        w.put(static_cast<uint32_t>(lists[l]->size()), count_bits[l]);
    for (int number : {p.mono_mixdown, p.stereo_mixdown}) {
        w.put(number >= 0, 1);
        if (number >= 0)
            w.put(static_cast<uint32_t>(number), 4);
    }
    w.put(p.matrix_mixdown >= 0, 1);
    if (p.matrix_mixdown >= 0)
        w.put(static_cast<uint32_t>(p.matrix_mixdown), 2).put(p.pseudo_surround, 1);
    for (int l = 0; l < 6; l++)
        for (uint32_t e : *lists[l])
            w.put(e, entry_bits[l]);
    w.align();
    w.put(static_cast<uint32_t>(p.comment.size()), 8);
    for (uint8_t c : p.comment)
        w.put(c, 8);
    return w.bytes();
}
