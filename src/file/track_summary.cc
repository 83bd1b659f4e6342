#include "file/track_summary.h"

#include <algorithm>

#include "file/channel_layout.h"
#include "file/file_decoder.h"

namespace lumdec::file {

namespace {

// Samples a decoding of `frames` frames delivers within the span.
int64_t delivered(const aac_file_info &info, uint64_t frames)
{
    if (frames == 0 || info.samples_per_block == 0)
        return 0;
    const uint64_t block = static_cast<uint64_t>(info.samples_per_block);
    const uint64_t start = static_cast<uint64_t>(info.edit_start);
    uint64_t end = (frames + 1) * block;
    if (info.edit_length >= 0)
        end = std::min(end, start + static_cast<uint64_t>(info.edit_length));
    return info.lead_silence + static_cast<int64_t>(end > start ? end - start : 0);
}

const std::string *tag(const InputInfo &info, const char *name)
{
    for (const auto &[n, v] : info.tags)
        if (n == name)
            return &v;
    return nullptr;
}

}  // namespace

void summarise(Summary &s, const OpenedInput &in, const FileDecoder *decoder)
{
    s = Summary{};
    const InputInfo &info = in.info;
    aac_file_info &r = s.info;
    s.container = info.container;
    s.unsupported = info.unsupported;
    r.container = info.container.rfind("ADTS", 0) == 0 ? AAC_CONTAINER_ADTS : AAC_CONTAINER_MP4;
    r.track = info.track;
    r.track_count = info.audio_tracks;
    r.edit_list = info.edit_list;
    r.frames = r.container == AAC_CONTAINER_MP4 ? static_cast<int64_t>(info.frames) : -1;
    r.payload_bytes = r.container == AAC_CONTAINER_MP4 ? static_cast<int64_t>(info.payload_bytes) : -1;
    r.encoder_delay = info.encoder_delay;
    r.length = -1;
    r.edit_length = -1;
    if (decoder) {
        const aac_output_format &f = decoder->format();
        r.decodable = 1;
        r.object_type = f.object_type;
        r.core_sample_rate = f.core_sample_rate;
        r.sample_rate = f.sample_rate;
        r.channels = f.channels;
        r.samples_per_block = f.samples_per_block;
        r.layout = decoder->layout();
        const OutputSpan &span = decoder->span();
        r.edit_start = static_cast<int64_t>(span.start);
        r.edit_length = span.length == OutputSpan::kOpen ? -1 : static_cast<int64_t>(span.length);
        r.lead_silence = static_cast<int64_t>(span.lead_silence);
        r.encoder_delay = info.edit_list ? r.edit_start : info.encoder_delay;
        if (r.frames >= 0)
            r.length = delivered(r, static_cast<uint64_t>(r.frames));
    } else {
        r.object_type = info.config.object_type;
        r.core_sample_rate = static_cast<int32_t>(info.config.sample_rate);
        r.sample_rate = r.core_sample_rate;
        r.layout = info.config.channel_configuration;
        const LayoutInfo *l = layout_info(r.layout);
        r.channels = l ? l->channels : 0;
        r.samples_per_block = 1024;
    }
    if (const LayoutInfo *l = layout_info(r.layout)) {
        r.channel_mask = l->wav_mask;
        s.layout_name = l->name;
        s.speakers = l->element_order;
    }
    s.codec = object_type_name(r.object_type);
    for (const char *name : {"title", "artist", "album", "encoder"}) {
        const std::string *v = tag(info, name);
        std::string &to = name[0] == 't' ? s.title : name[1] == 'r' ? s.artist
                        : name[1] == 'l' ? s.album : s.encoder;
        to = v ? *v : "";
    }
    for (const TrackInfo &t : info.tracks)
        s.track_codecs.push_back(t.codec);
    for (size_t i = 0; i < info.tracks.size(); i++) {
        const TrackInfo &t = info.tracks[i];
        aac_file_track a{};
        a.seconds = t.seconds;
        a.frames = static_cast<int64_t>(t.frames);
        a.id = static_cast<int32_t>(t.id);
        a.object_type = t.object_type;
        a.sample_rate = static_cast<int32_t>(t.sample_rate);
        a.channels = t.channels;
        a.codec_name = s.track_codecs[i].c_str();
        s.tracks.push_back(a);
    }
    if (s.tracks.empty()) {  // ADTS: the stream is its one track, as configured
        const StreamConfig &c = info.config;
        const LayoutInfo *l = layout_info(c.channel_configuration);
        s.track_codecs.push_back(object_type_name(c.object_type));
        aac_file_track a{};
        a.seconds = -1;
        a.frames = -1;
        a.id = 1;
        a.object_type = c.object_type;
        a.sample_rate = static_cast<int32_t>(c.sample_rate);
        a.channels = l ? l->channels : r.channels;
        a.codec_name = s.track_codecs.back().c_str();
        s.tracks.push_back(a);
    }
    r.container_name = s.container.c_str();
    r.codec_name = s.codec.c_str();
    r.layout_name = s.layout_name.c_str();
    r.speakers = s.speakers.c_str();
    r.unsupported = s.unsupported.c_str();
    r.title = s.title.c_str();
    r.artist = s.artist.c_str();
    r.album = s.album.c_str();
    r.encoder = s.encoder.c_str();
}

void complete_counts(Summary &s, uint64_t frames, uint64_t lost, uint64_t bytes)
{
    s.info.frames = static_cast<int64_t>(frames);
    s.info.payload_bytes = static_cast<int64_t>(bytes);
    if (s.info.decodable)
        s.info.length = delivered(s.info, frames + lost);
}

size_t warning_count(const Summary &s, const InputInfo &info, FileDecoder *decoder)
{
    return info.warnings.size() + s.scan_warnings.size() +
           (decoder ? decoder->warnings().size() : 0);
}

const std::string *warning_at(const Summary &s, const InputInfo &info, FileDecoder *decoder,
                              size_t index)
{
    if (index < info.warnings.size())
        return &info.warnings[index];
    index -= info.warnings.size();
    if (index < s.scan_warnings.size())
        return &s.scan_warnings[index];
    index -= s.scan_warnings.size();
    if (decoder && index < decoder->warnings().size())
        return &decoder->warnings()[index];
    return nullptr;
}

}  // namespace lumdec::file
