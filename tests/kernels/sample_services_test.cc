// The nine sample exports on known values, through the generic and the SSE2
// tables.  Expected values are worked out by hand or by double-precision
// references written here.
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
#include "lumdec.h"

namespace {

constexpr size_t FRAME = 1024;
constexpr float INF = std::numeric_limits<float>::infinity();
const float QNAN = std::numeric_limits<float>::quiet_NaN();

template <class T, size_t N>
struct alignas(16) block {
    T v[N];
    T &operator[](size_t i) { return v[i]; }
};

template <class T, size_t N>
std::unique_ptr<block<T, N>> make_block()
{
    return std::make_unique<block<T, N>>();
}

uint32_t bits_of(float x) { return std::bit_cast<uint32_t>(x); }

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
    if (format == AAC_RAW_S16)
        return std::memcpy(&v16, raw + 2 * n, 2), v16;
    return std::memcpy(&v32, raw + 4 * n, 4), v32;
}

class SampleServices : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { aac_force_kernel_tables(GetParam()); }
    void TearDown() override { aac_force_kernel_tables(true); }
    std::mt19937 gen{20240611};
};

INSTANTIATE_TEST_SUITE_P(Tables, SampleServices, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "sse2" : "generic"; });

TEST_P(SampleServices, IntegerFormatsClampThenRoundHalfToEven)
{
    const struct {
        float x;
        int32_t s16, s24_word;
    } cases[] = {
        {40000.0f, 32767, 40000 * 256}, {-40000.0f, -32768, -40000 * 256}, {32767.4f, 32767, 32767 * 256},
        {0.5f, 0, 0}, {1.5f, 2, 0x200}, {2.5f, 2, 0x200}, {-2.5f, -2, -0x200}, {-0.5f, 0, 0}, {1.0f, 1, 0x100},
        {32766.5f, 32766, 32766 * 256}, {-32767.5f, -32768, -32768 * 256}, {8388610.0f, 32767, 0x7FFFFF00},
        {-9000000.0f, -32768, INT32_MIN}, {8388606.5f, 32767, 0x7FFFFE00}, {-8388607.5f, -32768, INT32_MIN},
        {INF, 32767, 0x7FFFFF00}, {-INF, -32768, INT32_MIN}, {QNAN, -32768, INT32_MIN},
        {std::numeric_limits<float>::denorm_min(), 0, 0},
    };
    constexpr size_t count = std::size(cases);
    auto pcm = make_block<float, 2 * FRAME>();
    std::uniform_real_distribution<float> wide(-9.0e6f, 9.0e6f), narrow(-40000.0f, 40000.0f);
    for (size_t i = 0; i < FRAME; i++)
        (*pcm)[i] = i < count ? cases[i].x : (i & 1) ? wide(gen) : narrow(gen);
    // Pair: the right channel is the left one reversed.
    for (size_t i = 0; i < FRAME; i++)
        (*pcm)[FRAME + i] = (*pcm)[FRAME - 1 - i];

    auto raw = make_block<unsigned char, 8 * FRAME>();
    for (int f : {AAC_RAW_S16, AAC_RAW_S24_IN_32}) {
        auto expect = [&](size_t i) {
            if (i < count)
                return static_cast<int64_t>(f == AAC_RAW_S16 ? cases[i].s16 : cases[i].s24_word);
            return expected_raw((*pcm)[i], f);
        };
        aac_convert_single_to_raw(pcm->v, raw->v, f);
        for (size_t i = 0; i < FRAME; i++)
            ASSERT_EQ(raw_at(raw->v, f, i), expect(i)) << "single, format " << f << ", " << i;
        aac_convert_pair_to_raw(pcm->v, raw->v, f);
        for (size_t i = 0; i < 2 * FRAME; i++)
            ASSERT_EQ(raw_at(raw->v, f, i), expect(i % 2 ? FRAME - 1 - i / 2 : i / 2)) << "pair " << f << ", " << i;
    }
}

