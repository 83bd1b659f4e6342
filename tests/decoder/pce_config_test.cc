// Creating decoders from program_config_elements: the accepted element
// lists and their tag binding, the refusals, the bit offset and the bytes
// used, and the order in which creation reads and checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "counting_allocator.h"
#include "frame/error.h"
#include "layout_reference.h"
#include "lumdec.h"
#include "pce_writer.h"

namespace {

struct Created {
    aac_status status = AAC_ERR_UNSUPPORTED;
    int32_t bytes_used = 0;
    aac_decoder *dec = nullptr;
    ~Created()
    {
        if (status == AAC_OK)
            aac_dec_destroy(dec);
    }
};

// Creates from an exact-size heap copy of the first `size` bytes of block;
// the values outside the element are ones the element must replace.
std::unique_ptr<Created> create(const std::vector<uint8_t> &block, int bit_offset = 0,
                                int32_t stream_flag = 0, size_t size = SIZE_MAX)
{
    size = std::min(size, block.size());
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    std::memcpy(copy.get(), block.data(), size);
    aac_dec_config config{};
    config.bytes_used = -7;
    config.bit_offset = bit_offset;
    config.input_size = static_cast<int32_t>(size);
    config.input_data = copy.get();
    config.stream_flag = stream_flag;
    config.profile = 2;
    config.sampling_frequency_index = 12;
    config.channel_configuration = 0;
    auto out = std::make_unique<Created>();
    out->status = aac_dec_create(&out->dec, &config);
    out->bytes_used = config.bytes_used;
    EXPECT_EQ(aac_innermost_frame(), nullptr);
    return out;
}

// tags[j] for element j of the front, back, lfe lists in that order.
const int tag_of[5] = {3, 8, 13, 2, 7};

// Every make-up of up to three front, three back and two lfe elements:
// accepted exactly when it is a row of the table, bound by its tags.
TEST(PceConfiguration, AcceptsExactlyTheTabledElementLists)
{
    const std::map<std::string, int> accepted = {
        {"S||", 1},   {"P||", 2},    {"P|S|", 8},    {"P|P|", 9},      {"SP||", 3},
        {"SS||", 10}, {"SP|S|", 4},  {"SP|P|", 5},   {"SP|P|L", 6},    {"SP|PP|L", 7},
    };
    CountingAllocator hooks;
    int created = 0;
    for (int front_bits = 1; front_bits < 16; front_bits++) {  // leading 1 marks the length
        for (int back_bits = 1; back_bits < 16; back_bits++) {
            for (int lfe = 0; lfe < 3; lfe++) {
                PceFields f;
                f.sampling_frequency_index = 5;
                std::string key;
                int j = 0;
                auto add = [&](std::vector<uint32_t> &list, int bits, char sep) {
                    for (int b = 31 - __builtin_clz(bits) - 1; b >= 0; b--) {
                        bool pair = (bits >> b) & 1;
                        key += pair ? 'P' : 'S';
                        list.push_back((pair ? 16u : 0u) + (j < 5 ? tag_of[j] : 15));
                        j++;
                    }
                    key += sep;
                };
                add(f.front, front_bits, '|');
                add(f.back, back_bits, '|');
                for (int i = 0; i < lfe; i++, j++) {
                    key += 'L';
                    f.lfe.push_back(j < 5 ? tag_of[j] : 15);
                }
                SCOPED_TRACE(key);
                auto r = create(write_pce(f));
                auto row = accepted.find(key);
                if (row == accepted.end()) {
                    EXPECT_EQ(r->status, AAC_ERR_BAD_STREAM);
                    continue;
                }
                ASSERT_EQ(r->status, AAC_OK);
                created++;
                EXPECT_EQ(r->dec->channel_configuration, row->second);
                EXPECT_EQ(r->dec->profile, 1);
                EXPECT_EQ(r->dec->sampling_frequency_index, 5);
                EXPECT_EQ(r->dec->stream_tables.num_swb_long, 51u);
                std::vector<int> tags(tag_of, tag_of + strlen(layout_kinds[row->second]));
                EXPECT_EQ(map_words(r->dec->element_map),
                          map_words(expected_map(row->second, tags)));
            }
        }
    }
    EXPECT_EQ(created, 10);
    EXPECT_EQ(hooks.outstanding(), 0u);
}

TEST(PceConfiguration, BindsElementsByTheirTags)
{
    PceFields f;
    f.front = {5, 16 + 2};
    auto r = create(write_pce(f));
    ASSERT_EQ(r->status, AAC_OK);
    const aac_element_map &map = r->dec->element_map;
    EXPECT_EQ(map.use_instance_tags, 1);
    EXPECT_EQ(map.sce_offset[5], 0);
    EXPECT_EQ(map.cpe_offset[2], static_cast<int32_t>(sizeof(aac_channel_state)));
    EXPECT_EQ(map.sce_offset[0], -1);
    EXPECT_EQ(map.cpe_offset[0], -1);

    // Two singles under one tag could never both be found in a frame.
    f.front = {4, 4};
    EXPECT_EQ(create(write_pce(f))->status, AAC_ERR_BAD_STREAM);
    f.front = {4, 16 + 4};  // kinds have tags of their own
    EXPECT_EQ(create(write_pce(f))->status, AAC_OK);
}

TEST(PceConfiguration, RefusesWhatTheDecoderDoesNotSupport)
{
    PceFields base;
    base.front = {0, 16};
    ASSERT_EQ(create(write_pce(base))->status, AAC_OK);

    CountingAllocator hooks;
    auto refused = [&](PceFields f) {
        auto r = create(write_pce(f));
        EXPECT_EQ(r->status, AAC_ERR_BAD_STREAM);
        EXPECT_EQ(hooks.outstanding(), 0u);
    };
    for (uint32_t object_type : {0u, 2u, 3u}) {
        PceFields f = base;
        f.object_type = object_type;
        refused(f);
    }
    for (uint32_t index : {12u, 13u, 15u}) {
        PceFields f = base;
        f.sampling_frequency_index = index;
        refused(f);
    }
    PceFields f = base;
    f.side = {16 + 1};
    refused(f);
    f = base;
    f.valid_cc = {0};
    refused(f);
    f = base;
    f.mono_mixdown = 0;
    refused(f);
    f = base;
    f.stereo_mixdown = 1;
    refused(f);

    // Matrix mixdown, associated data and the comment are ignored.
    f = base;
    f.matrix_mixdown = 3;
    f.assoc_data = {1, 2};
    f.comment = {'x', 'y'};
    auto r = create(write_pce(f));
    ASSERT_EQ(r->status, AAC_OK);
    EXPECT_EQ(r->dec->channel_configuration, 3);
}

TEST(PceConfiguration, SkipsTheBitOffsetAndCountsBytesFromTheBlockStart)
{
    PceFields f;
    f.front = {16 + 1};
    f.back = {16};
    f.comment = {1, 2, 3};
    for (int offset = 0; offset < 32; offset++) {
        SCOPED_TRACE(offset);
        std::vector<uint8_t> block = write_pce(f, offset);
        block.push_back(0xFF);  // whatever follows the element
        auto r = create(block, offset);
        ASSERT_EQ(r->status, AAC_OK);
        EXPECT_EQ(r->bytes_used, static_cast<int32_t>(block.size() - 1));
        EXPECT_EQ(map_words(r->dec->element_map), map_words(expected_map(9, {1, 0})));
    }
    // Offsets a fresh reader cannot skip, and missing data, are refused
    // before anything is read.
    std::vector<uint8_t> block = write_pce(f);
    for (int offset : {-1, 32, INT32_MAX}) {
        auto r = create(block, offset);
        EXPECT_EQ(r->status, AAC_ERR_BAD_STREAM);
        EXPECT_EQ(r->bytes_used, -7);
    }
    aac_dec_config config{};
    config.input_size = 16;
    config.profile = 1;
    config.channel_configuration = 1;
    aac_decoder *dec = nullptr;
    EXPECT_EQ(aac_dec_create(&dec, &config), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(dec, nullptr);
}

TEST(PceConfiguration, ReadsMissingBitsAsZerosForEightBytes)
{
    // The element ends with eight zero bytes of comment, which read the
    // same when cut off; the byte before them does not.
    PceFields f;
    f.front = {16 + 1};
    f.comment = {0x77, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> block = write_pce(f);
    for (size_t cut = 1; cut <= 8; cut++) {
        auto r = create(block, 0, 0, block.size() - cut);
        ASSERT_EQ(r->status, AAC_OK);
        EXPECT_EQ(r->bytes_used, static_cast<int32_t>(block.size()));
    }
    EXPECT_EQ(create(block, 0, 0, block.size() - 9)->status, AAC_ERR_CORRUPT_FRAME);

    // Cut inside the element list, the pair reads as a single with tag 0,
    // and the layout check judges that.
    PceFields g;
    g.front = {16 + 1};
    block = write_pce(g);
    auto r = create(block, 0, 0, 3);
    ASSERT_EQ(r->status, AAC_OK);
    EXPECT_EQ(r->dec->channel_configuration, 1);
    EXPECT_EQ(r->bytes_used, static_cast<int32_t>(block.size()));
}

TEST(PceConfiguration, ParsesBeforeItChecksAndReportsBytesUsedOnRefusal)
{
    PceFields f;
    f.front = {0};
    std::vector<uint8_t> block = write_pce(f);
    // stream_flag is checked after the element is parsed and mapped.
    auto r = create(block, 0, 2);
    EXPECT_EQ(r->status, AAC_ERR_BAD_STREAM);
    EXPECT_EQ(r->bytes_used, static_cast<int32_t>(block.size()));
    f.comment.assign(20, 'c');
    block = write_pce(f);
    EXPECT_EQ(create(block, 0, 2, block.size() - 10)->status, AAC_ERR_CORRUPT_FRAME);
}

}  // namespace
