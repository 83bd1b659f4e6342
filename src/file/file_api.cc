// The C interface of the file layer: a handle holds the opened input, its
// decoder and every string handed out.  FileError and allocation failures
// end at these functions as status codes with a message on the handle.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "file/channel_layout.h"
#include "file/file_decoder.h"
#include "file/file_error.h"
#include "file/host_io.h"
#include "file/input.h"
#include "file/track_summary.h"
#include "lumdec.h"

namespace lumdec::file {

aac_status status_of(Failure f)
{
    switch (f) {
    case Failure::input: return AAC_ERR_FORMAT;
    case Failure::io: return AAC_ERR_IO;
    case Failure::unsupported: return AAC_ERR_BAD_STREAM;
    case Failure::usage: return AAC_ERR_ARGUMENT;
    case Failure::no_track: return AAC_ERR_NO_TRACK;
    case Failure::decode: return AAC_ERR_CORRUPT_FRAME;
    case Failure::memory: return AAC_ERR_NO_MEMORY;
    }
    return AAC_ERR_FORMAT;
}

// What an aac_file handle points at (the C type stays incomplete).
struct Handle {
    DecodeSettings settings;
    // What is open; the decoder refers to the input, so it goes first.
    std::unique_ptr<OpenedInput> input;
    std::unique_ptr<FileDecoder> decoder;
    // Kept to start over after a scan.
    std::vector<uint8_t> memory;
    std::string path;
    aac_file_io io{};
    int source = 0;  // 1 path, 2 memory, 3 hooks
    int track = 0;
    Summary summary;  // strings the info points into
    std::string error;
    std::vector<std::string> open_warnings;  // the opener's, before the decoder's
    bool failed = false;
};

}  // namespace lumdec::file

using namespace lumdec::file;

namespace {

Handle *handle(aac_file *f)
{
    return reinterpret_cast<Handle *>(f);
}

template <class F>
aac_status guarded(Handle *f, F &&body)
{
    try {
        f->error.clear();
        body();
        return AAC_OK;
    } catch (const FileError &e) {
        f->error = e.what();
        return status_of(e.failure());
    } catch (const std::bad_alloc &) {
        f->error = "out of memory";
        return AAC_ERR_NO_MEMORY;
    } catch (const std::exception &e) {
        f->error = e.what();
        return AAC_ERR_FORMAT;
    }
}

// The handle's source from its first byte.
OpenedInput open_again(Handle *f)
{
    switch (f->source) {
    case 1: return open_input(f->path, f->track);
    case 2: return open_source(std::make_unique<MemorySource>(f->memory), f->track);
    default: return open_host(f->io, f->track);
    }
}

// Opens the handle's source again and sets its decoder up.
void reopen(Handle *f)
{
    f->decoder.reset();
    f->input.reset();
    f->failed = false;
    f->input = std::make_unique<OpenedInput>(open_again(f));
    OpenedInput &input = *f->input;
    if (input.info.unsupported.empty()) {
        try {
            f->decoder = std::make_unique<FileDecoder>(input, f->settings);
        } catch (const FileError &e) {
            if (e.failure() != Failure::unsupported)
                throw;
            input.info.unsupported = e.what();
        }
    }
    summarise(f->summary, input, f->decoder.get());
}

aac_status open_with(Handle *f, int source, int32_t track)
{
    f->source = source;
    f->track = track;
    if (track < 0) {
        f->error = "track numbers count from 1";
        return AAC_ERR_ARGUMENT;
    }
    aac_status status = guarded(f, [&] { reopen(f); });
    if (status != AAC_OK) {
        f->decoder.reset();
        f->input.reset();
    }
    return status;
}

bool usable(Handle *f)
{
    if (f && f->input)
        return true;
    if (f)
        f->error = "nothing is open";
    return false;
}

}  // namespace

