// The frame parser on the test streams: every frame parses whole, every
// shorter cut of it fails without reading past the data, and the element
// list it hands out drives the error-check CRC over exactly the protected
// bits.
#include "syntax/raw_data_block.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "decoder/layouts.h"
#include "frame/allocator.h"
#include "frame/error.h"
#include "hand_decoder.h"
#include "lumdec.h"
#include "test_streams.h"

namespace {

// A decoder created from a test stream's configuration, with a workspace
// of its own: enough to run the frame parser without the decode driver.
class StreamParser {
public:
    explicit StreamParser(const TestStream &stream)
        : file_(read_file(test_data_path("streams/" + stream.name + ".aac"))),
          frames_(split_adts(file_))
    {
        aac_dec_config config{};
        config.profile = 1;
        config.sampling_frequency_index = stream.sampling_frequency_index;
        config.channel_configuration = stream.layout;
        if (stream.pce_bit_offset >= 0) {
            config.bit_offset = stream.pce_bit_offset;
            config.input_size = static_cast<int32_t>(frames_[0].payload_size);
            config.input_data = file_.data() + frames_[0].payload_offset;
        }
        status_ = aac_dec_create(&dec_, &config);
        if (status_ != AAC_OK)
            return;
        work_ = aac_alloc_aligned(aac_workspace_size(aac_layouts[stream.layout]));
        dec_->cur_work = work_;
    }
    ~StreamParser()
    {
        if (dec_)
            aac_dec_destroy(dec_);
        aac_free_aligned(work_);
    }
    StreamParser(const StreamParser &) = delete;
    StreamParser &operator=(const StreamParser &) = delete;

    aac_status created() const { return status_; }
    aac_decoder *decoder() { return dec_; }
    size_t frame_count() const { return frames_.size(); }
    size_t frame_size(size_t i) const { return frames_[i].payload_size; }
    std::vector<uint8_t> frame(size_t i) const
    {
        auto begin = file_.begin() + static_cast<std::ptrdiff_t>(frames_[i].payload_offset);
        return {begin, begin + static_cast<std::ptrdiff_t>(frames_[i].payload_size)};
    }

