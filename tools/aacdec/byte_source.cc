#include "byte_source.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "interrupt.h"
#include "tool_error.h"

namespace aacdec {

bool MemorySource::read_at(uint64_t offset, void *out, size_t n)
{
    if (offset > data_.size() || n > data_.size() - offset)
        return false;
    if (n > 0)
        std::memcpy(out, data_.data() + offset, n);
    return true;
}

FileSource::FileSource(const std::string &path) : path_(path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        fail(Failure::input, std::string("cannot open: ") + std::strerror(errno));
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fail(Failure::input, "not a regular file");
    }
    size_ = static_cast<uint64_t>(st.st_size);
}

FileSource::~FileSource()
{
    ::close(fd_);
}

bool FileSource::read_at(uint64_t offset, void *out, size_t n)
{
    if (offset > size_ || n > size_ - offset)
        return false;
    auto *p = static_cast<uint8_t *>(out);
    while (n > 0) {
        ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(Failure::input, std::string("read error: ") + std::strerror(errno));
        if (got == 0)
            return false;  // the file shrank under us
        p += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

size_t MemoryStream::read(void *out, size_t n)
{
    n = std::min(n, data_.size() - pos_);
    if (n > 0)
        std::memcpy(out, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

FdStream::FdStream(int fd, std::string name) : fd_(fd), name_(std::move(name))
{
    struct stat st;
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        off_t here = ::lseek(fd_, 0, SEEK_CUR);
        if (here >= 0 && st.st_size >= here)
            length_ = static_cast<uint64_t>(st.st_size - here);
    }
}

size_t FdStream::read(void *out, size_t n)
{
    for (;;) {
        ssize_t got = ::read(fd_, out, n);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR)
            fail(Failure::input, std::string("read error: ") + std::strerror(errno));
        check_stop();
    }
}

std::vector<uint8_t> read_all(ByteStream &in, uint64_t limit, const std::string &name)
{
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    for (;;) {
        size_t got = in.read(chunk, sizeof chunk);
        if (got == 0)
            return data;
        if (data.size() + got > limit)
            fail(Failure::input, name + " is larger than " + std::to_string(limit >> 20) + " MiB");
        data.insert(data.end(), chunk, chunk + got);
    }
}

}  // namespace aacdec