extern "C" {

AAC_API aac_status AAC_CALL aac_file_create(aac_file **out, const aac_file_config *config)
{
    if (!out)
        return AAC_ERR_ARGUMENT;
    *out = nullptr;
    aac_file_config c{};
    if (config)
        c = *config;
    for (int32_t r : c.reserved)
        if (r != 0)
            return AAC_ERR_ARGUMENT;
    auto *f = new (std::nothrow) Handle();
    if (!f)
        return AAC_ERR_NO_MEMORY;
    f->settings.gain = c.gain == 0.0f ? 1.0f : c.gain;
    f->settings.strict = c.strict != 0;
    f->settings.core_only = c.core_only != 0;
    *out = reinterpret_cast<aac_file *>(f);
    return AAC_OK;
}

AAC_API void AAC_CALL aac_file_close(aac_file *h)
{
    delete handle(h);
}

AAC_API aac_status AAC_CALL aac_file_open_path(aac_file *h, const char *path, int32_t track)
{
    Handle *f = handle(h);
    if (!f)
        return AAC_ERR_ARGUMENT;
    if (!path) {
        f->error = "no path";
        return AAC_ERR_ARGUMENT;
    }
    aac_status status = guarded(f, [&] { f->path = path; });
    return status != AAC_OK ? status : open_with(f, 1, track);
}

AAC_API aac_status AAC_CALL aac_file_open_memory(aac_file *h, const void *data, int64_t size,
                                                 int32_t track)
{
    Handle *f = handle(h);
    if (!f)
        return AAC_ERR_ARGUMENT;
    if ((!data && size != 0) || size < 0) {
        f->error = "no data";
        return AAC_ERR_ARGUMENT;
    }
    const auto *bytes = static_cast<const uint8_t *>(data);
    aac_status status = guarded(f, [&] {
        f->decoder.reset();
        f->input.reset();
        f->memory.assign(bytes, bytes + size);
    });
    return status != AAC_OK ? status : open_with(f, 2, track);
}

AAC_API aac_status AAC_CALL aac_file_open_io(aac_file *h, const aac_file_io *io, int32_t track)
{
    Handle *f = handle(h);
    if (!f)
        return AAC_ERR_ARGUMENT;
    if (!io || !io->read) {
        f->error = "no read hook";
        return AAC_ERR_ARGUMENT;
    }
    f->io = *io;
    return open_with(f, 3, track);
}

AAC_API aac_status AAC_CALL aac_file_get_info(aac_file *h, aac_file_info *info)
{
    Handle *f = handle(h);
    if (!usable(f) || !info)
        return AAC_ERR_ARGUMENT;
    *info = f->summary.info;
    return AAC_OK;
}

AAC_API aac_status AAC_CALL aac_file_get_track(aac_file *h, int32_t index, aac_file_track *track)
{
    Handle *f = handle(h);
    if (!usable(f) || !track)
        return AAC_ERR_ARGUMENT;
    if (index < 1 || index > static_cast<int32_t>(f->summary.tracks.size())) {
        f->error = "no track " + std::to_string(index);
        return AAC_ERR_NO_TRACK;
    }
    *track = f->summary.tracks[static_cast<size_t>(index - 1)];
    return AAC_OK;
}

AAC_API aac_status AAC_CALL aac_file_get_tag(aac_file *h, int32_t index, const char **name,
                                             const char **value)
{
    Handle *f = handle(h);
    if (!usable(f) || !name || !value)
        return AAC_ERR_ARGUMENT;
    const auto &tags = f->input->info.tags;
    if (index < 0 || static_cast<size_t>(index) >= tags.size())
        return AAC_ERR_ARGUMENT;
    *name = tags[static_cast<size_t>(index)].first.c_str();
    *value = tags[static_cast<size_t>(index)].second.c_str();
    return AAC_OK;
}

AAC_API aac_status AAC_CALL aac_file_scan(aac_file *h)
{
    Handle *f = handle(h);
    if (!usable(f))
        return AAC_ERR_ARGUMENT;
    if (f->summary.info.container != AAC_CONTAINER_ADTS || f->summary.info.frames >= 0)
        return AAC_OK;
    if (f->source == 3 && (!f->io.seek || !f->io.size))
        return AAC_OK;
    return guarded(f, [&] {
        // Counted on an opening of its own, then reading starts over.
        OpenedInput counting = open_again(f);
        // Frames presumed lost in skipped bytes are concealed, one block
        // each, so they count for the length but not as frames.
        uint64_t frames = 0, lost = 0, bytes = 0;
        InputFrame frame;
        while (counting.frames->next(frame)) {
            frames += static_cast<uint64_t>(frame.blocks);
            lost += frame.lost_before;
            bytes += frame.file_bytes;
        }
        std::vector<std::string> ends = counting.frames->end_warnings();
        reopen(f);
        complete_counts(f->summary, frames, lost, bytes);
        for (std::string &w : ends)
            f->summary.scan_warnings.push_back(std::move(w));
    });
}

AAC_API int32_t AAC_CALL aac_file_read(aac_file *h, float *buffer, int32_t frames, int32_t flags)
{
    Handle *f = handle(h);
    if (!usable(f) || (!buffer && frames > 0) || frames < 0 || (flags & ~3) != 0)
        return AAC_ERR_ARGUMENT;
    if (f->failed)
        return AAC_ERR_ARGUMENT;
    if (!f->decoder) {
        f->error = f->input->info.unsupported;
        return AAC_ERR_BAD_STREAM;
    }
    int32_t count = 0;
    aac_status status = guarded(f, [&] {
        const LayoutInfo *layout = layout_info(f->decoder->layout());
        const uint8_t *order = (flags & AAC_READ_DECODER_ORDER) || !layout ? nullptr : layout->wav_from;
        count = static_cast<int32_t>(f->decoder->read(buffer, static_cast<size_t>(frames),
                                                      static_cast<size_t>(frames),
                                                      (flags & AAC_READ_PLANAR) == 0, order));
    });
    if (status != AAC_OK) {
        f->failed = true;
        return status;
    }
    return count;
}

AAC_API aac_status AAC_CALL aac_file_get_stats(aac_file *h, aac_file_stats *stats)
{
    Handle *f = handle(h);
    if (!usable(f) || !stats)
        return AAC_ERR_ARGUMENT;
    *stats = aac_file_stats{};
    if (f->decoder) {
        const DecodeCounts &c = f->decoder->counts();
        stats->frames = static_cast<int64_t>(c.frames);
        stats->lost_frames = static_cast<int64_t>(c.lost_frames);
        stats->samples = static_cast<int64_t>(c.samples);
    }
    stats->warnings = static_cast<int32_t>(warning_count(f->summary, f->input->info, f->decoder.get()));
    return AAC_OK;
}

AAC_API double AAC_CALL aac_file_progress(aac_file *h)
{
    Handle *f = handle(h);
    if (!f || !f->input)
        return -1.0;
    return f->input->frames->progress();
}

AAC_API const char *AAC_CALL aac_file_error(aac_file *h)
{
    Handle *f = handle(h);
    return f ? f->error.c_str() : "";
}

AAC_API const char *AAC_CALL aac_file_warning(aac_file *h, int32_t index)
{
    Handle *f = handle(h);
    if (!f || !f->input || index < 0)
        return nullptr;
    const std::string *w = warning_at(f->summary, f->input->info, f->decoder.get(),
                                      static_cast<size_t>(index));
    return w ? w->c_str() : nullptr;
}

}  // extern "C"
