#include "checker.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>

namespace checker {

uint32_t seed()
{
    static const uint32_t value = [] {
        const char *env = std::getenv("KERNEL_CHECK_SEED");
        uint32_t s = env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 0)) : 0x4C554D44u;
        std::printf("kernel checker seed: 0x%08" PRIX32 " (set KERNEL_CHECK_SEED to repeat)\n",
                    s);
        return s;
    }();
    return value;
}

std::mt19937 &rng()
{
    static std::mt19937 generator;
    static std::string owner;
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
    if (name != owner) {
        owner = name;
        std::seed_seq seq{seed(), static_cast<uint32_t>(std::hash<std::string>{}(name))};
        generator.seed(seq);
    }
    return generator;
}

void fill_random(float *x, size_t n, float scale)
{
    std::uniform_real_distribution<float> dist(-scale, scale);
    for (size_t i = 0; i < n; i++)
        x[i] = dist(rng());
}

void fill_edge(float *x, size_t n, float limit)
{
    const float special[] = {
        0.0f, -0.0f, 0.5f, -0.5f, 1.5f, -1.5f, 2.5f, -2.5f, 3.5f, -3.5f,
        std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<float>::min(), -std::numeric_limits<float>::min(),
        1e-40f, -1e-40f,
        std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
        1e30f, -1e30f, 16777216.0f, 16777217.0f, 8388607.5f, -8388608.5f,
        32767.5f, -32768.5f, 32766.5f, -32767.5f, 1.0f, -1.0f,
    };
    std::uniform_int_distribution<size_t> pick(0, std::size(special) - 1);
    std::uniform_int_distribution<int> kind(0, 3);
    std::uniform_int_distribution<int> step(-3, 3);
    for (size_t i = 0; i < n; i++) {
        int k = limit > 0 ? kind(rng()) : 0;
        if (k <= 1) {
            x[i] = special[pick(rng())];
        } else {
            // Around a clipping bound, in whole and half steps.
            float bound = (kind(rng()) & 1) ? limit : -limit - 1.0f;
            x[i] = bound + 0.5f * static_cast<float>(step(rng()));
        }
    }
}

std::string describe(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    char text[64];
    std::snprintf(text, sizeof text, "%.9g (0x%08" PRIX32 ")", static_cast<double>(x), bits);
    return text;
}

namespace {

::testing::AssertionResult compare(const std::string &slot, const std::string &what,
                                   const void *generic, const void *sse2, size_t n,
                                   size_t elem_size, bool as_float)
{
    const auto *a = static_cast<const unsigned char *>(generic);
    const auto *b = static_cast<const unsigned char *>(sse2);
    for (size_t i = 0; i < n; i++) {
        if (std::memcmp(a + i * elem_size, b + i * elem_size, elem_size) == 0)
            continue;
        std::ostringstream out;
        out << slot << " [" << what << "]: element " << i << " of " << n << " differs: generic ";
        auto show = [&](const unsigned char *p) {
            if (as_float) {
                float f;
                std::memcpy(&f, p, sizeof f);
                out << describe(f);
            } else {
                out << "0x";
                char hex[3];
                for (size_t k = elem_size; k-- > 0;) {
                    std::snprintf(hex, sizeof hex, "%02X", p[k]);
                    out << hex;
                }
            }
        };
        show(a + i * elem_size);
        out << ", sse2 ";
        show(b + i * elem_size);
        // AssertionResult streams each piece on its own, so std::hex would be lost.
        char seed_text[32];
        std::snprintf(seed_text, sizeof seed_text, " (seed 0x%08" PRIX32 ")", seed());
        return ::testing::AssertionFailure() << out.str() << seed_text;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

::testing::AssertionResult same_bytes(const std::string &slot, const std::string &what,
                                      const void *generic, const void *sse2, size_t n,
                                      size_t elem_size)
{
    return compare(slot, what, generic, sse2, n, elem_size, false);
}

::testing::AssertionResult same_floats(const std::string &slot, const std::string &what,
                                       const float *generic, const float *sse2, size_t n)
{
    return compare(slot, what, generic, sse2, n, sizeof(float), true);
}

}  // namespace checker
