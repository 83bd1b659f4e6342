// CRC-16 of the AAC error check: polynomial x^16 + x^15 + x^2 + 1 (0x8005),
// bits most significant first, no reflection, no final inversion.
#pragma once

#include <cstdint>

namespace lumdec {

// The CRC over nbits bits of data starting at bit `start`, continued from
// crc, where the data ends at bit `end`: bits at or past the end count as
// zeros.  Bit 0 is the most significant bit of data[0].
uint16_t aac_crc_bits(uint16_t crc, int32_t end, int32_t start, int32_t nbits,
                      const uint8_t *data);

}  // namespace lumdec
