// The nine sample exports on known values and double-precision references
// written here, through the generic and the SSE2 tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include "kernels/kernel_tables.h"

using namespace lumdec;

namespace {

constexpr size_t FRAME = 1024;
constexpr float INF = std::numeric_limits<float>::infinity();

// 16-byte aligned storage on the heap.
template <class T, size_t N>
struct alignas(16) Block {
    T v[N];
};
template <class T, size_t N>
auto make_block() { return std::make_unique<Block<T, N>>(); }

// Clamp (a NaN takes the low bound), round half to even in double, and
// place as the format does (24-bit samples in the top of 32).
int64_t expected_raw(float x, int format)
{
    const double lo = format == AAC_RAW_S16 ? -32768.0 : -8388608.0, hi = -lo - 1;
    const double v = std::isnan(x) ? lo : std::nearbyint(std::clamp(static_cast<double>(x), lo, hi));
    return static_cast<int64_t>(v) * (format == AAC_RAW_S16 ? 1 : 256);
}

// Raw sample n of an integer format, as a signed value.
int64_t raw_at(const unsigned char *raw, int format, size_t n)
{
    int16_t v16;
    int32_t v32;
    return format == AAC_RAW_S16 ? (std::memcpy(&v16, raw + 2 * n, 2), v16) : (std::memcpy(&v32, raw + 4 * n, 4), v32);
}

class SampleServices : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { aac_force_kernel_tables(GetParam()); }
    void TearDown() override { aac_force_kernel_tables(true); }
    std::mt19937 gen{20240611};
};

INSTANTIATE_TEST_SUITE_P(Tables, SampleServices, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "sse2" : "generic"; });

TEST_P(SampleServices, ConversionsClampRoundHalfToEvenAndInterleaveLeftFirst)
{
    const float known[] = {40000.0f, -40000.0f, 32767.4f, 0.5f, 1.5f, 2.5f, -2.5f, -0.5f, 32766.5f,
                           -32767.5f, 8388606.5f, -8388607.5f, 8388610.0f, -9e6f, INF, -INF,
                           std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min()};
    auto pcm = make_block<float, 2 * FRAME>();
    auto raw = make_block<unsigned char, 8 * FRAME>();
    std::uniform_real_distribution<float> wide(-9.0e6f, 9.0e6f), narrow(-40000.0f, 40000.0f);
    for (size_t i = 0; i < 2 * FRAME; i++)
        pcm->v[i] = i < std::size(known) ? known[i] : (i & 1) ? wide(gen) : narrow(gen);
    EXPECT_EQ(expected_raw(2.5f, AAC_RAW_S16), 2);  // the reference itself, on ties and bounds
    EXPECT_EQ(expected_raw(-9e6f, AAC_RAW_S24_IN_32), INT32_MIN);
    for (int f : {AAC_RAW_S16, AAC_RAW_S24_IN_32}) {
        aac_convert_single_to_raw(pcm->v, raw->v, f);
        for (size_t i = 0; i < FRAME; i++)
            ASSERT_EQ(raw_at(raw->v, f, i), expected_raw(pcm->v[i], f)) << "single, format " << f << ", " << i;
        aac_convert_pair_to_raw(pcm->v, raw->v, f);
        for (size_t i = 0; i < 2 * FRAME; i++)
            ASSERT_EQ(raw_at(raw->v, f, i), expected_raw(pcm->v[i % 2 * FRAME + i / 2], f)) << "pair " << f << ", " << i;
    }
    // Floats keep every bit, NaN payloads included.
    for (size_t i = 0; i < 2 * FRAME; i++)
        pcm->v[i] = std::bit_cast<float>(static_cast<uint32_t>(gen()));
    aac_convert_pair_to_raw(pcm->v, raw->v, AAC_RAW_FLOAT);
    for (size_t i = 0; i < 2 * FRAME; i++)
        ASSERT_EQ(std::memcmp(raw->v + 4 * i, &pcm->v[i % 2 * FRAME + i / 2], 4), 0) << i;
    auto back = make_block<float, 2 * FRAME>();
    aac_convert_pair_from_raw(back->v, raw->v, AAC_RAW_FLOAT);
    EXPECT_EQ(std::memcmp(back->v, pcm->v, 8 * FRAME), 0);
    aac_convert_single_to_raw(pcm->v, raw->v, AAC_RAW_FLOAT);
    aac_convert_single_from_raw(back->v, raw->v, AAC_RAW_FLOAT);
    EXPECT_EQ(std::memcmp(back->v, pcm->v, 4 * FRAME), 0);
}

