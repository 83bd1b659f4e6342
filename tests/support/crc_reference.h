// The textbook MSB-first CRC-16 with polynomial 0x8005, one bit at a time,
// over bits [start, start + nbits) of data; bits at or past end read as zero.
#pragma once

#include <cstdint>
#include <vector>

inline uint16_t crc16_reference(uint16_t crc, const std::vector<uint8_t> &data, size_t start, size_t nbits,
                                size_t end = SIZE_MAX)
{
    for (size_t i = start; i < start + nbits; i++) {
        const unsigned bit = i < end ? (data[i >> 3] >> (7 - (i & 7))) & 1 : 0;
        crc = static_cast<uint16_t>((crc << 1) ^ (((crc >> 15) ^ bit) ? 0x8005 : 0));
    }
    return crc;
}
