#include "syntax/channel_elements.h"

#include "frame/error.h"
#include "syntax/ics.h"

namespace lumdec {

void aac_parse_sce(aac_bit_reader *reader, aac_channel_state *channel,
                   const aac_stream_tables *tables)
{
    // The frame parser has already bound the element by its tag.
    aac_bits_fill(reader, 4);
    aac_bits_skip(reader, 4);
    aac_parse_ics(reader, channel, nullptr, tables);
    // Intensity positions need a partner channel.
    if (channel->intensity_used)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "intensity stereo in a single channel");
}

void aac_parse_cpe(aac_bit_reader *reader, aac_channel_pair_state *pair,
                   const aac_stream_tables *tables)
{
    aac_bits_fill(reader, 5);
    aac_bits_skip(reader, 4);
    pair->common_window = aac_bits_read(reader, 1);
    const aac_ics_info *shared = nullptr;
    if (pair->common_window) {
        aac_ics_info *ics = &pair->channel[0].ics_info;
        aac_parse_ics_info(reader, ics, tables);
        aac_bits_fill(reader, 2);
        uint32_t ms_mask_present = aac_bits_read(reader, 2);
        if (ms_mask_present == 3)
            aac_raise(AAC_ERR_CORRUPT_FRAME, "reserved ms_mask_present 3");
        pair->ms_mask_present = ms_mask_present;
        if (ms_mask_present == 1)
            aac_parse_ms_mask(reader, ics, pair->ms_used);
        shared = ics;
    }
    aac_parse_ics(reader, &pair->channel[0], shared, tables);
    aac_parse_ics(reader, &pair->channel[1], shared, tables);
    // Intensity stereo is coded in the second channel only, and only when
    // both channels share their windows.
    if (pair->channel[0].intensity_used)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "intensity stereo in the first channel of a pair");
    if (!pair->common_window && pair->channel[1].intensity_used)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "intensity stereo without a common window");
}

}  // namespace lumdec
