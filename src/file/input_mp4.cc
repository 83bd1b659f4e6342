// MP4 input: the chosen audio track's configuration, its samples and the
// span its edit list selects.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "file/channel_layout.h"
#include "file/input.h"
#include "file/mp4_reader.h"

namespace lumdec::file {

namespace {

// An AAC frame holds at most 6144 bits per channel; anything far larger
// is damage, not audio.
constexpr uint32_t kMaxSampleSize = 1u << 20;
// Silence an edit list may put ahead of the media, beyond the media's length.
constexpr uint32_t kMaxLeadSeconds = 60;

class Mp4FrameSource : public FrameSource {
public:
    Mp4FrameSource(std::unique_ptr<ByteSource> file, std::vector<Mp4Sample> samples,
                   uint64_t cut)
        : file_(std::move(file)), samples_(std::move(samples)), cut_(cut)
    {
    }

    bool next(InputFrame &frame) override
    {
        if (next_ == samples_.size() || missing_ > 0)
            return false;
        const Mp4Sample &s = samples_[next_];
        frame = InputFrame{};
        frame.file_bytes = s.size;
        if (s.size == 0 || s.size > kMaxSampleSize) {
            frame.unusable = "sample of " + std::to_string(s.size) + " bytes";
            next_++;
            return true;
        }
        buffer_.resize(s.size);
        if (!file_->read_at(s.offset, buffer_.data(), s.size)) {
            missing_ = samples_.size() - next_;
            return false;
        }
        next_++;
        frame.data = buffer_;
        return true;
    }

    double progress() const override
    {
        return samples_.empty() ? 1.0
                                : static_cast<double>(next_) / static_cast<double>(samples_.size());
    }

