// ADTS framing: finds the frames of a stream read front to back, checks
// that every header matches the first, and finds its way back to the frame
// grid after damaged data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio_config.h"
#include "byte_source.h"

namespace aacdec {

struct AdtsHeader {
    bool mpeg2 = false;  // the ID bit: MPEG-2 rather than MPEG-4 signalling
    bool protection_absent = true;
    int profile = 0;     // audio object type - 1
    int sampling_frequency_index = 0;
    int channel_configuration = 0;
    size_t frame_length = 0;  // header included
    int raw_blocks = 1;       // number_of_raw_data_blocks_in_frame + 1

    // Header, error check and (for several blocks) their positions.
    size_t header_size() const { return protection_absent ? 7 : 7 + 2 * static_cast<size_t>(raw_blocks); }
    bool same_stream(const AdtsHeader &other) const;
};

// Reads the 7 bytes at h; false when they are not a usable ADTS header.
bool parse_adts_header(const uint8_t *h, AdtsHeader &out);

struct AdtsFrame {
    AdtsHeader header;
    std::span<const uint8_t> bytes;  // the whole frame; valid until the next call
    uint64_t offset = 0;             // of the frame in the stream
    uint64_t skipped = 0;            // damaged bytes passed over just before it
};

class AdtsReader {
public:
    // Reads up to the first frame (past any ID3v2 tags).  ToolError (input)
    // when the stream does not start with ADTS frames, (unsupported) for
    // MPEG audio of another layer.
    explicit AdtsReader(ByteStream &in);

    const AdtsHeader &first() const { return first_; }
    // The next frame, or false at the end.
    bool next(AdtsFrame &frame);
    // After the end: bytes of an incomplete last frame, and bytes of data
    // after the last frame that held no frame (an ID3v1 tag excepted).
    uint64_t truncated_bytes() const { return truncated_; }
    uint64_t trailing_bytes() const { return trailing_; }
    uint64_t position() const { return base_ + begin_; }

private:
    size_t fill(size_t n);
    void drop(size_t n);
    bool header_at(size_t at, AdtsHeader &h);
    bool resync_candidate(size_t at, AdtsHeader &h);

    ByteStream &in_;
    std::vector<uint8_t> buf_;
    size_t begin_ = 0, end_ = 0;
    uint64_t base_ = 0;  // stream offset of buf_[0]
    bool eof_ = false;
    size_t pending_ = 0;     // the frame handed out last, dropped on the next call
    uint64_t lead_skipped_ = 0;  // bytes before the first frame
    AdtsHeader first_;
    bool have_first_ = false;
    uint64_t truncated_ = 0, trailing_ = 0;
};

}  // namespace aacdec
