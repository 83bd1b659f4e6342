#include "decoding.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "audio_writer.h"
#include "channel_layout.h"
#include "interrupt.h"
#include "silent_frame.h"
#include "tool_error.h"

namespace aacdec {

namespace {

// Stands in for a frame that was lost before the decoder: a coupling
// channel element, which the decoder always rejects.
const uint8_t kLostFrame[1] = {0x40};

// What the hooks need to know about the call in progress.  Hooks run on
// the calling thread inside the decode call, so one per thread suffices.
struct CallState {
    InputFrame::Crc crc = InputFrame::Crc::none;
    std::span<const uint8_t> crc_header;
    uint16_t crc_value = 0;
    std::span<const uint8_t> block;  // the data handed to the decoder
    bool crc_failed = false;
    bool delivered = false;
    unsigned state = 0;
    const float *samples = nullptr;
};

thread_local CallState *t_call = nullptr;

// Bytes of a raw_data_block: up to the byte that holds the last bit of END.
size_t block_length(const aac_syn_elem *list)
{
    for (;;) {
        if (list[0] == AAC_ID_END)
            return (static_cast<size_t>(list[1]) + 3 + 7) / 8;
        list += list[0] == AAC_ID_CPE ? 3 : 2;
    }
}

aac_status AAC_CALL check_crc(aac_decoder *, const aac_syn_elem *list)
{
    CallState &call = *t_call;
    uint16_t crc = 0xFFFF, expected = call.crc_value;
    if (call.crc == InputFrame::Crc::none)
        return AAC_OK;
    // A block that ran on into the decoder's zero tail has positions past
    // its bytes; the check word cannot be computed, let alone match.
    size_t length = block_length(list);
    if (length > call.block.size()) {
        call.crc_failed = true;
        return AAC_ERR_BAD_STREAM;
    }
    if (call.crc == InputFrame::Crc::with_header) {
        crc = aac_calc_crc_bytes(crc, static_cast<int32_t>(call.crc_header.size()),
                                 call.crc_header.data());
    } else {
        // With several blocks in a frame, each block's check word follows it.
        if (length + 2 > call.block.size()) {
            call.crc_failed = true;
            return AAC_ERR_BAD_STREAM;
        }
        expected = static_cast<uint16_t>((call.block[length] << 8) | call.block[length + 1]);
    }
    if (aac_calc_crc_syn_elems(crc, list, call.block.data()) != expected) {
        call.crc_failed = true;
        return AAC_ERR_BAD_STREAM;
    }
    return AAC_OK;
}

aac_status AAC_CALL take_block(aac_decoder *, void **slot)
{
    auto word = reinterpret_cast<uintptr_t>(*slot);
    t_call->delivered = true;
    t_call->state = static_cast<unsigned>(word & AAC_SLOT_STATE_MASK);
    t_call->samples = reinterpret_cast<const float *>(word & ~uintptr_t{AAC_SLOT_STATE_MASK});
    return AAC_OK;
}

// Trims the decoder's output to the span: drops `skip` samples, writes at
// most `left`.
class Trim {
public:
    Trim(AudioWriter &out, uint64_t skip, uint64_t length) : out_(out), skip_(skip), left_(length) {}

