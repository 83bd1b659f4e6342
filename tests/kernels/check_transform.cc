// Transform kernels: every slot of the generic, the SSE2 and (where the
// build and the processor have it) the AVX2 table on the same inputs must
// give the same output bits and write nothing outside its buffer.
#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "checker.h"
#include "kernels/cpu.h"
#include "kernels/kernel_tables.h"
#include "synthesis/transform.h"

using namespace lumdec;

namespace {

// The tables to hold against the generic one.
std::vector<std::pair<const char *, const aac_transform_kernels *>> wide_tables()
{
    std::vector<std::pair<const char *, const aac_transform_kernels *>> t = {
        {"sse2", &aac_transform_kernels_sse2}};
#if defined(LUMDEC_HAVE_AVX2)
    if (aac_detect_cpu_level() >= AAC_CPU_AVX2)
        t.push_back({"avx2", &aac_transform_kernels_avx2});
#endif
    return t;
}

// Runs one slot of every table on copies of the input made by fill.  Where
// an input overflows, inf - inf makes NaNs whose sign and payload hang on
// which operand the processor met first, so any NaN matches any NaN there;
// every other value must match to the bit.
void check(const aac_transform_slot &s, const std::string &what,
           const std::function<void(float *)> &fill, bool overflows = false)
{
    static const auto tables = wide_tables();
    for (const auto &[name, table] : tables) {
        checker::Buffer<float> generic(s.floats), wide(s.floats);
        fill(generic.data());
        std::copy(generic.data(), generic.data() + s.floats, wide.data());
        (aac_transform_kernels_generic.*s.fn)(generic.data());
        (table->*s.fn)(wide.data());
        EXPECT_TRUE(generic.guards_intact()) << s.name << " generic [" << what << "]";
        EXPECT_TRUE(wide.guards_intact()) << s.name << " " << name << " [" << what << "]";
        if (overflows) {
            for (size_t i = 0; i < s.floats; i++) {
                if (std::isnan(generic[i]) && std::isnan(wide[i]))
                    generic[i] = wide[i] = std::numeric_limits<float>::quiet_NaN();
            }
        }
        EXPECT_TRUE(checker::same_floats(s.name, what + " " + name, generic.data(), wide.data(),
                                         s.floats));
    }
}

TEST(TransformKernels, RandomInputsAtEveryScale)
{
    for (const aac_transform_slot &s : aac_transform_slots) {
        // 1e34 is the largest scale whose sums stay finite at 2048 values;
        // 1e-41 makes every input and most intermediate values subnormal.
        for (float scale : {1.0f, 32768.0f, 1e-20f, 1e34f, 1e-41f}) {
            for (int trial = 0; trial < 3; trial++) {
                check(s, "random, scale " + checker::describe(scale),
                      [&](float *x) { checker::fill_random(x, s.floats, scale); });
            }
        }
    }
}

TEST(TransformKernels, EdgeInputs)
{
    for (const aac_transform_slot &s : aac_transform_slots) {
        for (float zero : {0.0f, -0.0f})
            check(s, "all " + checker::describe(zero), [&](float *x) {
                std::fill(x, x + s.floats, zero);
            });
        check(s, "zeros of random sign", [&](float *x) {
            for (size_t i = 0; i < s.floats; i++)
                x[i] = checker::rng()() & 1 ? -0.0f : 0.0f;
        });
        for (size_t pos : {size_t{0}, size_t{1}, size_t{5}, s.floats / 2, s.floats - 1}) {
            check(s, "impulse at " + std::to_string(pos), [&](float *x) {
                std::fill(x, x + s.floats, 0.0f);
                x[pos] = -1.5f;
            });
        }
        check(s, "largest finite values", [&](float *x) {
            for (size_t i = 0; i < s.floats; i++)
                x[i] = checker::rng()() & 1 ? -std::numeric_limits<float>::max()
                                            : std::numeric_limits<float>::max();
        }, true);
        for (int trial = 0; trial < 4; trial++)
            check(s, "edge values", [&](float *x) { checker::fill_edge(x, s.floats, 0); }, true);
    }
}

// One infinity meets every twiddle on its way through the stages, and a
// product with a zero part turns it into a NaN: both tables must take the
// T = 1 and -j blocks without a product at the same places.
TEST(TransformKernels, OneInfinityAtEveryPosition)
{
    for (const aac_transform_slot &s : aac_transform_slots) {
        for (size_t pos = 0; pos < s.floats; pos++) {
            check(s, "infinity at " + std::to_string(pos), [&](float *x) {
                std::fill(x, x + s.floats, 0.0f);
                x[pos] = std::numeric_limits<float>::infinity();
            }, true);
        }
    }
}

}  // namespace
