#include "file/adts_reader.h"

#include <algorithm>
#include <cstring>

#include "file/file_error.h"

namespace lumdec::file {

namespace {

// The first frame may follow damaged or foreign bytes; look this far for it.
constexpr size_t kFirstFrameSearch = 1 << 20;
// Stray bytes allowed between two frames that confirm each other after
// damage (a byte slipped in after every frame still gives a stream).
constexpr size_t kSlack = 16;

bool is_other_mpeg_audio(const uint8_t *h)
{
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && ((h[1] >> 1) & 3) != 0;
}

}  // namespace

bool AdtsHeader::same_stream(const AdtsHeader &o) const
{
    return profile == o.profile && sampling_frequency_index == o.sampling_frequency_index &&
           channel_configuration == o.channel_configuration;
}

std::string AdtsHeader::describe() const
{
    return "profile " + std::to_string(profile + 1) + ", " +
           std::to_string(rate_of_index(sampling_frequency_index)) + " Hz, channel configuration " +
           std::to_string(channel_configuration);
}

bool parse_adts_header(const uint8_t *h, AdtsHeader &out)
{
    if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0)
        return false;
    AdtsHeader a;
    a.mpeg2 = (h[1] & 0x08) != 0;
    a.layer = (h[1] >> 1) & 3;
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

void AdtsReader::skip_id3v2()
{
    // "ID3", version, flags, size as four 7-bit bytes.
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
}

AdtsReader::AdtsReader(ByteStream &in) : in_(in)
{
    skip_id3v2();
    if (fill(7) < 7)
        fail(Failure::input, "too short to be an AAC stream");
    for (size_t at = 0; at < kFirstFrameSearch && fill(at + 7) >= at + 7; at++) {
        if (confirmed(at, first_, kSlack)) {
            first_pending_ = true;
            drop(at);
            lead_skipped_ = at;
            return;
        }
    }
    if (is_other_mpeg_audio(&buf_[begin_]))
        fail(Failure::unsupported, "MPEG audio layer " +
                                       std::to_string(4 - ((buf_[begin_ + 1] >> 1) & 3)) +
                                       ", not AAC");
    fail(Failure::input, "not an ADTS or MP4 file (no AAC frame found in its first MiB)");
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
    return fill(at + 7) >= at + 7 && parse_adts_header(&buf_[begin_ + at], h);
}

// Whether a proper header of like's stream starts at next, or the data
// ends there (either up to slack bytes later).
bool AdtsReader::followed_at(size_t next, const AdtsHeader &like, size_t slack)
{
    for (size_t d = 0; d <= slack; d++) {
        AdtsHeader f;
        if (header_at(next + d, f) && f.layer == 0 && f.same_stream(like))
            return true;
    }
    size_t left = fill(next + slack + 1);
    return eof_ && left >= next && left <= next + slack;
}

bool AdtsReader::confirmed(size_t at, AdtsHeader &h, size_t slack)
{
    return header_at(at, h) && followed_at(at + h.frame_length, h, slack);
}

// At the end of the previous frame a header of the stream is taken as it
// is; one whose fields disagree (a flipped bit) is taken for the stream's
// when its length leads to the next frame, and one that starts another
// stream must be confirmed by the next.
AdtsReader::Found AdtsReader::expected_frame(AdtsHeader &h, bool &repaired)
{
    if (!header_at(0, h))
        return Found::none;
    if (h.layer == 0 && h.same_stream(first_))
        return Found::frame;
    if (followed_at(h.frame_length, first_, 0)) {
        repaired = !h.same_stream(first_);
        h.profile = first_.profile;
        h.sampling_frequency_index = first_.sampling_frequency_index;
        h.channel_configuration = first_.channel_configuration;
        return Found::frame;
    }
    if (h.layer == 0 && followed_at(h.frame_length, h, 0))
        return Found::change;
    return Found::none;
}

// After damaged data: a header that the next one confirms.
AdtsReader::Found AdtsReader::resynced_frame(AdtsHeader &h)
{
    if (!confirmed(0, h, kSlack))
        return Found::none;
    if (h.same_stream(first_))
        return Found::frame;
    if (h.layer == 0 && followed_at(h.frame_length, h, 0))
        return Found::change;
    return Found::none;
}

bool AdtsReader::next(AdtsFrame &frame)
{
    drop(pending_);
    pending_ = 0;
    uint64_t skipped = lead_skipped_;
    lead_skipped_ = 0;
    while (changed_at_ == 0) {
        size_t avail = fill(7);
        if (avail == 0)
            break;
        AdtsHeader h;
        bool repaired = false;
        Found found = Found::none;
        if (first_pending_) {
            // Confirmed by the constructor, perhaps past a stray byte.
            first_pending_ = false;
            found = header_at(0, h) ? Found::frame : Found::none;
        } else {
            found = skipped == 0 ? expected_frame(h, repaired) : resynced_frame(h);
        }
        if (found == Found::change) {
            changed_at_ = position();
            changed_to_ = h;
            break;
        }
        if (found == Found::frame) {
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
            frame.repaired = repaired;
            pending_ = h.frame_length;
            return true;
        }
        if (skipped == 0 && avail >= 3 && std::memcmp(&buf_[begin_], "TAG", 3) == 0 &&
            fill(129) == 128) {
            drop(128);  // an ID3v1 tag closes the file
            break;
        }
        if (skipped == 0 && avail < 7 && buf_[begin_] == 0xFF) {
            truncated_ = avail;  // the data ends inside a header
            drop(avail);
            break;
        }
        drop(1);
        skipped++;
    }
    trailing_ = skipped;
    return false;
}

}  // namespace lumdec::file
