// The frame parser on the test streams: every frame parses whole, and every
// shorter cut of it fails without reading past the data.
#include "syntax/raw_data_block.h"

#include <gtest/gtest.h>

#include "bit_writer.h"
#include "decode_stream.h"
#include "decoder/layouts.h"
#include "frame/allocator.h"
#include "frame/error.h"

namespace {

TEST(StreamFrames, EveryFrameParsesWholeAndEveryCutFails)
{
    int streams = 0;
    for (const TestStream &stream : test_streams()) {
        if (stream.layout == 0)
            continue;
        SCOPED_TRACE(stream.name);
        const std::vector<uint8_t> file = read_file(test_data_path("streams/" + stream.name + ".aac"));
        const std::vector<AdtsFrame> frames = split_adts(file);
        aac_dec_config config = stream_config(stream, file, frames);
        aac_decoder *dec = nullptr;
        ASSERT_EQ(aac_dec_create(&dec, &config), AAC_OK);
        void *work = aac_alloc_aligned(aac_workspace_size(aac_layouts[stream.layout]));
        dec->cur_work = work;
        streams++;
        for (const AdtsFrame &f : frames) {
            const std::vector<uint8_t> payload(file.begin() + f.payload_offset,
                                               file.begin() + f.payload_offset + f.payload_size);
            // The last byte holds bits of END, which the zero tail cannot
            // supply: every cut runs out of data or misreads zeros as
            // elements the layout does not have.
            for (size_t size = f.payload_size + 1; size-- > 0;) {
                auto data = exact_copy(payload, size);
                dec->input_data = data.get();
                dec->input_size = static_cast<int32_t>(size);
                dec->bytes_used = -1;
                aac_guard guard;
                const aac_status status = guard.run([&] { aac_parse_raw_data_block(dec); });
                const bool whole = size == f.payload_size;
                ASSERT_EQ(status, whole ? AAC_OK : AAC_ERR_CORRUPT_FRAME) << f.payload_offset << " cut " << size;
                ASSERT_EQ(dec->bytes_used, whole ? static_cast<int32_t>(size) : -1);
            }
        }
        aac_dec_destroy(dec);
        aac_free_aligned(work);
    }
    EXPECT_GE(streams, 20);
}

}  // namespace
