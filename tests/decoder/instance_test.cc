// Creating and destroying decoders: from plain configuration values (every
// layout, the band counts of every rate, every refusal, what is allocated
// and released); and from
// program_config_elements, which exercises their parser (the accepted
// element lists and their tag binding, the refusals, the bit offset, the
// bytes used, and the order of reading and checking).
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "counting_allocator.h"
#include "frame/error.h"
#include "layout_reference.h"
#include "pce_writer.h"

using namespace lumdec;

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

TEST(DecoderInstance, EveryLayoutMapsItsElementsAndHoldsOnlyItsRecord)
{
    CountingAllocator hooks;
    for (int layout = 1; layout <= 10; layout++) {
        SCOPED_TRACE(testing::Message() << "layout " << layout);
        aac_dec_config config = layout_config(layout);
        config.stream_flag = layout & 1;
        aac_decoder *dec = not_written;
        ASSERT_EQ(create(config, &dec), AAC_OK);
        EXPECT_EQ(dec->stream_flag, layout & 1);
        EXPECT_EQ(dec->sampling_frequency_index, 3);
        EXPECT_EQ(dec->channel_configuration, layout);
        EXPECT_EQ(map_words(dec->element_map), map_words(expected_map(layout)));
        EXPECT_EQ(config.bytes_used, -7);
        // Nothing but the record exists, and the host's fields are clear.
        EXPECT_EQ(hooks.outstanding(), 1u);
        EXPECT_EQ(dec->pool, nullptr);
        EXPECT_EQ(dec->out_block, nullptr);
        EXPECT_EQ(dec->gain[7], 0.0f);
        aac_dec_destroy(dec);
    }
    EXPECT_EQ(hooks.outstanding(), 0u);
    EXPECT_EQ(hooks.bad_frees, 0);
}

