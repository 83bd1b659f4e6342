#include "file/file_decoder.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "file/channel_layout.h"
#include "file/file_error.h"
#include "file/silent_frame.h"

namespace lumdec::file {

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

// A stretch of output waiting for the reader: frames [from, to) of a copied
// block (planar, `block` samples per channel), or silence when empty.
struct Pending {
    std::vector<float> samples;
    size_t from = 0, to = 0;
};

// Trims the decoder's output to the span: drops `skip` samples, queues at
// most `left`.
class Trim {
public:
    Trim(std::deque<Pending> &out, size_t block, size_t channels, uint64_t skip, uint64_t length)
        : out_(out), block_(block), channels_(channels), skip_(skip), left_(length)
    {
    }

    void block(const float *samples)
    {
        uint64_t from = std::min<uint64_t>(skip_, block_);
        skip_ -= from;
        uint64_t to = std::min<uint64_t>(block_, from + left_);
        if (to > from) {
            Pending p;
            if (samples)
                p.samples.assign(samples, samples + block_ * channels_);
            p.from = static_cast<size_t>(from);
            p.to = static_cast<size_t>(to);
            out_.push_back(std::move(p));
            left_ -= to - from;
        }
    }
    void silence(uint64_t n)
    {
        while (n > 0) {
            uint64_t part = std::min<uint64_t>(n, block_);
            out_.push_back(Pending{{}, 0, static_cast<size_t>(part)});
            n -= part;
        }
    }
    bool full() const { return left_ == 0; }
    size_t block_size() const { return block_; }
    size_t channels() const { return channels_; }

private:
    std::deque<Pending> &out_;
    size_t block_, channels_;
    uint64_t skip_, left_;
};

// One decode call at a time, with the state the hooks see, its output
// passed on to the trim.
class Feeder {
public:
    Feeder(aac_decoder *dec, Trim &trim) : dec_(dec), trim_(trim) {}
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
        // The hooks find this call's state through the thread's pointer,
        // set for the call only: handles may take turns on one thread.
        CallState *outer = t_call;
        t_call = &call_;
        aac_status status = aac_dec_decode(dec_);
        t_call = outer;
        if (status != AAC_OK && status != AAC_ERR_CORRUPT_FRAME && status != AAC_ERR_BAD_STREAM)
            fail(Failure::memory, "out of memory");
        if (call_.delivered && call_.state == AAC_SLOT_VALID)
            trim_.block(fits() ? call_.samples : nullptr);
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
    // Whether the block has the format the reader was promised.  The probe
    // fixes it before reading; a decoder that fixed another one later (its
    // first frames damaged) delivers silence rather than blocks of another
    // size.
    bool fits() const
    {
        aac_output_format now{};
        aac_dec_get_format(dec_, &now);
        return static_cast<size_t>(now.samples_per_block) == trim_.block_size() &&
               static_cast<size_t>(now.channels) == trim_.channels();
    }

    aac_decoder *dec_;
    Trim &trim_;
    CallState call_;
};

// Damage reported one run at a time: consecutive frames with the same
// kind of damage make one line with their count (a file of empty samples
// would otherwise print a line per frame).
class DamageLog {
public:
    DamageLog(std::vector<std::string> &warnings, bool strict) : warnings_(warnings), strict_(strict) {}

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
            if (n == 0)
                return;
            if (!details.empty())
                details += ", ";
            details += std::to_string(n);
            details += unit;
        };
        add(count_ > 1 ? count_ : 0, " times");
        add(bytes_, " bytes");
        add(lost_, " frames lost");
        if (!details.empty())
            line += " (" + details + ")";
        warnings_.push_back(line + (silenced_ ? "; decoded as silence" : ""));
        count_ = bytes_ = lost_ = 0;
    }

private:
    std::vector<std::string> &warnings_;
    bool strict_;
    std::string what_;
    bool silenced_ = false;
    uint64_t first_ = 0, last_ = 0, count_ = 0, bytes_ = 0, lost_ = 0;
};

}  // namespace


