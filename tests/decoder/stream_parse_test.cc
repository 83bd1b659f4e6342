// Every test stream through the whole decoder: creation as a host would do
// it, every frame parsed with the size its transport header gives, and the
// blocks in the expected states.
#include <gtest/gtest.h>

#include "decode_stream.h"

namespace {

class StreamParse : public ::testing::TestWithParam<TestStream> {};

TEST_P(StreamParse, EveryFrameParsesAndBlocksFollowOneFrameBehind)
{
    const TestStream &stream = GetParam();
    DecodeResult r = decode_stream(stream);
    if (stream.layout == 0) {
        EXPECT_EQ(r.create_status, stream.expected_status);
        return;
    }
    ASSERT_EQ(r.create_status, AAC_OK);
    EXPECT_EQ(r.layout, stream.layout);
    EXPECT_EQ(r.channels, stream.channels);
    ASSERT_EQ(r.status.size(), static_cast<size_t>(stream.frames));
    for (int i = 0; i < stream.frames; i++) {
        EXPECT_EQ(r.status[i], AAC_OK) << "frame " << i;
        EXPECT_EQ(r.bytes_used[i], r.payload_size[i]) << "frame " << i;
    }
    // No block for the first frame, one valid block for each later one, and
    // the end-of-stream block.
    std::vector<unsigned> expected(stream.frames - 1, AAC_SLOT_VALID);
    expected.push_back(AAC_SLOT_EMPTY);
    EXPECT_EQ(r.block_states, expected);
    EXPECT_EQ(r.error_count, 0);
}

INSTANTIATE_TEST_SUITE_P(TestData, StreamParse, ::testing::ValuesIn(test_streams()),
                         [](const auto &info) { return info.param.name; });

}  // namespace
