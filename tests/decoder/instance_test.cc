// Creating and destroying decoders from plain configuration values: every
// layout at every rate, every refusal, and what is allocated and released.
#include <gtest/gtest.h>

#include <cstring>

#include "counting_allocator.h"
#include "frame/error.h"
#include "layout_reference.h"
#include "syntax/stream_tables.h"

namespace {

aac_dec_config layout_config(int32_t layout, int32_t index = 3)
{
    aac_dec_config config{};
    config.bytes_used = -7;
    config.profile = 1;
    config.sampling_frequency_index = index;
    config.channel_configuration = layout;
    return config;
}

aac_decoder *const not_written = reinterpret_cast<aac_decoder *>(uintptr_t{0x5A50});

// Creation through the export; the error-frame slot must be empty after it.
aac_status create(aac_dec_config config, aac_decoder **out)
{
    const aac_status status = aac_dec_create(out, &config);
    EXPECT_EQ(aac_innermost_frame(), nullptr);
    return status;
}

TEST(DecoderInstance, EveryLayoutAtEveryIndex)
{
    CountingAllocator hooks;
    for (int layout = 1; layout <= 10; layout++) {
        for (int index = 0; index < 12; index++) {
            SCOPED_TRACE(testing::Message() << "layout " << layout << " index " << index);
            aac_dec_config config = layout_config(layout, index);
            config.stream_flag = layout & 1;
            aac_decoder *dec = not_written;
            ASSERT_EQ(create(config, &dec), AAC_OK);
            EXPECT_EQ(dec->stream_flag, layout & 1);
            EXPECT_EQ(dec->sampling_frequency_index, index);
            EXPECT_EQ(dec->channel_configuration, layout);
            EXPECT_EQ(map_words(dec->element_map), map_words(expected_map(layout)));
            aac_stream_tables tables;
            aac_fill_stream_tables(1, index, &tables);
            const aac_stream_tables &t = dec->stream_tables;
            EXPECT_TRUE(t.swb_end_long == tables.swb_end_long && t.swb_end_short == tables.swb_end_short &&
                        t.num_swb_long == tables.num_swb_long && t.tns_max_bands_long == tables.tns_max_bands_long &&
                        t.num_swb_short == tables.num_swb_short && t.tns_max_bands_short == tables.tns_max_bands_short);
            EXPECT_EQ(config.bytes_used, -7);
            // Nothing but the record exists, and the host's fields are clear.
            EXPECT_EQ(hooks.outstanding(), 1u);
            EXPECT_EQ(dec->pool, nullptr);
            EXPECT_EQ(dec->out_block, nullptr);
            EXPECT_EQ(dec->gain[7], 0.0f);
            aac_dec_destroy(dec);
        }
    }
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.bad_frees, 0);
}

TEST(DecoderInstance, RefusesUnsupportedValuesAndReleasesTheRecord)
{
    const int32_t refused[][4] = {  // stream_flag, profile, index, layout
        {2, 1, 3, 2},  {-1, 1, 3, 2}, {0, 0, 3, 2},  {0, 2, 3, 2},  {0, 1, 12, 2},
        {0, 1, -1, 2}, {0, 1, 3, 0},  {0, 1, 3, 11}, {0, 1, 3, -1}, {0, 1, 3, INT32_MIN},
    };
    CountingAllocator hooks;
    for (auto [stream_flag, profile, index, layout] : refused) {
        aac_dec_config config = layout_config(layout, index);
        config.stream_flag = stream_flag;
        config.profile = profile;
        aac_decoder *dec = not_written;
        EXPECT_EQ(create(config, &dec), AAC_ERR_BAD_STREAM);
        EXPECT_EQ(dec, not_written);
        EXPECT_EQ(hooks.outstanding(), 0u);
    }
    EXPECT_EQ(hooks.bad_frees, 0);
    aac_dec_config config = layout_config(2);
    aac_decoder *dec = not_written;
    EXPECT_EQ(aac_dec_create(nullptr, &config), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(aac_dec_create(&dec, nullptr), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(dec, not_written);

    // A refusal inside an enclosing frame restores that frame.
    aac_guard outer;
    aac_error_frame *before = aac_innermost_frame();
    config.channel_configuration = 11;
    EXPECT_EQ(aac_dec_create(&dec, &config), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(aac_innermost_frame(), before);
}

}  // namespace
