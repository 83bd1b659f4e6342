#include "file/silent_frame.h"

#include <algorithm>

#include "file/bits.h"

namespace lumdec::file {

namespace {

void silent_channel_stream(BitWriter &w, int window_shape)
{
    w.put(0, 8);             // global_gain
    w.put(0, 1);             // ics_reserved_bit
    w.put(0, 2);             // window_sequence: ONLY_LONG
    w.put(static_cast<uint32_t>(window_shape), 1);
    w.put(0, 6);             // max_sfb: no bands, so no section or scale factor data
    w.put(0, 1);             // predictor_data_present
    w.put(0, 3);             // pulse, TNS and gain control data absent
}

}  // namespace

std::vector<uint8_t> silent_frame(const aac_element_map &map, int window_shape)
{
    struct Element {
        int32_t offset;
        int id, tag;
    };
    std::vector<Element> elements;
    for (int tag = 0; tag < 16; tag++) {
        if (map.sce_offset[tag] >= 0)
            elements.push_back({map.sce_offset[tag], AAC_ID_SCE, tag});
        if (map.cpe_offset[tag] >= 0)
            elements.push_back({map.cpe_offset[tag], AAC_ID_CPE, tag});
        if (map.lfe_offset[tag] >= 0)
            elements.push_back({map.lfe_offset[tag], AAC_ID_LFE, tag});
    }
    // Workspace order, which is the order of the layout.
    std::sort(elements.begin(), elements.end(),
              [](const Element &a, const Element &b) { return a.offset < b.offset; });

    BitWriter w;
    for (const Element &e : elements) {
        w.put(static_cast<uint32_t>(e.id), 3);
        w.put(static_cast<uint32_t>(e.tag), 4);
        if (e.id == AAC_ID_CPE) {
            w.put(0, 1);  // common_window
            silent_channel_stream(w, window_shape);
        }
        silent_channel_stream(w, window_shape);
    }
    w.put(AAC_ID_END, 3);
    w.byte_align();
    return w.bytes();
}

}  // namespace lumdec::file
