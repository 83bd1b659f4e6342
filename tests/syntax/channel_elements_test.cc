// single_channel_element and channel_pair_element: the refusals of gain
// control, a reserved M/S mode, and intensity outside a common-window
// pair's second channel.
#include "syntax/channel_elements.h"

#include <gtest/gtest.h>

#include <memory>

#include "syntax/stream_tables.h"
#include "syntax_writer.h"

namespace {

struct Elements : ::testing::Test {
    void SetUp() override
    {
        aac_fill_stream_tables(1, 3, &tables);
        pair = std::make_unique<aac_channel_pair_state>();
        single = std::make_unique<aac_channel_state>();
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
