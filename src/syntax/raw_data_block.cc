#include "syntax/raw_data_block.h"

#include <cstdint>

#include "decoder/he_instance.h"
#include "frame/error.h"
#include "syntax/bit_reader.h"
#include "syntax/channel_elements.h"
#include "syntax/records.h"
#include "syntax/skip_elements.h"

namespace {

// 63 elements before END, each of up to 3 words, plus the entry of a 64th
// element that is recorded before the limit raises.
constexpr int max_elements = 64;
constexpr int list_words = 3 * max_elements;

// Takes the map entry of the next element of one kind and marks it used,
// so that a second element bound to the same entry fails.  The index is a
// 4-bit tag, or the number of elements of the kind bound so far.  Only a
// map with all 16 entries configured and used lets that count reach 16; it
// then wraps to entry 0, which is used, and raises.
inline int32_t take_offset(aac_bit_reader *reader, bool by_tag, int32_t *offsets, int seen)
{
    int index = seen;
    if (by_tag) {
        aac_bits_fill(reader, 4);
        index = static_cast<int>(aac_bits_peek(reader, 4));
    }
    int32_t offset = offsets[index & 15];
    if (offset < 0)
        aac_raise(AAC_ERR_CORRUPT_FRAME);
    offsets[index & 15] = -1;
    return offset;
}

}  // namespace

void aac_parse_raw_data_block(aac_decoder *decoder)
{
    // The copy is marked as entries are used, so nothing needs undoing.
    aac_element_map map = decoder->element_map;
    const bool by_tag = map.use_instance_tags == 1;
    const aac_stream_tables *tables = &decoder->stream_tables;
    uint8_t *work = reinterpret_cast<uint8_t *>(reinterpret_cast<uintptr_t>(decoder->cur_work) &
                                                ~static_cast<uintptr_t>(15));
    int sce_seen = 0, cpe_seen = 0, lfe_seen = 0;
    int elements = 0;
    aac_syn_elem list[list_words];
    aac_syn_elem *entry = list;

    aac_bit_reader reader;
    aac_bits_init(&reader, decoder->input_data, decoder->input_size);
    lumdec::he_decoder *he = lumdec::he_of(decoder);
    if (he)
        lumdec::he_begin_frame(he);
    for (;;) {
        aac_bits_fill(&reader, 3);
        entry[1] = aac_bits_position(&reader);
        uint32_t id = aac_bits_read(&reader, 3);
        entry[0] = static_cast<aac_syn_elem>(id);
        entry += 2;
        switch (id) {
        case AAC_ID_SCE: {
            int32_t offset = take_offset(&reader, by_tag, map.sce_offset, sce_seen);
            aac_parse_sce(&reader, reinterpret_cast<aac_channel_state *>(work + offset), tables);
            if (he)
                lumdec::he_note_element(he, offset);
            sce_seen++;
            break;
        }
        case AAC_ID_LFE: {
            int32_t offset = take_offset(&reader, by_tag, map.lfe_offset, lfe_seen);
            aac_parse_sce(&reader, reinterpret_cast<aac_channel_state *>(work + offset), tables);
            if (he)
                lumdec::he_note_element(he, -1);
            lfe_seen++;
            break;
        }
        case AAC_ID_CPE: {
            int32_t offset = take_offset(&reader, by_tag, map.cpe_offset, cpe_seen);
            auto *pair = reinterpret_cast<aac_channel_pair_state *>(work + offset);
            aac_parse_cpe(&reader, pair, tables);
            *entry++ = static_cast<aac_syn_elem>(pair->channel[1].ics_start_bit);
            if (he)
                lumdec::he_note_element(he, offset);
            cpe_seen++;
            break;
        }
        case AAC_ID_CCE:
            aac_raise(AAC_ERR_CORRUPT_FRAME);
        case AAC_ID_DSE:
            aac_skip_dse(&reader);
            break;
        case AAC_ID_PCE:
            aac_skip_pce(&reader);
            break;
        case AAC_ID_FIL:
            if (he)
                lumdec::he_note_fill(he, &reader);
            else
                aac_skip_fill(&reader);
            break;
        default:  // END
            // The closing byte_alignment: the block ends at the next byte.
            decoder->bytes_used = aac_bits_bytes_used(&reader);
            if (sce_seen != map.num_sce || cpe_seen != map.num_cpe || lfe_seen != map.num_lfe)
                aac_raise(AAC_ERR_CORRUPT_FRAME);
            if (decoder->syn_elem_hook) {
                aac_status status = decoder->syn_elem_hook(decoder, list);
                if (status < 0)
                    aac_raise(status);
            }
            return;
        }
        if (++elements == max_elements)
            aac_raise(AAC_ERR_BAD_STREAM);
    }
}
