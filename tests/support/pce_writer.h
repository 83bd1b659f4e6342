// Writes program_config_elements bit by bit, most significant bit first,
// for the parser and creation tests.
#pragma once

#include <cstdint>
#include <vector>

struct PceFields {
    uint32_t tag = 0, object_type = 1, sampling_frequency_index = 3;
    std::vector<uint32_t> front, side, back;  // (is_cpe << 4) + tag
    std::vector<uint32_t> lfe, assoc_data;    // tag
    std::vector<uint32_t> valid_cc;           // (is_ind_sw << 4) + tag
    int mono_mixdown = -1, stereo_mixdown = -1;  // element number, -1: absent
    int matrix_mixdown = -1, pseudo_surround = 0;
    std::vector<uint8_t> comment;
};

struct BitWriter {
    std::vector<uint8_t> bytes;
    size_t bits = 0;

    void put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; i--, bits++) {
            if (bits % 8 == 0)
                bytes.push_back(0);
            if ((value >> i) & 1)
                bytes.back() |= static_cast<uint8_t>(0x80 >> (bits % 8));
        }
    }
    void align() { bits = bytes.size() * 8; }
};

// The element after `lead_bits` one-bits, padded with zeros to whole bytes.
inline std::vector<uint8_t> write_pce(const PceFields &p, int lead_bits = 0)
{
    BitWriter w;
    for (int i = 0; i < lead_bits; i++)
        w.put(1, 1);
    w.put(p.tag, 4);
    w.put(p.object_type, 2);
    w.put(p.sampling_frequency_index, 4);
    w.put(static_cast<uint32_t>(p.front.size()), 4);
    w.put(static_cast<uint32_t>(p.side.size()), 4);
    w.put(static_cast<uint32_t>(p.back.size()), 4);
    w.put(static_cast<uint32_t>(p.lfe.size()), 2);
    w.put(static_cast<uint32_t>(p.assoc_data.size()), 3);
    w.put(static_cast<uint32_t>(p.valid_cc.size()), 4);
    for (int number : {p.mono_mixdown, p.stereo_mixdown}) {
        w.put(number >= 0, 1);
        if (number >= 0)
            w.put(static_cast<uint32_t>(number), 4);
    }
    w.put(p.matrix_mixdown >= 0, 1);
    if (p.matrix_mixdown >= 0) {
        w.put(static_cast<uint32_t>(p.matrix_mixdown), 2);
        w.put(static_cast<uint32_t>(p.pseudo_surround), 1);
    }
    for (uint32_t e : p.front) w.put(e, 5);
    for (uint32_t e : p.side) w.put(e, 5);
    for (uint32_t e : p.back) w.put(e, 5);
    for (uint32_t e : p.lfe) w.put(e, 4);
    for (uint32_t e : p.assoc_data) w.put(e, 4);
    for (uint32_t e : p.valid_cc) w.put(e, 5);
    w.align();
    w.put(static_cast<uint32_t>(p.comment.size()), 8);
    for (uint8_t c : p.comment)
        w.put(c, 8);
    return w.bytes;
}
