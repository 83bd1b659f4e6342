#include "syntax/skip_elements.h"

#include "syntax/pce.h"

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
    aac_pce scratch;
    aac_parse_pce(reader, &scratch);
}

}  // namespace lumdec
