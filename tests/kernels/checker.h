// Shared pieces of the kernel checker, which runs each slot of the generic
// and the SSE2 table on the same inputs and requires identical output
// bytes: guarded aligned buffers, seeded inputs (the seed is printed; set
// KERNEL_CHECK_SEED to repeat a run) and a comparison that names the first
// difference.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace checker {

uint32_t seed();

// One generator per test, seeded from seed() and the test's name, so a test
// sees the same inputs whether it runs alone or with the others.
std::mt19937 &rng();

// n elements on a 16-byte boundary between 64 guard bytes of a known pattern.
template <class T>
class Buffer {
public:
    explicit Buffer(size_t n) : n_(n), storage_(n * sizeof(T) + 2 * kGuard + 16)
    {
        const uintptr_t base = reinterpret_cast<uintptr_t>(storage_.data()) + kGuard;
        data_ = reinterpret_cast<T *>((base + 15) & ~uintptr_t{15});
        std::memset(storage_.data(), kPattern, storage_.size());
    }
    T *data() { return data_; }
    const T *data() const { return data_; }
    size_t size() const { return n_; }
    size_t bytes() const { return n_ * sizeof(T); }
    T &operator[](size_t i) { return data_[i]; }

    // True when nothing was written outside [data, data + n).
    bool guards_intact() const
    {
        const auto *bytes = reinterpret_cast<const unsigned char *>(data_);
        for (size_t i = 0; i < kGuard; i++)
            if (bytes[-1 - static_cast<std::ptrdiff_t>(i)] != kPattern || bytes[n_ * sizeof(T) + i] != kPattern)
                return false;
        return true;
    }

    // Fills the elements with a byte, so that an element a kernel should
    // write and skips shows; two outputs poisoned differently catch an
    // element both versions skip.
    void poison(unsigned char pattern = kPattern) { std::memset(data_, pattern, bytes()); }

private:
    static constexpr size_t kGuard = 64;
    static constexpr unsigned char kPattern = 0xA5;
    size_t n_;
    std::vector<unsigned char> storage_;
    T *data_;
};

// Uniform floats in [-scale, scale).
void fill_random(float *x, size_t n, float scale);

// Where float kernels go wrong: signed zeros, subnormals, the extremes of
// the range, exact halves (rounding ties), and values around `limit` (a
// clipping bound; 0 for none).
void fill_edge(float *x, size_t n, float limit);

// x exactly: its decimal form and its bit pattern.
std::string describe(float x);

// Compare n elements of elem_size bytes (shown in hex) or n floats; a
// failure names the slot, the case, the first differing element and both
// values.
::testing::AssertionResult same_bytes(const std::string &slot, const std::string &what, const void *generic,
                                      const void *sse2, size_t n, size_t elem_size);
::testing::AssertionResult same_floats(const std::string &slot, const std::string &what, const float *generic,
                                       const float *sse2, size_t n);

}  // namespace checker