    // Parses the first size bytes of frame i from a heap block of exactly
    // that size.
    aac_status parse(size_t i, size_t size)
    {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
        std::copy_n(file_.begin() + static_cast<std::ptrdiff_t>(frames_[i].payload_offset), size,
                    copy.get());
        return parse_bytes(copy.get(), size);
    }
    aac_status parse_bytes(const uint8_t *data, size_t size)
    {
        dec_->input_data = data;
        dec_->input_size = static_cast<int32_t>(size);
        dec_->bytes_used = -1;
        aac_guard frame;
        return frame.run([&] { aac_parse_raw_data_block(dec_); });
    }

private:
    std::vector<uint8_t> file_;
    std::vector<AdtsFrame> frames_;
    aac_decoder *dec_ = nullptr;
    aac_status status_ = AAC_OK;
    void *work_ = nullptr;
};

bool decodable(const TestStream &stream)
{
    return stream.expected_status == AAC_OK &&
           std::ifstream(test_data_path("streams/" + stream.name + ".aac")).good();
}

TEST(StreamFrames, EveryFrameParsesWholeAndEveryCutFails)
{
    int streams = 0;
    for (const TestStream &stream : test_streams()) {
        if (!decodable(stream))
            continue;
        SCOPED_TRACE(stream.name);
        StreamParser parser(stream);
        ASSERT_EQ(parser.created(), AAC_OK);
        streams++;
        for (size_t i = 0; i < parser.frame_count(); i++) {
            const size_t size = parser.frame_size(i);
            ASSERT_EQ(parser.parse(i, size), AAC_OK) << "frame " << i;
            ASSERT_EQ(parser.decoder()->bytes_used, static_cast<int32_t>(size)) << "frame " << i;
            // The last byte holds bits of END, which the zero tail cannot
            // supply: every cut runs out of data or misreads zeros as
            // elements the layout does not have.
            for (size_t cut = 0; cut < size; cut++) {
                ASSERT_EQ(parser.parse(i, cut), AAC_ERR_CORRUPT_FRAME)
                    << "frame " << i << " cut at " << cut;
                ASSERT_EQ(parser.decoder()->bytes_used, -1);
            }
        }
    }
    EXPECT_GE(streams, 20);
}

// The bits the error check covers, from the element list alone: 192 bits
// after the id of a single, LFE or pair element (zero-padded, bounded by the
// element's end), also 128 bits from a pair's second channel, every bit
// after the id of a data stream or program config element, nothing of a
// fill element.
std::set<int32_t> protected_bits(const std::vector<aac_syn_elem> &list)
{
    std::set<int32_t> bits;
    auto cover = [&](int32_t from, int32_t count, int32_t end) {
        for (int32_t b = from; b < from + count && b < end; b++)
            bits.insert(b);
    };
    for (size_t i = 0; list[i] != AAC_ID_END;) {
        const aac_syn_elem id = list[i], start = list[i + 1];
        const size_t words = id == AAC_ID_CPE ? 3 : 2;
        const int32_t end = list[i + words + 1];
        if (id == AAC_ID_SCE || id == AAC_ID_LFE || id == AAC_ID_CPE)
            cover(start + 3, 192, end);
        if (id == AAC_ID_CPE)
            cover(list[i + 2], 128, end);
        if (id == AAC_ID_DSE || id == AAC_ID_PCE)
            cover(start + 3, end - start - 3, end);
        i += words;
    }
    return bits;
}

std::vector<aac_syn_elem> captured;

aac_status AAC_CALL keep_list(aac_decoder *, const aac_syn_elem *list)
{
    captured = copy_syn_elems(list);
    return 0;
}

TEST(StreamFrames, TheElementListProtectsExactlyTheCheckedBits)
{
    // Pairs, singles, an LFE and fill elements; the program_config_element
    // at the start of the inserted-PCE stream.
    int checked = 0;
    std::set<aac_syn_elem> ids;
    for (const char *name : {"multi_5_1_48k_320k", "pce_5_1_inserted_48k_288k",
                             "corr_is_stereo_32k_48k", "speech_mono_16k_24k"}) {
        SCOPED_TRACE(name);
        StreamParser parser(test_stream(name));
        ASSERT_EQ(parser.created(), AAC_OK);
        parser.decoder()->syn_elem_hook = keep_list;
        for (size_t i : {size_t{0}, parser.frame_count() / 2}) {
            std::vector<uint8_t> bytes = parser.frame(i);
            ASSERT_EQ(parser.parse_bytes(bytes.data(), bytes.size()), AAC_OK);
            const std::vector<aac_syn_elem> list = captured;
            for (size_t k = 0; list[k] != AAC_ID_END; k += list[k] == AAC_ID_CPE ? 3 : 2)
                ids.insert(list[k]);
            const std::set<int32_t> covered = protected_bits(list);
            const uint16_t crc = aac_calc_crc_syn_elems(0xFFFF, list.data(), bytes.data());
            for (int32_t bit = 0; bit < static_cast<int32_t>(8 * bytes.size()); bit++) {
                bytes[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
                const bool changed =
                    aac_calc_crc_syn_elems(0xFFFF, list.data(), bytes.data()) != crc;
                bytes[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
                ASSERT_EQ(changed, covered.count(bit) == 1) << "frame " << i << " bit " << bit;
            }
            checked++;
        }
    }
    EXPECT_EQ(checked, 8);
    EXPECT_EQ(ids, (std::set<aac_syn_elem>{AAC_ID_SCE, AAC_ID_CPE, AAC_ID_LFE, AAC_ID_PCE,
                                           AAC_ID_FIL}));
}

}  // namespace
