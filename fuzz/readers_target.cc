// The aacdec readers on arbitrary bytes: container recognition, ADTS
// framing with resynchronisation, MP4 boxes, sample tables and fragments,
// AudioSpecificConfig; then, for a stream the decoder takes, its frames
// through a concealing decoder the way aacdec hands them over.  The readers
// may refuse an input only with ToolError; anything else escaping is a
// finding, as is any frame that reaches outside the reader's memory.
//
// Input: one byte (bits 0-1: audio track - 1; bit 7: the rest is an
// AudioSpecificConfig rather than a file), then the bytes.
#include <cstdint>
#include <memory>
#include <vector>

#include "audio_config.h"
#include "frame/error.h"
#include "fuzz_input.h"
#include "input.h"
#include "lumdec.h"
#include "tool_error.h"

using namespace lumdec;

namespace {

constexpr int kMaxFrames = 200;

// Reads every byte, so that a span that reaches outside its memory is seen.
uint32_t touch(std::span<const uint8_t> bytes)
{
    uint32_t sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return sum;
}

struct DestroyDecoder {
    void operator()(aac_decoder *dec) const { aac_dec_destroy(dec); }
};
using Decoder = std::unique_ptr<aac_decoder, DestroyDecoder>;

Decoder create_decoder(const aacdec::StreamConfig &config)
{
    aac_dec_config c = aacdec::decoder_config(config);
    aac_decoder *dec = nullptr;
    aac_status status = aac_dec_create(&dec, &c);
    FUZZ_CHECK(status == AAC_OK || status == AAC_ERR_CORRUPT_FRAME ||
               status == AAC_ERR_BAD_STREAM);
    if (dec == nullptr)
        return nullptr;
    for (float &g : dec->gain)
        g = 1.0f;
    dec->conceal_errors = 1;
    return Decoder(dec);
}

// The raw_data_blocks of one frame, one decode call each, in an exact-size
// copy; a block that fails loses the rest of the frame.
void decode_frame(aac_decoder *dec, const aacdec::InputFrame &frame)
{
    std::vector<uint8_t> copy(frame.data.begin(), frame.data.end());
    size_t at = 0;
    for (int b = 0; b < frame.blocks && at < copy.size(); b++) {
        std::vector<uint8_t> block(copy.begin() + static_cast<std::ptrdiff_t>(at), copy.end());
        int32_t errors = dec->error_count;
        dec->input_data = block.data();
        dec->input_size = static_cast<int32_t>(block.size());
        FUZZ_CHECK(aac_dec_decode(dec) == AAC_OK);  // concealed
        if (dec->error_count != errors)
            return;
        at += static_cast<size_t>(dec->bytes_used) +
              (frame.crc == aacdec::InputFrame::Crc::after_each_block ? 2 : 0);
    }
}

void read_file(std::vector<uint8_t> bytes, int track)
{
    aacdec::OpenedInput input = aacdec::open_input_memory(std::move(bytes), track);
    Decoder dec;
    try {
        aacdec::check_supported(input.info.config);
        dec = create_decoder(input.info.config);
    } catch (const aacdec::ToolError &) {
        // An unsupported stream can still be read through.
    }
    aacdec::InputFrame frame;
    for (int n = 0; n < kMaxFrames && input.frames->next(frame); n++) {
        (void)touch(frame.data);
        (void)touch(frame.crc_header);
        FUZZ_CHECK(frame.blocks >= 1);
        if (dec != nullptr && frame.unusable.empty())
            decode_frame(dec.get(), frame);
    }
    (void)input.frames->end_warnings();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    size_t n = 0;
    const uint8_t *rest = in.take(in.remaining(), &n);
    std::vector<uint8_t> bytes(rest, rest + n);
    try {
        if (mode & 0x80) {
            aacdec::StreamConfig config = aacdec::parse_audio_specific_config(bytes);
            aacdec::check_supported(config);
            create_decoder(config);
        } else {
            read_file(std::move(bytes), 1 + (mode & 3));
        }
    } catch (const aacdec::ToolError &) {
    }
    FUZZ_CHECK(aac_innermost_frame() == nullptr);
    return 0;
}
