// Helpers of the file interface tests: a handle that closes itself, whole
// reads, and host hooks over bytes in memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lumdec.h"

class FileHandle {
public:
    explicit FileHandle(const aac_file_config *config = nullptr) { aac_file_create(&f_, config); }
    ~FileHandle() { aac_file_close(f_); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    aac_file *get() const { return f_; }

private:
    aac_file *f_ = nullptr;
};

// Every sample, read 1024 frames at a time; planar reads keep each read's
// planes one after another.  Empty on a failed read.
inline std::vector<float> read_all(aac_file *f, int32_t flags)
{
    aac_file_info info{};
    if (aac_file_get_info(f, &info) != AAC_OK)
        return {};
    const size_t channels = static_cast<size_t>(info.channels);
    std::vector<float> buffer(channels * 1024), all;
    for (int32_t n; (n = aac_file_read(f, buffer.data(), 1024, flags)) != 0;) {
        if (n < 0)
            return {};
        if (flags & AAC_READ_PLANAR) {
            for (size_t c = 0; c < channels; c++)
                all.insert(all.end(), buffer.begin() + 1024 * c, buffer.begin() + 1024 * c + n);
        } else {
            all.insert(all.end(), buffer.begin(), buffer.begin() + channels * n);
        }
    }
    return all;
}

inline std::vector<uint8_t> file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// aac_file_io over bytes, with or without seek and size, handing out odd
// amounts per read.
struct MemoryHooks {
    MemoryHooks(const std::vector<uint8_t> &bytes, bool seekable) : data(bytes)
    {
        io.read = [](void *p, void *out, int32_t size) -> int64_t {
            auto *self = static_cast<MemoryHooks *>(p);
            size_t n = std::min<size_t>({static_cast<size_t>(size), self->data.size() - self->pos, 777});
            std::memcpy(out, self->data.data() + self->pos, n);
            self->pos += n;
            return static_cast<int64_t>(n);
        };
        if (seekable) {
            io.seek = [](void *p, int64_t offset) -> int32_t {
                auto *self = static_cast<MemoryHooks *>(p);
                if (offset < 0 || static_cast<size_t>(offset) > self->data.size())
                    return -1;
                self->pos = static_cast<size_t>(offset);
                return 0;
            };
            io.size = [](void *p) -> int64_t {
                return static_cast<int64_t>(static_cast<MemoryHooks *>(p)->data.size());
            };
        }
        io.opaque = this;
    }
    std::vector<uint8_t> data;
    size_t pos = 0;
    aac_file_io io{};
};
