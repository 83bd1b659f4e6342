#include "file/input.h"

#include <algorithm>
#include <cstring>

#include "file/byte_source.h"
#include "file/mp4_reader.h"

namespace lumdec::file {

namespace {

// Reads a random-access source front to back.
class SourceStream : public ByteStream {
public:
    explicit SourceStream(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
    size_t read(void *out, size_t n) override
    {
        n = static_cast<size_t>(std::min<uint64_t>(n, source_->size() - pos_));
        if (n > 0 && !source_->read_at(pos_, out, n))
            return 0;
        pos_ += n;
        return n;
    }
    uint64_t length() const override { return source_->size(); }

private:
    std::unique_ptr<ByteSource> source_;
    uint64_t pos_ = 0;
};

// Bytes already read from a stream, then the rest of it.
class PrefixedStream : public ByteStream {
public:
    PrefixedStream(std::vector<uint8_t> prefix, std::unique_ptr<ByteStream> rest)
        : prefix_(std::move(prefix)), rest_(std::move(rest))
    {
    }
    size_t read(void *out, size_t n) override
    {
        if (pos_ < prefix_.size()) {
            n = std::min(n, prefix_.size() - pos_);
            std::memcpy(out, prefix_.data() + pos_, n);
            pos_ += n;
            return n;
        }
        return rest_->read(out, n);
    }

private:
    std::vector<uint8_t> prefix_;
    size_t pos_ = 0;
    std::unique_ptr<ByteStream> rest_;
};

// A memory source that owns its bytes.
class OwnedMemorySource : public ByteSource {
public:
    explicit OwnedMemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), view_(bytes_) {}
    uint64_t size() const override { return view_.size(); }
    bool read_at(uint64_t offset, void *out, size_t n) override { return view_.read_at(offset, out, n); }

private:
    std::vector<uint8_t> bytes_;
    MemorySource view_;
};

void refuse_other_formats(std::span<const uint8_t> head)
{
    if (head.size() >= 4 && std::memcmp(head.data(), "ADIF", 4) == 0)
        fail(Failure::unsupported, "ADIF streams are not supported");
}

// ADTS carries one stream.
void refuse_track(int track)
{
    if (track > 1)
        fail(Failure::no_track, "an ADTS stream holds one track; there is no track " +
                                    std::to_string(track));
}

}  // namespace

OpenedInput open_source(std::unique_ptr<ByteSource> source, int track)
{
    uint8_t head[12] = {};
    size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof head, source->size()));
    source->read_at(0, head, n);
    refuse_other_formats({head, n});
    if (looks_like_mp4({head, n}))
        return open_mp4(std::move(source), track);
    refuse_track(track);
    return open_adts(std::make_unique<SourceStream>(std::move(source)));
}

OpenedInput open_stream(std::unique_ptr<ByteStream> in, const std::string &name, int track)
{
    std::vector<uint8_t> head(12);
    size_t got = 0;
    while (got < head.size()) {
        size_t n = in->read(head.data() + got, head.size() - got);
        if (n == 0)
            break;
        got += n;
    }
    head.resize(got);
    refuse_other_formats(head);
    if (looks_like_mp4(head)) {
        // An MP4 file is read at random: the stream is copied to a
        // temporary file first.
        PrefixedStream whole(head, std::move(in));
        return open_mp4(spool(whole, name), track);
    }
    refuse_track(track);
    return open_adts(std::make_unique<PrefixedStream>(std::move(head), std::move(in)));
}

OpenedInput open_input(const std::string &path, int track)
{
    return open_source(std::make_unique<FileSource>(path), track);
}

OpenedInput open_input_memory(std::vector<uint8_t> bytes, int track)
{
    return open_source(std::make_unique<OwnedMemorySource>(std::move(bytes)), track);
}

}  // namespace lumdec::file
