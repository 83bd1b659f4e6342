// What the layouts should give, worked out independently: the element maps
// (from the record sizes alone), and the smallest valid raw_data_block of
// each: every channel element with a long window and no bands (max_sfb 0),
// elements in the layout's order with tags 0, 1, ... per kind, then END.
// It decodes to silence.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bit_writer.h"
#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

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

inline void put_empty_ics(BitWriter &w)
{
    w.put(100, 8);  // global_gain
    w.put(0, 11);   // ics_info: long window, max_sfb 0, no predictor
    w.put(0, 3);    // no pulse, TNS or gain control data
}

inline std::vector<uint8_t> silent_frame(int layout)
{
    BitWriter w;
    int tags[3] = {0, 0, 0};
    for (char kind : std::string(layout_kinds[layout])) {
        const uint32_t id = kind == 'S' ? AAC_ID_SCE : kind == 'P' ? AAC_ID_CPE : AAC_ID_LFE;
        w.put(id, 3);
        w.put(static_cast<uint32_t>(tags[id == AAC_ID_LFE ? 2 : id]++), 4);
        if (kind == 'P')
            w.put(0, 1);  // common_window
        put_empty_ics(w);
        if (kind == 'P')
            put_empty_ics(w);
    }
    w.put(AAC_ID_END, 3);
    return w.bytes();
}

}  // namespace lumdec
