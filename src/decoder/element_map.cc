#include "decoder/element_map.h"

#include "decoder/layouts.h"
#include "frame/error.h"

namespace lumdec {

namespace {

// One accepted make-up of a program_config_element: its element counts,
// whether each front and back entry must be a pair, and the layout it
// gives.  Listing the front, back and lfe entries in this order yields the
// layout's elements in workspace order.
struct pce_row {
    uint8_t front, back, lfe;
    uint8_t front_is_cpe[2];
    uint8_t back_is_cpe[2];
    int32_t layout;
};

constexpr pce_row accepted_rows[] = {
    {1, 0, 0, {0}, {}, 1},
    {1, 0, 0, {1}, {}, 2},
    {1, 1, 0, {1}, {0}, 8},
    {1, 1, 0, {1}, {1}, 9},
    {2, 0, 0, {0, 1}, {}, 3},
    {2, 0, 0, {0, 0}, {}, 10},
    {2, 1, 0, {0, 1}, {0}, 4},
    {2, 1, 0, {0, 1}, {1}, 5},
    {2, 1, 1, {0, 1}, {1}, 6},
    {2, 2, 1, {0, 1}, {1, 1}, 7},
};

void clear_map(aac_element_map *map, int32_t use_instance_tags)
{
    map->use_instance_tags = use_instance_tags;
    map->num_sce = 0;
    map->num_cpe = 0;
    map->num_lfe = 0;
    for (int i = 0; i < 16; i++) {
        map->sce_offset[i] = -1;
        map->cpe_offset[i] = -1;
        map->lfe_offset[i] = -1;
    }
}

int32_t *offsets_of(aac_element_map *map, aac_element_kind kind)
{
    switch (kind) {
    case AAC_ELEMENT_SCE:
        return map->sce_offset;
    case AAC_ELEMENT_CPE:
        return map->cpe_offset;
    case AAC_ELEMENT_LFE:
        break;
    }
    return map->lfe_offset;
}

int32_t &count_of(aac_element_map *map, aac_element_kind kind)
{
    switch (kind) {
    case AAC_ELEMENT_SCE:
        return map->num_sce;
    case AAC_ELEMENT_CPE:
        return map->num_cpe;
    case AAC_ELEMENT_LFE:
        break;
    }
    return map->num_lfe;
}

bool kinds_match(const uint32_t *entries, const uint8_t *is_cpe, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++) {
        if ((entries[i] >> 4) != is_cpe[i])
            return false;
    }
    return true;
}

const pce_row *find_row(const aac_pce *pce)
{
    for (const pce_row &row : accepted_rows) {
        if (pce->num_front_channel_elements == row.front &&
            pce->num_back_channel_elements == row.back &&
            pce->num_lfe_channel_elements == row.lfe &&
            kinds_match(pce->front_element, row.front_is_cpe, row.front) &&
            kinds_match(pce->back_element, row.back_is_cpe, row.back))
            return &row;
    }
    return nullptr;
}

}  // namespace

void aac_map_from_layout(int32_t layout, aac_element_map *map)
{
    if (static_cast<uint32_t>(layout) - 1 >= 10)
        aac_raise(AAC_ERR_BAD_STREAM, "layout number beyond 1..10");
    clear_map(map, 0);
    const aac_layout &table = aac_layouts[layout];
    for (int i = 0; i < table.num_elements; i++) {
        aac_element_kind kind = table.elements[i].kind;
        int32_t &count = count_of(map, kind);
        offsets_of(map, kind)[count++] = static_cast<int32_t>(aac_element_offset(table, i));
    }
}

int32_t aac_map_from_pce(const aac_pce *pce, aac_element_map *map)
{
    clear_map(map, 1);
    if (pce->num_valid_cc_elements != 0 || pce->mono_mixdown_present != 0 ||
        pce->stereo_mixdown_present != 0 || pce->num_side_channel_elements != 0)
        aac_raise(AAC_ERR_BAD_STREAM, "PCE with coupling, mixdown or side elements");
    const pce_row *row = find_row(pce);
    if (row == nullptr)
        aac_raise(AAC_ERR_BAD_STREAM, "PCE of no supported layout");

    uint32_t tags[5];
    int n = 0;
    for (uint32_t i = 0; i < row->front; i++)
        tags[n++] = pce->front_element[i] & 15;
    for (uint32_t i = 0; i < row->back; i++)
        tags[n++] = pce->back_element[i] & 15;
    for (uint32_t i = 0; i < row->lfe; i++)
        tags[n++] = pce->lfe_element[i] & 15;

    const aac_layout &table = aac_layouts[row->layout];
    for (int i = 0; i < table.num_elements; i++) {
        aac_element_kind kind = table.elements[i].kind;
        int32_t &slot = offsets_of(map, kind)[tags[i]];
        // Frames could never bind both elements of a kind that share a tag.
        if (slot != -1)
            aac_raise(AAC_ERR_BAD_STREAM, "PCE binds two elements of a kind to one tag");
        slot = static_cast<int32_t>(aac_element_offset(table, i));
        count_of(map, kind) += 1;
    }
    return row->layout;
}

}  // namespace lumdec
