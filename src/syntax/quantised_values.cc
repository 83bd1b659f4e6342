// spectral_data: the quantised values of every band coded with codebooks 1
// to 11, with their sign bits and the escapes of codebook 11, into the
// channel's coefficients, window by window.
//
// Each codebook gets its own copy of the decode loop with its tables and
// widths fixed; one fill covers a codeword and the sign bits after it.  The
// bands of a section are contiguous within a window, so a section of a
// single-window group is decoded as one run.
#include "syntax/huffman.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "syntax/bit_cursor.h"
#include "syntax/huffman_tables.h"

namespace lumdec {

namespace {

// Escape sequence: N - 4 one bits, a zero, then an N-bit escape_word.
[[gnu::always_inline]] inline int32_t read_escape(aac_wide_bits &w)
{
    aac_cursor_fill(w, 21);
    const uint32_t entry = aac_escape_table[aac_cursor_peek(w, AAC_ESCAPE_INDEX_BITS)];
    const int low = entry & 0xff;
    if (low < 128) {
        aac_cursor_skip(w, low);
        return static_cast<int32_t>(entry >> 8);
    }
    // A prefix of nine ones would mean N > 12; the table stops it at N = 12.
    const int n = low - 128 + 3;
    aac_cursor_skip(w, low - 128);
    return (1 << n) + static_cast<int32_t>(aac_cursor_read(w, n));
}

// Consumes one codeword and returns its leaf.  Every leaf length is below
// 32.  Codebook 11 keeps its escape flags in bits 5 and 6; the other leaves
// have nothing else in the low byte, so its low bits can go to the shift as
// they are (the shift count is taken modulo the word width).
template <int CB>
[[gnu::always_inline]] inline uint32_t read_leaf(aac_wide_bits &w)
{
    constexpr const aac_spectral_codebook &book = aac_spectral_codebooks[CB];
    aac_cursor_fill(w, book.peek_bits);
    uint32_t entry = book.first[aac_cursor_peek(w, book.index_bits)];
    if (entry & 0x80) [[unlikely]] {
        aac_cursor_skip(w, book.index_bits);
        entry = book.second[(entry >> 8) + aac_cursor_peek(w, entry & 0x7f)];
    }
    aac_cursor_skip(w, entry & (CB == AAC_ESC_HCB ? 0x1f : aac_wide_bits::width - 1));
    return entry;
}

[[gnu::always_inline]] inline int32_t apply_sign(uint32_t magnitude, int32_t negative)
{
    return (static_cast<int32_t>(magnitude) ^ negative) - negative;
}

// The next bit as a sign mask, consumed when it is present (after a
// non-zero magnitude).  When it is not, the mask may be anything: a zero
// magnitude stays zero under either mask.  (A shift by a count in CL that
// leaves the bit in the carry flag is shorter, but the flags it merges cost
// more than a dozen cycles per sign on current processors.)
[[gnu::always_inline]] inline int32_t take_sign(aac_wide_bits &w, bool present)
{
    const int32_t negative = aac_cursor_top_mask(w);
    aac_cursor_skip(w, present);
    return negative;
}

[[gnu::always_inline]] inline int32_t signed_value(aac_wide_bits &w, uint32_t magnitude)
{
    return apply_sign(magnitude, take_sign(w, magnitude != 0));
}

// Field f of a leaf, two's complement, `width` bits each from bit 15 down.
template <int width>
[[gnu::always_inline]] inline int32_t signed_field(uint32_t entry, int f)
{
    return static_cast<int32_t>(entry << (16 + width * f)) >> (32 - width);
}

// The four two-bit values of a codebook 1 or 2 leaf.
[[gnu::always_inline]] inline void store_signed_quad(int32_t *dst, uint32_t entry)
{
#if defined(__SSE2__)
    // Each 16-bit lane moves its field to the top, then an arithmetic shift
    // of the lane doubled into 32 bits brings it down with its sign.
    __m128i v = _mm_shufflelo_epi16(_mm_cvtsi32_si128(static_cast<int>(entry)), 0);
    v = _mm_mullo_epi16(v, _mm_setr_epi16(1, 4, 16, 64, 0, 0, 0, 0));
    v = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 30);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), v);
