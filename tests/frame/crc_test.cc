// CRC-16 of the error check, against a bit-at-a-time reference written here.
#include "frame/crc.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "lumdec.h"

namespace {

// The textbook MSB-first CRC with 0x8005, one bit at a time, over bits
// [start, start + nbits) of data; bits at or past end read as zero.
uint16_t reference_bits(uint16_t crc, int32_t end, int32_t start, int32_t nbits,
                        const std::vector<uint8_t> &data)
{
    for (int32_t i = start; i < start + nbits; i++) {
        const unsigned bit = i < end ? (data[i >> 3] >> (7 - (i & 7))) & 1 : 0;
        crc = static_cast<uint16_t>((crc << 1) ^ (((crc >> 15) ^ bit) ? 0x8005 : 0));
    }
    return crc;
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> data(n);
    for (auto &b : data)
        b = static_cast<uint8_t>(rng());
    return data;
}

TEST(CrcBytes, KnownCheckValues)
{
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(aac_calc_crc_bytes(0xFFFF, 9, digits), 0xAEE7);
    EXPECT_EQ(aac_calc_crc_bytes(0x0000, 9, digits), 0xFEE8);
    EXPECT_EQ(aac_calc_crc_bytes(0x1234, 0, digits), 0x1234);
    EXPECT_EQ(aac_calc_crc_bytes(0x1234, -7, nullptr), 0x1234);
}

TEST(CrcBytes, MatchesTheBitwiseReferenceAndChains)
{
    auto data = random_bytes(300, 1);
    for (int32_t n : {1, 2, 7, 64, 300}) {
        uint16_t expected = reference_bits(0xFFFF, n * 8, 0, n * 8, data);
        EXPECT_EQ(aac_calc_crc_bytes(0xFFFF, n, data.data()), expected) << n;
    }
    uint16_t first = aac_calc_crc_bytes(0xFFFF, 123, data.data());
    EXPECT_EQ(aac_calc_crc_bytes(first, 177, data.data() + 123),
              aac_calc_crc_bytes(0xFFFF, 300, data.data()));
}

TEST(CrcBits, EveryStartLengthAndEndAgainstTheReference)
{
    auto data = random_bytes(40, 2);
    const int32_t total = 40 * 8;
    for (int32_t start = 0; start < 40; start++)
        for (int32_t nbits = 0; nbits < 140; nbits += (nbits < 20 ? 1 : 7))
            for (int32_t end : {total, start + nbits, start + nbits / 2, start, start + 3}) {
                if (end > total)
                    continue;
                uint16_t init = static_cast<uint16_t>(0xFFFF - start * 31 - nbits);
                ASSERT_EQ(aac_crc_bits(init, end, start, nbits, data.data()),
                          reference_bits(init, end, start, nbits, data))
                    << "start " << start << " nbits " << nbits << " end " << end;
            }
}

TEST(CrcSynElems, ProtectedBitsOfEachElementKind)
{
    auto frame = random_bytes(200, 3);
    // SCE of 100 bits after its id: 192 protected bits, zero-padded.
    const aac_syn_elem sce[] = {AAC_ID_SCE, 5, AAC_ID_END, 5 + 3 + 100};
    EXPECT_EQ(aac_calc_crc_syn_elems(0xFFFF, sce, frame.data()), reference_bits(0xFFFF, 108, 8, 192, frame));
    // CPE: 192 bits from after the id (bounded by the element's end only,
    // so they run on into the second channel), then 128 from the second
    // channel's start; DSE and PCE: every bit after the id; FIL: nothing;
    // LFE and CCE like an SCE.
    const aac_syn_elem list[] = {
        AAC_ID_CPE, 0,   150,  // short first channel: 192 bits run into the second
        AAC_ID_FIL, 400,
        AAC_ID_DSE, 480,
        AAC_ID_LFE, 560,
        AAC_ID_PCE, 900,
        AAC_ID_CCE, 1000,
        AAC_ID_END, 1600,
    };
    uint16_t r = 0xFFFF;
    r = reference_bits(r, 400, 3, 192, frame);
    r = reference_bits(r, 400, 150, 128, frame);
    r = reference_bits(r, 560, 483, 560 - 483, frame);
    r = reference_bits(r, 900, 563, 192, frame);
    r = reference_bits(r, 1000, 903, 1000 - 903, frame);
    r = reference_bits(r, 1600, 1003, 192, frame);
    EXPECT_EQ(aac_calc_crc_syn_elems(0xFFFF, list, frame.data()), r);

    // A CPE whose second channel is short: its 128 bits are zero-padded.
    const aac_syn_elem short_pair[] = {AAC_ID_CPE, 10, 60, AAC_ID_END, 100};
    uint16_t s = reference_bits(0x1D0F, 100, 13, 192, frame);
    s = reference_bits(s, 100, 60, 128, frame);
    EXPECT_EQ(aac_calc_crc_syn_elems(0x1D0F, short_pair, frame.data()), s);
    const aac_syn_elem end_only[] = {AAC_ID_END, 0};
    EXPECT_EQ(aac_calc_crc_syn_elems(0xBEEF, end_only, frame.data()), 0xBEEF);
}

}  // namespace
