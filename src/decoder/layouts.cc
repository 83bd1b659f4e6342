#include "decoder/layouts.h"

#include "syntax/records.h"

namespace lumdec {

namespace {

constexpr aac_layout_element S(uint8_t channel) { return {AAC_ELEMENT_SCE, channel}; }
constexpr aac_layout_element P(uint8_t channel) { return {AAC_ELEMENT_CPE, channel}; }
constexpr aac_layout_element L(uint8_t channel) { return {AAC_ELEMENT_LFE, channel}; }

}  // namespace

const aac_layout aac_layouts[11] = {
    {0, 0, {}},
    {1, 1, {S(0)}},
    {2, 1, {P(0)}},
    {3, 2, {S(0), P(1)}},
    {4, 3, {S(0), P(1), S(3)}},
    {5, 3, {S(0), P(1), P(3)}},
    {6, 4, {S(0), P(1), P(3), L(5)}},
    {8, 5, {S(0), P(1), P(3), P(5), L(7)}},
    {3, 2, {P(0), S(2)}},
    {4, 2, {P(0), P(2)}},
    {2, 2, {S(0), S(1)}},
};

uint32_t aac_element_record_size(aac_element_kind kind)
{
    return kind == AAC_ELEMENT_CPE ? sizeof(aac_channel_pair_state) : sizeof(aac_channel_state);
}

uint32_t aac_element_offset(const aac_layout &layout, int i)
{
    uint32_t offset = 0;
    for (int k = 0; k < i; k++)
        offset += aac_element_record_size(layout.elements[k].kind);
    return offset;
}

uint32_t aac_workspace_size(const aac_layout &layout)
{
    return aac_element_offset(layout, layout.num_elements);
}

}  // namespace lumdec
