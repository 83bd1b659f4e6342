#include "adts_reader.h"

#include <algorithm>
#include <cstring>

#include "tool_error.h"

namespace aacdec {

namespace {

// The first frame may follow damaged or foreign bytes; look this far for it.
constexpr size_t kFirstFrameSearch = 16384;

bool is_other_mpeg_audio(const uint8_t *h)
{
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && ((h[1] >> 1) & 3) != 0;
}

}  // namespace

bool AdtsHeader::same_stream(const AdtsHeader &o) const
{
    return mpeg2 == o.mpeg2 && profile == o.profile &&
           sampling_frequency_index == o.sampling_frequency_index &&
           channel_configuration == o.channel_configuration;
}

bool parse_adts_header(const uint8_t *h, AdtsHeader &out)
{
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0)
        return false;
    AdtsHeader a;
    a.mpeg2 = (h[1] & 0x08) != 0;
    a.protection_absent = (h[1] & 0x01) != 0;
    a.profile = h[2] >> 6;
    a.sampling_frequency_index = (h[2] >> 2) & 15;
    a.channel_configuration = ((h[2] & 1) << 2) | (h[3] >> 6);
    a.frame_length = (static_cast<size_t>(h[3] & 3) << 11) | (static_cast<size_t>(h[4]) << 3) |
                     (h[5] >> 5);
    a.raw_blocks = (h[6] & 3) + 1;
    if (a.sampling_frequency_index > 12 || a.frame_length <= a.header_size())
        return false;
    out = a;
    return true;
}

AdtsReader::AdtsReader(ByteStream &in) : in_(in)
{
    // ID3v2 tags: "ID3", version, flags, size as four 7-bit bytes.
    while (fill(10) >= 10 && std::memcmp(&buf_[begin_], "ID3", 3) == 0) {
        const uint8_t *t = &buf_[begin_];
        if ((t[6] | t[7] | t[8] | t[9]) & 0x80)
            break;
        size_t size = (size_t{t[6]} << 21) | (size_t{t[7]} << 14) | (size_t{t[8]} << 7) | t[9];
        size += (t[5] & 0x10) ? 20 : 10;
        while (size > 0) {
            size_t avail = fill(std::min<size_t>(size, 65536));
            if (avail == 0)
                fail(Failure::input, "the file ends inside its ID3 tag");
            size_t n = std::min(avail, size);
            drop(n);
            size -= n;
        }
    }
    if (fill(7) < 7)
        fail(Failure::input, "too short to be an AAC stream");
    if (is_other_mpeg_audio(&buf_[begin_]))
        fail(Failure::unsupported, "MPEG audio layer " + std::to_string(4 - ((buf_[begin_ + 1] >> 1) & 3)) +
                                       ", not AAC");
    for (size_t at = 0; at < kFirstFrameSearch && fill(at + 7) >= at + 7; at++) {
        if (resync_candidate(at, first_)) {
            have_first_ = true;
            drop(at);
            lead_skipped_ = at;
            return;
        }
    }
    fail(Failure::input, "not an ADTS or MP4 file (no AAC frame found at the start)");
}

size_t AdtsReader::fill(size_t n)
{
    while (end_ - begin_ < n && !eof_) {
        if (begin_ > 0 && (begin_ >= buf_.size() / 2 || buf_.size() - begin_ < n)) {
            std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
            base_ += begin_;
            end_ -= begin_;
            begin_ = 0;
        }
        if (buf_.size() < begin_ + n)
            buf_.resize(std::max<size_t>(begin_ + n, 65536));
        size_t got = in_.read(buf_.data() + end_, buf_.size() - end_);
        if (got == 0)
            eof_ = true;
        end_ += got;
    }
    return end_ - begin_;
}

void AdtsReader::drop(size_t n)
{
    begin_ += n;
}

bool AdtsReader::header_at(size_t at, AdtsHeader &h)
{
    if (fill(at + 7) < at + 7 || !parse_adts_header(&buf_[begin_ + at], h))
        return false;
    return !have_first_ || h.same_stream(first_);
}

// A header that the next one confirms (or that ends the data exactly):
// after damage a lone sync pattern proves little.
bool AdtsReader::resync_candidate(size_t at, AdtsHeader &h)
{
    if (!header_at(at, h))
        return false;
    size_t next = at + h.frame_length;
    AdtsHeader following;
    if (fill(next + 7) >= next + 7)
        return parse_adts_header(&buf_[begin_ + next], following) && following.same_stream(h);
    return eof_ && end_ - begin_ == next;
}

bool AdtsReader::next(AdtsFrame &frame)
{
    drop(pending_);
    pending_ = 0;
    uint64_t skipped = lead_skipped_;
    lead_skipped_ = 0;
    for (;;) {
        size_t avail = fill(7);
        if (avail == 0)
            break;
        AdtsHeader h;
        bool found = skipped == 0 ? header_at(0, h) : resync_candidate(0, h);
        if (found) {
            if (fill(h.frame_length) < h.frame_length) {
                // Cut short by the end of the data.
                truncated_ = end_ - begin_;
                drop(end_ - begin_);
                break;
            }
            frame.header = h;
            frame.bytes = std::span<const uint8_t>(&buf_[begin_], h.frame_length);
            frame.offset = position();
            frame.skipped = skipped;
            pending_ = h.frame_length;
            return true;
        }
        if (skipped == 0 && avail >= 3 && std::memcmp(&buf_[begin_], "TAG", 3) == 0 &&
            fill(129) == 128) {
            drop(128);  // an ID3v1 tag closes the file
            break;
        }
        drop(1);
        skipped++;
    }
    trailing_ = skipped;
    return false;
}

}  // namespace aacdec
