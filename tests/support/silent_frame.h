// The smallest valid raw_data_block of a layout: every channel element with
// a long window and no bands (max_sfb 0), elements in the layout's order
// with tags 0, 1, ... per kind, then END.  It decodes to silence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout_reference.h"
#include "pce_writer.h"

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
