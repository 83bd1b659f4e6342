#include "audio_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <exception>
#include <utility>
#include <vector>

#include "downmix.h"
#include "lumdec.h"
#include "output_file.h"
#include "tool_error.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "raw float output is written in host order, which must be little-endian");

namespace aacdec {

namespace {

int sndfile_format(Format f, int channels)
{
    int container = channels > 2 ? SF_FORMAT_WAVEX : SF_FORMAT_WAV;
    switch (f) {
    case Format::wav16: return container | SF_FORMAT_PCM_16;
    case Format::wav24: return container | SF_FORMAT_PCM_24;
    case Format::wavf: return container | SF_FORMAT_FLOAT;
    case Format::flac16: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case Format::flac24: return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    case Format::f32: break;
    }
    return 0;
}

int raw_format(Format f)
{
    return f == Format::wav16 || f == Format::flac16   ? AAC_RAW_S16
           : f == Format::wav24 || f == Format::flac24 ? AAC_RAW_S24_IN_32
                                                       : AAC_RAW_FLOAT;
}

// libsndfile's names for the speaker bits of WAVE_FORMAT_EXTENSIBLE (it
// maps the plain left, right and centre to the first three bits, not the
// "front" ones).
std::vector<int> channel_map(uint32_t mask)
{
    static const int names[11] = {
        SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER,
        SF_CHANNEL_MAP_LFE, SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT,
        SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER, SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER,
        SF_CHANNEL_MAP_REAR_CENTER, SF_CHANNEL_MAP_SIDE_LEFT, SF_CHANNEL_MAP_SIDE_RIGHT};
    std::vector<int> map;
    for (int bit = 0; bit < 11; bit++)
        if (mask & (1u << bit))
            map.push_back(names[bit]);
    return map;
}

}  // namespace

std::optional<Format> format_named(const std::string &name)
{
    static const struct {
        const char *name;
        Format format;
    } names[] = {{"wav16", Format::wav16}, {"wav24", Format::wav24}, {"wavf", Format::wavf},
                 {"flac", Format::flac16}, {"flac24", Format::flac24}, {"f32", Format::f32}};
    for (const auto &n : names)
        if (name == n.name)
            return n.format;
    return std::nullopt;
}

std::optional<Format> format_for_path(const std::string &path)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return std::nullopt;
    std::string ext = path.substr(dot + 1);
    for (char &c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "wav")
        return Format::wav16;
    if (ext == "flac")
        return Format::flac16;
    if (ext == "f32" || ext == "raw")
        return Format::f32;
    return std::nullopt;
}

