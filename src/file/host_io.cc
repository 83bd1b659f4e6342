#include "file/host_io.h"

#include <limits>
#include <memory>

#include "file/byte_source.h"
#include "file/file_error.h"

namespace lumdec::file {

namespace {

size_t read_some(const aac_file_io &io, void *out, size_t n)
{
    int32_t ask = static_cast<int32_t>(std::min<size_t>(n, std::numeric_limits<int32_t>::max()));
    int64_t got = io.read(io.opaque, out, ask);
    if (got < 0 || got > ask)
        fail(Failure::io, "the read hook failed");
    return static_cast<size_t>(got);
}

class HostSource : public ByteSource {
public:
    HostSource(const aac_file_io &io, uint64_t size) : io_(io), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read_at(uint64_t offset, void *out, size_t n) override
    {
        if (offset > size_ || n > size_ - offset)
            return false;
        if (offset != position_ && io_.seek(io_.opaque, static_cast<int64_t>(offset)) < 0)
            fail(Failure::io, "the seek hook failed");
        position_ = offset;
        auto *p = static_cast<uint8_t *>(out);
        while (n > 0) {
            size_t got = read_some(io_, p, n);
            if (got == 0)
                return false;
            p += got;
            n -= got;
            position_ += got;
        }
        return true;
    }

private:
    aac_file_io io_;
    uint64_t size_;
    uint64_t position_ = std::numeric_limits<uint64_t>::max();
};

class HostStream : public ByteStream {
public:
    explicit HostStream(const aac_file_io &io) : io_(io) {}
    size_t read(void *out, size_t n) override { return read_some(io_, out, n); }

private:
    aac_file_io io_;
};

}  // namespace

OpenedInput open_host(const aac_file_io &io, int track)
{
    if (io.seek && io.size) {
        int64_t size = io.size(io.opaque);
        if (size >= 0) {
            if (io.seek(io.opaque, 0) < 0)
                fail(Failure::io, "the seek hook failed");
            return open_source(std::make_unique<HostSource>(io, static_cast<uint64_t>(size)), track);
        }
    }
    return open_stream(std::make_unique<HostStream>(io), "the host's stream", track);
}

}  // namespace lumdec::file
