#include "frame_checks.h"

#include "fuzz_input.h"
#include "syntax/records.h"



namespace lumdec {

namespace {

bool channel_in_range(const aac_channel_state &ch, const aac_ics_info &ics)
{
    for (uint32_t g = 0; g < ics.num_window_groups; g++) {
        const uint32_t *section = ch.sections + 16 * g;
        for (uint32_t band = 0; band < ics.max_sfb; section++) {
            const uint32_t codebook = *section >> 8;
            const uint32_t end = *section & 0xFF;
            for (; band < end; band++) {
                const int32_t v = ch.scalefactors[16 * g + band];
                // Scale factors 0..255 are stored less 100.
                if (codebook >= 1 && codebook <= 11 && (v < -100 || v > 155))
                    return false;
                if (codebook >= 13 && (v < -155 || v > 155))
                    return false;
            }
        }
    }
    return true;
}

bool workspace_in_range(const char *work, const aac_layout &layout)
{
    for (int i = 0; i < layout.num_elements; i++) {
        const char *record = work + aac_element_offset(layout, i);
        if (layout.elements[i].kind != AAC_ELEMENT_CPE) {
            const auto &ch = *reinterpret_cast<const aac_channel_state *>(record);
            if (!channel_in_range(ch, ch.ics_info))
                return false;
            continue;
        }
        const auto &pair = *reinterpret_cast<const aac_channel_pair_state *>(record);
        const aac_ics_info &ics1 =
            pair.common_window ? pair.channel[0].ics_info : pair.channel[1].ics_info;
        if (!channel_in_range(pair.channel[0], pair.channel[0].ics_info) ||
            !channel_in_range(pair.channel[1], ics1))
            return false;
    }
    return true;
}

const char *without_state(void *slot)
{
    return reinterpret_cast<const char *>(reinterpret_cast<uintptr_t>(slot) & ~uintptr_t{15});
}

}  // namespace

void check_element_list(const aac_syn_elem *list, const aac_decoder &dec, int32_t frame_size)
{
    const int32_t limit = (frame_size + 8) * 8;
    int32_t last = -1;
    int elements = 0, sce = 0, cpe = 0, lfe = 0;
    for (;;) {
        const int32_t id = list[0], position = list[1];
        FUZZ_CHECK(id >= AAC_ID_SCE && id <= AAC_ID_END && id != AAC_ID_CCE);
        FUZZ_CHECK(position > last && position + 3 <= limit);
        last = position;
        list += 2;
        if (id == AAC_ID_END)
            break;
        FUZZ_CHECK(++elements < 64);
        sce += id == AAC_ID_SCE;
        lfe += id == AAC_ID_LFE;
        if (id == AAC_ID_CPE) {
            cpe++;
            FUZZ_CHECK(*list > last + 3 && *list < limit);
            last = *list++;
        }
    }
    FUZZ_CHECK(sce == dec.element_map.num_sce && cpe == dec.element_map.num_cpe &&
               lfe == dec.element_map.num_lfe);
    FUZZ_CHECK(dec.bytes_used == (last + 3 + 7) / 8);
}

bool frames_may_overflow(const aac_decoder &dec, const aac_layout &layout)
{
    return !workspace_in_range(without_state(dec.cur_work), layout) ||
           !workspace_in_range(without_state(dec.prev_work), layout);
}

}  // namespace lumdec
