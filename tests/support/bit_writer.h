// The tests' MSB-first bit writer, and exact-size heap copies of what it
// wrote, so that AddressSanitizer sees any read past the end.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

class BitWriter {
public:
    BitWriter &put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; i--)  // wider than 32 bits: zeros in front
            bit(i < 32 && ((value >> i) & 1));
        return *this;
    }
    // The '0' and '1' of text; spaces and anything else are for the reader.
    BitWriter &put(const char *text)
    {
        for (; *text; text++)
            if (*text == '0' || *text == '1')
                bit(*text == '1');
        return *this;
    }
    void bit(bool b)
    {
        if (count_ % 8 == 0)
            bytes_.push_back(0);
        if (b)
            bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
        count_++;
    }
    // Zero bits up to the next byte boundary.
    void align() { count_ = bytes_.size() * 8; }
    int32_t bit_count() const { return static_cast<int32_t>(count_); }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t count_ = 0;
};

// The first size bytes in a heap block of exactly that size.
inline std::unique_ptr<uint8_t[]> exact_copy(const std::vector<uint8_t> &bytes, size_t size)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    std::copy_n(bytes.begin(), std::min(size, bytes.size()), copy.get());
    return copy;
}