bool has_extension(const std::string &path)
{
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

const char *extension_of(Format f)
{
    return f == Format::flac16 || f == Format::flac24 ? ".flac" : f == Format::f32 ? ".f32" : ".wav";
}

struct AudioWriter::State {
    OutputFile file;
    SNDFILE *sf = nullptr;
    // Scratch for one block, 16-byte aligned for the conversion services.
    struct alignas(16) Scratch {
        int32_t raw[2 * 1024];
        float pair[2 * 1024];
    };
    std::unique_ptr<Scratch> scratch = std::make_unique<Scratch>();
    std::vector<int16_t> frames16;
    std::vector<int32_t> frames32;
    std::vector<float> framesf;

    std::exception_ptr error;  // raised inside libsndfile's I/O, raised again after it

    State(const std::string &path, bool needs_seek) : file(path, needs_seek) {}
    // After each libsndfile call.
    void raise_pending()
    {
        if (error)
            std::rethrow_exception(std::exchange(error, nullptr));
    }
    ~State()
    {
        if (sf)
            sf_close(sf);
    }
    [[noreturn]] void failed(const std::string &why) { fail(Failure::output, "cannot write " + file.shown() + ": " + why); }
};

namespace {

// libsndfile's virtual I/O over the State's OutputFile.  No exception may
// cross libsndfile's C code: a failure is kept in the State, reported to
// libsndfile as a short count, and raised again once its call returns.
template <class F>
auto guarded(void *state, F &&f, decltype(f(std::declval<OutputFile &>())) failed)
{
    auto *s = static_cast<AudioWriter::State *>(state);
    try {
        return f(s->file);
    } catch (...) {
        if (!s->error)
            s->error = std::current_exception();
        return failed;
    }
}

sf_count_t vio_length(void *s)
{
    return guarded(s, [](OutputFile &f) { return sf_count_t{f.length()}; }, sf_count_t{-1});
}
sf_count_t vio_seek(sf_count_t offset, int whence, void *s)
{
    return guarded(s, [&](OutputFile &f) { return sf_count_t{f.seek(offset, whence)}; }, sf_count_t{-1});
}
sf_count_t vio_read(void *out, sf_count_t n, void *s)
{
    return guarded(s, [&](OutputFile &f) { return static_cast<sf_count_t>(f.read(out, static_cast<size_t>(n))); },
                   sf_count_t{0});
}
sf_count_t vio_write(const void *data, sf_count_t n, void *s)
{
    return guarded(s, [&](OutputFile &f) { f.write(data, static_cast<size_t>(n)); return n; }, sf_count_t{0});
}
sf_count_t vio_tell(void *s)
{
    return guarded(s, [](OutputFile &f) { return sf_count_t{f.tell()}; }, sf_count_t{-1});
}

SF_VIRTUAL_IO g_vio = {vio_length, vio_seek, vio_read, vio_write, vio_tell};

}  // namespace

AudioWriter::AudioWriter(const std::string &path, Format format, int channels, uint32_t mask,
                         const Downmix *downmix, uint32_t rate)
    : format_(format), downmix_(downmix)
{
    channels_ = downmix ? 2 : channels;
    SF_INFO sfinfo{};
    sfinfo.samplerate = static_cast<int>(rate);
    sfinfo.channels = channels_;
    sfinfo.format = sndfile_format(format, channels_);
    s_ = std::make_unique<State>(path, format != Format::f32);
    s_->frames16.resize(1024 * static_cast<size_t>(channels_));
    s_->frames32.resize(1024 * static_cast<size_t>(channels_));
    s_->framesf.resize(1024 * static_cast<size_t>(channels_));
    if (format == Format::f32)
        return;
    s_->sf = sf_open_virtual(&g_vio, SFM_WRITE, &sfinfo, s_.get());
    s_->raise_pending();
    if (!s_->sf)
        s_->failed(sf_strerror(nullptr));
    if (format == Format::wavf)
        sf_command(s_->sf, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if ((sfinfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX) {
        std::vector<int> map = channel_map(downmix ? 0x3 : mask);
        if (!sf_command(s_->sf, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                        static_cast<int>(map.size() * sizeof(int))))
            s_->failed("libsndfile refused the channel map");
        sf_command(s_->sf, SFC_WAVEX_SET_AMBISONIC, nullptr, SF_AMBISONIC_NONE);
    }
}

AudioWriter::~AudioWriter() = default;

float decoder_gain(Format format)
{
    switch (raw_format(format)) {
    case AAC_RAW_S16: return 32768.0f;
    case AAC_RAW_S24_IN_32: return 8388608.0f;
    default: return 1.0f;
    }
}

void AudioWriter::write(const float *block, size_t from, size_t to)
{
    if (from >= to)
        return;
    const size_t C = static_cast<size_t>(channels_);
    const int raw = raw_format(format_);
    State::Scratch &sc = *s_->scratch;
    // The planes written: the fold's pair, or the channels as read.
    const float *planes = block;
    auto plane = [&](size_t c) { return planes + 1024 * c; };
    if (!block) {
        std::fill(s_->frames16.begin(), s_->frames16.end(), int16_t{0});
        std::fill(s_->frames32.begin(), s_->frames32.end(), 0);
        std::fill(s_->framesf.begin(), s_->framesf.end(), 0.0f);
    } else {
        if (downmix_) {
            fold(*downmix_, block, sc.pair);
            planes = sc.pair;
        }
        for (size_t c = 0; c < C; c++) {
            const float *p = plane(c);
            if (raw == AAC_RAW_FLOAT) {
                for (size_t i = from; i < to; i++)
                    s_->framesf[i * C + c] = p[i];
                continue;
            }
            aac_convert_single_to_raw(p, sc.raw, raw);
            if (raw == AAC_RAW_S16) {
                const auto *v = reinterpret_cast<const int16_t *>(sc.raw);
                for (size_t i = from; i < to; i++)
                    s_->frames16[i * C + c] = v[i];
            } else {
                for (size_t i = from; i < to; i++)
                    s_->frames32[i * C + c] = sc.raw[i];
            }
        }
    }

    sf_count_t n = static_cast<sf_count_t>(to - from);
    if (!s_->sf) {
        s_->file.write(&s_->framesf[from * C], sizeof(float) * C * (to - from));
        return;
    }
    sf_count_t written = raw == AAC_RAW_S16   ? sf_writef_short(s_->sf, &s_->frames16[from * C], n)
                         : raw == AAC_RAW_FLOAT ? sf_writef_float(s_->sf, &s_->framesf[from * C], n)
                                                : sf_writef_int(s_->sf, &s_->frames32[from * C], n);
    s_->raise_pending();
    if (written != n)
        s_->failed(sf_strerror(s_->sf));
}

void AudioWriter::finish()
{
    if (s_->sf) {
        int status = sf_close(s_->sf);
        s_->sf = nullptr;
        s_->raise_pending();
        if (status != 0)
            s_->failed(sf_error_number(status));
    }
    s_->file.commit();
}

}  // namespace aacdec
