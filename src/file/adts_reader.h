// ADTS framing: finds the frames of a stream read front to back and finds
// its way back to the frame grid after damaged data.  A header is trusted
// where the previous frame ends; elsewhere (at the start, after damage)
// only when the next frame's header follows where its length says.  The
// ID bit (MPEG-2 or MPEG-4) and the error check may change from frame to
// frame, as in files joined from two encoders; a confirmed change of
// profile, sampling rate or channel configuration ends the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file/audio_config.h"
#include "file/byte_source.h"

namespace lumdec::file {

struct AdtsHeader {
    bool mpeg2 = false;  // the ID bit: MPEG-2 rather than MPEG-4 signalling
    int layer = 0;       // always 0 in ADTS; other values are damage or MPEG audio
    bool protection_absent = true;
    int profile = 0;     // audio object type - 1
    int sampling_frequency_index = 0;
    int channel_configuration = 0;
    size_t frame_length = 0;  // header included
    int raw_blocks = 1;       // number_of_raw_data_blocks_in_frame + 1

    // Header, error check and (for several blocks) their positions.
    size_t header_size() const { return protection_absent ? 7 : 7 + 2 * static_cast<size_t>(raw_blocks); }
    // Same profile, sampling rate and channel configuration: what the
    // decoder depends on.
    bool same_stream(const AdtsHeader &other) const;
    std::string describe() const;
};

// Reads the 7 bytes at h; false when they are not a usable ADTS header
// (any layer is taken: the caller judges it).
bool parse_adts_header(const uint8_t *h, AdtsHeader &out);

struct AdtsFrame {
    AdtsHeader header;
    std::span<const uint8_t> bytes;  // the whole frame; valid until the next call
    uint64_t offset = 0;             // of the frame in the stream
    uint64_t skipped = 0;            // damaged bytes passed over just before it
    bool repaired = false;  // its header disagreed with the stream's but its length held
};

class AdtsReader {
public:
    // Reads up to the first frame (past any ID3v2 tags and up to 1 MiB of
    // other data).  FileError (input) when there is no ADTS frame there,
    // (unsupported) for MPEG audio of another layer.
    explicit AdtsReader(ByteStream &in);

    const AdtsHeader &first() const { return first_; }
    // The next frame, or false at the end.
    bool next(AdtsFrame &frame);
    // After the end: bytes of an incomplete last frame, and bytes of data
    // after the last frame that held no frame (an ID3v1 tag excepted).
    uint64_t truncated_bytes() const { return truncated_; }
    uint64_t trailing_bytes() const { return trailing_; }
    // After the end: where the stream changed to another configuration
    // (then changed_to() holds its header), or 0.
    uint64_t changed_at() const { return changed_at_; }
    const AdtsHeader &changed_to() const { return changed_to_; }
    uint64_t position() const { return base_ + begin_; }

private:
    size_t fill(size_t n);
    void drop(size_t n);
    bool header_at(size_t at, AdtsHeader &h);
    bool followed_at(size_t at, const AdtsHeader &h, size_t slack);
    bool confirmed(size_t at, AdtsHeader &h, size_t slack);
    enum class Found { none, frame, change };
    Found expected_frame(AdtsHeader &h, bool &repaired);
    Found resynced_frame(AdtsHeader &h);
    void skip_id3v2();

    ByteStream &in_;
    std::vector<uint8_t> buf_;
    size_t begin_ = 0, end_ = 0;
    uint64_t base_ = 0;  // stream offset of buf_[0]
    bool eof_ = false;
    size_t pending_ = 0;     // the frame handed out last, dropped on the next call
    uint64_t lead_skipped_ = 0;  // bytes before the first frame
    AdtsHeader first_;
    bool first_pending_ = false;  // first_ is at the front, confirmed
    uint64_t truncated_ = 0, trailing_ = 0;
    uint64_t changed_at_ = 0;
    AdtsHeader changed_to_;
};

}  // namespace lumdec::file
