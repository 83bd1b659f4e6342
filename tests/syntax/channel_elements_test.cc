// single_channel_element and channel_pair_element: shared window
// information, the M/S mask, what a pair leaves unwritten, and the tool
// restrictions (gain control, pulses in short windows).
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
        std::fill_n(reinterpret_cast<uint32_t *>(pair.get()),
                    sizeof(aac_channel_pair_state) / 4, untouched);
        std::fill_n(reinterpret_cast<uint32_t *>(single.get()), sizeof(aac_channel_state) / 4,
                    untouched);
    }
    aac_status parse_cpe(const BitWriter &w)
    {
        ReaderOver r(w);
        aac_status status = guarded([&] { aac_parse_cpe(&r.reader, pair.get(), &tables); });
        bits_read = r.bits_read();
        return status;
    }
    aac_status parse_sce(const BitWriter &w)
    {
        ReaderOver r(w);
        aac_status status = guarded([&] { aac_parse_sce(&r.reader, single.get(), &tables); });
        bits_read = r.bits_read();
        return status;
    }
    aac_stream_tables tables;
    std::unique_ptr<aac_channel_pair_state> pair = std::make_unique<aac_channel_pair_state>();
    std::unique_ptr<aac_channel_state> single = std::make_unique<aac_channel_state>();
    int32_t bits_read = 0;
};

TEST_F(Elements, SingleChannelSkipsItsTagAndParsesOneStream)
{
    BitWriter w;
    w.put(0xA, 4);
    put_silent_ics(w, 170, 12);
    const int32_t end = w.bit_count();
    w.put(0xFF, 8);
    ASSERT_EQ(parse_sce(w), AAC_OK);
    EXPECT_EQ(bits_read, end);
    EXPECT_EQ(single->ics_start_bit, 4u);
    EXPECT_EQ(single->global_gain, 170u);
    EXPECT_EQ(single->ics_info.max_sfb, 12u);
    EXPECT_EQ(single->sections[0], 12u);
    EXPECT_EQ(single->noise_used, 0u);
    EXPECT_EQ(single->intensity_used, 0u);
    EXPECT_EQ(single->pulse_data_present, 0u);
    EXPECT_EQ(single->tns_data_present, 0u);
    EXPECT_EQ(single->pulse.number_pulse, untouched);
    EXPECT_EQ(single->scalefactors[0], static_cast<int32_t>(untouched));
    EXPECT_EQ(single->coef[0], static_cast<int32_t>(untouched));
}

TEST_F(Elements, PairWithCommonWindowSharesChannelZerosIcsInfo)
{
    BitWriter w;
    w.put(0x3, 4);
    w.put(1, 1);  // common_window
    put_ics_info_short(w, 3, 0b0111111);  // groups of 1 and 7 windows
    w.put(1, 2);  // ms_mask_present
    w.put("101 011");
    const int32_t first = w.bit_count();
    w.put(90, 8);
    put_section(w, AAC_ZERO_HCB, 3, true);
    put_section(w, AAC_ZERO_HCB, 3, true);
    w.put("0 1");  // tns_data_present: eight short windows without filters
    w.put(0, 8);
    w.put("0");
    const int32_t second = w.bit_count();
    w.put(91, 8);
    put_section(w, AAC_ZERO_HCB, 3, true);
    put_section(w, AAC_ZERO_HCB, 3, true);
    put_silent_tail(w);
    const int32_t end = w.bit_count();
    w.put(0xFF, 8);

    ASSERT_EQ(parse_cpe(w), AAC_OK);
    EXPECT_EQ(bits_read, end);
    EXPECT_EQ(pair->common_window, 1u);
    EXPECT_EQ(pair->ms_mask_present, 1u);
    const uint32_t expected_ms[2][3] = {{1, 0, 1}, {0, 1, 1}};
    for (int g = 0; g < 2; g++) {
        for (int b = 0; b < 3; b++)
            EXPECT_EQ(pair->ms_used[16 * g + b], expected_ms[g][b]);
        EXPECT_EQ(pair->ms_used[16 * g + 3], untouched);
    }
    const aac_ics_info &ics = pair->channel[0].ics_info;
    EXPECT_EQ(ics.window_sequence, AAC_EIGHT_SHORT_SEQUENCE);
    EXPECT_EQ(ics.num_window_groups, 2u);
    EXPECT_EQ(ics.window_group_end[0], 1u);
    EXPECT_EQ(ics.window_group_end[1], 8u);
    EXPECT_EQ(pair->channel[1].ics_info.window_sequence, untouched);
    EXPECT_EQ(pair->channel[1].ics_info.max_sfb, untouched);
    EXPECT_EQ(pair->channel[0].ics_start_bit, static_cast<uint32_t>(first));
    EXPECT_EQ(pair->channel[1].ics_start_bit, static_cast<uint32_t>(second));
    EXPECT_EQ(pair->channel[0].global_gain, 90u);
    EXPECT_EQ(pair->channel[1].global_gain, 91u);
    EXPECT_EQ(pair->channel[0].tns_data_present, 1u);
    EXPECT_EQ(aac_tns_n_filt(pair->channel[0].tns, 7), 0u);
    EXPECT_EQ(pair->channel[1].tns_data_present, 0u);
    EXPECT_EQ(pair->channel[1].sections[16], 3u);
}

