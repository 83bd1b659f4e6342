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

// One decode call at a time, with the state the hooks see, its output
// passed on to the trim.
class Feeder {
public:
    Feeder(aac_decoder *dec, Trim &trim) : dec_(dec), trim_(trim) { t_call = &call_; }
    ~Feeder() { t_call = nullptr; }
    Feeder(const Feeder &) = delete;
    Feeder &operator=(const Feeder &) = delete;

    // The bytes the block used, or nothing when it was lost.
    std::optional<size_t> decode(std::span<const uint8_t> data, const InputFrame *frame)
    {
        call_ = CallState{};
        call_.block = data;
        if (frame) {
            call_.crc = frame->crc;
            call_.crc_header = frame->crc_header;
            call_.crc_value = frame->crc_value;
        }
        int32_t errors = dec_->error_count;
        dec_->input_data = data.data();
        dec_->input_size = static_cast<int32_t>(data.size());
        aac_status status = aac_dec_decode(dec_);
        if (status != AAC_OK && status != AAC_ERR_CORRUPT_FRAME && status != AAC_ERR_BAD_STREAM)
            fail(Failure::input, "out of memory");
        if (call_.delivered && call_.state == AAC_SLOT_VALID)
            trim_.block(call_.samples);
        else if (call_.delivered && call_.state == AAC_SLOT_LOST)
            trim_.block(nullptr);
        if (status != AAC_OK || dec_->error_count != errors)
            return std::nullopt;
        return static_cast<size_t>(dec_->bytes_used);
    }
    // A frame lost before the decoder: one the decoder refuses stands in.
    void lose() { decode(kLostFrame, nullptr); }
    bool crc_failed() const { return call_.crc_failed; }

private:
    aac_decoder *dec_;
    Trim &trim_;
    CallState call_;
};

// Damage reported one run at a time: consecutive frames with the same
// kind of damage make one line with their count (a file of empty samples
// would otherwise print a line per frame).
class DamageLog {
public:
    DamageLog(Progress &progress, bool strict) : progress_(progress), strict_(strict) {}

    void report(uint64_t frame, const std::string &what, bool silenced, uint64_t bytes = 0,
                uint64_t lost = 0)
    {
        if (strict_)
            fail(Failure::decode, "frame " + std::to_string(frame) + ": " + what);
        if (count_ > 0 && (what != what_ || frame > last_ + 1 || silenced != silenced_))
            flush();
        if (count_ == 0) {
            what_ = what;
            first_ = frame;
            silenced_ = silenced;
        }
        last_ = frame;
        count_++;
        bytes_ += bytes;
        lost_ += lost;
    }

    void flush()
    {
        if (count_ == 0)
            return;
        std::string line = count_ == 1 ? "frame " + std::to_string(first_)
                                       : "frames " + std::to_string(first_) + " to " +
                                             std::to_string(last_);
        line += ": " + what_;
        std::string details;
        auto add = [&](uint64_t n, const char *unit) {
            if (n > 0)
                details += (details.empty() ? "" : ", ") + std::to_string(n) + unit;
        };
        add(count_ > 1 ? count_ : 0, " times");
        add(bytes_, " bytes");
        add(lost_, " frames lost");
        if (!details.empty())
            line += " (" + details + ")";
        progress_.warning(line + (silenced_ ? "; decoded as silence" : ""));
        count_ = bytes_ = lost_ = 0;
    }

private:
    Progress &progress_;
    bool strict_;
    std::string what_;
    bool silenced_ = false;
    uint64_t first_ = 0, last_ = 0, count_ = 0, bytes_ = 0, lost_ = 0;
};

}  // namespace

// The state of one run: the feeder, the damage log and the counts.
struct Decoding::Run {
    Feeder feeder;
    DamageLog log;
    DecodeSummary summary;
    uint64_t number = 0;  // of the input frame being decoded, from 1

    void lost(const std::string &why)
    {
        number++;
        summary.frames++;
        summary.lost_frames++;
        log.report(number, why, true);
        feeder.lose();
    }
};

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

void Decoding::prepare(AudioWriter &out, bool strict)
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
}

// The raw_data_blocks of one input frame, after the frames presumed lost
// in damage just before it.
void Decoding::feed(const InputFrame &frame, Run &run)
{
    if (!frame.damage_note.empty() && frame.lost_before == 0)
        run.log.report(run.number + 1, frame.damage_note, false, frame.skipped_bytes);
    for (uint64_t i = 0; i < frame.lost_before; i++) {
        run.number++;
        run.summary.frames++;
        run.summary.lost_frames++;
        if (i == 0)
            run.log.report(run.number, frame.damage_note, true, frame.skipped_bytes,
                           frame.lost_before);
        run.feeder.lose();
    }
    std::span<const uint8_t> rest = frame.data;
    size_t check_word = frame.crc == InputFrame::Crc::after_each_block ? 2 : 0;
    bool broken = false;
    for (int b = 0; b < frame.blocks; b++) {
        if (!frame.unusable.empty()) {
            run.lost(frame.unusable);
        } else if (broken) {
            run.lost("follows a damaged raw_data_block in the same ADTS frame");
        } else if (rest.empty()) {
            run.lost("the ADTS frame holds fewer raw_data_blocks than its header says");
        } else {
            run.number++;
            run.summary.frames++;
            std::optional<size_t> used = run.feeder.decode(rest, &frame);
            broken = !used;
            if (used)
                rest = rest.subspan(std::min(rest.size(), *used + check_word));
            else
                run.log.report(run.number, run.feeder.crc_failed() ? "CRC mismatch" : "damaged frame",
                               true);
            run.summary.lost_frames += broken;
        }
    }
}

DecodeSummary Decoding::run(OpenedInput &in, AudioWriter &out, bool strict, Progress &progress)
{
    prepare(out, strict);
    const OutputSpan &span = in.info.span;
    // The decoder's first block is normally samples 1024.. of a standard
    // decoding; a span that starts earlier needs a silent frame in front,
    // after which the first block is samples 0..1023.
    bool primer = span.start < 1024;
    Trim trim(out, primer ? span.start : span.start - 1024, span.length);
    trim.silence(span.lead_silence);
    Run run{Feeder(dec_, trim), DamageLog(progress, strict), {}, 0};

    const std::vector<uint8_t> silent = silent_frame(dec_->element_map);
    if (primer)
        run.feeder.decode(silent, nullptr);
    InputFrame frame;
    while (!trim.full() && in.frames->next(frame)) {
        check_stop();
        feed(frame, run);
        progress.advanced(in.frames->progress(), static_cast<double>(trim.written()) / rate_);
    }
    run.log.flush();
    for (const std::string &w : in.frames->end_warnings()) {
        if (strict)
            fail(Failure::decode, w);
        progress.warning(w);
    }
    // The last frame's second half comes out against a silent frame.
    if (run.summary.frames > 0 && !trim.full())
        run.feeder.decode(silent, nullptr);
    dec_->input_size = 0;
    aac_dec_decode(dec_);
    run.summary.samples = trim.written();
    run.summary.seconds = static_cast<double>(run.summary.samples) / rate_;
    return run.summary;
}

}  // namespace aacdec