// Each word is read whole (24-bit samples keep their low byte) and rounded
// to float once.
TEST_P(SampleServices, IntegersReadBackWholeWordsAtAnyAlignment)
{
    const int32_t known[] = {INT32_MIN, INT32_MAX, -32768, 32767, -1, 0x100, 16777217, 16777219};
    // Raw starts one byte past a 16-byte boundary; pcm is only 4-aligned.
    auto raw = make_block<unsigned char, 8 * FRAME + 16>();
    auto pcm = make_block<float, 2 * FRAME + 4>();
    unsigned char *r = raw->v + 1;
    float *p = pcm->v + 1;
    for (int f : {AAC_RAW_S16, AAC_RAW_S24_IN_32}) {
        std::vector<float> expected(2 * FRAME);
        for (size_t n = 0; n < 2 * FRAME; n++) {
            const int32_t v = n < std::size(known) ? known[n] : static_cast<int32_t>(gen());
            if (f == AAC_RAW_S16) {
                const auto v16 = static_cast<int16_t>(v);
                std::memcpy(r + 2 * n, &v16, 2);
                expected[n] = v16;
            } else {
                std::memcpy(r + 4 * n, &v, 4);
                expected[n] = static_cast<float>(static_cast<double>(v));
            }
        }
        aac_convert_single_from_raw(p, r, f);
        for (size_t i = 0; i < FRAME; i++)
            ASSERT_EQ(p[i], expected[i]) << "single, format " << f << ", " << i;
        aac_convert_pair_from_raw(p, r, f);
        for (size_t i = 0; i < 2 * FRAME; i++)
            ASSERT_EQ(p[i % 2 * FRAME + i / 2], expected[i]) << "pair, format " << f << ", " << i;
    }
}

TEST_P(SampleServices, FloatFormatKeepsEveryBitAndPairsInterleaveLeftFirst)
{
    auto pcm = make_block<float, 2 * FRAME>();
    auto back = make_block<float, 2 * FRAME>();
    auto raw = make_block<uint32_t, 2 * FRAME>();
    // Random words include NaNs of every kind, subnormals and negative zero.
    for (size_t i = 0; i < 2 * FRAME; i++) {
        const uint32_t w = gen();
        std::memcpy(&(*pcm)[i], &w, 4);
    }
    aac_convert_single_to_raw(pcm->v, raw->v, AAC_RAW_FLOAT);
    EXPECT_EQ(std::memcmp(raw->v, pcm->v, FRAME * 4), 0);
    aac_convert_single_from_raw(back->v, raw->v, AAC_RAW_FLOAT);
    EXPECT_EQ(std::memcmp(back->v, pcm->v, FRAME * 4), 0);

    aac_convert_pair_to_raw(pcm->v, raw->v, AAC_RAW_FLOAT);
    for (size_t i = 0; i < 2 * FRAME; i++)
        ASSERT_EQ((*raw)[i], bits_of((*pcm)[i % 2 * FRAME + i / 2])) << i;
    aac_convert_pair_from_raw(back->v, raw->v, AAC_RAW_FLOAT);
    EXPECT_EQ(std::memcmp(back->v, pcm->v, 2 * FRAME * 4), 0);
}

