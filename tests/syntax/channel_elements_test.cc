// single_channel_element and channel_pair_element: the shared window and
// M/S mask of a common-window pair, and the refusals (gain control, a
// reserved M/S mode, intensity outside a common-window pair's second
// channel).
#include "syntax/channel_elements.h"

#include <gtest/gtest.h>

#include <memory>

#include "syntax/stream_tables.h"
#include "syntax_writer.h"

namespace {

constexpr uint32_t untouched = 0xDEADBEEF;

struct Elements : ::testing::Test {
    void SetUp() override
    {
        aac_fill_stream_tables(1, 3, &tables);
        pair = std::make_unique<aac_channel_pair_state>();
        single = std::make_unique<aac_channel_state>();
        std::fill_n(reinterpret_cast<uint32_t *>(pair.get()), sizeof *pair / 4, untouched);
    }
    Parsed cpe(const BitWriter &w)
    {
        return parse_bits(w, [&](aac_bit_reader *r) { aac_parse_cpe(r, pair.get(), &tables); });
    }
    Parsed sce(const BitWriter &w)
    {
        return parse_bits(w, [&](aac_bit_reader *r) { aac_parse_sce(r, single.get(), &tables); });
    }
    aac_stream_tables tables;
    std::unique_ptr<aac_channel_pair_state> pair;
    std::unique_ptr<aac_channel_state> single;
};

TEST_F(Elements, PairWithCommonWindowSharesChannelZerosIcsInfo)
{
    BitWriter w;
    w.put("0011 1");                      // tag, common_window
    put_ics_info_short(w, 3, 0b0111111);  // groups of 1 and 7 windows
    w.put("01 101 011");                  // ms_mask_present 1 and the mask
    for (uint32_t gain : {90u, 91u}) {
        w.put(gain, 8);
        put_section(w, AAC_ZERO_HCB, 3, true);
        put_section(w, AAC_ZERO_HCB, 3, true);
        w.put(gain == 90 ? "0 1 00000000 0" : "000");  // TNS without filters in channel 0
    }
    const int32_t end = w.bit_count();
    w.put(0xFF, 8);
    ASSERT_EQ(cpe(w).bits_read, end);
    EXPECT_EQ(pair->ms_mask_present, 1u);
    const uint32_t ms[] = {1, 0, 1, untouched, 0, 1, 1, untouched};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(pair->ms_used[16 * (i / 4) + i % 4], ms[i]) << i;
    EXPECT_EQ(pair->channel[0].ics_info.window_group_end[0], 1u);
    EXPECT_EQ(pair->channel[1].ics_info.max_sfb, untouched);
    EXPECT_EQ(pair->channel[1].global_gain, 91u);
    EXPECT_EQ(pair->channel[0].tns_data_present, 1u);
    EXPECT_EQ(pair->channel[1].tns_data_present, 0u);
    EXPECT_EQ(pair->channel[1].sections[16], 3u);

    // Without common window nothing of the mask is read or written.
    BitWriter own;
    own.put("0000 0");
    put_silent_ics(own, 100, 5);
    put_silent_ics(own, 101, 0);
    SetUp();
    EXPECT_EQ(cpe(own).bits_read, own.bit_count());
    EXPECT_EQ(pair->ms_mask_present, untouched);
    EXPECT_EQ(pair->channel[1].ics_info.max_sfb, 0u);
}

TEST_F(Elements, ReservedMsModeAndGainControlAreRefused)
{
    for (uint32_t ms_mask_present : {2u, 3u}) {
        BitWriter c;
        c.put("0000 1");
        put_ics_info_long(c, 0);
        c.put(ms_mask_present, 2);
        for (int ch = 0; ch < 2; ch++)
            c.put(100, 8).put(0, 3);
        EXPECT_EQ(cpe(c).status, ms_mask_present == 2 ? AAC_OK : AAC_ERR_CORRUPT_FRAME);
    }
    BitWriter w;
    w.put(0, 4).put(100, 8);
    put_ics_info_long(w, 0);
    w.put("0 0 1").put(0, 16);
    EXPECT_EQ(sce(w).status, AAC_ERR_BAD_STREAM);
    BitWriter second;
    second.put(0, 5);
    put_silent_ics(second, 100, 0);
    second.put(100, 8);
    put_ics_info_long(second, 0);
    second.put("0 0 1").put(0, 16);
    EXPECT_EQ(cpe(second).status, AAC_ERR_BAD_STREAM);
}

// One long-window stream: a band of intensity (position +1) or of zeros,
// then an empty TNS block, so that a parse that went on to the end shows in
// tns_data_present.
void put_one_band_ics(BitWriter &w, bool intensity, bool own_ics_info)
{
    w.put(100, 8);
    if (own_ics_info)
        put_ics_info_long(w, 1);
    put_section(w, intensity ? AAC_INTENSITY_HCB : AAC_ZERO_HCB, 1, false);
    w.put(intensity ? "1010 0 1 00 0" : "0 1 00 0");
}

TEST_F(Elements, IntensityOnlyInTheSecondChannelOfACommonWindowPair)
{
    BitWriter w;
    w.put(0, 4);
    put_one_band_ics(w, true, true);
    Parsed p = sce(w);
    EXPECT_EQ(p.status, AAC_ERR_CORRUPT_FRAME);
    EXPECT_EQ(p.bits_read, w.bit_count());  // refused after the whole element

    for (bool common_window : {false, true}) {
        for (int intensity_channel : {0, 1}) {
            SetUp();
            BitWriter c;
            c.put(0, 4).put(common_window, 1);
            if (common_window) {
                put_ics_info_long(c, 1);
                c.put(0, 2);
            }
            for (int ch = 0; ch < 2; ch++)
                put_one_band_ics(c, ch == intensity_channel, !common_window);
            Parsed pc = cpe(c);
            const bool allowed = common_window && intensity_channel == 1;
            EXPECT_EQ(pc.status, allowed ? AAC_OK : AAC_ERR_CORRUPT_FRAME)
                << common_window << intensity_channel;
            EXPECT_EQ(pc.bits_read, c.bit_count());
            EXPECT_EQ(pair->channel[1].tns_data_present, 1u);
            if (allowed) {
                EXPECT_EQ(pair->channel[1].scalefactors[0], 1);
            }
        }
    }
}

}  // namespace
