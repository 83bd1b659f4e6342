#include "checker.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace checker {

uint32_t seed()
{
    static const uint32_t value = [] {
        const char *env = std::getenv("KERNEL_CHECK_SEED");
        const uint32_t s = env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 0)) : 0x4C554D44u;
        std::printf("kernel checker seed: 0x%08" PRIX32 " (set KERNEL_CHECK_SEED to repeat)\n", s);
        return s;
    }();
    return value;
}

std::mt19937 &rng()
{
    static std::mt19937 generator;
    static std::string owner;
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
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
    using lim = std::numeric_limits<float>;
    const float special[] = {
        0.0f, -0.0f, 0.5f, -0.5f, 1.5f, -1.5f, 2.5f, -2.5f, 3.5f, -3.5f, lim::denorm_min(), -lim::denorm_min(),
        lim::min(), -lim::min(), 1e-40f, -1e-40f, lim::max(), -lim::max(), 1e30f, -1e30f, 16777216.0f,
        16777217.0f, 8388607.5f, -8388608.5f, 32767.5f, -32768.5f, 32766.5f, -32767.5f, 1.0f, -1.0f,
    };
    std::uniform_int_distribution<size_t> pick(0, std::size(special) - 1);
    std::uniform_int_distribution<int> kind(0, 3), step(-3, 3);
    for (size_t i = 0; i < n; i++) {
        if (limit <= 0 || kind(rng()) <= 1) {
            x[i] = special[pick(rng())];
        } else {  // around a clipping bound, in whole and half steps
            const float bound = (kind(rng()) & 1) ? limit : -limit - 1.0f;
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

::testing::AssertionResult compare(const std::string &slot, const std::string &what, const void *generic,
                                   const void *sse2, size_t n, size_t elem_size, bool as_float)
{
    const auto *a = static_cast<const unsigned char *>(generic), *b = static_cast<const unsigned char *>(sse2);
    for (size_t i = 0; i < n; i++) {
        if (std::memcmp(a + i * elem_size, b + i * elem_size, elem_size) == 0)
            continue;
        auto show = [&](const unsigned char *p) {
            float f;
            if (as_float)
                return describe((std::memcpy(&f, p, sizeof f), f));
            std::string hex = "0x";
            char digits[3];
            for (size_t k = elem_size; k-- > 0;)
                hex += (std::snprintf(digits, sizeof digits, "%02X", p[k]), digits);
            return hex;
        };
        char seed_text[32];
        std::snprintf(seed_text, sizeof seed_text, " (seed 0x%08" PRIX32 ")", seed());
        return ::testing::AssertionFailure() << slot << " [" << what << "]: element " << i << " of " << n
                                             << " differs: generic " << show(a + i * elem_size) << ", sse2 "
                                             << show(b + i * elem_size) << seed_text;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

::testing::AssertionResult same_bytes(const std::string &slot, const std::string &what, const void *generic,
                                      const void *sse2, size_t n, size_t elem_size)
{
    return compare(slot, what, generic, sse2, n, elem_size, false);
}

::testing::AssertionResult same_floats(const std::string &slot, const std::string &what, const float *generic,
                                       const float *sse2, size_t n)
{
    return compare(slot, what, generic, sse2, n, sizeof(float), true);
}

}  // namespace checker
