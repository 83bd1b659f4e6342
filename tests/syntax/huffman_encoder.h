// The tests' own encoder: an MSB-first bit writer and the Huffman codes
// taken straight from the codeword lists, independent of the decoder's
// packed tables.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "lumdec.h"
#include "syntax/records.h"

struct HuffmanCodeword {
    uint32_t length;
    uint32_t code;
};

#include "huffman_codewords.inc"

class BitWriter {
public:
    void put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; i--)
            put_bit((value >> i) & 1);
    }
    // A string of '0' and '1'; anything else is ignored, for readability.
    void put(const char *text)
    {
        for (; *text; text++)
            if (*text == '0' || *text == '1')
                put_bit(*text == '1');
    }
    void put_bit(bool bit)
    {
        if (count_ % 8 == 0)
            bytes_.push_back(0);
        if (bit)
            bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
        count_++;
    }
    int32_t bit_count() const { return static_cast<int32_t>(count_); }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t count_ = 0;
};

struct BookShape {
    int dimension;
    bool coded_signed;
    int lav;  // 16 for codebook 11 means "escape"
};

inline constexpr BookShape kBookShapes[12] = {
    {0, false, 0}, {4, true, 1}, {4, true, 1}, {4, false, 2}, {4, false, 2},
    {2, true, 4},  {2, true, 4}, {2, false, 7}, {2, false, 7}, {2, false, 12},
    {2, false, 12}, {2, false, 16},
};

inline int book_modulus(int cb)
{
    const BookShape &s = kBookShapes[cb];
    return s.coded_signed ? 2 * s.lav + 1 : s.lav + 1;
}

inline int book_codewords(int cb)
{
    int count = 1;
    for (int i = 0; i < kBookShapes[cb].dimension; i++)
        count *= book_modulus(cb);
    return count;
}

inline void put_codeword(BitWriter &out, const HuffmanCodeword &cw)
{
    out.put(cw.code, static_cast<int>(cw.length));
}

inline void put_scalefactor_diff(BitWriter &out, int diff)
{
    put_codeword(out, kScalefactorCodewords[diff + 60]);
}

// value 16..8191: N - 4 ones, a zero, N bits of value - 2^N.
inline void put_escape(BitWriter &out, uint32_t value)
{
    const int n = std::bit_width(value) - 1;
    for (int i = 4; i < n; i++)
        out.put_bit(true);
    out.put_bit(false);
    out.put(value - (1u << n), n);
}

// One codeword's values, with sign bits and escapes as the codebook wants.
inline void put_values(BitWriter &out, int cb, const int32_t *values)
{
    const BookShape &shape = kBookShapes[cb];
    const int off = shape.coded_signed ? shape.lav : 0;
    int index = 0;
    for (int i = 0; i < shape.dimension; i++) {
        int v = shape.coded_signed ? values[i] : std::abs(values[i]);
        if (cb == AAC_ESC_HCB && v > 16)
            v = 16;
        index = index * book_modulus(cb) + v + off;
    }
    put_codeword(out, kSpectralCodewords[cb][index]);
    if (shape.coded_signed)
        return;
    for (int i = 0; i < shape.dimension; i++)
        if (values[i] != 0)
            out.put_bit(values[i] < 0);
    for (int i = 0; i < shape.dimension; i++)
        if (cb == AAC_ESC_HCB && std::abs(values[i]) >= 16)
            put_escape(out, static_cast<uint32_t>(std::abs(values[i])));
}

// The values of the codeword with the given index (0 .. book_codewords - 1).
inline std::vector<int32_t> values_of_index(int cb, int index)
{
    const BookShape &shape = kBookShapes[cb];
    std::vector<int32_t> values(static_cast<size_t>(shape.dimension));
    for (int i = shape.dimension - 1; i >= 0; i--) {
        values[static_cast<size_t>(i)] = index % book_modulus(cb) - (shape.coded_signed ? shape.lav : 0);
        index /= book_modulus(cb);
    }
    return values;
}

// spectral_data in stream order, for a coefficient array laid out by window
// (window w of an eight-short sequence at 128 w): group by group, section by
// section, band by band, then the group's windows one after another.
inline void put_spectrum(BitWriter &out, const int32_t *coef, const aac_ics_info &ics,
                         const uint32_t *sections, const uint16_t *band_ends)
{
    uint32_t first_window = 0;
    for (uint32_t g = 0; g < ics.num_window_groups; g++) {
        uint32_t band = 0;
        for (const uint32_t *s = sections + 16 * g; band < ics.max_sfb; s++) {
            const int cb = static_cast<int>(*s >> 8);
            const uint32_t end_band = *s & 0xff;
            for (; band < end_band; band++) {
                if (cb < 1 || cb > 11)
                    continue;
                const uint32_t lo = band ? band_ends[band - 1] : 0;
                for (uint32_t w = first_window; w < ics.window_group_end[g]; w++)
                    for (uint32_t k = lo; k < band_ends[band]; k += kBookShapes[cb].dimension)
                        put_values(out, cb, coef + 128 * w + k);
            }
        }
        first_window = ics.window_group_end[g];
    }
}
