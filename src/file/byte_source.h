// Where input bytes come from: random access for MP4 (a file or a buffer in
// memory) and sequential reads for ADTS (a file, standard input or a buffer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace lumdec::file {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly n bytes at offset; false when the range runs past the end.
    virtual bool read_at(uint64_t offset, void *out, size_t n) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
    uint64_t size() const override { return data_.size(); }
    bool read_at(uint64_t offset, void *out, size_t n) override;

private:
    std::span<const uint8_t> data_;
};

class FileSource : public ByteSource {
public:
    // Opens path for reading; FileError (input) when it cannot.
    explicit FileSource(const std::string &path);
    // Takes over an open descriptor of a regular file.
    FileSource(int fd, std::string name);
    ~FileSource() override;
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    uint64_t size() const override { return size_; }
    bool read_at(uint64_t offset, void *out, size_t n) override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    std::string path_;
};

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Up to n bytes; 0 only at the end.  FileError (input) on a read error.
    virtual size_t read(void *out, size_t n) = 0;
    // Total length when known in advance, else 0.
    virtual uint64_t length() const { return 0; }
};

class MemoryStream : public ByteStream {
public:
    explicit MemoryStream(std::span<const uint8_t> data) : data_(data) {}
    size_t read(void *out, size_t n) override;
    uint64_t length() const override { return data_.size(); }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

// Reads a file descriptor from its current position (a file or standard
// input); the descriptor stays open.
class FdStream : public ByteStream {
public:
    FdStream(int fd, std::string name);
    size_t read(void *out, size_t n) override;
    uint64_t length() const override { return length_; }

private:
    int fd_;
    std::string name_;
    uint64_t length_ = 0;
};

// Copies the rest of a stream into an unlinked temporary file under
// $TMPDIR (or /tmp), so that it can be read at random without holding it
// in memory.  FileError (input) when the file cannot be written.
std::unique_ptr<ByteSource> spool(ByteStream &in, const std::string &name);

}  // namespace lumdec::file
