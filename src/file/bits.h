// Most-significant-bit-first bit reading and writing over byte buffers, for
// the configuration records and the frames the file layer builds itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file/file_error.h"

namespace lumdec::file {

class BitReader {
public:
    // what names the record in the error raised when it ends early.
    BitReader(std::span<const uint8_t> data, std::string what)
        : data_(data), what_(std::move(what))
    {
    }

    uint32_t read(int n)
    {
        if (n > static_cast<int>(bits_left()))
            fail(Failure::input, what_ + " ends early");
        uint32_t v = 0;
        for (int i = 0; i < n; i++, pos_++)
            v = (v << 1) | ((data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
        return v;
    }
    void skip(size_t n)
    {
        if (n > bits_left())
            fail(Failure::input, what_ + " ends early");
        pos_ += n;
    }
    void byte_align() { skip((8 - (pos_ & 7)) & 7); }
    size_t position() const { return pos_; }
    size_t bits_left() const { return data_.size() * 8 - pos_; }

private:
    std::span<const uint8_t> data_;
    std::string what_;
    size_t pos_ = 0;
};

class BitWriter {
public:
    void put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; i--, pos_++) {
            if ((pos_ & 7) == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1u)
                bytes_.back() |= static_cast<uint8_t>(0x80u >> (pos_ & 7));
        }
    }
    // Zero bits up to the next byte boundary.
    void byte_align() { pos_ = bytes_.size() * 8; }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

}  // namespace lumdec::file
