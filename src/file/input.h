// Opening an input: the container is recognised by its first bytes, the
// stream configuration and the span of output it asks for are worked out,
// and its frames come out one by one.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "file/audio_config.h"

namespace lumdec::file {

struct Mp4Track;

// Which samples of a standard decoding (sample 0 = the first output sample
// of frame 1, which the decoder itself never produces) the output holds, at
// the output rate.  ADTS has no timeline: the output is what the decoder
// gives, from its first block (sample 1024, or 2048 with SBR) to the end of
// the last frame.  MP4 presents its media from sample 0
// to the end of its last frame's duration, or the span of its edit list.
struct OutputSpan {
    static constexpr uint64_t kOpen = std::numeric_limits<uint64_t>::max();
    uint64_t start = 1024;
    uint64_t length = kOpen;
    uint64_t lead_silence = 0;  // written before the span (empty edits)
};

// One audio track of an MP4 file, as --info lists them.
struct TrackInfo {
    uint32_t id = 0;
    std::string codec;  // "AAC LC", or the sample entry's name
    int object_type = 0;  // as configured; 0 when not AAC
    uint32_t sample_rate = 0;
    int channels = 0;
    uint64_t frames = 0;
    double seconds = 0;  // of media, by the sample durations
};

struct InputInfo {
    std::string container;  // e.g. "ADTS (MPEG-4, CRC)" or "MP4, fragmented"
    StreamConfig config;
    // Why the decoder cannot take the stream; empty when it can.  The rest
    // still describes it.
    std::string unsupported;
    uint64_t frames = 0;         // known in advance for MP4, else 0
    uint64_t payload_bytes = 0;  // bytes of the frames, for the bitrate
    int audio_tracks = 1;
    int track = 1;
    std::vector<TrackInfo> tracks;  // MP4: every audio track
    std::vector<std::pair<std::string, std::string>> tags;  // name, value
    bool edit_list = false;
    int64_t encoder_delay = -1;  // of a gapless playback record, else -1
    std::vector<std::string> warnings;
};

struct InputFrame {
    std::span<const uint8_t> data;  // raw_data_blocks back to back
    size_t file_bytes = 0;          // the frame in the file, headers included
    int blocks = 1;
    enum class Crc { none, with_header, after_each_block } crc = Crc::none;
    std::span<const uint8_t> crc_header;  // with_header: header bytes the check covers
    uint16_t crc_value = 0;               // with_header
    // Damage found just before this frame (skipped bytes, a repaired
    // header), reported once per run of damaged frames.
    std::string damage_note;
    uint64_t skipped_bytes = 0;
    uint64_t lost_before = 0;  // frames presumed lost in the skipped bytes
    // Set when this frame cannot be decoded: its blocks are lost.
    std::string unusable;
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual bool next(InputFrame &frame) = 0;
    // Share of the input consumed, or negative when the length is unknown.
    virtual double progress() const = 0;
    // Damage found at the end (a cut last frame, trailing bytes).
    virtual std::vector<std::string> end_warnings() const = 0;
};

struct OpenedInput {
    InputInfo info;
    std::unique_ptr<FrameSource> frames;
    // MP4: the span on the output timeline, once the decoder has found the
    // output rate and the samples per frame.  FileError (input) when empty
    // edits ask for far more silence than the media lasts.
    std::function<OutputSpan(uint32_t rate, uint32_t block, std::vector<std::string> &warnings)>
        span_at;
};

// path "-" reads standard input.  track counts the audio tracks of an MP4
// file from 1; 0 is the first, and the only value an ADTS stream takes.
// FileError (input or unsupported) when the input cannot be decoded.
OpenedInput open_input(const std::string &path, int track);
// The same on bytes in memory, which the result keeps.
OpenedInput open_input_memory(std::vector<uint8_t> bytes, int track);

// A random-access source, or a stream read once (an MP4 file in it is
// copied to a temporary file; name says what it is in messages).
OpenedInput open_source(std::unique_ptr<class ByteSource> source, int track);
OpenedInput open_stream(std::unique_ptr<class ByteStream> stream, const std::string &name,
                        int track);

// The openers of each container, on streams or sources the result keeps.
OpenedInput open_adts(std::unique_ptr<class ByteStream> stream);
OpenedInput open_mp4(std::unique_ptr<class ByteSource> file, int track);

// The span an MP4 track presents: its edit list within the media, or the
// whole media; warnings for what it cannot apply.
// FileError (input) when empty edits ask for far more silence than the
// media lasts.
OutputSpan presented_span(const Mp4Track &track, uint32_t movie_timescale, uint32_t sample_rate,
                          uint32_t block, std::vector<std::string> &warnings);

}  // namespace lumdec::file