// A frame read ahead, with copies of the bytes its spans point at.
struct HeldFrame {
    explicit HeldFrame(const InputFrame &f)
        : frame(f), data(f.data.begin(), f.data.end()), crc_header(f.crc_header.begin(), f.crc_header.end())
    {
        frame.data = data;
        frame.crc_header = crc_header;
    }
    HeldFrame(const HeldFrame &) = delete;
    HeldFrame &operator=(const HeldFrame &) = delete;
    InputFrame frame;
    std::vector<uint8_t> data, crc_header;
};

// The state of one run: the queue, the trim, the feeder, the damage log.
struct FileDecoder::Run {
    Run(aac_decoder *dec, size_t block, size_t channels, uint64_t skip, uint64_t length,
        std::vector<std::string> &warnings, bool strict)
        : trim(queue, block, channels, skip, length), feeder(dec, trim), log(warnings, strict)
    {
    }
    std::deque<Pending> queue;
    Trim trim;
    Feeder feeder;
    DamageLog log;
    std::vector<uint8_t> silent;
    std::deque<HeldFrame> held;  // the first frames, read for the probe
    uint64_t number = 0;    // of the input frame being decoded, from 1
};

namespace {

void set_up(aac_decoder *dec, aac_frame_alloc *pool, float gain, bool strict)
{
    for (float &g : dec->gain)
        g = gain;
    dec->pool = pool;
    dec->output_hook = take_block;
    dec->syn_elem_hook = check_crc;
    dec->conceal_errors = strict ? 0 : 1;
}

// Decodes a frame on a probe decoder (output dropped); whether the
// decoder's format is now fixed.
bool probe(aac_decoder *dec, const InputFrame &frame)
{
    if (frame.unusable.empty() && !frame.data.empty()) {
        CallState call;
        CallState *outer = t_call;
        t_call = &call;
        dec->input_data = frame.data.data();
        dec->input_size = static_cast<int32_t>(frame.data.size());
        aac_dec_decode(dec);
        t_call = outer;
    }
    aac_output_format f{};
    aac_dec_get_format(dec, &f);
    return f.fixed != 0;
}

// Frees a decoder and its pool whichever way the probe ends.
struct ProbeDecoder {
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    ~ProbeDecoder()
    {
        aac_dec_destroy(dec);
        if (pool)
            pool->ops->destroy(pool);
    }
};

}  // namespace

aac_decoder *FileDecoder::create(Signalling signalling, bool forced_ps, bool downsampled)
{
    const StreamConfig &config = in_.info.config;
    aac_decoder *dec = nullptr;
    aac_status status;
    aac_dec_config core = decoder_config(config);
    const bool forced_sbr = signalling == Signalling::announced;
    if (settings_.core_only || signalling == Signalling::core) {
        status = aac_dec_create(&dec, &core);
    } else if (forced_sbr) {
        aac_he_config he{core, downsampled ? AAC_SBR_DOWNSAMPLED : AAC_SBR_EXPLICIT,
                         forced_ps ? AAC_PS_EXPLICIT : AAC_PS_OFF};
        status = aac_dec_create_he(&dec, &he);
    } else if (!config.asc.empty() && config.sbr_signalled) {
        status = aac_dec_create_asc(&dec, config.asc.data(), static_cast<int32_t>(config.asc.size()),
                                    AAC_ASC_IMPLICIT);
    } else {
        aac_he_config he{core, AAC_SBR_IMPLICIT, AAC_PS_IMPLICIT};
        status = aac_dec_create_he(&dec, &he);
    }
    if (status == AAC_ERR_CORRUPT_FRAME)
        fail(Failure::input, config.channel_configuration == 0
                                 ? "the program_config_element is damaged"
                                 : "the AudioSpecificConfig is damaged");
    if (status == AAC_ERR_BAD_STREAM)
        fail(Failure::unsupported,
             config.channel_configuration == 0
                 ? "the program_config_element describes a channel layout that is not supported"
                 : "the stream's configuration is not supported");
    if (status != AAC_OK)
        fail(Failure::memory, "cannot create a decoder (out of memory)");
    return dec;
}