TEST_P(SampleServices, DownmixAddsTheSameSideFirstAndTheCentreLast)
{
    auto pcm5 = make_block<float, 5 * FRAME>();
    auto pair = make_block<float, 2 * FRAME>();
    auto raw = make_block<unsigned char, 8 * FRAME>();
    std::uniform_real_distribution<float> dist(-20000.0f, 20000.0f);
    for (size_t i = 0; i < 5 * FRAME; i++)
        (*pcm5)[i] = dist(gen);
    auto set = [&](size_t i, float c, float l, float r, float ls, float rs) {
        const float v[] = {c, l, r, ls, rs};
        for (size_t p = 0; p < 5; p++)
            (*pcm5)[p * FRAME + i] = v[p];
    };
    set(0, 1000.0f, 2000.0f, -100.0f, 500.0f, 0.0f);         // 3500, 900
    set(1, 0.0f, 30000.0f, 0.0f, 30000.0f, 0.0f);            // 60000: clips in s16
    set(2, 1.0f, 16777216.0f, 1.0f, 1.0f, 16777216.0f);      // the first sum rounds
    set(FRAME - 1, -0.0f, -0.0f, 1e30f, -0.0f, -1e30f);      // -0, +0
    // Interleaved expectation: (front + surround) + centre.
    std::vector<float> want(2 * FRAME);
    for (size_t n = 0; n < 2 * FRAME; n++) {
        const size_t i = n / 2, side = n % 2;  // 0: left (planes 1, 3), 1: right (2, 4)
        want[n] = ((*pcm5)[(1 + side) * FRAME + i] + (*pcm5)[(3 + side) * FRAME + i]) + (*pcm5)[i];
    }

    aac_downmix_3_2_to_pair(pcm5->v, pair->v);
    for (size_t n = 0; n < 2 * FRAME; n++)
        ASSERT_EQ(bits_of((*pair)[(n % 2) * FRAME + n / 2]), bits_of(want[n])) << n;
    aac_downmix_3_2_to_pair_raw(pcm5->v, raw->v, AAC_RAW_FLOAT);
    EXPECT_EQ(std::memcmp(raw->v, want.data(), 8 * FRAME), 0);
    for (int f : {AAC_RAW_S16, AAC_RAW_S24_IN_32}) {
        aac_downmix_3_2_to_pair_raw(pcm5->v, raw->v, f);
        EXPECT_EQ(raw_at(raw->v, f, 2), expected_raw(f == AAC_RAW_S16 ? 32767 : 60000, f));  // clipped in s16
        for (size_t n = 0; n < 2 * FRAME; n++)
            ASSERT_EQ(raw_at(raw->v, f, n), expected_raw(want[n], f))
                << "format " << f << ", " << n;
    }
}

// Each faded sample is rounded once from its exact product with the gain
// (k + 0.5) / 512, even where the result is subnormal or the sample is near
// the top of the float range.
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
        std::memcpy(&input[i], &w, 4);
    }
    void (*const ops[])(float *, int32_t) = {aac_fade_in_channels, aac_fade_out_channels,
                                             aac_mute_channels};
    for (int op = 0; op < 3; op++) {
        for (int32_t channels = 1; channels <= 8; channels++) {
            std::copy(input.begin(), input.end(), pcm->v);
            ops[op](pcm->v, channels);
            for (size_t i = 0; i < input.size(); i++) {
                const size_t k = i % FRAME;
                const double d = static_cast<double>(k) - 511.5, step = op == 0 ? d : -d;
                float want = 0.0f;
                if (i >= static_cast<size_t>(channels) * FRAME)
                    want = input[i];
                else if (op == 0 ? k >= 512 : op == 1 && k < 512)
                    want = static_cast<float>(input[i] * (step / 512.0));
                ASSERT_EQ(bits_of((*pcm)[i]), bits_of(want))
                    << "op " << op << ", " << channels << " channels, sample " << i;
            }
        }
    }
}

TEST_P(SampleServices, OutOfRangeFormatOrChannelCountDoesNothing)
{
    auto pcm = make_block<float, 9 * FRAME>();
    auto raw = make_block<unsigned char, 8 * FRAME>();
    std::fill_n(pcm->v, 9 * FRAME, 3.0f);
    std::fill_n(raw->v, 8 * FRAME, 0x5A);
    auto untouched = [&] {
        return std::all_of(pcm->v, pcm->v + 9 * FRAME, [](float x) { return x == 3.0f; }) &&
               std::all_of(raw->v, raw->v + 8 * FRAME, [](unsigned char b) { return b == 0x5A; });
    };
    for (int32_t format : {-1, 3, INT32_MIN, INT32_MAX}) {
        aac_convert_single_to_raw(pcm->v, raw->v, format);
        aac_convert_single_from_raw(pcm->v, raw->v, format);
        aac_convert_pair_to_raw(pcm->v, raw->v, format);
        aac_convert_pair_from_raw(pcm->v, raw->v, format);
        aac_downmix_3_2_to_pair_raw(pcm->v, raw->v, format);
        EXPECT_TRUE(untouched()) << "format " << format;
    }
    for (int32_t channels : {0, 9, -1, INT32_MIN, INT32_MAX}) {
        aac_fade_in_channels(pcm->v, channels);
        aac_fade_out_channels(pcm->v, channels);
        aac_mute_channels(pcm->v, channels);
        EXPECT_TRUE(untouched()) << "channels " << channels;
    }
}

}  // namespace