    void block(const float *samples)
    {
        uint64_t from = std::min<uint64_t>(skip_, 1024);
        skip_ -= from;
        uint64_t to = std::min<uint64_t>(1024, from + left_);
        if (to > from) {
            out_.write(samples, from, to);
            left_ -= to - from;
            written_ += to - from;
        }
    }
    void silence(uint64_t n)
    {
        while (n > 0) {
            check_stop();
            uint64_t part = std::min<uint64_t>(n, 1024);
            out_.write(nullptr, 0, part);
            written_ += part;
            n -= part;
        }
    }
    bool full() const { return left_ == 0; }
    uint64_t written() const { return written_; }

private:
    AudioWriter &out_;
    uint64_t skip_, left_, written_ = 0;
};

}  // namespace

Decoding::Decoding(const StreamConfig &config)
{
    aac_dec_config c = decoder_config(config);
    aac_status status = aac_dec_create(&dec_, &c);
    if (status == AAC_ERR_CORRUPT_FRAME)
        fail(Failure::input, "the program_config_element is damaged");
    if (status == AAC_ERR_BAD_STREAM)
        fail(Failure::unsupported,
             config.channel_configuration == 0
                 ? "the program_config_element describes a channel layout that is not supported"
                 : "the stream's configuration is not supported");
    if (status != AAC_OK)
        fail(Failure::input, "cannot create a decoder (out of memory)");
    // A program_config_element may name its own sampling frequency.
    rate_ = dec_->sampling_frequency_index == config.sampling_frequency_index
                ? config.sample_rate
                : rate_of_index(dec_->sampling_frequency_index);
}

Decoding::~Decoding()
{
    aac_dec_destroy(dec_);
    if (pool_)
        pool_->ops->destroy(pool_);
}

DecodeSummary Decoding::run(OpenedInput &in, AudioWriter &out, bool strict, Progress &progress)
{
    // Blocks hold every channel the decoder writes, whatever the output keeps.
    if (aac_frame_alloc_create(&pool_, layout_info(layout())->channels) != AAC_OK)
        fail(Failure::input, "out of memory");
    for (float &g : dec_->gain)
        g = out.decoder_gain();
    dec_->pool = pool_;
    dec_->output_hook = take_block;
    dec_->syn_elem_hook = check_crc;
    dec_->conceal_errors = strict ? 0 : 1;

    CallState call;
    t_call = &call;
    struct Reset {
        ~Reset() { t_call = nullptr; }
    } reset;

    const OutputSpan &span = in.info.span;
    // The decoder's first block is normally samples 1024.. of a standard
    // decoding; a span that starts earlier needs a silent frame in front,
    // after which the first block is samples 0..1023.
    bool primer = span.start < 1024;
    Trim trim(out, primer ? span.start : span.start - 1024, span.length);
    trim.silence(span.lead_silence);

    const std::vector<uint8_t> silent = silent_frame(dec_->element_map);
    DecodeSummary summary;
    uint64_t number = 0;  // of the input frame being decoded, from 1

    auto report = [&](const std::string &what) {
        if (strict)
            fail(Failure::decode, "frame " + std::to_string(number) + ": " + what);
        progress.warning("frame " + std::to_string(number) + ": " + what +
                         "; decoded as silence");
    };

    // One decode call; the bytes the block used, or nothing when it was lost.
    auto decode = [&](std::span<const uint8_t> data, InputFrame::Crc crc,
                      const InputFrame *frame) -> std::optional<size_t> {
        call = CallState{};
        call.crc = crc;
        call.block = data;
        if (frame) {
            call.crc_header = frame->crc_header;
            call.crc_value = frame->crc_value;
        }
        int32_t errors = dec_->error_count;
        dec_->input_data = data.data();
        dec_->input_size = static_cast<int32_t>(data.size());
        aac_status status = aac_dec_decode(dec_);
        if (status != AAC_OK && status != AAC_ERR_CORRUPT_FRAME && status != AAC_ERR_BAD_STREAM)
            fail(Failure::input, "out of memory");
        bool lost = status != AAC_OK || dec_->error_count != errors;
        if (lost && data.data() != kLostFrame) {
            summary.lost_frames++;
            report(call.crc_failed ? "CRC mismatch" : "damaged frame");
        }
        if (call.delivered && call.state == AAC_SLOT_VALID)
            trim.block(call.samples);
        else if (call.delivered && call.state == AAC_SLOT_LOST)
            trim.block(nullptr);
        if (lost)
            return std::nullopt;
        return static_cast<size_t>(dec_->bytes_used);
    };
    auto lose = [&](const std::string &why) {
        number++;
        summary.frames++;
        summary.lost_frames++;
        report(why);
        decode(kLostFrame, InputFrame::Crc::none, nullptr);
    };

    if (primer)
        decode(silent, InputFrame::Crc::none, nullptr);
    InputFrame frame;
    while (!trim.full() && in.frames->next(frame)) {
        check_stop();
        if (!frame.damage_before.empty())
            lose(frame.damage_before);
        std::span<const uint8_t> rest = frame.data;
        size_t check_word = frame.crc == InputFrame::Crc::after_each_block ? 2 : 0;
        bool broken = false;
        for (int b = 0; b < frame.blocks; b++) {
            if (!frame.unusable.empty()) {
                lose(frame.unusable);
            } else if (broken) {
                lose("follows a damaged raw_data_block in the same ADTS frame");
            } else if (rest.empty()) {
                lose("the ADTS frame holds fewer raw_data_blocks than its header says");
            } else {
                number++;
                summary.frames++;
                std::optional<size_t> used = decode(rest, frame.crc, &frame);
                broken = !used;
                if (used)
                    rest = rest.subspan(std::min(rest.size(), *used + check_word));
            }
        }
        progress.advanced(in.frames->progress(),
                          static_cast<double>(trim.written()) / rate_);
    }
    for (const std::string &w : in.frames->end_warnings()) {
        if (strict)
            fail(Failure::decode, w);
        progress.warning(w);
    }
    // The last frame's second half comes out against a silent frame.
    if (summary.frames > 0 && !trim.full())
        decode(silent, InputFrame::Crc::none, nullptr);
    dec_->input_size = 0;
    aac_dec_decode(dec_);
    summary.samples = trim.written();
    summary.seconds = static_cast<double>(summary.samples) / rate_;
    return summary;
}

}  // namespace aacdec