FileDecoder::FileDecoder(OpenedInput &in, const DecodeSettings &settings)
    : in_(in), settings_(settings)
{
    // A constructor that throws runs no destructor: what start() made so far
    // is released here.
    try {
        start();
    } catch (...) {
        release();
        throw;
    }
}

void FileDecoder::start()
{
    OpenedInput &in = in_;
    const DecodeSettings &settings = settings_;
    const StreamConfig &config = in.info.config;
    if (settings.core_only && config.sbr_signalled)
        in.info.warnings.push_back(std::string("the stream carries ") +
                                   (config.ps_signalled ? "SBR and PS" : "SBR") +
                                   " data, which is skipped: the output is the AAC LC core");
    dec_ = create(Signalling::as_configured, false, false);
    aac_dec_get_format(dec_, &format_);
    std::deque<HeldFrame> held;
    if (!format_.fixed) {
        // The first frame that parses fixes the format (implicit SBR and
        // PS); the frames read for it are decoded again afterwards.
        ProbeDecoder p;
        p.dec = create(Signalling::as_configured, false, false);
        if (aac_frame_alloc_create(&p.pool, format_.block_bytes / 4096) != AAC_OK)
            fail(Failure::memory, "out of memory");
        set_up(p.dec, p.pool, 1.0f, false);
        p.dec->syn_elem_hook = nullptr;
        InputFrame frame;
        bool fixed = false;
        while (!fixed && held.size() < kProbeFrames && in.frames->next(frame)) {
            held.emplace_back(frame);
            fixed = probe(p.dec, held.back().frame);
        }
        aac_dec_get_format(p.dec, &format_);
        if (!fixed && !held.empty()) {
            // None parsed: the AAC core alone has a format that cannot change.
            aac_dec_destroy(dec_);
            dec_ = nullptr;
            dec_ = create(Signalling::core, false, false);
            aac_dec_get_format(dec_, &format_);
        }
    }
    // A rate given by an escape keeps its value (the decoder works with the
    // nearest standard rate's tables); a program_config_element may name
    // its own index.
    const int32_t core_rate = static_cast<int32_t>(
        dec_->sampling_frequency_index == config.sampling_frequency_index
            ? config.sample_rate
            : rate_of_index(dec_->sampling_frequency_index));
    if (core_rate > 0 && format_.core_sample_rate != core_rate) {
        format_.sample_rate = format_.sample_rate == format_.core_sample_rate ? core_rate : 2 * core_rate;
        format_.core_sample_rate = core_rate;
    }
    const uint32_t block = static_cast<uint32_t>(format_.samples_per_block);
    const uint32_t rate = static_cast<uint32_t>(format_.sample_rate);
    span_ = in.span_at ? in.span_at(rate, block, in.info.warnings) : OutputSpan{block, OutputSpan::kOpen, 0};
    // A span that starts before the decoder's first block needs a silent
    // frame in front, after which the first block is samples 0.. of the
    // standard decoding.  A silent frame carries no SBR data: a stream whose
    // SBR or PS was found in its frames is then decoded as announced.
    const bool primer = span_.start < block;
    const bool announced = config.sbr_signalled && (config.ps_signalled || !format_.ps);
    if (primer && format_.sbr && !announced && !settings_.core_only) {
        aac_dec_destroy(dec_);
        dec_ = nullptr;
        dec_ = create(Signalling::announced, format_.ps != 0,
                      format_.sample_rate == format_.core_sample_rate);
    }
    layout_ = format_.ps ? 2 : dec_->channel_configuration;
    if (aac_frame_alloc_create(&pool_, std::max(format_.block_bytes / 4096, 1)) != AAC_OK)
        fail(Failure::memory, "out of memory");
    set_up(dec_, pool_, settings_.gain, settings_.strict);

    run_ = std::make_unique<Run>(dec_, block, static_cast<size_t>(format_.channels),
                                 primer ? span_.start : span_.start - block, span_.length,
                                 warnings_, settings_.strict);
    run_->held = std::move(held);
    run_->trim.silence(span_.lead_silence);
    run_->silent = silent_frame(dec_->element_map);
    if (primer)
        run_->feeder.decode(run_->silent, nullptr);
}

