#include "syntax/pulse_data.h"

#include "frame/error.h"
#include "syntax/band_layout.h"

namespace lumdec {

void aac_parse_pulse_data(aac_bit_reader *reader, const aac_ics_info *ics,
                          const aac_stream_tables *tables, aac_pulse_data *pulse)
{
    if (ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "pulse data in an eight-short sequence");
    aac_bits_fill(reader, 8);
    uint32_t number_pulse = aac_bits_read(reader, 2) + 1;
    uint32_t start_sfb = aac_bits_read(reader, 6);
    if (start_sfb >= tables->num_swb_long)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "pulse_start_sfb beyond the band count");
    pulse->number_pulse = number_pulse;
    pulse->pulse_start_sfb = start_sfb;
    uint32_t position = aac_band_start(tables->swb_end_long, start_sfb);
    for (uint32_t i = 0; i < number_pulse; i++) {
        aac_bits_fill(reader, 9);
        position += aac_bits_read(reader, 5);
        uint32_t amp = aac_bits_read(reader, 4);
        if (position >= AAC_FRAME_LENGTH)
            aac_raise(AAC_ERR_CORRUPT_FRAME, "pulse position beyond the frame");
        pulse->pulse_packed[i] = static_cast<int32_t>((amp << 16) + position);
    }
}

}  // namespace lumdec
