#include "output_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "interrupt.h"
#include "tool_error.h"

namespace aacdec {

namespace {

mode_t g_umask = 022;

std::string errno_text()
{
    return std::strerror(errno);
}

std::string directory_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Follows symbolic links to the path that is written; st describes it when
// it exists.
std::string resolve_links(std::string path, struct stat &st, bool &exists)
{
    for (int hops = 0; hops < 40; hops++) {
        if (::lstat(path.c_str(), &st) != 0) {
            exists = false;
            return path;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            return path;
        }
        std::vector<char> target(PATH_MAX + 1);
        ssize_t n = ::readlink(path.c_str(), target.data(), PATH_MAX);
        if (n < 0)
            return path;
        std::string link(target.data(), static_cast<size_t>(n));
        path = link[0] == '/' ? link : directory_of(path) + link;
    }
    errno = ELOOP;
    exists = false;
    return {};
}

// write(2) in full, retrying after signals.
bool write_all(int fd, const uint8_t *data, size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR) {
            check_stop();
            continue;
        }
        if (w <= 0)
            return false;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

void remember_umask()
{
    g_umask = ::umask(022);
    ::umask(g_umask);
}

OutputFile::OutputFile(const std::string &path, bool needs_seek)
    : shown_(path == "-" ? "standard output" : path)
{
    buffer_.reserve(kWriteSize + 65536);
    if (path != "-") {
        open_target(path, needs_seek);
        return;
    }
    struct stat st;
    bool seekable = ::fstat(STDOUT_FILENO, &st) == 0 && ::lseek(STDOUT_FILENO, 0, SEEK_CUR) >= 0;
    if (seekable || !needs_seek) {
        fd_ = STDOUT_FILENO;
        own_fd_ = false;
        position_ = seekable ? ::lseek(STDOUT_FILENO, 0, SEEK_CUR) : 0;
    } else {
        copy_to_ = STDOUT_FILENO;
        open_spool();
    }
}

void OutputFile::open_target(const std::string &path, bool needs_seek)
{
    struct stat st;
    bool exists = false;
    std::string target = resolve_links(path, st, exists);
    if (target.empty())
        failed(errno_text());
    if (exists && S_ISDIR(st.st_mode))
        failed("it is a directory");
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe: written in place, never replaced.
        int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        while (fd < 0 && errno == EINTR) {
            check_stop();
            fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        }
        if (fd < 0)
            failed(errno_text());
        if (needs_seek && ::lseek(fd, 0, SEEK_CUR) < 0) {
            copy_to_ = fd;
            own_copy_to_ = true;
            open_spool();
        } else {
            fd_ = fd;
        }
        return;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0)
        failed(errno_text());
    mode_ = exists ? (st.st_mode & 07777) : (0666 & ~g_umask);
    if (exists) {
        owner_ = st.st_uid;
        group_ = st.st_gid;
    }
    size_t slash = target.rfind('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = directory_of(target) + "." + base + ".XXXXXX";
    fd_ = ::mkstemp(temp.data());
    if (fd_ < 0)
        failed(errno_text());
    temp_path_ = temp;
    final_path_ = target;
}

void OutputFile::open_spool()
{
    const char *dir = std::getenv("TMPDIR");
    std::string temp = std::string(dir && *dir ? dir : "/tmp") + "/aacdec.XXXXXX";
    fd_ = ::mkstemp(temp.data());
    if (fd_ < 0)
        failed("cannot create a temporary file in " + directory_of(temp) + ": " + errno_text());
    ::unlink(temp.c_str());
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0 && own_fd_)
        ::close(fd_);
    if (own_copy_to_)
        ::close(copy_to_);
    if (!temp_path_.empty())
        ::unlink(temp_path_.c_str());
}

void OutputFile::failed(const std::string &why) const
{
    fail(Failure::output, "cannot write " + shown_ + ": " + why);
}

void OutputFile::flush()
{
    if (buffer_.empty())
        return;
    if (!write_all(fd_, buffer_.data(), buffer_.size()))
        failed(errno_text());
    position_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
}

void OutputFile::write(const void *data, size_t n)
{
    const auto *p = static_cast<const uint8_t *>(data);
    buffer_.insert(buffer_.end(), p, p + n);
    if (buffer_.size() >= kWriteSize)
        flush();
}

size_t OutputFile::read(void *out, size_t n)
{
    flush();
    ssize_t got = ::read(fd_, out, n);
    if (got < 0)
        failed(errno_text());
    position_ += got;
    return static_cast<size_t>(got);
}

int64_t OutputFile::seek(int64_t offset, int whence)
{
    flush();
    off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0)
        return -1;
    position_ = at;
    return at;
}

int64_t OutputFile::length()
{
    flush();
    struct stat st;
    return ::fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : tell();
}

void OutputFile::copy_out()
{
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        failed(errno_text());
    std::vector<uint8_t> chunk(kWriteSize);
    for (;;) {
        check_stop();
        ssize_t got = ::read(fd_, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            failed(errno_text());
        if (got == 0)
            return;
        if (!write_all(copy_to_, chunk.data(), static_cast<size_t>(got)))
            failed(errno_text());
    }
}

void OutputFile::commit()
{
    flush();
    if (copy_to_ >= 0)
        copy_out();
    if (!temp_path_.empty()) {
        // The replaced file's owner, where we may give it (as root); its mode.
        if (owner_ != kNoOwner && ::fchown(fd_, owner_, group_) != 0 && errno != EPERM)
            failed(errno_text());
        if (::fchmod(fd_, static_cast<mode_t>(mode_)) != 0)
            failed(errno_text());
        if (::close(fd_) != 0) {
            fd_ = -1;
            failed(errno_text());
        }
        fd_ = -1;
        if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0)
            failed(errno_text());
        temp_path_.clear();
    }
}

}  // namespace aacdec