// Each word is read whole (24-bit samples keep their low byte) and rounded
// to float once, from any alignment.
TEST_P(SampleServices, IntegersReadBackWholeWordsAtAnyAlignment)
{
    const int32_t known[] = {INT32_MIN, INT32_MAX, -32768, 32767, -1, 0x100, 16777217, 16777219};
    auto raw = make_block<unsigned char, 8 * FRAME + 16>();
    auto pcm = make_block<float, 2 * FRAME + 4>();
    unsigned char *r = raw->v + 1;
    float *p = pcm->v + 1;
    for (int f : {AAC_RAW_S16, AAC_RAW_S24_IN_32}) {
        std::vector<float> expected(2 * FRAME);
        for (size_t n = 0; n < 2 * FRAME; n++) {
            const int32_t v = n < std::size(known) ? known[n] : static_cast<int32_t>(gen());
            const auto v16 = static_cast<int16_t>(v);
            if (f == AAC_RAW_S16)
                std::memcpy(r + 2 * n, &v16, 2);
            else
                std::memcpy(r + 4 * n, &v, 4);
            expected[n] = f == AAC_RAW_S16 ? v16 : static_cast<float>(static_cast<double>(v));
        }
        aac_convert_single_from_raw(p, r, f);
        EXPECT_TRUE(std::equal(p, p + FRAME, expected.begin())) << "single, format " << f;
        aac_convert_pair_from_raw(p, r, f);
        for (size_t i = 0; i < 2 * FRAME; i++)
            ASSERT_EQ(p[i % 2 * FRAME + i / 2], expected[i]) << "pair, format " << f << ", " << i;
    }
}

// left = (L + Ls) + C, right = (R + Rs) + C, each sum rounded to float.
TEST_P(SampleServices, DownmixAddsTheSameSideFirstAndTheCentreLast)
{
    auto pcm5 = make_block<float, 5 * FRAME>();
    auto pair = make_block<float, 2 * FRAME>();
    auto raw = make_block<unsigned char, 8 * FRAME>();
    std::uniform_real_distribution<float> dist(-20000.0f, 20000.0f);
    for (float &x : pcm5->v)
        x = dist(gen);
    const float planes[][5] = {{0.0f, 30000.0f, 0.0f, 30000.0f, 0.0f},  // 60000: clips in s16
                               {1.0f, 16777216.0f, 1.0f, 1.0f, 16777216.0f},  // the first sum rounds
                               {-0.0f, -0.0f, 1e30f, -0.0f, -1e30f}};  // -0, +0
    for (size_t i = 0; i < 3; i++)
        for (size_t p = 0; p < 5; p++)
            pcm5->v[p * FRAME + i] = planes[i][p];
    std::vector<float> want(2 * FRAME);
    for (size_t n = 0; n < 2 * FRAME; n++) {
        const size_t i = n / 2, side = n % 2;  // planes C L R Ls Rs
        want[n] = (pcm5->v[(1 + side) * FRAME + i] + pcm5->v[(3 + side) * FRAME + i]) + pcm5->v[i];
    }
    aac_downmix_3_2_to_pair(pcm5->v, pair->v);
    for (size_t n = 0; n < 2 * FRAME; n++)
        ASSERT_EQ(std::bit_cast<uint32_t>(pair->v[n % 2 * FRAME + n / 2]), std::bit_cast<uint32_t>(want[n])) << n;
    aac_downmix_3_2_to_pair_raw(pcm5->v, raw->v, AAC_RAW_FLOAT);
    EXPECT_EQ(std::memcmp(raw->v, want.data(), 8 * FRAME), 0);
    for (int f : {AAC_RAW_S16, AAC_RAW_S24_IN_32}) {
        aac_downmix_3_2_to_pair_raw(pcm5->v, raw->v, f);
        for (size_t n = 0; n < 2 * FRAME; n++)
            ASSERT_EQ(raw_at(raw->v, f, n), expected_raw(want[n], f)) << "format " << f << ", " << n;
    }
}