// The band counts and TNS limits of every rate, as the standard's tables
// give them (the band edges themselves are the generator's, checked against
// its data by generated_tables_are_current).
TEST(DecoderInstance, EveryRateGetsItsBandCountsAndTnsLimits)
{
    const uint32_t counts[4][12] = {
        {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40},  // long bands
        {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15},  // short bands
        {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39},  // TNS, long
        {9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14},    // TNS, short
    };
    for (int index = 0; index < 12; index++) {
        aac_decoder *dec = nullptr;
        ASSERT_EQ(create(layout_config(2, index), &dec), AAC_OK);
        const aac_stream_tables &t = dec->stream_tables;
        const uint32_t got[4] = {t.num_swb_long, t.num_swb_short, t.tns_max_bands_long,
                                 t.tns_max_bands_short};
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(got[k], counts[k][index]) << "index " << index << ", count " << k;
        EXPECT_EQ(t.tns_max_order_long, 12u);
        EXPECT_EQ(t.tns_max_order_short, 7u);
        aac_dec_destroy(dec);
    }
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

struct Created {
    aac_status status;
    int32_t bytes_used;
    aac_decoder *dec = nullptr;
    ~Created() { aac_dec_destroy(status == AAC_OK ? dec : nullptr); }
};

struct Options {
    int32_t bit_offset = 0, stream_flag = 0;
    size_t size = SIZE_MAX;  // bytes of the block handed over
    int32_t profile = 1;
};

// Creates from an exact-size heap copy of the block.  The configuration's
// own index and layout are invalid: the element must replace them.
std::unique_ptr<Created> create(const std::vector<uint8_t> &block, Options o = {})
{
    const size_t size = std::min(o.size, block.size());
    auto copy = exact_copy(block, size);
    aac_dec_config config = {-7, o.bit_offset, 0, static_cast<int32_t>(size), copy.get(), o.stream_flag, o.profile, 12, 0};
    auto out = std::make_unique<Created>();
    out->status = aac_dec_create(&out->dec, &config);
    out->bytes_used = config.bytes_used;
    EXPECT_EQ(aac_innermost_frame(), nullptr);
    return out;
}

// Every make-up of up to three front, three back and two LFE elements:
// accepted exactly when it is a row of the table, bound by its tags.
TEST(PceConfiguration, AcceptsExactlyTheTabledElementLists)
{
    const std::map<std::string, int> accepted = {
        {"S||", 1},  {"P||", 2},   {"P|S|", 8},  {"P|P|", 9},     {"SP||", 3},
        {"SS||", 10}, {"SP|S|", 4}, {"SP|P|", 5}, {"SP|P|L", 6}, {"SP|PP|L", 7},
    };
    const int tag_of[5] = {3, 8, 13, 2, 7};  // of the elements in order
    CountingAllocator hooks;
    int created = 0;
    for (int front_bits = 1; front_bits < 16; front_bits++)  // a leading 1 marks the length
        for (int back_bits = 1; back_bits < 16; back_bits++)
            for (int lfe = 0; lfe < 3; lfe++) {
                PceFields f;
                f.sampling_frequency_index = 5;
                std::string key;
                std::vector<int> tags;
                auto add = [&](std::vector<uint32_t> &list, char kind) {
                    key += kind;
                    tags.push_back(tags.size() < 5 ? tag_of[tags.size()] : 15);
                    list.push_back((kind == 'P' ? 16u : 0u) + tags.back());
                };
                for (int b = std::bit_width(unsigned(front_bits)) - 2; b >= 0; b--)
                    add(f.front, (front_bits >> b) & 1 ? 'P' : 'S');
                key += '|';
                for (int b = std::bit_width(unsigned(back_bits)) - 2; b >= 0; b--)
                    add(f.back, (back_bits >> b) & 1 ? 'P' : 'S');
                key += '|';
                for (int i = 0; i < lfe; i++)
                    add(f.lfe, 'L');
                SCOPED_TRACE(key);
                auto r = create(write_pce(f), {.profile = 2});
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
                EXPECT_EQ(map_words(r->dec->element_map),
                          map_words(expected_map(row->second, tags)));
            }
    EXPECT_EQ(created, 10);
    EXPECT_EQ(hooks.outstanding(), 0u);
}

TEST(PceConfiguration, RefusesWhatTheDecoderDoesNotSupport)
{
    CountingAllocator hooks;
    PceFields base;
    base.front = {0, 16};
    auto status = [&](void (*change)(PceFields &)) {
        PceFields f = base;
        change(f);
        return create(write_pce(f))->status;
    };
    EXPECT_EQ(status([](PceFields &) {}), AAC_OK);
    // Matrix mixdown, associated data and the comment are ignored; kinds
    // have tags of their own, but two singles under one tag could never both
    // be found in a frame.
    EXPECT_EQ(status([](PceFields &f) { f.matrix_mixdown = 3, f.assoc_data = {1, 2}, f.comment = {'x'}; }), AAC_OK);
    EXPECT_EQ(status([](PceFields &f) { f.front = {4, 16 + 4}; }), AAC_OK);
    void (*refused[])(PceFields &) = {
        [](PceFields &f) { f.front = {4, 4}; },
        // The element's object type counts, not the configuration's profile.
        [](PceFields &f) { f.object_type = 0; },
        [](PceFields &f) { f.object_type = 2; },
        [](PceFields &f) { f.object_type = 3; },
        [](PceFields &f) { f.sampling_frequency_index = 12; },
        [](PceFields &f) { f.sampling_frequency_index = 15; },
        [](PceFields &f) { f.side = {16 + 1}; },
        [](PceFields &f) { f.valid_cc = {0}; },
        [](PceFields &f) { f.mono_mixdown = 0; },
        [](PceFields &f) { f.stereo_mixdown = 1; },
    };
    for (size_t i = 0; i < std::size(refused); i++)
        EXPECT_EQ(status(refused[i]), AAC_ERR_BAD_STREAM) << "case " << i;
    EXPECT_EQ(hooks.outstanding(), 0u);
}

TEST(PceConfiguration, BitOffsetBytesUsedAndTheOrderOfTheChecks)
{
    // The comment is aligned to the block's bytes, not the element's.
    PceFields f;
    f.front = {16 + 1};
    f.back = {16};
    f.matrix_mixdown = 1;
    f.assoc_data = {3};
    for (int i = 0; i < 255; i++)
        f.comment.push_back(static_cast<uint8_t>(i));
    for (int offset = 0; offset < 32; offset++) {
        std::vector<uint8_t> block = write_pce(f, offset);
        block.push_back(0xFF);  // whatever follows the element
        auto r = create(block, {.bit_offset = offset});
        ASSERT_EQ(r->status, AAC_OK) << offset;
        EXPECT_EQ(r->bytes_used, static_cast<int32_t>(block.size() - 1)) << offset;
        EXPECT_EQ(map_words(r->dec->element_map), map_words(expected_map(9, {1, 0})));
    }
    // Offsets a fresh reader cannot skip, and missing data, are refused
    // before anything is read.
    const std::vector<uint8_t> block = write_pce(f);
    for (int offset : {-1, 32, INT32_MAX}) {
        auto r = create(block, {.bit_offset = offset});
        EXPECT_EQ(r->status, AAC_ERR_BAD_STREAM);
        EXPECT_EQ(r->bytes_used, -7);
    }
    aac_dec_config config = {0, 0, 0, 16, nullptr, 0, 1, 0, 1};
    aac_decoder *dec = nullptr;
    EXPECT_EQ(aac_dec_create(&dec, &config), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(dec, nullptr);

    // Cut inside the element list, the front pair reads from the zero tail
    // as a single with tag 0, and the element counts its full length.
    PceFields pair;
    pair.front = {16 + 1};
    const std::vector<uint8_t> whole = write_pce(pair);
    auto cut = create(whole, {.size = 3});
    ASSERT_EQ(cut->status, AAC_OK);
    EXPECT_EQ(map_words(cut->dec->element_map), map_words(expected_map(1, {0})));
    EXPECT_EQ(cut->bytes_used, static_cast<int32_t>(whole.size()));

    // stream_flag is checked after the element is parsed and mapped.
    auto late = create(whole, {.stream_flag = 2});
    EXPECT_EQ(late->status, AAC_ERR_BAD_STREAM);
    EXPECT_EQ(late->bytes_used, static_cast<int32_t>(whole.size()));
    pair.comment.assign(20, 'c');
    const std::vector<uint8_t> long_comment = write_pce(pair);
    EXPECT_EQ(create(long_comment, {.stream_flag = 2, .size = long_comment.size() - 10})->status,
              AAC_ERR_CORRUPT_FRAME);
}

}  // namespace
