// ADTS input: configuration from the first header (and the program_config_
// element of the first frame), frames with their error checks.
#include <algorithm>
#include <cstdio>

#include "file/adts_reader.h"
#include "file/input.h"
#include "lumdec.h"

namespace lumdec::file {

namespace {

class AdtsFrameSource : public FrameSource {
public:
    explicit AdtsFrameSource(std::unique_ptr<ByteStream> stream)
        : stream_(std::move(stream)), reader_(*stream_)
    {
    }

    const AdtsHeader &first_header() const { return reader_.first(); }

    // Reads the first frame ahead (its program_config_element configures
    // the decoder); it is handed out again by the first next().
    const AdtsFrame *peek_first()
    {
        if (!have_peeked_)
            peeked_valid_ = reader_.next(peeked_);
        have_peeked_ = true;
        return peeked_valid_ ? &peeked_ : nullptr;
    }

    bool next(InputFrame &frame) override
    {
        AdtsFrame f;
        if (have_peeked_) {
            have_peeked_ = false;
            if (!peeked_valid_)
                return false;
            f = peeked_;
        } else if (!reader_.next(f)) {
            return false;
        }
        frame = InputFrame{};
        const AdtsHeader &h = f.header;
        frame.data = f.bytes.subspan(h.header_size());
        frame.file_bytes = f.bytes.size();
        frame.blocks = h.raw_blocks;
        note_damage(f, frame);
        frames_++;
        frame_bytes_ += f.bytes.size();
        if (!h.protection_absent) {
            if (h.raw_blocks == 1) {
                frame.crc = InputFrame::Crc::with_header;
                frame.crc_header = f.bytes.first(7);
                frame.crc_value = static_cast<uint16_t>((f.bytes[7] << 8) | f.bytes[8]);
            } else {
                // The header check covers the header and the block
                // positions; each block carries its own check after it.
                frame.crc = InputFrame::Crc::after_each_block;
                size_t covered = h.header_size() - 2;
                uint16_t expected = static_cast<uint16_t>((f.bytes[covered] << 8) |
                                                          f.bytes[covered + 1]);
                if (aac_calc_crc_bytes(0xFFFF, static_cast<int32_t>(covered), f.bytes.data()) !=
                    expected)
                    frame.unusable = "header CRC mismatch";
            }
        }
        return true;
    }

    double progress() const override
    {
        uint64_t length = stream_->length();
        return length ? static_cast<double>(reader_.position()) / static_cast<double>(length)
                      : -1.0;
    }

    std::vector<std::string> end_warnings() const override
    {
        std::vector<std::string> w;
        if (reader_.changed_at())
            w.push_back("at byte " + std::to_string(reader_.changed_at()) +
                        " the stream changes to " + reader_.changed_to().describe() +
                        "; the output ends there (decode the parts separately)");
        if (reader_.truncated_bytes())
            w.push_back("the last frame is cut short (" +
                        std::to_string(reader_.truncated_bytes()) + " bytes); it is left out");
        if (reader_.trailing_bytes())
            w.push_back(std::to_string(reader_.trailing_bytes()) +
                        " bytes after the last frame hold no frame");
        return w;
    }

private:
    // Bytes skipped before a frame may have held frames: as many as they
    // would hold at the mean frame size so far (none before the first
    // frame, or when too few to hold even one), each lost.
    void note_damage(const AdtsFrame &f, InputFrame &frame) const
    {
        if (f.repaired)
            frame.damage_note = "its header disagrees with the stream's (damaged); decoded as "
                                "the stream's";
        if (f.skipped == 0)
            return;
        frame.damage_note = "damaged data skipped before it";
        frame.skipped_bytes = f.skipped;
        if (frames_ == 0 || f.skipped < 8)
            return;
        uint64_t mean = std::max<uint64_t>(frame_bytes_ / frames_, 8);
        frame.lost_before = std::max<uint64_t>(1, (f.skipped + mean / 2) / mean);
    }

    std::unique_ptr<ByteStream> stream_;
    uint64_t frames_ = 0, frame_bytes_ = 0;
    AdtsReader reader_;
    AdtsFrame peeked_;
    bool have_peeked_ = false, peeked_valid_ = false;
};

}  // namespace

OpenedInput open_adts(std::unique_ptr<ByteStream> stream)
{
    auto source = std::make_unique<AdtsFrameSource>(std::move(stream));
    const AdtsHeader &h = source->first_header();
    OpenedInput in;
    InputInfo &info = in.info;
    info.container = std::string("ADTS (") + (h.mpeg2 ? "MPEG-2" : "MPEG-4") +
                     (h.protection_absent ? ")" : ", CRC)");
    StreamConfig &config = info.config;
    config.object_type = h.profile + 1;
    config.sampling_frequency_index = h.sampling_frequency_index;
    config.sample_rate = rate_of_index(h.sampling_frequency_index);
    config.channel_configuration = h.channel_configuration;
    info.unsupported = unsupported_reason(config);
    if (config.channel_configuration == 0 && info.unsupported.empty()) {
        const AdtsFrame *first = source->peek_first();
        auto block = first ? first->bytes.subspan(first->header.header_size())
                           : std::span<const uint8_t>();
        if (block.empty() || (block[0] >> 5) != AAC_ID_PCE)
            info.unsupported = "channel configuration 0 without a program_config_element at "
                               "the start of the first frame";
        config.pce.assign(block.begin(), block.end());
        config.pce_bit_offset = 3;
    }
    in.frames = std::move(source);
    return in;
}

}  // namespace lumdec::file
