#include "file/byte_source.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file/file_error.h"

namespace lumdec::file {

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
        fail(Failure::io, std::string("cannot open: ") + std::strerror(errno));
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fail(Failure::io, "not a regular file");
    }
    size_ = static_cast<uint64_t>(st.st_size);
}

FileSource::FileSource(int fd, std::string name) : fd_(fd), path_(std::move(name))
{
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        fail(Failure::io, "cannot read " + path_);
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
            fail(Failure::io, std::string("read error: ") + std::strerror(errno));
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
            fail(Failure::io, std::string("read error: ") + std::strerror(errno));
    }
}

std::unique_ptr<ByteSource> spool(ByteStream &in, const std::string &name)
{
    const char *dir = std::getenv("TMPDIR");
    std::string temp = std::string(dir && *dir ? dir : "/tmp") + "/lumdec-in.XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        fail(Failure::io, "cannot spool " + name + " to " + temp + ": " + std::strerror(errno));
    ::unlink(temp.c_str());
    FileSource owner(fd, name);  // closes the descriptor whichever way this ends
    std::vector<uint8_t> chunk(1 << 16);
    for (size_t got; (got = in.read(chunk.data(), chunk.size())) > 0;) {
        for (size_t done = 0; done < got;) {
            ssize_t w = ::write(fd, chunk.data() + done, got - done);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0)
                fail(Failure::io, "cannot spool " + name + ": " + std::strerror(errno));
            done += static_cast<size_t>(w);
        }
    }
    return std::make_unique<FileSource>(::dup(fd), name);  // now sized
}

}  // namespace lumdec::file
