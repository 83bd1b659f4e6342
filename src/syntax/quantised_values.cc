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

// The leaf of the next codeword, with the bits it and its sign bits take
// made valid; nothing is consumed.  After a second-level lookup the
// first-level index is consumed, and the leaf's lengths count from there.
template <int CB>
[[gnu::always_inline]] inline uint32_t read_leaf(aac_wide_bits &w)
{
    constexpr const aac_spectral_codebook &book = aac_spectral_codebooks[CB];
    aac_cursor_fill(w, book.peek_bits);
    uint32_t entry = book.first[aac_cursor_peek(w, book.index_bits)];
    if (book.two_levels && (entry & 0x80)) [[unlikely]] {
        aac_cursor_skip(w, book.index_bits);
        entry = book.second[(entry >> 8) + aac_cursor_peek(w, entry & 0x7f)];
    }
    return entry;
}

// The sign bits after the leaf's codeword, the first one on top, and
// consumes both.  All sign bits of a codeword come from one shift, so no
// value waits for the one before it.
[[gnu::always_inline]] inline uint32_t take_leaf_signs(aac_wide_bits &w, uint32_t entry)
{
    const uint32_t signs =
        static_cast<uint32_t>((w.cache << ((entry >> 8) & 31)) >> (aac_wide_bits::width - 32));
    aac_cursor_skip(w, entry & 31);
    return signs;
}

// The value of magnitude m whose sign is bit 31 - rank of signs.  A zero
// magnitude has no sign bit and stays zero whatever bit it is given.
[[gnu::always_inline]] inline int32_t signed_magnitude(uint32_t m, uint32_t signs, uint32_t rank)
{
    const int32_t negative = static_cast<int32_t>(signs << rank) >> 31;
    return (static_cast<int32_t>(m) ^ negative) - negative;
}

// Field f of a leaf, two's complement, `width` bits each from bit 31 down.
template <int width>
[[gnu::always_inline]] inline int32_t signed_field(uint32_t entry, int f)
{
    return static_cast<int32_t>(entry << (width * f)) >> (32 - width);
}

// The four two-bit values of a codebook 1 or 2 leaf.
[[gnu::always_inline]] inline void store_signed_quad(int32_t *dst, uint32_t entry)
{
#if defined(__SSE2__)
    // Each 16-bit lane moves its field to the top, then an arithmetic shift
    // of the lane doubled into 32 bits brings it down with its sign.
    __m128i v = _mm_shufflelo_epi16(_mm_cvtsi32_si128(static_cast<int>(entry >> 16)), 0);
    v = _mm_mullo_epi16(v, _mm_setr_epi16(1, 4, 16, 64, 0, 0, 0, 0));
    v = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 30);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), v);
#else
    for (int f = 0; f < 4; f++)
        dst[f] = signed_field<2>(entry, f);
#endif
}

// The four values of a codebook 3 or 4 leaf, with their sign bits.  The
// codeword's non-zero values and the four bits after it select a mask per
// value, so the signs need no shift of their own.
[[gnu::always_inline]] inline void store_unsigned_quad(aac_wide_bits &w, int32_t *dst,
                                                       uint32_t entry)
{
    const uint32_t next4 =
        static_cast<uint32_t>((w.cache << ((entry >> 8) & 31)) >> (aac_wide_bits::width - 4));
    aac_cursor_skip(w, entry & 31);
    const uint32_t masks = aac_quad_sign_masks[((entry >> 16) & 0xf0) | next4];
#if defined(__SSE2__)
    // The magnitudes as in store_signed_quad, shifted down without sign;
    // the mask bytes widened to lanes.
    __m128i v = _mm_shufflelo_epi16(_mm_cvtsi32_si128(static_cast<int>(entry >> 16)), 0);
    v = _mm_mullo_epi16(v, _mm_setr_epi16(1, 4, 16, 64, 0, 0, 0, 0));
    v = _mm_srli_epi32(_mm_unpacklo_epi16(v, v), 30);
    __m128i m = _mm_cvtsi32_si128(static_cast<int>(masks));
    m = _mm_unpacklo_epi8(m, m);
    m = _mm_unpacklo_epi16(m, m);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm_sub_epi32(_mm_xor_si128(v, m), m));
#else
    for (int f = 0; f < 4; f++) {
        const int32_t negative = static_cast<int32_t>(masks << (24 - 8 * f)) >> 24;
        const int32_t m = static_cast<int32_t>((entry >> (30 - 2 * f)) & 3);
        dst[f] = (m ^ negative) - negative;
    }
#endif
}

// Codebook 11: an escape after the signs of both values.
[[gnu::always_inline]] inline int32_t escaped(aac_wide_bits &w, uint32_t m)
{
    if (m == 16) [[unlikely]]
        return read_escape(w);
    return static_cast<int32_t>(m);
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
        if constexpr (coded_signed) {
            aac_cursor_skip(w, entry & 31);
            if constexpr (quads) {
                store_signed_quad(dst, entry);
            } else {
                dst[0] = signed_field<4>(entry, 0);
                dst[1] = signed_field<4>(entry, 1);
            }
        } else if constexpr (quads) {
            store_unsigned_quad(w, dst, entry);
        } else if constexpr (CB != AAC_ESC_HCB) {
            const uint32_t signs = take_leaf_signs(w, entry);
            dst[0] = signed_magnitude(entry >> 28, signs, 0);
            dst[1] = signed_magnitude((entry >> 24) & 15, signs, (entry >> 16) & 1);
        } else {
            const uint32_t signs = take_leaf_signs(w, entry);
            const uint32_t y = entry >> 27, z = (entry >> 22) & 31;
            if ((entry & 0x84000000u) == 0) [[likely]] {  // no 16, no escape
                dst[0] = signed_magnitude(y, signs, 0);
                dst[1] = signed_magnitude(z, signs, (entry >> 16) & 1);
            } else {
                const int32_t ey = escaped(w, y);
                const int32_t ez = escaped(w, z);
                dst[0] = signed_magnitude(static_cast<uint32_t>(ey), signs, 0);
                dst[1] = signed_magnitude(static_cast<uint32_t>(ez), signs, (entry >> 16) & 1);
            }
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
