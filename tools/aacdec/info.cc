#include "info.h"

#include "channel_layout.h"
#include "decoding.h"
#include "input.h"

namespace aacdec {

void print_info(const std::string &path, int track, Console &console, std::FILE *out)
{
    OpenedInput in = open_input(path, track);
    for (const std::string &w : in.info.warnings)
        console.warning(path, w);
    Decoding decoding(in.info.config);
    const LayoutInfo *layout = layout_info(decoding.layout());
    uint32_t rate = decoding.sample_rate();

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
    if (in.info.audio_tracks > 1)
        std::fprintf(out, "  track        %d of %d audio tracks\n", in.info.track,
                     in.info.audio_tracks);
    std::fprintf(out, "  object type  %s\n", object_type_name(in.info.config.object_type));
    std::fprintf(out, "  sample rate  %u Hz\n", rate);
    std::fprintf(out, "  channels     %d, layout %d (%s: %s)\n", layout->channels,
                 decoding.layout(), layout->name, layout->element_order);
    std::fprintf(out, "  frames       %llu\n", static_cast<unsigned long long>(frames));
    if (in.info.edit_list)
        std::fprintf(out, "  edit list    %llu samples from sample %llu\n",
                     static_cast<unsigned long long>(samples - span.lead_silence),
                     static_cast<unsigned long long>(span.start));
    std::fprintf(out, "  duration     %.3f s (%llu samples per channel)\n",
                 static_cast<double>(samples) / rate, static_cast<unsigned long long>(samples));
    if (coded_seconds > 0)
        std::fprintf(out, "  bitrate      %.1f kbit/s\n",
                     static_cast<double>(bytes) * 8.0 / coded_seconds / 1000.0);
}

}  // namespace aacdec
