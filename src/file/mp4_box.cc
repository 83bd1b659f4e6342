#include "file/mp4_box.h"

namespace lumdec::file {

namespace {

// Child boxes per container; more is not a real file.
constexpr size_t kMaxChildren = 1u << 20;

}  // namespace

std::string fourcc_text(uint32_t type)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((type >> shift) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return s;
}

std::string quoted(uint32_t type)
{
    std::string s = "'";
    s += fourcc_text(type);
    s += '\'';
    return s;
}

void damaged(const std::string &what)
{
    fail(Failure::input, "damaged MP4 file: " + what);
}

std::span<const uint8_t> Cursor::take(size_t n)
{
    if (n > left())
        damaged(quoted(box_) + " box ends early");
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
}

uint16_t Cursor::u16()
{
    auto b = take(2);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t Cursor::u24()
{
    auto b = take(3);
    return (uint32_t{b[0]} << 16) | (uint32_t{b[1]} << 8) | b[2];
}

uint32_t Cursor::u32()
{
    auto b = take(4);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

uint64_t Cursor::u64()
{
    uint64_t high = u32();
    return (high << 32) | u32();
}

uint32_t Cursor::count(size_t record_size)
{
    uint32_t n = u32();
    if (record_size > 0 && n > left() / record_size)
        damaged(quoted(box_) + " box claims " + std::to_string(n) +
                " entries but holds room for " + std::to_string(left() / record_size));
    return n;
}

std::vector<Box> child_boxes(std::span<const uint8_t> payload, uint32_t parent)
{
    std::vector<Box> boxes;
    size_t pos = 0;
    while (pos < payload.size()) {
        size_t left = payload.size() - pos;
        if (left < 8)
            damaged(quoted(parent) + " box ends inside a box header");
        Cursor c(payload.subspan(pos), parent);
        uint64_t size = c.u32();
        uint32_t type = c.u32();
        size_t header = 8;
        if (size == 1) {
            size = c.u64();
            header = 16;
        } else if (size == 0) {
            size = left;
        }
        if (size < header || size > left)
            damaged(quoted(type) + " box inside " + quoted(parent) + " has size " + std::to_string(size) + " but " + std::to_string(left) +
                    " bytes are left");
        if (boxes.size() == kMaxChildren)
            damaged("too many boxes inside " + quoted(parent));
        boxes.push_back({type, payload.subspan(pos + header, static_cast<size_t>(size) - header)});
        pos += static_cast<size_t>(size);
    }
    return boxes;
}

const Box *find_box(const std::vector<Box> &boxes, uint32_t type)
{
    for (const Box &b : boxes)
        if (b.type == type)
            return &b;
    return nullptr;
}

const Box &require_box(const std::vector<Box> &boxes, uint32_t type, uint32_t parent)
{
    const Box *b = find_box(boxes, type);
    if (!b)
        damaged("no " + quoted(type) + " box in " + quoted(parent));
    return *b;
}

}  // namespace lumdec::file
