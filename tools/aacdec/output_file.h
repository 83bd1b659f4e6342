// Where an output file goes, and the buffered writes that fill it.
//
// A regular file, a new one, or the file a symbolic link leads to is built
// under a temporary name beside it and renamed over it when complete, with
// the mode of the file it replaces: a failed decoding leaves the old file
// (or nothing) behind.  Devices and pipes are written directly, as any Unix
// tool writes them; so is standard output.  Where the format must seek back
// (a WAV header holds the length) and the target cannot seek, the file is
// built in an unlinked temporary file under $TMPDIR and copied out at the
// end.  Writes reach the system in pieces of at least 64 KB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace aacdec {

class OutputFile {
public:
    // path "-" is standard output.  ToolError (output) when it cannot be
    // opened: a directory, a read-only file, a missing directory.
    OutputFile(const std::string &path, bool needs_seek);
    ~OutputFile();  // without commit(): removes what commit() would have named
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    const std::string &shown() const { return shown_; }  // the name in messages

    void write(const void *data, size_t n);
    size_t read(void *out, size_t n);
    int64_t seek(int64_t offset, int whence);
    int64_t tell() const { return position_ + static_cast<int64_t>(buffer_.size()); }
    int64_t length();

    // Writes what is buffered, copies a spooled file out or renames the
    // temporary file over the target.
    void commit();

    static constexpr size_t kWriteSize = 256 * 1024;

private:
    [[noreturn]] void failed(const std::string &why) const;
    void open_target(const std::string &path, bool needs_seek);
    void open_spool();
    void flush();
    void copy_out();

    std::string shown_;
    std::string final_path_, temp_path_;  // rename temp_path_ to final_path_ at commit
    int fd_ = -1;
    bool own_fd_ = true;
    int copy_to_ = -1;  // spooled: the descriptor the file is copied to at commit
    bool own_copy_to_ = false;
    unsigned mode_ = 0;  // of the new file
    static constexpr unsigned kNoOwner = ~0u;
    unsigned owner_ = kNoOwner, group_ = kNoOwner;  // of the file it replaces
    int64_t position_ = 0;  // file offset of buffer_[0]
    std::vector<uint8_t> buffer_;
};

// Reads the process umask once, before threads start creating files.
void remember_umask();

}  // namespace aacdec
