#include "info.h"

#include "decoding.h"

namespace aacdec {

namespace {

void print_tracks(aac_file *file, const aac_file_info &info, std::FILE *out)
{
    if (info.track_count < 2)
        return;
    std::fprintf(out, "  tracks       %d audio tracks (--track N):\n", info.track_count);
    for (int32_t i = 1; i <= info.track_count; i++) {
        aac_file_track t{};
        aac_file_get_track(file, i, &t);
        std::fprintf(out, "    %c%d  id %d, %s, %d Hz, %d channels, %lld frames, %.3f s\n",
                     i == info.track ? '*' : ' ', i, t.id, t.codec_name, t.sample_rate,
                     t.channels, static_cast<long long>(t.frames), t.seconds);
    }
}

}  // namespace

void print_info(const std::string &path, int track, Console &console, std::FILE *out)
{
    Input in(path, track, false, 1.0f);
    auto warn = [&](const std::string &w) { console.warning(path, w); };
    in.take_warnings(warn);
    in.scan();
    in.take_warnings(warn);
    const aac_file_info &info = in.info();
    const bool he = info.object_type == 5 || info.object_type == 29;
    const int64_t frames = info.frames > 0 ? info.frames : 0;
    const int64_t samples = info.length > 0 ? info.length : 0;
    const double rate = info.sample_rate > 0 ? info.sample_rate : 1;
    const double coded_seconds = static_cast<double>(frames) * info.samples_per_block / rate;

    std::fprintf(out, "%s:\n", path.c_str());
    std::fprintf(out, "  container    %s\n", info.container_name);
    print_tracks(in.handle(), info, out);
    if (he)
        std::fprintf(out, "  object type  %s (%s)\n", info.codec_name,
                     info.object_type == 29 ? "AAC LC + SBR + PS" : "AAC LC + SBR");
    else
        std::fprintf(out, "  object type  %s\n", info.codec_name);
    if (he)
        std::fprintf(out, "  sample rate  %d Hz (core %d Hz)\n", info.sample_rate,
                     info.core_sample_rate);
    else
        std::fprintf(out, "  sample rate  %d Hz\n", info.sample_rate);
    if (info.layout_name[0])
        std::fprintf(out, "  channels     %d, layout %d (%s: %s)\n", info.channels, info.layout,
                     info.layout_name, info.speakers);
    else
        std::fprintf(out, "  channels     configuration %d\n", info.layout);
    if (!info.decodable)
        std::fprintf(out, "  decodable    no: %s\n", info.unsupported);
    std::fprintf(out, "  frames       %lld\n", static_cast<long long>(frames));
    if (info.edit_list && info.decodable) {
        std::fprintf(out, "  edit list    %lld samples from sample %lld",
                     static_cast<long long>(samples - std::min(samples, info.lead_silence)),
                     static_cast<long long>(info.edit_start));
        if (info.lead_silence > 0)
            std::fprintf(out, ", after %lld samples of silence (empty edit)",
                         static_cast<long long>(info.lead_silence));
        std::fputc('\n', out);
    }
    if (info.decodable)
        std::fprintf(out, "  duration     %.3f s (%lld samples per channel)\n",
                     static_cast<double>(samples) / rate, static_cast<long long>(samples));
    if (coded_seconds > 0)
        std::fprintf(out, "  bitrate      %.1f kbit/s\n",
                     static_cast<double>(info.payload_bytes) * 8.0 / coded_seconds / 1000.0);
    const char *name, *value;
    for (int32_t i = 0; aac_file_get_tag(in.handle(), i, &name, &value) == AAC_OK; i++)
        std::fprintf(out, "  %-12s %s\n", name, value);
}

}  // namespace aacdec
