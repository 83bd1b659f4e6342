// The ten channel layouts: their elements in workspace order with the output
// channels they feed, and where each element's record lies in a frame
// workspace.
#pragma once

#include <cstdint>

namespace lumdec {

enum aac_element_kind : uint8_t {
    AAC_ELEMENT_SCE,  // one aac_channel_state
    AAC_ELEMENT_CPE,  // one aac_channel_pair_state
    AAC_ELEMENT_LFE,  // one aac_channel_state
};

struct aac_layout_element {
    aac_element_kind kind;
    uint8_t channel;  // first output channel (a pair feeds channel and channel + 1)
};

struct aac_layout {
    uint8_t num_channels;
    uint8_t num_elements;
    aac_layout_element elements[5];
};

// Indexed by layout number 1..10 (entry 0 is unused).
extern const aac_layout aac_layouts[11];

// Size in bytes of an element's record.
uint32_t aac_element_record_size(aac_element_kind kind);

// Byte offset of element i of a layout in a frame workspace.
uint32_t aac_element_offset(const aac_layout &layout, int i);

// Bytes of one frame workspace of a layout.
uint32_t aac_workspace_size(const aac_layout &layout);

}  // namespace lumdec