#else
    for (int f = 0; f < 4; f++)
        dst[f] = signed_field<2>(entry, f);
#endif
}

// A run of coefficients (a multiple of the codebook's dimension, not empty)
// from dst to end.
template <int CB>
[[gnu::always_inline]] inline void decode_run(aac_wide_bits &w, int32_t *dst, int32_t *const end)
{
    constexpr bool quads = CB <= 4;
    constexpr bool coded_signed = CB <= 2 || CB == 5 || CB == 6;
    do {
        const uint32_t entry = read_leaf<CB>(w);
        if constexpr (quads && coded_signed) {
            store_signed_quad(dst, entry);
        } else if constexpr (quads) {
            dst[0] = signed_value(w, entry >> 14);
            dst[1] = signed_value(w, (entry >> 12) & 3);
            dst[2] = signed_value(w, (entry >> 10) & 3);
            dst[3] = signed_value(w, (entry >> 8) & 3);
        } else if constexpr (coded_signed) {
            dst[0] = signed_field<4>(entry, 0);
            dst[1] = signed_field<4>(entry, 1);
        } else if constexpr (CB != AAC_ESC_HCB) {
            dst[0] = signed_value(w, entry >> 12);
            dst[1] = signed_value(w, (entry >> 8) & 15);
        } else {
            // A flagged value is 16 with a zero field; both signs come
            // before either escape.
            uint32_t y = (entry >> 12) | ((entry >> 2) & 16);
            uint32_t z = ((entry >> 8) & 15) | ((entry >> 1) & 16);
            const int32_t y_negative = take_sign(w, y != 0);
            const int32_t z_negative = take_sign(w, z != 0);
            if (y == 16) [[unlikely]]
                y = static_cast<uint32_t>(read_escape(w));
            if (z == 16) [[unlikely]]
                z = static_cast<uint32_t>(read_escape(w));
            dst[0] = apply_sign(y, y_negative);
            dst[1] = apply_sign(z, z_negative);
        }
        dst += quads ? 4 : 2;
    } while (dst != end);
}

// Bands [band, end_band) of a section for each of the group's windows in
// turn.  The cursor goes in and out by value so that it stays in registers.
template <int CB>
aac_wide_bits decode_section(aac_wide_bits w, int32_t *group, const uint16_t *ends,
                             uint32_t band, uint32_t end_band, uint32_t windows)
{
    const uint32_t start = band ? ends[band - 1] : 0;
    if (windows == 1) {
        decode_run<CB>(w, group + start, group + ends[end_band - 1]);
        return w;
    }
    for (uint32_t band_start = start; band < end_band; band++) {
        const uint32_t band_end = ends[band];
        for (uint32_t i = 0; i < windows; i++)
            decode_run<CB>(w, group + 128 * i + band_start, group + 128 * i + band_end);
        band_start = band_end;
    }
    return w;
}

}  // namespace

void aac_parse_spectral_data(aac_bit_reader *reader, int32_t *coef, const aac_ics_info *ics,
                             const uint32_t *sections, const aac_stream_tables *tables)
{
    aac_wide_bits w = aac_cursor_begin<uintptr_t>(reader);
    aac_cursor_spectral_data(w, coef, ics, sections, tables);
    aac_cursor_end(w);
}

void aac_cursor_spectral_data(aac_wide_bits &cursor, int32_t *coef, const aac_ics_info *ics,
                              const uint32_t *sections, const aac_stream_tables *tables)
{
    const bool eight_short = ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE;
    const uint16_t *ends = eight_short ? tables->swb_end_short : tables->swb_end_long;
    const uint32_t max_sfb = ics->max_sfb;
    aac_wide_bits w = cursor;  // a local copy stays in registers
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
    cursor = w;
}

}  // namespace lumdec