TEST_F(Elements, PairWithoutCommonWindowLeavesTheMaskAlone)
{
    BitWriter w;
    w.put(0, 4);
    w.put(0, 1);
    put_silent_ics(w, 100, 5);
    const int32_t second = w.bit_count();
    put_silent_ics(w, 101, 0);
    ASSERT_EQ(parse_cpe(w), AAC_OK);
    EXPECT_EQ(pair->common_window, 0u);
    EXPECT_EQ(pair->ms_mask_present, untouched);
    EXPECT_EQ(pair->ms_used[0], untouched);
    EXPECT_EQ(pair->channel[0].ics_info.max_sfb, 5u);
    EXPECT_EQ(pair->channel[1].ics_info.max_sfb, 0u);
    EXPECT_EQ(pair->channel[1].ics_start_bit, static_cast<uint32_t>(second));
    EXPECT_EQ(pair->channel[1].sections[0], untouched);
}

TEST_F(Elements, MsMaskPresentTwoReadsNoMaskAndThreeIsRefused)
{
    for (uint32_t ms_mask_present : {2u, 3u}) {
        BitWriter w;
        w.put(0, 4);
        w.put(1, 1);
        put_ics_info_long(w, 0);
        w.put(ms_mask_present, 2);
        for (int ch = 0; ch < 2; ch++) {
            w.put(100, 8);
            put_silent_tail(w);
        }
        const int32_t end = w.bit_count();
        aac_status status = parse_cpe(w);
        if (ms_mask_present == 3) {
            EXPECT_EQ(status, AAC_ERR_CORRUPT_FRAME);
            continue;
        }
        ASSERT_EQ(status, AAC_OK);
        EXPECT_EQ(bits_read, end);
        EXPECT_EQ(pair->ms_mask_present, 2u);
        EXPECT_EQ(pair->ms_used[0], untouched);
    }
}

TEST_F(Elements, GainControlAndShortWindowPulsesAreRefused)
{
    BitWriter gain_control;
    gain_control.put(0, 4);
    gain_control.put(100, 8);
    put_ics_info_long(gain_control, 0);
    gain_control.put("0 0 1");
    gain_control.put(0, 16);
    EXPECT_EQ(parse_sce(gain_control), AAC_ERR_BAD_STREAM);

    BitWriter pulse;
    pulse.put(0, 4);
    pulse.put(100, 8);
    put_ics_info_short(pulse, 0, 0);
    pulse.put("1");
    pulse.put(0, 24);
    EXPECT_EQ(parse_sce(pulse), AAC_ERR_CORRUPT_FRAME);

    // The pair's second channel refuses just the same.
    BitWriter second;
    second.put(0, 5);
    put_silent_ics(second, 100, 0);
    second.put(100, 8);
    put_ics_info_long(second, 0);
    second.put("0 0 1");
    second.put(0, 16);
    EXPECT_EQ(parse_cpe(second), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(pair->channel[0].global_gain, 100u);
}

// A long-window stream of one intensity band (position +1), then one
// empty TNS block, so that a parse that went on to the end shows in
// tns_data_present.
void put_intensity_ics(BitWriter &w, bool own_ics_info)
{
    w.put(100, 8);
    if (own_ics_info)
        put_ics_info_long(w, 1);
    put_section(w, AAC_INTENSITY_HCB, 1, false);
    w.put("1010");
    w.put("0 1 00 0");
}

TEST_F(Elements, IntensityOnlyInTheSecondChannelOfACommonWindowPair)
{
    BitWriter sce;
    sce.put(0, 4);
    put_intensity_ics(sce, true);
    const int32_t sce_end = sce.bit_count();
    EXPECT_EQ(parse_sce(sce), AAC_ERR_CORRUPT_FRAME);
    EXPECT_EQ(bits_read, sce_end);  // refused after the whole element
    EXPECT_EQ(single->intensity_used, 1u);
    EXPECT_EQ(single->tns_data_present, 1u);

    for (int common_window : {0, 1}) {
        for (int intensity_channel : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "common " << common_window << " channel "
                                            << intensity_channel);
            SetUp();
            BitWriter w;
            w.put(0, 4);
            w.put(common_window, 1);
            if (common_window) {
                put_ics_info_long(w, 1);
                w.put(0, 2);
            }
            for (int ch = 0; ch < 2; ch++) {
                if (ch == intensity_channel) {
                    put_intensity_ics(w, !common_window);
                } else {
                    w.put(100, 8);
                    if (!common_window)
                        put_ics_info_long(w, 1);
                    put_section(w, AAC_ZERO_HCB, 1, false);
                    w.put("0 1 00 0");
                }
            }
            const int32_t end = w.bit_count();
            aac_status status = parse_cpe(w);
            EXPECT_EQ(bits_read, end);
            EXPECT_EQ(pair->channel[1].tns_data_present, 1u);
            if (common_window && intensity_channel == 1) {
                EXPECT_EQ(status, AAC_OK);
                EXPECT_EQ(pair->channel[1].intensity_used, 1u);
                EXPECT_EQ(pair->channel[1].scalefactors[0], 1);
            } else {
                EXPECT_EQ(status, AAC_ERR_CORRUPT_FRAME);
            }
        }
    }
}

}  // namespace
