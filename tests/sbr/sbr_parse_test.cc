// The SBR payload reader on payloads that must fail without touching the
// element: cut short by the end of the frame (the reader must stay inside
// the frame's bytes; the buffer here is exactly the frame, so a sanitizer
// build sees any read past it), and headers that ask for impossible tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sbr/sbr_element.h"

namespace {

lumdec::sbr_element element_with_payload(int start, int bits)
{
    lumdec::sbr_element el{};
    el.num_channels = 1;
    el.rate_index = 4;  // 44.1 kHz
    el.payload_present = 1;
    el.payload_start = start;
    el.payload_bits = bits;
    return el;
}

TEST(SbrPayload, PayloadsRunningPastTheFrameFailWithinIt)
{
    lumdec::sbr_channel ch{};
    for (int start : {0, 5, 17, 24, 31, 40}) {
        for (int size : {1, 3, 4}) {
            SCOPED_TRACE(testing::Message() << "start " << start << ", frame of " << size << " bytes");
            std::vector<uint8_t> frame(static_cast<size_t>(size), 0xFF);
            lumdec::sbr_element el = element_with_payload(start, 2000);
            el.ch[0] = &ch;
            const lumdec::sbr_element before = el;
            EXPECT_FALSE(lumdec::sbr_parse_payload(&el, frame.data(), size));
            EXPECT_EQ(el.header_seen, 0);
            EXPECT_EQ(std::memcmp(&el.header, &before.header, sizeof el.header), 0);
            EXPECT_EQ(ch.data_valid, 0);
        }
    }
}

// bs_header_flag 1, bs_amp_res 0, bs_start_freq 15, bs_stop_freq 0: at 44.1
// kHz k0 = 12 + 20 = 32 and k2 = 23, below it.  The rest of the payload
// would parse; the header alone fails it.
TEST(SbrPayload, HeadersWithoutValidTablesFailThePayload)
{
    lumdec::sbr_channel ch{};
    std::vector<uint8_t> frame(32, 0);
    frame[0] = 0xBC;  // 1 0 1111 00
    lumdec::sbr_element el = element_with_payload(0, 8 * 32);
    el.ch[0] = &ch;
    EXPECT_FALSE(lumdec::sbr_parse_payload(&el, frame.data(), 32));
    EXPECT_EQ(el.header_seen, 0);

    // The same with bs_start_freq 5, bs_stop_freq 9 and the rest zero: a
    // valid header and a FIXFIX frame of one envelope.
    frame[0] = 0x96;  // 1 0 0101 1
    frame[1] = 0x40;  // 001 000 00 0 0 (no extra header fields)
    el = element_with_payload(0, 8 * 32);
    el.ch[0] = &ch;
    ASSERT_TRUE(lumdec::sbr_parse_payload(&el, frame.data(), 32));
    EXPECT_EQ(el.header_seen, 1);
    EXPECT_EQ(el.reset, 1);
    EXPECT_EQ(el.tables.k0, 14);
    EXPECT_EQ(el.tables.k2, 47);
    EXPECT_EQ(ch.data_valid, 1);
    EXPECT_EQ(ch.data.grid.num_env, 1);
    EXPECT_EQ(ch.data.grid.t_env[0], 0);
    EXPECT_EQ(ch.data.grid.t_env[1], 16);
}

}  // namespace
