#include "tool_runner.h"

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

template <class T>
std::vector<T> read_sound(const std::string &path, int *channels, sf_count_t (*read)(SNDFILE *, T *, sf_count_t))
{
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<T> v(static_cast<size_t>(info.frames * info.channels));
    read(f, v.data(), info.frames);
    sf_close(f);
    if (channels)
        *channels = info.channels;
    return v;
}

}  // namespace

Scratch::Scratch()
{
    std::string pattern = testing::TempDir() + "aacdec_test.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

Scratch::~Scratch() { std::filesystem::remove_all(dir_); }

void Scratch::write(const std::string &name, const Bytes &bytes) const
{
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

RunResult Scratch::run(const std::vector<std::string> &args, const std::string &extra) const
{
    // Appended piece by piece: GCC 12 warns about "literal" + std::string.
    std::string command = "cd ";
    command += quote(dir_);
    command += " && ";
    command += quote(AACDEC_PATH);
    for (const std::string &a : args)
        (command += ' ') += quote(a);
    ((command += ' ') += extra) += " 2> ";
    command += quote(path(".stderr"));
    const int raw = std::system(command.c_str());
    const Bytes err = read_file(path(".stderr"));
    ::unlink(path(".stderr").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(err.begin(), err.end())};
}

std::vector<std::string> Scratch::files() const
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir_))
        names.push_back(entry.path().filename());
    return names;
}

Audio read_audio(const std::string &path)
{
    Audio a;
    a.samples = read_sound<float>(path, &a.channels, sf_readf_float);
    return a;
}

std::vector<int32_t> read_integers(const std::string &path) { return read_sound<int32_t>(path, nullptr, sf_readf_int); }

std::vector<float> read_floats(const std::string &path)
{
    const Bytes b = read_file(path);
    std::vector<float> v(b.size() / 4);
    if (!v.empty())
        std::memcpy(v.data(), b.data(), v.size() * 4);
    return v;
}

std::vector<Bytes> adts_payloads(const Bytes &file)
{
    std::vector<Bytes> frames;
    for (const AdtsFrame &f : split_adts(file))
        frames.emplace_back(file.begin() + static_cast<ptrdiff_t>(f.payload_offset),
                            file.begin() + static_cast<ptrdiff_t>(f.payload_offset + f.payload_size));
    return frames;
}

Bytes adts_frame(const Bytes &payload, uint8_t byte2, uint8_t byte3)
{
    const size_t length = payload.size() + 7;
    const uint8_t header[7] = {0xFF, 0xF1, byte2, static_cast<uint8_t>(byte3 | (length >> 11)),
                               static_cast<uint8_t>(length >> 3), static_cast<uint8_t>(((length & 7) << 5) | 0x1F), 0xFC};
    Bytes f(header, header + 7);
    f.resize(length);
    std::copy(payload.begin(), payload.end(), f.begin() + 7);
    return f;
}
