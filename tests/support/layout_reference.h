// The element maps the layouts should give, worked out from the record
// sizes alone.
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

// The map of elements of the given kinds; with tags, element j binds at
// tags[j] (a program_config_element), without, at its place among its kind.
// offsets, if given, receives each element's workspace offset.
inline aac_element_map element_map(const std::string &kinds, const std::vector<int> &tags = {},
                                   std::vector<uint32_t> *offsets = nullptr)
{
    aac_element_map map{};
    map.use_instance_tags = tags.empty() ? 0 : 1;
    for (int i = 0; i < 16; i++)
        map.sce_offset[i] = map.cpe_offset[i] = map.lfe_offset[i] = -1;
    uint32_t offset = 0;
    for (size_t j = 0; j < kinds.size(); j++) {
        const bool pair = kinds[j] == 'P', lfe = kinds[j] == 'L';
        int32_t &count = pair ? map.num_cpe : lfe ? map.num_lfe : map.num_sce;
        int32_t *slots = pair ? map.cpe_offset : lfe ? map.lfe_offset : map.sce_offset;
        slots[tags.empty() ? count : tags[j]] = static_cast<int32_t>(offset);
        count++;
        if (offsets)
            offsets->push_back(offset);
        offset += pair ? sizeof(aac_channel_pair_state) : sizeof(aac_channel_state);
    }
    return map;
}

inline aac_element_map expected_map(int layout, const std::vector<int> &tags = {})
{
    return element_map(layout_kinds[layout], tags);
}

// The map as words, for comparisons that print the difference.
inline std::vector<int32_t> map_words(const aac_element_map &map)
{
    std::vector<int32_t> words(sizeof map / 4);
    std::memcpy(words.data(), &map, sizeof map);
    return words;
}
