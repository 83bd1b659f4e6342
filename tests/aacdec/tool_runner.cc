#include "tool_runner.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sndfile.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

Scratch::Scratch()
{
    std::string pattern = testing::TempDir() + "aacdec_test.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

Scratch::~Scratch()
{
    std::system(("rm -rf " + quote(dir_)).c_str());
}

std::string Scratch::write(const std::string &name, const Bytes &bytes) const
{
    std::ofstream out(path(name), std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path(name);
}

RunResult Scratch::run(const std::vector<std::string> &args, const std::string &extra) const
{
    std::string command = "cd ";
    command += quote(dir_);
    command += " && ";
    command += quote(AACDEC_PATH);
    for (const std::string &a : args) {
        command += ' ';
        command += quote(a);
    }
    command += ' ';
    command += extra;
    command += " 2> ";
    command += quote(path(".stderr"));
    int raw = std::system(command.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = slurp(path(".stderr"));
    ::unlink(path(".stderr").c_str());
    return r;
}

std::vector<std::string> Scratch::files() const
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir_.c_str())) {
        while (dirent *e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

Audio read_audio(const std::string &path)
{
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    Audio a;
    a.channels = info.channels;
    a.rate = info.samplerate;
    a.format = info.format;
    a.samples.resize(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(f, a.samples.data(), info.frames);
    sf_close(f);
    return a;
}

std::vector<int32_t> read_integers(const std::string &path)
{
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    std::vector<int32_t> v(static_cast<size_t>(info.frames * info.channels));
    sf_readf_int(f, v.data(), info.frames);
    sf_close(f);
    return v;
}

std::vector<float> read_floats(const std::string &path)
{
    Bytes b = read_bytes(path);
    std::vector<float> v(b.size() / 4);
    std::memcpy(v.data(), b.data(), v.size() * 4);
    return v;
}

Bytes read_bytes(const std::string &path)
{
    std::string s = slurp(path);
    return Bytes(s.begin(), s.end());
}

std::string data_path(const std::string &relative)
{
    return std::string(LUMDEC_TEST_DATA_DIR) + "/" + relative;
}

std::vector<Bytes> adts_payloads(const Bytes &file)
{
    std::vector<Bytes> frames;
    for (size_t pos = 0; pos + 7 <= file.size();) {
        size_t length = (size_t(file[pos + 3] & 3) << 11) | (size_t(file[pos + 4]) << 3) |
                        (file[pos + 5] >> 5);
        frames.emplace_back(file.begin() + static_cast<ptrdiff_t>(pos + 7),
                            file.begin() + static_cast<ptrdiff_t>(pos + length));
        pos += length;
    }
    return frames;
}
