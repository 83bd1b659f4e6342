#include "audio_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "channel_layout.h"
#include "lumdec.h"
#include "tool_error.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "raw float output is written in host order, which must be little-endian");

namespace aacdec {

namespace {

mode_t g_umask = 022;

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

std::string errno_text()
{
    return std::strerror(errno);
}

}  // namespace

void remember_umask()
{
    g_umask = ::umask(022);
    ::umask(g_umask);
}

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

const char *extension_of(Format f)
{
    return f == Format::flac16 || f == Format::flac24 ? ".flac" : f == Format::f32 ? ".f32" : ".wav";
}

struct AudioWriter::State {
    std::string path, shown;   // final path and its name in messages
    std::string temp;          // temporary name beside it, until renamed
    int copy_fd = -1;          // output built in an unlinked file, copied to stdout
    SNDFILE *sf = nullptr;
    FILE *raw = nullptr;
    bool own_raw = false;
    // Scratch for one block, 16-byte aligned for the conversion services.
    struct alignas(16) Scratch {
        int32_t raw[2 * 1024];
        float pair[2 * 1024];
    };
    std::unique_ptr<Scratch> scratch = std::make_unique<Scratch>();
    std::vector<int16_t> frames16;
    std::vector<int32_t> frames32;
    std::vector<float> framesf;

    [[noreturn]] void failed(const std::string &why)
    {
        fail(Failure::output, "cannot write " + shown + ": " + why);
    }
};

AudioWriter::AudioWriter(const std::string &path, Format format, int layout, bool downmix,
                         uint32_t rate)
    : s_(std::make_unique<State>()), format_(format), layout_(layout), downmix_(downmix)
{
    const LayoutInfo *info = layout_info(layout);
    channels_ = downmix ? 2 : info->channels;
    s_->path = path;
    s_->shown = path == "-" ? "standard output" : path;
    s_->frames16.resize(1024 * static_cast<size_t>(channels_));
    s_->frames32.resize(1024 * static_cast<size_t>(channels_));
    s_->framesf.resize(1024 * static_cast<size_t>(channels_));

    int fd;
    bool close_fd = true;
    if (path == "-") {
        struct stat st;
        bool seekable = ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) &&
                        ::lseek(STDOUT_FILENO, 0, SEEK_CUR) >= 0;
        if (format == Format::f32 || seekable) {
            fd = STDOUT_FILENO;
            close_fd = false;
        } else {
            // libsndfile seeks back to complete the header: build the file
            // aside and copy it out at the end.
            const char *dir = std::getenv("TMPDIR");
            std::string temp = std::string(dir && *dir ? dir : "/tmp") + "/aacdec.XXXXXX";
            fd = ::mkstemp(temp.data());
            if (fd < 0)
                s_->failed("cannot create a temporary file: " + errno_text());
            ::unlink(temp.c_str());
            s_->copy_fd = ::dup(fd);
        }
    } else {
        size_t slash = path.rfind('/');
        std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        s_->temp = dir + "." + base + ".XXXXXX";
        fd = ::mkstemp(s_->temp.data());
        if (fd < 0) {
            s_->temp.clear();
            s_->failed(errno_text());
        }
    }

