// spectral_data: the quantised values of every band coded with codebooks 1
// to 11, with their sign bits and the escapes of codebook 11, into the
// channel's coefficients, window by window.
//
// Each codebook gets its own copy of the decode loop with its tables and
// widths fixed; one fill covers a codeword and the sign bits after it.
#include "syntax/huffman.h"

#include "syntax/huffman_tables.h"
#include "syntax/wide_bits.h"

namespace {

// Escape sequence: N - 4 one bits, a zero, then an N-bit escape_word.
[[gnu::always_inline]] inline int32_t read_escape(aac_wide_bits &w)
{
    aac_wide_fill(w, 21);
    const uint32_t entry = aac_escape_table[aac_wide_peek(w, AAC_ESCAPE_INDEX_BITS)];
    const int low = entry & 0xff;
    if (low < 128) {
        aac_wide_skip(w, low);
        return static_cast<int32_t>(entry >> 8);
    }
    // A prefix of nine ones would mean N > 12; the table stops it at N = 12.
    const int n = low - 128 + 3;
    aac_wide_skip(w, low - 128);
    const int32_t word = static_cast<int32_t>(aac_wide_peek(w, n));
    aac_wide_skip(w, n);
    return (1 << n) + word;
}

// Consumes one codeword and returns its leaf.
template <int CB>
[[gnu::always_inline]] inline uint32_t read_leaf(aac_wide_bits &w)
{
    constexpr const aac_spectral_codebook &book = aac_spectral_codebooks[CB];
    aac_wide_fill(w, book.peek_bits);
    uint32_t entry = book.first[aac_wide_peek(w, book.index_bits)];
    if (entry & 0x80) {
        aac_wide_skip(w, book.index_bits);
        entry = book.second[(entry >> 8) + aac_wide_peek(w, entry & 0x7f)];
    }
    aac_wide_skip(w, entry & (CB == AAC_ESC_HCB ? 0x1f : 0x7f));
    return entry;
}

// All-ones when the sign bit of a non-zero magnitude says negative; the bit
// is consumed only for a non-zero magnitude.
[[gnu::always_inline]] inline int32_t read_sign(aac_wide_bits &w, uint32_t magnitude)
{
    const uint32_t present = magnitude != 0;
    const int32_t negative = -static_cast<int32_t>((w.cache >> 63) & present);
    aac_wide_skip(w, static_cast<int>(present));
    return negative;
}

[[gnu::always_inline]] inline int32_t apply_sign(uint32_t magnitude, int32_t negative)
{
    return (static_cast<int32_t>(magnitude) ^ negative) - negative;
}

// Field f of a leaf, two's complement, `width` bits each from bit 15 down.
template <int width>
[[gnu::always_inline]] inline int32_t signed_field(uint32_t entry, int f)
{
    return static_cast<int32_t>(entry << (16 + width * f)) >> (32 - width);
}

template <int width>
[[gnu::always_inline]] inline uint32_t unsigned_field(uint32_t entry, int f)
{
    return (entry >> (16 - width * (f + 1))) & ((1u << width) - 1);
}

// count coefficients (a multiple of the codebook's dimension) into dst.
template <int CB>
[[gnu::always_inline]] inline void decode_run(aac_wide_bits &w, int32_t *dst, uint32_t count)
{
    constexpr bool quads = CB <= 4;
    constexpr bool coded_signed = CB <= 2 || CB == 5 || CB == 6;
    for (uint32_t k = 0; k < count; k += quads ? 4 : 2) {
        const uint32_t entry = read_leaf<CB>(w);
        if constexpr (quads && coded_signed) {
            for (int f = 0; f < 4; f++)
                dst[k + f] = signed_field<2>(entry, f);
        } else if constexpr (quads) {
            for (int f = 0; f < 4; f++) {
                const uint32_t m = unsigned_field<2>(entry, f);
                dst[k + f] = apply_sign(m, read_sign(w, m));
            }
        } else if constexpr (coded_signed) {
            dst[k] = signed_field<4>(entry, 0);
            dst[k + 1] = signed_field<4>(entry, 1);
        } else if constexpr (CB != AAC_ESC_HCB) {
            const uint32_t y = unsigned_field<4>(entry, 0);
            dst[k] = apply_sign(y, read_sign(w, y));
            const uint32_t z = unsigned_field<4>(entry, 1);
            dst[k + 1] = apply_sign(z, read_sign(w, z));
        } else {
            // A flagged value is 16 with a zero field; both signs come before
            // either escape.
            uint32_t y = unsigned_field<4>(entry, 0) + ((entry & 0x40) >> 2);
            uint32_t z = unsigned_field<4>(entry, 1) + ((entry & 0x20) >> 1);
            const int32_t y_negative = read_sign(w, y);
            const int32_t z_negative = read_sign(w, z);
            if (y == 16)
                y = static_cast<uint32_t>(read_escape(w));
            if (z == 16)
                z = static_cast<uint32_t>(read_escape(w));
            dst[k] = apply_sign(y, y_negative);
            dst[k + 1] = apply_sign(z, z_negative);
        }
    }
}

// Bands [band, end_band) of a section for each of the group's windows in
// turn.  The cursor goes in and out by value so that it stays in registers.
template <int CB>
aac_wide_bits decode_section(aac_wide_bits w, int32_t *group, const uint16_t *ends,
                             uint32_t band, uint32_t end_band, uint32_t windows)
{
    for (; band < end_band; band++) {
        const uint32_t start = band ? ends[band - 1] : 0;
        const uint32_t count = ends[band] - start;
        for (uint32_t i = 0; i < windows; i++)
            decode_run<CB>(w, group + 128 * i + start, count);
    }
    return w;
}

}  // namespace

