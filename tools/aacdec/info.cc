#include "info.h"

#include "channel_layout.h"
#include "decoding.h"
#include "input.h"

namespace aacdec {

namespace {

struct Layout {
    const LayoutInfo *info = nullptr;
    int number = 0;
    uint32_t rate = 0;
};

// The layout and rate the decoder works with (a program_config_element
// may name its own), or why there is none.
Layout decoder_layout(InputInfo &info)
{
    Layout l;
    l.rate = info.config.sample_rate;
    l.number = info.config.channel_configuration;
    if (info.unsupported.empty()) {
        try {
            Decoding decoding(info.config);
            l.number = decoding.layout();
            l.rate = decoding.sample_rate();
        } catch (const ToolError &e) {
            info.unsupported = e.what();
        }
    }
    l.info = layout_info(l.number);
    return l;
}

void print_tracks(const InputInfo &info, std::FILE *out)
{
    if (info.tracks.size() < 2)
        return;
    std::fprintf(out, "  tracks       %zu audio tracks (--track N):\n", info.tracks.size());
    for (size_t i = 0; i < info.tracks.size(); i++) {
        const TrackInfo &t = info.tracks[i];
        std::fprintf(out, "    %c%zu  id %u, %s, %u Hz, %d channels, %llu frames, %.3f s\n",
                     static_cast<int>(i + 1) == info.track ? '*' : ' ', i + 1, t.id,
                     t.codec.c_str(), t.sample_rate, t.channels,
                     static_cast<unsigned long long>(t.frames), t.seconds);
    }
}

}  // namespace

void print_info(const std::string &path, int track, Console &console, std::FILE *out)
{
    OpenedInput in = open_input(path, track);
    for (const std::string &w : in.info.warnings)
        console.warning(path, w);
    Layout layout = decoder_layout(in.info);
    uint32_t rate = layout.rate ? layout.rate : 1;

    uint64_t frames = 0, bytes = 0;
    InputFrame frame;
    while (in.frames->next(frame)) {
        frames += static_cast<uint64_t>(frame.blocks);
        bytes += frame.file_bytes;
    }
    for (const std::string &w : in.frames->end_warnings())
        console.warning(path, w);

    // What a decoding writes: the span, within the samples the frames give.
    const OutputSpan &span = in.info.span;
    uint64_t samples = 0;
    if (frames > 0) {
        uint64_t end = (frames + 1) * 1024;
        if (span.length != OutputSpan::kOpen)
            end = std::min(end, span.start + span.length);
        samples = span.lead_silence + (end > span.start ? end - span.start : 0);
    }
    double coded_seconds = static_cast<double>(frames) * 1024.0 / rate;

    std::fprintf(out, "%s:\n", path.c_str());
    std::fprintf(out, "  container    %s\n", in.info.container.c_str());
    print_tracks(in.info, out);
    std::fprintf(out, "  object type  %s\n", object_type_name(in.info.config.object_type));
    std::fprintf(out, "  sample rate  %u Hz\n", layout.rate);
    if (layout.info)
        std::fprintf(out, "  channels     %d, layout %d (%s: %s)\n", layout.info->channels,
                     layout.number, layout.info->name, layout.info->element_order);
    else
        std::fprintf(out, "  channels     configuration %d\n", layout.number);
    if (!in.info.unsupported.empty())
        std::fprintf(out, "  decodable    no: %s\n", in.info.unsupported.c_str());
    std::fprintf(out, "  frames       %llu\n", static_cast<unsigned long long>(frames));
    if (in.info.edit_list) {
        std::fprintf(out, "  edit list    %llu samples from sample %llu",
                     static_cast<unsigned long long>(samples - std::min(samples, span.lead_silence)),
                     static_cast<unsigned long long>(span.start));
        if (span.lead_silence > 0)
            std::fprintf(out, ", after %llu samples of silence (empty edit)",
                         static_cast<unsigned long long>(span.lead_silence));
        std::fputc('\n', out);
    }
    if (in.info.unsupported.empty())
        std::fprintf(out, "  duration     %.3f s (%llu samples per channel)\n",
                     static_cast<double>(samples) / rate, static_cast<unsigned long long>(samples));
    if (coded_seconds > 0)
        std::fprintf(out, "  bitrate      %.1f kbit/s\n",
                     static_cast<double>(bytes) * 8.0 / coded_seconds / 1000.0);
    for (const auto &[name, value] : in.info.tags)
        std::fprintf(out, "  %-12s %s\n", name.c_str(), value.c_str());
}

}  // namespace aacdec