    if (format == Format::f32) {
        s_->raw = fd == STDOUT_FILENO ? stdout : ::fdopen(fd, "wb");
        s_->own_raw = fd != STDOUT_FILENO;
        if (!s_->raw)
            s_->failed(errno_text());
        return;
    }
    SF_INFO sfinfo{};
    sfinfo.samplerate = static_cast<int>(rate);
    sfinfo.channels = channels_;
    sfinfo.format = sndfile_format(format, channels_);
    s_->sf = sf_open_fd(fd, SFM_WRITE, &sfinfo, close_fd ? SF_TRUE : SF_FALSE);
    if (!s_->sf) {
        if (close_fd)
            ::close(fd);
        s_->failed(sf_strerror(nullptr));
    }
    if (format == Format::wavf)
        sf_command(s_->sf, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if ((sfinfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX) {
        std::vector<int> map = channel_map(downmix ? 0x3 : info->wav_mask);
        if (!sf_command(s_->sf, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                        static_cast<int>(map.size() * sizeof(int))))
            s_->failed("libsndfile refused the channel map");
        sf_command(s_->sf, SFC_WAVEX_SET_AMBISONIC, nullptr, SF_AMBISONIC_NONE);
    }
}

AudioWriter::~AudioWriter()
{
    if (s_->sf)
        sf_close(s_->sf);
    if (s_->raw && s_->own_raw)
        std::fclose(s_->raw);
    if (s_->copy_fd >= 0)
        ::close(s_->copy_fd);
    if (!s_->temp.empty())
        ::unlink(s_->temp.c_str());
}

float AudioWriter::decoder_gain() const
{
    switch (raw_format(format_)) {
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
    const LayoutInfo *info = layout_info(layout_);
    // WAV and FLAC take the WAV channel order; raw float keeps the decoder's.
    auto source = [&](size_t c) {
        return format_ == Format::f32 ? c : static_cast<size_t>(info->wav_from[c]);
    };

    if (!block) {
        std::fill(s_->frames16.begin(), s_->frames16.end(), int16_t{0});
        std::fill(s_->frames32.begin(), s_->frames32.end(), 0);
        std::fill(s_->framesf.begin(), s_->framesf.end(), 0.0f);
    } else if (raw == AAC_RAW_FLOAT) {
        const float *planes = block;
        if (downmix_) {
            aac_downmix_3_2_to_pair(block, sc.pair);
            planes = sc.pair;
        }
        for (size_t c = 0; c < C; c++) {
            const float *p = planes + 1024 * (downmix_ ? c : source(c));
            for (size_t i = from; i < to; i++)
                s_->framesf[i * C + c] = p[i];
        }
    } else if (downmix_) {
        aac_downmix_3_2_to_pair_raw(block, sc.raw, raw);
        if (raw == AAC_RAW_S16)
            std::memcpy(s_->frames16.data(), sc.raw, 2048 * sizeof(int16_t));
        else
            std::memcpy(s_->frames32.data(), sc.raw, 2048 * sizeof(int32_t));
    } else {
        for (size_t c = 0; c < C; c++) {
            aac_convert_single_to_raw(block + 1024 * source(c), sc.raw, raw);
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
    if (s_->raw) {
        if (std::fwrite(&s_->framesf[from * C], sizeof(float) * C, to - from, s_->raw) != to - from)
            s_->failed(errno_text());
        return;
    }
    sf_count_t written = raw == AAC_RAW_S16   ? sf_writef_short(s_->sf, &s_->frames16[from * C], n)
                         : raw == AAC_RAW_FLOAT ? sf_writef_float(s_->sf, &s_->framesf[from * C], n)
                                                : sf_writef_int(s_->sf, &s_->frames32[from * C], n);
    if (written != n)
        s_->failed(sf_strerror(s_->sf));
}

void AudioWriter::finish()
{
    if (s_->sf) {
        int status = sf_close(s_->sf);
        s_->sf = nullptr;
        if (status != 0)
            s_->failed(sf_error_number(status));
    }
    if (s_->raw) {
        bool ok = s_->own_raw ? std::fclose(s_->raw) == 0 : std::fflush(s_->raw) == 0;
        s_->raw = nullptr;
        if (!ok)
            s_->failed(errno_text());
    }
    if (s_->copy_fd >= 0) {
        if (::lseek(s_->copy_fd, 0, SEEK_SET) != 0)
            s_->failed(errno_text());
        char buf[65536];
        for (;;) {
            ssize_t got = ::read(s_->copy_fd, buf, sizeof buf);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                s_->failed(errno_text());
            if (got == 0)
                break;
            for (ssize_t done = 0; done < got;) {
                ssize_t w = ::write(STDOUT_FILENO, buf + done, static_cast<size_t>(got - done));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    s_->failed(errno_text());
                done += w;
            }
        }
    }
    if (!s_->temp.empty()) {
        if (::chmod(s_->temp.c_str(), 0666 & ~g_umask) != 0 ||
            ::rename(s_->temp.c_str(), s_->path.c_str()) != 0)
            s_->failed(errno_text());
        s_->temp.clear();
    }
}

}  // namespace aacdec
