#include "syntax/ics.h"

#include <algorithm>

#include "frame/error.h"
#include "syntax/bit_cursor.h"
#include "syntax/huffman.h"
#include "syntax/pulse_data.h"
#include "syntax/scalefactor_code.h"
#include "syntax/tns_data.h"

namespace lumdec {

void aac_parse_ics_info(aac_bit_reader *reader, aac_ics_info *ics,
                        const aac_stream_tables *tables)
{
    // 15 bits cover the fixed fields of either kind (long: 11, short: 15).
    aac_bits_fill(reader, 15);
    if (aac_bits_peek(reader, 1))
        aac_raise(AAC_ERR_BAD_STREAM, "ics_reserved_bit set");
    uint32_t head = aac_bits_read(reader, 4);
    ics->window_sequence = head >> 1;
    ics->window_shape = head & 1;
    if (ics->window_sequence != AAC_EIGHT_SHORT_SEQUENCE) {
        uint32_t max_sfb = aac_bits_read(reader, 6);
        if (max_sfb > tables->num_swb_long)
            aac_raise(AAC_ERR_CORRUPT_FRAME, "long max_sfb beyond the band count");
        ics->max_sfb = max_sfb;
        if (aac_bits_read(reader, 1))  // predictor_data_present
            aac_raise(AAC_ERR_BAD_STREAM, "predictor data");
        ics->num_window_groups = 1;
        ics->window_group_end[0] = 1;
        return;
    }
    uint32_t max_sfb = aac_bits_read(reader, 4);
    if (max_sfb > tables->num_swb_short)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "short max_sfb beyond the band count");
    ics->max_sfb = max_sfb;
    // Bit 6 of the grouping belongs to window 1; a 0 starts a new group
    // at that window.
    uint32_t grouping = aac_bits_read(reader, 7);
    uint32_t groups = 0;
    for (uint32_t w = 1; w < 8; w++) {
        if (!((grouping >> (7 - w)) & 1))
            ics->window_group_end[groups++] = w;
    }
    ics->window_group_end[groups++] = 8;
    ics->num_window_groups = groups;
}

namespace {

// The section lists of all groups, with the length field and its escape
// value fixed by the window kind.
template <int len_bits>
uint32_t parse_sections(aac_wide_bits &w, const aac_ics_info *ics, uint32_t *sections)
{
    constexpr uint32_t escape = (1u << len_bits) - 1;
    const uint32_t max_sfb = ics->max_sfb;
    uint32_t codebooks_seen = 0;
    for (uint32_t g = 0; g < ics->num_window_groups; g++) {
        uint32_t *out = sections + aac_group_offset(g);
        uint32_t k = 0;
        while (k < max_sfb) {
            aac_cursor_fill(w, 4 + len_bits);
            const uint32_t codebook = aac_cursor_read(w, 4);
            uint32_t length = aac_cursor_read(w, len_bits);
            if (length == escape) [[unlikely]] {
                uint32_t field;
                do {
                    field = aac_cursor_get(w, len_bits);
                    // Past 63 bands the section reaches max_sfb whatever
                    // follows; stop counting so a long run of escapes
                    // cannot wrap.
                    if (length < 64)
                        length += field;
                } while (field == escape);
            }
            if (length == 0)
                continue;
            if (codebook == 12)
                aac_raise(AAC_ERR_CORRUPT_FRAME, "reserved section codebook 12");
            codebooks_seen |= 1u << codebook;
            k = std::min(k + length, max_sfb);
            *out++ = aac_section_entry(codebook, k);
        }
    }
    return codebooks_seen;
}

}  // namespace

void aac_cursor_section_data(aac_wide_bits &cursor, const aac_ics_info *ics, uint32_t *sections,
                             uint32_t *noise_used, uint32_t *intensity_used)
{
    aac_wide_bits w = cursor;  // a local copy stays in registers
    const uint32_t codebooks_seen = ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE
                                        ? parse_sections<3>(w, ics, sections)
                                        : parse_sections<5>(w, ics, sections);
    cursor = w;
    *noise_used = (codebooks_seen >> AAC_NOISE_HCB) & 1;
    *intensity_used = (codebooks_seen >> AAC_INTENSITY_HCB2) != 0;
}

