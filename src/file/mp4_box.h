// Reading ISO base media boxes held in memory: a bounds-checked big-endian
// cursor and the split of a container's payload into its child boxes.
// Every overrun is a FileError (input) naming the box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file/file_error.h"

namespace lumdec::file {

constexpr uint32_t fourcc(const char (&s)[5])
{
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// 'abcd' as text, with unprintable bytes shown as '?'.
std::string fourcc_text(uint32_t type);
// The same in single quotes, as messages name boxes.
std::string quoted(uint32_t type);

[[noreturn]] void damaged(const std::string &what);

class Cursor {
public:
    Cursor(std::span<const uint8_t> data, uint32_t box) : data_(data), box_(box) {}

    uint8_t u8() { return take(1)[0]; }
    uint16_t u16();
    uint32_t u24();
    uint32_t u32();
    uint64_t u64();
    void skip(size_t n) { take(n); }
    std::span<const uint8_t> bytes(size_t n) { return take(n); }
    std::span<const uint8_t> rest() { return take(left()); }
    size_t left() const { return data_.size() - pos_; }
    // A count of records of record_size bytes that must all be present.
    uint32_t count(size_t record_size);

private:
    std::span<const uint8_t> take(size_t n);

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    uint32_t box_;
};

struct Box {
    uint32_t type;
    std::span<const uint8_t> payload;
};

// The boxes that make up a container's payload, in order.  A size of 0
// runs to the end of the container; a size past it is damage.
std::vector<Box> child_boxes(std::span<const uint8_t> payload, uint32_t parent);
// The first child of that type, or null.
const Box *find_box(const std::vector<Box> &boxes, uint32_t type);
// The first child of that type; damage when there is none.
const Box &require_box(const std::vector<Box> &boxes, uint32_t type, uint32_t parent);

}  // namespace lumdec::file
