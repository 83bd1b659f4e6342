// Reading a fuzz input: values taken from the front of the bytes, zero once
// they run out, and a small generator for decisions that should not cost
// input bytes per use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return size_ ? (size_--, *data_++) : 0; }

    uint32_t u16()
    {
        uint32_t low = byte();
        return low | uint32_t{byte()} << 8;
    }

    uint32_t u32()
    {
        uint32_t low = u16();
        return low | u16() << 16;
    }

    // Up to n bytes from the front; `taken` says how many there were.
    const uint8_t *take(size_t n, size_t *taken)
    {
        const uint8_t *start = data_;
        *taken = n < size_ ? n : size_;
        data_ += *taken;
        size_ -= *taken;
        return start;
    }

    size_t remaining() const { return size_; }

private:
    const uint8_t *data_;
    size_t size_;
};

// splitmix32-style generator: cheap, and every seed gives a usable stream.
class FuzzRandom {
public:
    explicit FuzzRandom(uint32_t seed) : state_(seed) {}

    uint32_t next()
    {
        uint32_t z = (state_ += 0x9E3779B9u);
        z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
        z = (z ^ (z >> 13)) * 0xC2B2AE35u;
        return z ^ (z >> 16);
    }

    // True with probability n / 8.
    bool eighths(uint32_t n) { return (next() & 7) < n; }

private:
    uint32_t state_;
};

// An invariant broke: report it and crash, so the fuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, \
                         #cond);                                                      \
            std::abort();                                                             \
        }                                                                             \
    } while (0)
