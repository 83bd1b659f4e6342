// CRC-16 of the error check, against a bit-at-a-time reference.
#include "frame/crc.h"

#include <gtest/gtest.h>

#include <random>

#include "crc_reference.h"
#include "lumdec.h"

using namespace lumdec;

namespace {

uint16_t reference(uint16_t crc, int32_t end, int32_t start, int32_t nbits, const std::vector<uint8_t> &data)
{
    return crc16_reference(crc, data, static_cast<size_t>(start), static_cast<size_t>(nbits), static_cast<size_t>(end));
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> data(n);
    for (auto &b : data)
        b = static_cast<uint8_t>(rng());
    return data;
}

TEST(Crc, BytesAndBitRangesMatchTheReference)
{
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(aac_calc_crc_bytes(0xFFFF, 9, digits), 0xAEE7);
    EXPECT_EQ(aac_calc_crc_bytes(0x0000, 9, digits), 0xFEE8);
    EXPECT_EQ(aac_calc_crc_bytes(0x1234, 0, digits), 0x1234);
    EXPECT_EQ(aac_calc_crc_bytes(0x1234, -7, nullptr), 0x1234);
    EXPECT_EQ(aac_calc_crc_bytes(0x1234, 9, nullptr), 0x1234);
    const std::vector<uint8_t> data = random_bytes(300, 1);
    for (int32_t n : {1, 2, 7, 64, 300})
        EXPECT_EQ(aac_calc_crc_bytes(0x1D0F, n, data.data()), reference(0x1D0F, n * 8, 0, n * 8, data)) << n;

    for (int32_t start = 0; start < 40; start++)
        for (int32_t nbits = 0; nbits < 140; nbits += (nbits < 20 ? 1 : 7))
            for (int32_t end : {300 * 8, start + nbits, start + nbits / 2, start, start + 3}) {
                const uint16_t init = static_cast<uint16_t>(0xFFFF - start * 31 - nbits);
                ASSERT_EQ(aac_crc_bits(init, end, start, nbits, data.data()), reference(init, end, start, nbits, data))
                    << "start " << start << " nbits " << nbits << " end " << end;
            }
}

// 192 bits after the id of a single, LFE or coupling element and of a
// pair's first channel (zero-padded, bounded by the element's end, so a
// short first channel runs on into the second), 128 from a pair's second
// channel, every bit after the id of a data stream or program config
// element, nothing of a fill element.
TEST(Crc, ProtectedBitsOfEachElementKind)
{
    const std::vector<uint8_t> frame = random_bytes(200, 3);
    const aac_syn_elem sce[] = {AAC_ID_SCE, 5, AAC_ID_END, 5 + 3 + 100};
    EXPECT_EQ(aac_calc_crc_syn_elems(0xFFFF, sce, frame.data()), reference(0xFFFF, 108, 8, 192, frame));
    EXPECT_EQ(aac_calc_crc_syn_elems(0xFFFF, nullptr, frame.data()), 0xFFFF);
    EXPECT_EQ(aac_calc_crc_syn_elems(0xFFFF, sce, nullptr), 0xFFFF);
    const aac_syn_elem list[] = {AAC_ID_CPE, 0,   150, AAC_ID_FIL, 400, AAC_ID_DSE, 480, AAC_ID_LFE,
                                 560,        AAC_ID_PCE, 900, AAC_ID_CCE, 1000, AAC_ID_END, 1600};
    uint16_t r = reference(0xFFFF, 400, 3, 192, frame);
    r = reference(r, 400, 150, 128, frame);
    r = reference(r, 560, 483, 560 - 483, frame);
    r = reference(r, 900, 563, 192, frame);
    r = reference(r, 1000, 903, 1000 - 903, frame);
    r = reference(r, 1600, 1003, 192, frame);
    EXPECT_EQ(aac_calc_crc_syn_elems(0xFFFF, list, frame.data()), r);
    // A pair whose second channel is short: its 128 bits are zero-padded.
    const aac_syn_elem short_pair[] = {AAC_ID_CPE, 10, 60, AAC_ID_END, 100};
    EXPECT_EQ(aac_calc_crc_syn_elems(0x1D0F, short_pair, frame.data()),
              reference(reference(0x1D0F, 100, 13, 192, frame), 100, 60, 128, frame));
    const aac_syn_elem end_only[] = {AAC_ID_END, 0};
    EXPECT_EQ(aac_calc_crc_syn_elems(0xBEEF, end_only, frame.data()), 0xBEEF);
}

}  // namespace