int32_t aac_decode_escape(aac_bit_reader *reader)
{
    aac_wide_bits w = aac_wide_begin(reader);
    const int32_t value = read_escape(w);
    aac_wide_end(w);
    return value;
}

void aac_parse_spectral_data(aac_bit_reader *reader, int32_t *coef, const aac_ics_info *ics,
                             const uint32_t *sections, const aac_stream_tables *tables)
{
    const bool eight_short = ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE;
    const uint16_t *ends = eight_short ? tables->swb_end_short : tables->swb_end_long;
    const uint32_t max_sfb = ics->max_sfb;
    aac_wide_bits w = aac_wide_begin(reader);
    int32_t *group = coef;
    uint32_t group_start = 0;
    for (uint32_t g = 0; g < ics->num_window_groups; g++) {
        const uint32_t windows = ics->window_group_end[g] - group_start;
        group_start = ics->window_group_end[g];
        // The section parser ends every group's list at max_sfb.
        const uint32_t *section = sections + 16 * g;
        for (uint32_t band = 0; band < max_sfb; section++) {
            const uint32_t end_band = *section & 0xff;
            switch (*section >> 8) {
            case 1: w = decode_section<1>(w, group, ends, band, end_band, windows); break;
            case 2: w = decode_section<2>(w, group, ends, band, end_band, windows); break;
            case 3: w = decode_section<3>(w, group, ends, band, end_band, windows); break;
            case 4: w = decode_section<4>(w, group, ends, band, end_band, windows); break;
            case 5: w = decode_section<5>(w, group, ends, band, end_band, windows); break;
            case 6: w = decode_section<6>(w, group, ends, band, end_band, windows); break;
            case 7: w = decode_section<7>(w, group, ends, band, end_band, windows); break;
            case 8: w = decode_section<8>(w, group, ends, band, end_band, windows); break;
            case 9: w = decode_section<9>(w, group, ends, band, end_band, windows); break;
            case 10: w = decode_section<10>(w, group, ends, band, end_band, windows); break;
            case 11: w = decode_section<11>(w, group, ends, band, end_band, windows); break;
            default: break;  // zero, noise and intensity bands carry no spectral bits
            }
            band = end_band;
        }
        group += 128 * windows;
    }
    aac_wide_end(w);
}