FileDecoder::~FileDecoder()
{
    release();
}

void FileDecoder::release() noexcept
{
    run_.reset();
    aac_dec_destroy(dec_);
    dec_ = nullptr;
    if (pool_)
        pool_->ops->destroy(pool_);
    pool_ = nullptr;
}

namespace {

// The raw_data_blocks of one input frame, after the frames presumed lost
// in damage just before it.
void feed(const InputFrame &frame, FileDecoder::Run &run, DecodeCounts &counts)
{
    auto lost = [&](const std::string &why) {
        run.number++;
        counts.frames++;
        counts.lost_frames++;
        run.log.report(run.number, why, true);
        run.feeder.lose();
    };
    if (!frame.damage_note.empty() && frame.lost_before == 0)
        run.log.report(run.number + 1, frame.damage_note, false, frame.skipped_bytes);
    for (uint64_t i = 0; i < frame.lost_before; i++) {
        run.number++;
        counts.frames++;
        counts.lost_frames++;
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
            lost(frame.unusable);
        } else if (broken) {
            lost("follows a damaged raw_data_block in the same ADTS frame");
        } else if (rest.empty()) {
            lost("the ADTS frame holds fewer raw_data_blocks than its header says");
        } else {
            run.number++;
            counts.frames++;
            std::optional<size_t> used = run.feeder.decode(rest, &frame);
            broken = !used;
            if (used)
                rest = rest.subspan(std::min(rest.size(), *used + check_word));
            else
                run.log.report(run.number, run.feeder.crc_failed() ? "CRC mismatch" : "damaged frame",
                               true);
            counts.lost_frames += broken;
        }
    }
}

}  // namespace

void FileDecoder::step()
{
    Run &run = *run_;
    InputFrame frame;
    if (!run.trim.full() && !run.held.empty()) {
        feed(run.held.front().frame, run, counts_);
        run.held.pop_front();
    } else if (!run.trim.full() && in_.frames->next(frame)) {
        feed(frame, run, counts_);
    } else {
        finish();
    }
}

void FileDecoder::finish()
{
    Run &run = *run_;
    done_ = true;
    run.log.flush();
    for (const std::string &w : in_.frames->end_warnings()) {
        if (settings_.strict)
            fail(Failure::decode, w);
        warnings_.push_back(w);
    }
    // The last frame's second half comes out against a silent frame.
    if (counts_.frames > 0 && !run.trim.full())
        run.feeder.decode(run.silent, nullptr);
    dec_->input_size = 0;
    CallState call;
    CallState *outer = t_call;
    t_call = &call;
    aac_dec_decode(dec_);
    t_call = outer;
}

size_t FileDecoder::read(float *out, size_t frames, size_t stride, bool interleaved,
                         const uint8_t *order)
{
    const size_t channels = static_cast<size_t>(format_.channels);
    const size_t block = static_cast<size_t>(format_.samples_per_block);
    size_t written = 0;
    while (written < frames) {
        if (run_->queue.empty()) {
            if (done_)
                break;
            step();
            continue;
        }
        Pending &p = run_->queue.front();
        size_t n = std::min(frames - written, p.to - p.from);
        for (size_t c = 0; c < channels; c++) {
            const size_t from = order ? order[c] : c;
            const float *src = p.samples.empty() ? nullptr : p.samples.data() + block * from + p.from;
            for (size_t i = 0; i < n; i++) {
                float v = src ? src[i] : 0.0f;
                if (interleaved)
                    out[(written + i) * channels + c] = v;
                else
                    out[stride * c + written + i] = v;
            }
        }
        p.from += n;
        written += n;
        if (p.from == p.to)
            run_->queue.pop_front();
    }
    counts_.samples += written;
    return written;
}

}  // namespace lumdec::file
