// The ten layouts as the tests know them, and the element map each should
// give, worked out from the record sizes alone.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lumdec.h"
#include "syntax/records.h"

// Elements of each layout in workspace order: S single, P pair, L LFE.
inline const char *const layout_kinds[11] = {"",    "S",     "P",  "SP", "SPS", "SPP",
                                             "SPPL", "SPPPL", "PS", "PP", "SS"};

// The map of a layout; with tags, element j binds at tags[j] (a
// program_config_element), without, at its position among its kind.
inline aac_element_map expected_map(int layout, const std::vector<int> &tags = {})
{
    aac_element_map map;
    map.use_instance_tags = tags.empty() ? 0 : 1;
    map.num_sce = map.num_cpe = map.num_lfe = 0;
    for (int i = 0; i < 16; i++)
        map.sce_offset[i] = map.cpe_offset[i] = map.lfe_offset[i] = -1;
    int32_t offset = 0;
    std::string kinds = layout_kinds[layout];
    for (size_t j = 0; j < kinds.size(); j++) {
        bool pair = kinds[j] == 'P';
        int32_t &count = pair ? map.num_cpe : kinds[j] == 'L' ? map.num_lfe : map.num_sce;
        int32_t *offsets = pair ? map.cpe_offset : kinds[j] == 'L' ? map.lfe_offset : map.sce_offset;
        offsets[tags.empty() ? count : tags[j]] = offset;
        count++;
        offset += pair ? sizeof(aac_channel_pair_state) : sizeof(aac_channel_state);
    }
    return map;
}

// The map as words, for comparisons that print the difference.
inline std::vector<int32_t> map_words(const aac_element_map &map)
{
    std::vector<int32_t> words(sizeof map / 4);
    std::memcpy(words.data(), &map, sizeof map);
    return words;
}