// Each faded sample is rounded once from its exact product with the gain
// (k + 0.5) / 512, even where the result is subnormal or the sample is near
// the top of the float range; channels beyond the count are untouched.
TEST_P(SampleServices, FadesRoundEachSampleOnceAndStayInTheirChannels)
{
    auto pcm = make_block<float, 9 * FRAME>();
    std::vector<float> input(9 * FRAME);
    for (size_t i = 0; i < input.size(); i++) {
        uint32_t w = gen();
        if (i % 2 == 0)
            w &= 0x807FFFFF;  // subnormal
        else if ((w & 0x7F800000) == 0x7F800000)
            w ^= 0x00800000;  // finite
        input[i] = std::bit_cast<float>(w);
    }
    void (*const ops[])(float *, int32_t) = {aac_fade_in_channels, aac_fade_out_channels, aac_mute_channels};
    for (int op = 0; op < 3; op++)
        for (int32_t channels = 1; channels <= 8; channels++) {
            std::copy(input.begin(), input.end(), pcm->v);
            ops[op](pcm->v, channels);
            for (size_t i = 0; i < input.size(); i++) {
                const double k = static_cast<double>(i % FRAME), step = op == 0 ? k - 511.5 : 511.5 - k;
                float want = 0.0f;
                if (i >= static_cast<size_t>(channels) * FRAME)
                    want = input[i];
                else if (op < 2 && step > 0)
                    want = static_cast<float>(input[i] * (step / 512.0));
                ASSERT_EQ(std::bit_cast<uint32_t>(pcm->v[i]), std::bit_cast<uint32_t>(want))
                    << "op " << op << ", " << channels << " channels, sample " << i;
            }
        }
}

TEST_P(SampleServices, OutOfRangeFormatOrChannelCountDoesNothing)
{
    auto pcm = make_block<float, 9 * FRAME>();
    auto raw = make_block<unsigned char, 8 * FRAME>();
    std::fill_n(pcm->v, 9 * FRAME, 3.0f);
    std::fill_n(raw->v, 8 * FRAME, 0x5A);
    for (int32_t bad : {-1, 3, 0, 9, INT32_MIN, INT32_MAX}) {
        if (bad < 0 || bad > 2) {  // a format
            aac_convert_single_to_raw(pcm->v, raw->v, bad);
            aac_convert_single_from_raw(pcm->v, raw->v, bad);
            aac_convert_pair_to_raw(pcm->v, raw->v, bad);
            aac_convert_pair_from_raw(pcm->v, raw->v, bad);
            aac_downmix_3_2_to_pair_raw(pcm->v, raw->v, bad);
        }
        if (bad < 1 || bad > 8) {  // a channel count
            aac_fade_in_channels(pcm->v, bad);
            aac_fade_out_channels(pcm->v, bad);
            aac_mute_channels(pcm->v, bad);
        }
        EXPECT_TRUE(std::all_of(pcm->v, pcm->v + 9 * FRAME, [](float x) { return x == 3.0f; }) &&
                    std::all_of(raw->v, raw->v + 8 * FRAME, [](unsigned char b) { return b == 0x5A; }))
            << bad;
    }
}

}  // namespace
