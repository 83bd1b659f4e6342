// The program_config_element parser: every field in stream order at any bit
// offset, the comment aligned to the block's byte grid, and the end of the
// block.
#include "syntax/pce.h"

#include <gtest/gtest.h>

#include <cstring>

#include "frame/error.h"
#include "pce_writer.h"

namespace {

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
    for (int i = 0; i < 255; i++)
        f.comment.push_back(static_cast<uint8_t>(i * 7 + 1));
    for (int offset = 0; offset < 32; offset++) {
        SCOPED_TRACE(offset);
        std::vector<uint8_t> block = write_pce(f, offset);
        auto copy = exact_copy(block, block.size());
        aac_pce p;
        std::memset(&p, 0xAB, sizeof p);
        int32_t bytes_used = 0;
        aac_guard frame;
        ASSERT_EQ(frame.run([&] {
            aac_bit_reader reader;
            aac_bits_init(&reader, copy.get(), static_cast<int32_t>(block.size()));
            aac_bits_fill(&reader, offset);
            aac_bits_skip(&reader, offset);
            aac_parse_pce(&reader, &p);
            bytes_used = aac_bits_bytes_used(&reader);
        }), AAC_OK);
        EXPECT_EQ(bytes_used, static_cast<int32_t>(block.size()));
        const uint32_t fields[9] = {p.object_type,
                                    p.sampling_frequency_index,
                                    p.mono_mixdown_present,
                                    p.mono_mixdown_element_number,
                                    p.stereo_mixdown_present,
                                    p.stereo_mixdown_element_number,
                                    p.matrix_mixdown_idx_present,
                                    p.matrix_mixdown_idx,
                                    p.pseudo_surround_enable};
        EXPECT_EQ(std::vector<uint32_t>(fields, fields + 9),
                  (std::vector<uint32_t>{2, 13, 1, 0xD, 1, 6, 1, 2, 1}));
        auto list = [](const uint32_t *entries, uint32_t count) {
            return std::vector<uint32_t>(entries, entries + count);
        };
        EXPECT_EQ(list(p.front_element, p.num_front_channel_elements), f.front);
        EXPECT_EQ(list(p.side_element, p.num_side_channel_elements), f.side);
        EXPECT_EQ(list(p.back_element, p.num_back_channel_elements), f.back);
        EXPECT_EQ(list(p.lfe_element, p.num_lfe_channel_elements), f.lfe);
        EXPECT_EQ(list(p.assoc_data_element, p.num_assoc_data_elements), f.assoc_data);
        EXPECT_EQ(list(p.valid_cc_element, p.num_valid_cc_elements), f.valid_cc);
        ASSERT_EQ(p.comment_field_bytes, 255u);
        EXPECT_EQ(std::vector<uint8_t>(p.comment_field_data, p.comment_field_data + 255), f.comment);
        EXPECT_EQ(p.comment_field_data[255], 0xAB);
    }
}

}  // namespace
