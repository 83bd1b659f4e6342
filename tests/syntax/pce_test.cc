// The program_config_element parser: every field in stream order at any bit
// offset, alignment of the comment to the block's byte grid, and the end of
// the block.
#include "syntax/pce.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "frame/error.h"
#include "pce_writer.h"

namespace {

struct Parsed {
    aac_status status;
    int32_t bytes_used;
    aac_pce pce;
};

// Parses from an exact-size heap copy, so that AddressSanitizer sees any
// read past the block.
Parsed parse(const std::vector<uint8_t> &block, int lead_bits, size_t size)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    std::memcpy(copy.get(), block.data(), size);
    Parsed out{};
    std::memset(&out.pce, 0xAB, sizeof out.pce);
    aac_guard frame;
    out.status = frame.run([&] {
        aac_bit_reader reader;
        aac_bits_init(&reader, copy.get(), static_cast<int32_t>(size));
        aac_bits_fill(&reader, lead_bits);
        aac_bits_skip(&reader, lead_bits);
        aac_parse_pce(&reader, &out.pce);
        out.bytes_used = aac_bits_bytes_used(&reader);
    });
    return out;
}

constexpr uint32_t untouched = 0xABABABABu;

TEST(ProgramConfigElement, ReadsEveryFieldAtEveryBitOffset)
{
    PceFields f;
    f.tag = 9, f.object_type = 2, f.sampling_frequency_index = 13;
    f.front = {0x10 | 3, 7, 0x1F};
    f.side = {0x12};
    f.back = {0x04, 0x15};
    f.lfe = {0xE, 1, 0xF};
    f.assoc_data = {0xA, 0x5, 0x0, 0xC, 0x3, 0x9, 0x6};
    f.valid_cc = {0x1A, 0x02};
    f.mono_mixdown = 0xD, f.stereo_mixdown = 0x6, f.matrix_mixdown = 2, f.pseudo_surround = 1;
    f.comment = {'l', 0, 0xFF, 'm'};
    for (int offset = 0; offset < 32; offset++) {
        SCOPED_TRACE(offset);
        std::vector<uint8_t> block = write_pce(f, offset);
        Parsed r = parse(block, offset, block.size());
        ASSERT_EQ(r.status, AAC_OK);
        EXPECT_EQ(r.bytes_used, static_cast<int32_t>(block.size()));
        const aac_pce &p = r.pce;
        EXPECT_EQ(p.object_type, 2u);
        EXPECT_EQ(p.sampling_frequency_index, 13u);
        EXPECT_EQ(p.mono_mixdown_present, 1u);
        EXPECT_EQ(p.mono_mixdown_element_number, 0xDu);
        EXPECT_EQ(p.stereo_mixdown_present, 1u);
        EXPECT_EQ(p.stereo_mixdown_element_number, 6u);
        EXPECT_EQ(p.matrix_mixdown_idx_present, 1u);
        EXPECT_EQ(p.matrix_mixdown_idx, 2u);
        EXPECT_EQ(p.pseudo_surround_enable, 1u);
        auto list = [](const uint32_t *entries, uint32_t count) {
            return std::vector<uint32_t>(entries, entries + count);
        };
        EXPECT_EQ(list(p.front_element, p.num_front_channel_elements), f.front);
        EXPECT_EQ(list(p.side_element, p.num_side_channel_elements), f.side);
        EXPECT_EQ(list(p.back_element, p.num_back_channel_elements), f.back);
        EXPECT_EQ(list(p.lfe_element, p.num_lfe_channel_elements), f.lfe);
        EXPECT_EQ(list(p.assoc_data_element, p.num_assoc_data_elements), f.assoc_data);
        EXPECT_EQ(list(p.valid_cc_element, p.num_valid_cc_elements), f.valid_cc);
        EXPECT_EQ(p.front_element[3], untouched);
        EXPECT_EQ(p.valid_cc_element[2], untouched);
        ASSERT_EQ(p.comment_field_bytes, 4u);
        EXPECT_EQ(std::vector<uint8_t>(p.comment_field_data, p.comment_field_data + 4), f.comment);
    }
}

TEST(ProgramConfigElement, AbsentMixdownsLeaveTheirFieldsUnwritten)
{
    PceFields f;
    f.front = {0x11};
    std::vector<uint8_t> block = write_pce(f);
    Parsed r = parse(block, 0, block.size());
    ASSERT_EQ(r.status, AAC_OK);
    EXPECT_EQ(r.pce.mono_mixdown_present, 0u);
    EXPECT_EQ(r.pce.mono_mixdown_element_number, untouched);
    EXPECT_EQ(r.pce.stereo_mixdown_element_number, untouched);
    EXPECT_EQ(r.pce.matrix_mixdown_idx, untouched);
    EXPECT_EQ(r.pce.pseudo_surround_enable, untouched);
    EXPECT_EQ(r.pce.lfe_element[0], untouched);
}

TEST(ProgramConfigElement, AlignsTheCommentToTheBlocksByteGrid)
{
    // Three leading bits, then: tag 0, LC, index 3, one front SCE tag 0, no
    // mixdowns; six fill bits reach the block's byte 6 (42 bits in, 39 of
    // them the element's), then a one-byte comment 0x5A.
    const std::vector<uint8_t> block = {0xE0, 0x98, 0x80, 0x00, 0x00, 0x00, 0x01, 0x5A};
    Parsed r = parse(block, 3, block.size());
    ASSERT_EQ(r.status, AAC_OK);
    EXPECT_EQ(r.pce.object_type, 1u);
    EXPECT_EQ(r.pce.sampling_frequency_index, 3u);
    EXPECT_EQ(r.pce.num_front_channel_elements, 1u);
    EXPECT_EQ(r.pce.front_element[0], 0u);
    ASSERT_EQ(r.pce.comment_field_bytes, 1u);
    EXPECT_EQ(r.pce.comment_field_data[0], 0x5A);
    EXPECT_EQ(r.bytes_used, 8);
}

TEST(ProgramConfigElement, ReadsA255ByteComment)
{
    PceFields f;
    for (int i = 0; i < 255; i++)
        f.comment.push_back(static_cast<uint8_t>(i * 7 + 1));
    std::vector<uint8_t> block = write_pce(f, 5);
    Parsed r = parse(block, 5, block.size());
    ASSERT_EQ(r.status, AAC_OK);
    ASSERT_EQ(r.pce.comment_field_bytes, 255u);
    EXPECT_EQ(std::vector<uint8_t>(r.pce.comment_field_data, r.pce.comment_field_data + 255),
              f.comment);
    EXPECT_EQ(r.pce.comment_field_data[255], 0xAB);
    EXPECT_EQ(r.bytes_used, static_cast<int32_t>(block.size()));
}

TEST(ProgramConfigElement, ReadsUpToEightZeroBytesPastTheBlock)
{
    // The comment's last eight bytes are zero: cut off, they read the same.
    PceFields f;
    f.front = {0x10};
    f.comment = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> block = write_pce(f, 3);
    for (size_t cut = 0; cut <= 12; cut++) {
        SCOPED_TRACE(cut);
        Parsed r = parse(block, 3, block.size() - cut);
        if (cut > 8) {
            EXPECT_EQ(r.status, AAC_ERR_CORRUPT_FRAME);
            continue;
        }
        ASSERT_EQ(r.status, AAC_OK);
        EXPECT_EQ(r.bytes_used, static_cast<int32_t>(block.size()));
        EXPECT_EQ(std::vector<uint8_t>(r.pce.comment_field_data, r.pce.comment_field_data + 16),
                  f.comment);
    }
}

}  // namespace
