#include "frame/crc.h"

#include <array>

#include "lumdec.h"

namespace lumdec {

namespace {

// Entry i: the register after shifting the byte i through the polynomial
// from zero.  Serves any step of 1 to 8 bits, since an index below 2^k is
// the same polynomial whatever k is.
constexpr std::array<uint16_t, 256> crc_table = [] {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; i++) {
        unsigned r = i << 8;
        for (int bit = 0; bit < 8; bit++)
            r = (r & 0x8000u) ? (r << 1) ^ 0x8005u : r << 1;
        table[i] = static_cast<uint16_t>(r);
    }
    return table;
}();

static_assert(crc_table[1] == 0x8005 && crc_table[255] == 0x0202);

inline unsigned crc_byte(unsigned r, unsigned byte)
{
    return ((r << 8) & 0xFFFFu) ^ crc_table[(r >> 8) ^ byte];
}

// k bits (1..7), right-aligned in v.
inline unsigned crc_part(unsigned r, unsigned v, int k)
{
    return ((r << k) & 0xFFFFu) ^ crc_table[(r >> (16 - k)) ^ v];
}

}  // namespace

uint16_t aac_crc_bits(uint16_t crc, int32_t end, int32_t start, int32_t nbits,
                      const uint8_t *data)
{
    int32_t stop = start + nbits;
    int32_t pad = 0;
    if (end - start < nbits) {
        stop = end;
        pad = nbits - (end - start);
    }
    unsigned r = crc;
    if (stop > start) {
        int32_t first = start >> 3, last = stop >> 3;
        int lead = start & 7, tail = stop & 7;
        if (first == last) {
            // start and stop inside one byte: just the bits between them
            unsigned v = (data[first] >> (8 - tail)) & ((1u << (tail - lead)) - 1);
            r = crc_part(r, v, tail - lead);
        } else {
            int32_t i = first;
            if (lead != 0) {
                r = crc_part(r, data[i] & ((1u << (8 - lead)) - 1), 8 - lead);
                i++;
            }
            for (; i < last; i++)
                r = crc_byte(r, data[i]);
            if (tail != 0)
                r = crc_part(r, data[last] >> (8 - tail), tail);
        }
    }
    for (; pad >= 8; pad -= 8)
        r = crc_byte(r, 0);
    if (pad > 0)
        r = crc_part(r, 0, pad);
    return static_cast<uint16_t>(r);
}

}  // namespace lumdec

using namespace lumdec;

extern "C" {

AAC_API uint16_t AAC_CALL aac_calc_crc_bytes(uint16_t crc, int32_t count, const uint8_t *data)
{
    if (data == nullptr)
        return crc;
    unsigned r = crc;
    for (int32_t i = 0; i < count; i++)
        r = crc_byte(r, data[i]);
    return static_cast<uint16_t>(r);
}

AAC_API uint16_t AAC_CALL aac_calc_crc_syn_elems(uint16_t crc, const aac_syn_elem *list,
                                                 const uint8_t *frame)
{
    if (list == nullptr || frame == nullptr)
        return crc;
    // Each element runs up to the position of the record that follows it.
    while (list[0] != AAC_ID_END) {
        int32_t id = list[0], pos = list[1];
        int32_t words = id == AAC_ID_CPE ? 3 : 2;
        int32_t end = list[words + 1];
        switch (id) {
        case AAC_ID_SCE:
        case AAC_ID_CCE:
        case AAC_ID_LFE:
            crc = aac_crc_bits(crc, end, pos + 3, 192, frame);
            break;
        case AAC_ID_CPE:
            // The first 192 bits may run on into the second channel.
            crc = aac_crc_bits(crc, end, pos + 3, 192, frame);
            crc = aac_crc_bits(crc, end, list[2], 128, frame);
            break;
        case AAC_ID_DSE:
        case AAC_ID_PCE:
            crc = aac_crc_bits(crc, end, pos + 3, end - (pos + 3), frame);
            break;
        default:  // fill elements are not protected
            break;
        }
        list += words;
    }
    return crc;
}

}  // extern "C"