    std::vector<std::string> end_warnings() const override
    {
        uint64_t missing = missing_ + cut_;
        if (missing == 0)
            return {};
        return {"the file is cut short: the last " + std::to_string(missing) + " of " +
                std::to_string(samples_.size() + cut_) + " frames are missing"};
    }

private:
    std::unique_ptr<ByteSource> file_;
    std::vector<Mp4Sample> samples_;
    std::vector<uint8_t> buffer_;
    size_t next_ = 0, missing_ = 0;
    uint64_t cut_;  // samples the table claims beyond the file's end
};

// value * to / from, rounded to nearest and saturated. Both scales are 32-bit,
// so the remainder term r * to + from / 2 stays below 2^64 and no wide type is
// needed (32-bit targets have none).
uint64_t add_saturated(uint64_t a, uint64_t b)
{
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

uint64_t rescale(uint64_t value, uint32_t to, uint32_t from)
{
    uint64_t whole = value / from, rest = value % from;
    if (to != 0 && whole > UINT64_MAX / to)
        return UINT64_MAX;
    uint64_t scaled = whole * to, part = (rest * to + from / 2) / from;
    return scaled > UINT64_MAX - part ? UINT64_MAX : scaled + part;
}

// The configuration of an audio track; why it cannot be decoded goes to
// unsupported (damage is a FileError).
StreamConfig track_config(const Mp4Track &track, std::string &unsupported)
{
    StreamConfig config;
    int oti = track.object_type_indication;
    if (track.sample_entry == fourcc("enca"))
        unsupported = "the track is encrypted";
    else if (track.sample_entry != fourcc("mp4a"))
        unsupported = "the track holds " + quoted(track.sample_entry) + " audio, not AAC";
    else if (track.several_descriptions_used)
        unsupported = "the track changes its sample description";
    else if (oti == 0x69 || oti == 0x6B)
        unsupported = "the track holds MPEG audio layer 1-3, not AAC";
    if (!unsupported.empty())
        return config;
    if (!track.audio_specific_config.empty() && (oti == 0x40 || (oti >= 0x66 && oti <= 0x68))) {
        config = parse_audio_specific_config(track.audio_specific_config);
    } else if (oti >= 0x66 && oti <= 0x68) {
        // MPEG-2 AAC without a decoder configuration: the profile is the
        // object type indication, the rest is in the sample entry.
        config.object_type = oti - 0x65;
        config.sample_rate = track.sample_rate;
        config.sampling_frequency_index = index_for_rate(track.sample_rate);
        config.channel_configuration = track.channel_count == 8 ? 7 : track.channel_count;
        if (track.sample_rate == 0 || track.channel_count == 0 || track.channel_count > 8)
            fail(Failure::input, "track " + std::to_string(track.track_id) +
                                     ": sample entry gives no usable rate or channel count");
    } else if (oti == 0x40) {
        fail(Failure::input, "track " + std::to_string(track.track_id) +
                                 ": the 'esds' box holds no AudioSpecificConfig");
    } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", oti & 0xFF);
        unsupported = std::string("object type indication ") + hex + " is not AAC";
        return config;
    }
    unsupported = unsupported_reason(config);
    return config;
}

// The end of the media in output samples: where the sample durations say,
// else 1024 samples per frame.  (The media header's duration is not used:
// some muxers write it less the encoder delay.)
uint64_t media_end(const Mp4Track &track, uint32_t sample_rate, uint32_t block)
{
    if (track.has_durations)
        return rescale(track.sample_durations, sample_rate, track.media_timescale);
    return (track.samples.size() + track.samples_cut) * block;
}

TrackInfo describe_track(const Mp4Track &track)
{
    TrackInfo t;
    t.id = track.track_id;
    std::string unsupported;
    StreamConfig config;
    try {
        config = track_config(track, unsupported);
    } catch (const FileError &) {
        unsupported = "damaged";
    }
    t.codec = track.sample_entry == fourcc("mp4a") && config.object_type
                  ? object_type_name(config.object_type)
                  : quoted(track.sample_entry);
    t.sample_rate = config.sample_rate ? config.sample_rate : track.sample_rate;
    t.object_type = track.sample_entry == fourcc("mp4a") ? config.object_type : 0;
    // A program_config_element gives the channels the decoder outputs,
    // whatever the sample entry says.
    int layout_number = config.channel_configuration;
    if (layout_number == 0 && unsupported.empty() && !config.pce.empty()) {
        aac_dec_config c = decoder_config(config);
        aac_decoder *dec = nullptr;
        if (aac_dec_create(&dec, &c) == AAC_OK) {
            layout_number = dec->channel_configuration;
            aac_dec_destroy(dec);
        }
    }
    const LayoutInfo *layout = layout_info(layout_number);
    t.channels = layout ? layout->channels : track.channel_count;
    if (layout && config.ps_signalled && layout->channels == 1)
        t.channels = 2;
    t.frames = track.samples.size();
    if (track.media_timescale)
        t.seconds = static_cast<double>(track.has_durations ? track.sample_durations
                                                            : t.frames * 1024) /
                    (track.has_durations ? track.media_timescale : std::max(t.sample_rate, 1u));
    return t;
}

}  // namespace

namespace {

OutputSpan edit_span(const Mp4Track &track, uint32_t movie_timescale, uint32_t sample_rate,
                     std::vector<std::string> &warnings)
{
    OutputSpan whole;
    whole.start = 0;
    if (!track.has_edit_list || track.edits.empty())
        return whole;
    if (movie_timescale == 0) {
        warnings.push_back("edit list ignored: the movie timescale is 0");
        return whole;
    }
    uint64_t lead = 0;
    for (size_t i = 0; i < track.edits.size(); i++) {
        const Mp4Edit &e = track.edits[i];
        uint64_t duration = rescale(e.segment_duration, sample_rate, movie_timescale);
        if (e.media_time == -1) {
            lead = add_saturated(lead, duration);
            continue;
        }
        if (e.media_time < 0 || e.media_rate != 0x10000) {
            warnings.push_back("edit list ignored: it plays media at a rate other than 1");
            return whole;
        }
        OutputSpan span;
        span.start = rescale(static_cast<uint64_t>(e.media_time), sample_rate,
                             track.media_timescale);
        // A duration of 0 (fragmented files) runs to the end of the media.
        span.length = e.segment_duration ? duration : OutputSpan::kOpen;
        span.lead_silence = lead;
        if (i + 1 < track.edits.size())
            warnings.push_back("only the first edit of the edit list is applied");
        return span;
    }
    warnings.push_back("edit list ignored: it holds only empty edits");
    return whole;
}

}  // namespace

OutputSpan presented_span(const Mp4Track &track, uint32_t movie_timescale, uint32_t sample_rate,
                          uint32_t block, std::vector<std::string> &warnings)
{
    OutputSpan span = edit_span(track, movie_timescale, sample_rate, warnings);
    uint64_t end = media_end(track, sample_rate, block);
    if (span.start >= end && track.has_edit_list && end > 0)
        warnings.push_back("the edit list starts at sample " + std::to_string(span.start) +
                           ", past the end of the media (" + std::to_string(end) +
                           " samples): nothing of the media is presented");
    uint64_t room = end > span.start ? end - span.start : 0;
    span.length = std::min(span.length, room);
    // Empty edits become silence, but no more than the media and a minute:
    // a few bytes of edit list must not ask for hours of output.
    uint64_t most = add_saturated(end, uint64_t{kMaxLeadSeconds} * sample_rate);
    if (span.lead_silence > most)
        fail(Failure::input, "the edit list asks for " +
                                 std::to_string(span.lead_silence / sample_rate) +
                                 " s of silence ahead of " + std::to_string(end / sample_rate) +
                                 " s of media; refused");
    return span;
}

OpenedInput open_mp4(std::unique_ptr<ByteSource> file, int track_number)
{
    if (track_number == 0)
        track_number = 1;
    Mp4File mp4 = read_mp4(*file);
    int count = static_cast<int>(mp4.audio_tracks.size());
    if (count == 0)
        fail(Failure::input, "the MP4 file has no audio track");
    if (track_number < 1 || track_number > count)
        fail(Failure::no_track, "the MP4 file has " + std::to_string(count) + " audio track" +
                                 (count == 1 ? "" : "s") + "; there is no track " +
                                 std::to_string(track_number));
    Mp4Track &track = mp4.audio_tracks[static_cast<size_t>(track_number - 1)];

    OpenedInput in;
    InputInfo &info = in.info;
    info.container = mp4.fragmented ? "MP4, fragmented" : "MP4";
    info.audio_tracks = count;
    info.track = track_number;
    for (const Mp4Track &t : mp4.audio_tracks)
        info.tracks.push_back(describe_track(t));
    for (const Mp4Tag &tag : mp4.tags)
        info.tags.emplace_back(tag.name, tag.value);
    info.config = track_config(track, info.unsupported);
    info.frames = track.samples.size();
    for (const Mp4Sample &s : track.samples)
        info.payload_bytes += s.size;
    info.edit_list = track.has_edit_list && !track.edits.empty();
    // The span waits for the output rate; it needs the track without its
    // samples, which go to the frame source.
    auto timeline = std::make_shared<Mp4Track>();
    timeline->has_edit_list = track.has_edit_list;
    timeline->edits = track.edits;
    timeline->has_durations = track.has_durations;
    timeline->sample_durations = track.sample_durations;
    timeline->media_timescale = track.media_timescale;
    timeline->samples_cut = track.samples_cut;
    timeline->samples.resize(track.samples.size());
    uint32_t movie_timescale = mp4.movie_timescale;
    in.span_at = [timeline, movie_timescale](uint32_t rate, uint32_t block,
                                             std::vector<std::string> &warnings) {
        return presented_span(*timeline, movie_timescale, rate ? rate : 48000, block, warnings);
    };
    in.frames = std::make_unique<Mp4FrameSource>(std::move(file), std::move(track.samples),
                                                 track.samples_cut);
    return in;
}

}  // namespace lumdec::file