namespace {

void scale_factor_data(aac_wide_bits &cursor, const aac_ics_info *ics, uint32_t global_gain,
                       int32_t *scalefactors, const uint32_t *sections)
{
    aac_wide_bits w = cursor;
    // The three running values carry on across groups.
    int32_t scalefactor = static_cast<int32_t>(global_gain) - 100;
    int32_t noise_energy = static_cast<int32_t>(global_gain) - 90;
    int32_t intensity_position = 0;
    bool first_noise_band = true;
    const uint32_t max_sfb = ics->max_sfb;
    for (uint32_t g = 0; g < ics->num_window_groups; g++) {
        const uint32_t *section = sections + aac_group_offset(g);
        int32_t *out = scalefactors + aac_group_offset(g);
        for (uint32_t band = 0; band < max_sfb; section++) {
            const uint32_t codebook = aac_section_codebook(*section);
            const uint32_t end = aac_section_end(*section);
            if (codebook == AAC_ZERO_HCB) {
                band = end;
            } else if (codebook < AAC_NOISE_HCB) [[likely]] {
                do {
                    scalefactor += aac_cursor_scalefactor_diff(w);
                    out[band] = scalefactor;
                } while (++band < end);
            } else if (codebook == AAC_NOISE_HCB) {
                do {
                    if (first_noise_band) {
                        first_noise_band = false;
                        noise_energy += static_cast<int32_t>(aac_cursor_get(w, 9)) - 256;
                    } else {
                        noise_energy += aac_cursor_scalefactor_diff(w);
                    }
                    out[band] = noise_energy;
                } while (++band < end);
            } else {
                do {
                    intensity_position += aac_cursor_scalefactor_diff(w);
                    out[band] = intensity_position;
                } while (++band < end);
            }
        }
    }
    cursor = w;
}

}  // namespace

void aac_parse_ms_mask(aac_bit_reader *reader, const aac_ics_info *ics, uint32_t *ms_used)
{
    const uint32_t max_sfb = ics->max_sfb;
    aac_wide_bits w = aac_cursor_begin<uintptr_t>(reader);
    for (uint32_t g = 0; g < ics->num_window_groups; g++) {
        uint32_t *out = ms_used + aac_group_offset(g);
        for (uint32_t band = 0; band < max_sfb;) {
            int n = static_cast<int>(std::min(max_sfb - band, 16u));
            uint32_t mask = aac_cursor_get(w, n) << (32 - n);
            for (const uint32_t end = band + n; band < end; band++, mask <<= 1)
                out[band] = mask >> 31;
        }
    }
    aac_cursor_end(w);
}

void aac_parse_ics(aac_bit_reader *reader, aac_channel_state *channel,
                   const aac_ics_info *shared, const aac_stream_tables *tables)
{
    channel->ics_start_bit = static_cast<uint32_t>(aac_bits_position(reader));
    channel->global_gain = aac_bits_get(reader, 8);
    const aac_ics_info *ics = shared;
    if (!ics) {
        aac_parse_ics_info(reader, &channel->ics_info, tables);
        ics = &channel->ics_info;
    }
    // One cursor from the section data to the end of the spectral data; the
    // rarer pulse and TNS data go through the reader.
    aac_wide_bits w = aac_cursor_begin<uintptr_t>(reader);
    aac_cursor_section_data(w, ics, channel->sections, &channel->noise_used,
                            &channel->intensity_used);
    scale_factor_data(w, ics, channel->global_gain, channel->scalefactors, channel->sections);
    channel->pulse_data_present = aac_cursor_get(w, 1);
    if (channel->pulse_data_present) {
        aac_cursor_end(w);
        aac_parse_pulse_data(reader, ics, tables, &channel->pulse);
        w = aac_cursor_begin<uintptr_t>(reader);
    }
    channel->tns_data_present = aac_cursor_get(w, 1);
    if (channel->tns_data_present) {
        aac_cursor_end(w);
        aac_parse_tns_data(reader, ics, tables, &channel->tns);
        w = aac_cursor_begin<uintptr_t>(reader);
    }
    if (aac_cursor_get(w, 1))  // gain_control_data_present
        aac_raise(AAC_ERR_BAD_STREAM, "gain control data");
    aac_cursor_spectral_data(w, channel->coef, ics, channel->sections, tables);
    aac_cursor_end(w);
}

}  // namespace lumdec
