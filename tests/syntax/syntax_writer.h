// Builds bitstream fragments for the parser tests: exact-size heap copies
// (so that AddressSanitizer sees any read past the end) and writers of the
// fixed fields of channel elements, on the Huffman tests' bit writer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "huffman_encoder.h"
#include "syntax/bit_reader.h"
#include "syntax/records.h"

// Pads with zero bits to the next byte boundary of the writer's data.
inline void align(BitWriter &w)
{
    while (w.bit_count() % 8)
        w.put_bit(false);
}

struct ExactBuffer {
    explicit ExactBuffer(const std::vector<uint8_t> &bytes, size_t size)
        : size(static_cast<int32_t>(size)), data(new uint8_t[size ? size : 1])
    {
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size), data.get());
    }
    explicit ExactBuffer(const std::vector<uint8_t> &bytes) : ExactBuffer(bytes, bytes.size()) {}
    int32_t size;
    std::unique_ptr<uint8_t[]> data;
};

struct Parsed {
    aac_status status;
    int32_t bits_read;
};

// Runs parse(reader) under an error frame on an exact-size copy of w's
// bytes (then only the reader's zero tail).
template <class Parse>
Parsed parse_bits(const BitWriter &w, Parse &&parse)
{
    ExactBuffer buffer(w.bytes());
    aac_bit_reader reader;
    aac_bits_init(&reader, buffer.data.get(), buffer.size);
    aac_guard frame;
    aac_status status = frame.run([&] { parse(&reader); });
    return {status, aac_bits_position(&reader)};
}

inline void put_ics_info_long(BitWriter &w, uint32_t max_sfb, uint32_t window_sequence = 0,
                              uint32_t window_shape = 0)
{
    w.put(0, 1);  // ics_reserved_bit
    w.put(window_sequence, 2);
    w.put(window_shape, 1);
    w.put(max_sfb, 6);
    w.put(0, 1);  // predictor_data_present
}

inline void put_ics_info_short(BitWriter &w, uint32_t max_sfb, uint32_t grouping,
                               uint32_t window_shape = 0)
{
    w.put(0, 1);
    w.put(AAC_EIGHT_SHORT_SEQUENCE, 2);
    w.put(window_shape, 1);
    w.put(max_sfb, 4);
    w.put(grouping, 7);
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

// The rest of an individual_channel_stream after its section data when
// every band is silent: no scale factors, no pulse, TNS or gain control,
// no spectral bits.
inline void put_silent_tail(BitWriter &w)
{
    w.put(0, 3);
}

// A long-window individual_channel_stream with one ZERO_HCB section over
// max_sfb bands: no Huffman codeword anywhere.
inline void put_silent_ics(BitWriter &w, uint32_t global_gain, uint32_t max_sfb)
{
    w.put(global_gain, 8);
    put_ics_info_long(w, max_sfb);
    if (max_sfb > 0)
        put_section(w, AAC_ZERO_HCB, max_sfb, false);
    put_silent_tail(w);
}
