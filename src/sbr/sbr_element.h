// One channel element's band replication: its header and band tables, the
// payload found in the frame, and its one or two channels.
#pragma once

#include <cstdint>

#include "sbr/sbr_state.h"

namespace lumdec {

struct sbr_element {
    sbr_header header;
    sbr_band_tables tables;
    int32_t rate_index;        // index of the SBR output rate in sbr_rate_table
    int32_t num_channels;      // 1 (single channel element) or 2 (pair)
    int32_t header_seen;       // a header has set the tables
    int32_t reset;             // the tables changed in this frame
    int32_t coupling;          // this frame's pair is coupled
    int32_t ps_allowed;        // a single channel element whose extension may carry PS
    int32_t ps_seen;           // this frame's payload carried parametric stereo data
    int32_t ps_start, ps_bits; // where the PS data lies in the frame

    // The payload of the current frame: found by the frame parser, read
    // after the frame has parsed.
    int32_t payload_present;
    int32_t payload_crc;
    int32_t payload_start;     // bit position in the frame
    int32_t payload_bits;

    int32_t error_count;       // payloads that failed and were concealed
    sbr_channel *ch[2];
};

// Reads the element's payload of this frame (if any) into its channels'
// frame data; frame_size bytes of the frame may be read (a payload that the
// frame parser took from the zero bytes past the frame reads as cut short).
// Returns false when the payload is damaged or breaks the rules; the
// element and its channels are then left as they were.
bool sbr_parse_payload(sbr_element *el, const uint8_t *frame, int32_t frame_size);

}  // namespace lumdec
