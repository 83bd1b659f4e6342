// The tests' own encoder of bitstream syntax: Huffman codewords taken
// straight from the codeword lists (independent of the decoder's packed
// tables), spectra in stream order, and the fixed fields of a channel
// stream; and a runner for a parser on what was written.
#pragma once

#include <bit>
#include <cstdlib>
#include <cstring>

#include "bit_writer.h"
#include "frame/error.h"
#include "syntax/bit_reader.h"
#include "syntax/records.h"

namespace lumdec {

struct HuffmanCodeword {
    uint32_t length;
    uint32_t code;
};

#include "huffman_codewords.inc"

struct BookShape {
    int dimension;
    bool coded_signed;
    int lav;  // 16 for codebook 11 means "escape"
    int modulus() const { return coded_signed ? 2 * lav + 1 : lav + 1; }
};

inline constexpr BookShape kBookShapes[12] = {
    {0, false, 0}, {4, true, 1}, {4, true, 1}, {4, false, 2}, {4, false, 2},   {2, true, 4},
    {2, true, 4},  {2, false, 7}, {2, false, 7}, {2, false, 12}, {2, false, 12}, {2, false, 16},
};

inline void put_codeword(BitWriter &out, const HuffmanCodeword &cw)
{
    out.put(cw.code, static_cast<int>(cw.length));
}

inline void put_scalefactor_diff(BitWriter &out, int diff)
{
    put_codeword(out, kScalefactorCodewords[diff + 60]);
}

// One codeword's values, then its sign bits, then its escapes (16 .. 8191:
// N - 4 ones, a zero, N bits of value - 2^N).
inline void put_values(BitWriter &out, int cb, const int32_t *values)
{
    const BookShape &shape = kBookShapes[cb];
    int index = 0;
    for (int i = 0; i < shape.dimension; i++) {
        const int v = shape.coded_signed ? values[i] + shape.lav : std::min(std::abs(values[i]), 16);
        index = index * shape.modulus() + v;
    }
    put_codeword(out, kSpectralCodewords[cb][index]);
    if (shape.coded_signed)
        return;
    for (int i = 0; i < shape.dimension; i++)
        if (values[i] != 0)
            out.bit(values[i] < 0);
    for (int i = 0; i < shape.dimension; i++) {
        const uint32_t a = static_cast<uint32_t>(std::abs(values[i]));
        if (cb == AAC_ESC_HCB && a >= 16) {
            const int n = std::bit_width(a) - 1;
            out.put((1u << (n - 3)) - 2, n - 3).put(a - (1u << n), n);
        }
    }
}

// The values of codeword index of a codebook.
inline std::vector<int32_t> values_of_index(int cb, int index)
{
    const BookShape &shape = kBookShapes[cb];
    std::vector<int32_t> values(static_cast<size_t>(shape.dimension));
    for (int i = shape.dimension - 1; i >= 0; i--, index /= shape.modulus())
        values[static_cast<size_t>(i)] = index % shape.modulus() - (shape.coded_signed ? shape.lav : 0);
    return values;
}

// spectral_data in stream order for coefficients laid out by window (window
// w of an eight-short sequence at 128 w): group by group, section by
// section, band by band, then the group's windows one after another.
inline void put_spectrum(BitWriter &out, const int32_t *coef, const aac_ics_info &ics,
                         const uint32_t *sections, const uint16_t *band_ends)
{
    for (uint32_t g = 0, first = 0; g < ics.num_window_groups; first = ics.window_group_end[g++])
        for (uint32_t band = 0, s = 16 * g; band < ics.max_sfb; s++) {
            const int cb = static_cast<int>(sections[s] >> 8);
            for (; band < (sections[s] & 0xff); band++)
                for (uint32_t w = first; w < ics.window_group_end[g] && cb >= 1 && cb <= 11; w++)
                    for (uint32_t k = band ? band_ends[band - 1] : 0; k < band_ends[band];
                         k += kBookShapes[cb].dimension)
                        put_values(out, cb, coef + 128 * w + k);
        }
}

inline void put_ics_info_long(BitWriter &w, uint32_t max_sfb, uint32_t window_shape = 0)
{
    w.put(0, 3).put(window_shape, 1).put(max_sfb, 6).put(0, 1);
}

// sect_cb and a section length in escaped form.
inline void put_section(BitWriter &w, uint32_t codebook, uint32_t length, bool short_window)
{
    const int bits = short_window ? 3 : 5;
    const uint32_t escape = (1u << bits) - 1;
    w.put(codebook, 4);
    for (; length >= escape; length -= escape)
        w.put(escape, bits);
    w.put(length, bits);
}

// A long-window individual_channel_stream with one ZERO_HCB section over
// max_sfb bands, and no pulse, TNS or gain control data.
inline void put_silent_ics(BitWriter &w, uint32_t global_gain, uint32_t max_sfb)
{
    w.put(global_gain, 8);
    put_ics_info_long(w, max_sfb);
    if (max_sfb > 0)
        put_section(w, AAC_ZERO_HCB, max_sfb, false);
    w.put(0, 3);
}

struct Parsed {
    aac_status status;
    int32_t bits_read;
    const char *reason;  // of the refusal, in checked builds
};

// Whether a refusal gave the expected reason; builds that keep no reasons
// cannot tell, and pass.
inline bool refused_for(const Parsed &p, const char *words)
{
    return !LUMDEC_CHECKED || (p.reason != nullptr && std::strstr(p.reason, words) != nullptr);
}

// Runs parse(reader) under an error frame on an exact-size copy of w's bytes.
template <class Parse>
Parsed parse_bits(const BitWriter &w, Parse &&parse)
{
    auto data = exact_copy(w.bytes(), w.bytes().size());
    aac_bit_reader reader;
    aac_bits_init(&reader, data.get(), static_cast<int32_t>(w.bytes().size()));
    aac_guard guard;
    aac_status status = guard.run([&] { parse(&reader); });
    return {status, aac_bits_position(&reader), guard.reason()};
}

}  // namespace lumdec
