// Shared pieces of the kernel checker: guarded aligned buffers, seeded
// inputs and a bit-exact comparison that names the first difference.
//
// Every family's check file runs each slot of the generic and the SSE2 table
// on the same inputs and requires identical output bytes.  Inputs come from
// one seeded generator; the seed is printed and can be set with
// KERNEL_CHECK_SEED to rerun a failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace checker {

uint32_t seed();

// One generator per test, seeded from seed() and the test's name, so a test
// sees the same inputs whether it runs alone or with the others.
std::mt19937 &rng();

// A buffer of n elements whose start lies `offset` bytes past a 16-byte
// boundary, with 64 guard bytes of a known pattern on each side.
template <class T>
class Buffer {
public:
    explicit Buffer(size_t n, size_t offset = 0)
        : n_(n), offset_(offset), storage_(n * sizeof(T) + 2 * kGuard + 16 + offset)
    {
        uintptr_t base = reinterpret_cast<uintptr_t>(storage_.data()) + kGuard;
        base = (base + 15) & ~uintptr_t{15};
        data_ = reinterpret_cast<T *>(base + offset);
        std::memset(storage_.data(), kPattern, storage_.size());
    }
    T *data() { return data_; }
    const T *data() const { return data_; }
    size_t size() const { return n_; }
    size_t bytes() const { return n_ * sizeof(T); }
    T &operator[](size_t i) { return data_[i]; }
    const T &operator[](size_t i) const { return data_[i]; }

    // True when nothing was written outside [data, data + n).
    bool guards_intact() const
    {
        const auto *bytes = reinterpret_cast<const unsigned char *>(data_);
        for (size_t i = 1; i <= kGuard; i++)
            if (bytes[-static_cast<std::ptrdiff_t>(i)] != kPattern)
                return false;
        for (size_t i = 0; i < kGuard; i++)
            if (bytes[n_ * sizeof(T) + i] != kPattern)
                return false;
        return true;
    }

    // Fills the elements themselves with the guard pattern, or another
    // byte, so that a kernel that skips an element it should write is caught
    // too.  Poisoning the two outputs of a comparison with different bytes
    // catches an element that both versions skip.
    void poison(unsigned char pattern = kPattern) { std::memset(data_, pattern, n_ * sizeof(T)); }

private:
    static constexpr size_t kGuard = 64;
    static constexpr unsigned char kPattern = 0xA5;
    size_t n_, offset_;
    std::vector<unsigned char> storage_;
    T *data_;
};

// Uniform floats in [-scale, scale).
void fill_random(float *x, size_t n, float scale);

// A mix of the values where float kernels go wrong: signed zeros,
// subnormals, the extremes of the range, exact halves (rounding ties), and
// values just inside and beyond `limit` (a clipping bound; 0 for none).
void fill_edge(float *x, size_t n, float limit);

// Describes value x exactly: its decimal form and its bit pattern.
std::string describe(float x);

// Compares two ranges holding n elements of elem_size bytes (shown in hex)
// or n floats (shown as numbers and bit patterns).  On a difference the
// result names the slot, the case, the first differing element and both
// values.
::testing::AssertionResult same_bytes(const std::string &slot, const std::string &what,
                                      const void *generic, const void *sse2, size_t n,
                                      size_t elem_size);
::testing::AssertionResult same_floats(const std::string &slot, const std::string &what,
                                       const float *generic, const float *sse2, size_t n);

}  // namespace checker
