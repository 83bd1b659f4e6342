// The test streams configured by the program_config_element at the start of
// their first frame: each gives its layout and tag binding, or its refusal.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "layout_reference.h"
#include "lumdec.h"
#include "decode_stream.h"

namespace {

struct StreamPce {
    int32_t bytes_used;
    std::vector<int> tags;  // front, back, lfe elements in order
};

// Read off the streams' first bytes by hand.
const std::map<std::string, StreamPce> stream_pces = {
    {"pce_mono_ffpce_48k_64k", {20, {0}}},
    {"pce_dualmono_32k", {7, {0, 1}}},
    {"pce_3_0back_48k_160k", {20, {0, 0}}},
    {"pce_quad_44k1_256k", {20, {0, 1}}},
    {"pce_quad_tags_swapped_32k_192k", {7, {1, 0}}},
    {"pce_5_1_inserted_48k_288k", {8, {0, 0, 1, 0}}},
    {"refused_2_1_48k_160k", {20, {}}},
    {"refused_3_0_ffpce_44k1_192k", {20, {}}},
    {"refused_6_1_48k_384k", {22, {}}},
    {"refused_quad_side_44k1_256k", {20, {}}},
};

TEST(PceStreams, GiveTheirLayoutAndTagBindingOrTheirRefusal)
{
    int seen = 0;
    for (const TestStream &stream : test_streams()) {
        if (stream.pce_bit_offset < 0)
            continue;
        SCOPED_TRACE(stream.name);
        const StreamPce &known = stream_pces.at(stream.name);
        seen++;
        std::vector<uint8_t> file = read_file(test_data_path("streams/" + stream.name + ".aac"));
        std::vector<AdtsFrame> frames = split_adts(file);
        aac_dec_config config = stream_config(stream, file, frames);
        aac_decoder *dec = nullptr;
        ASSERT_EQ(aac_dec_create(&dec, &config), stream.expected_status);
        EXPECT_EQ(config.bytes_used, known.bytes_used);
        if (stream.expected_status != AAC_OK)
            continue;
        EXPECT_EQ(dec->channel_configuration, stream.layout);
        EXPECT_EQ(dec->sampling_frequency_index, stream.sampling_frequency_index);
        EXPECT_EQ(map_words(dec->element_map), map_words(expected_map(stream.layout, known.tags)));
        aac_dec_destroy(dec);
    }
    EXPECT_EQ(seen, 10);
}

}  // namespace
