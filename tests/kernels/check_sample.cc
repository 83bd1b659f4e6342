// Sample kernels: every slot of the generic table against the SSE2 table,
// byte for byte, on random, edge and non-finite inputs.
#include <cmath>
#include <functional>
#include <limits>

#include "checker.h"
#include "kernels/kernel_tables.h"

namespace {

constexpr size_t FRAME = 1024;
const aac_sample_kernels &generic = aac_sample_kernels_generic;
const aac_sample_kernels &sse2 = aac_sample_kernels_sse2;

const char *const format_name[3] = {"s16", "s24in32", "float"};
constexpr size_t sample_bytes[3] = {2, 4, 4};
constexpr float clip_limit[3] = {32767.0f, 8388607.0f, 0.0f};

float from_bits(uint32_t bits)
{
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// Infinities and NaNs of either sign, quiet and signalling, with payloads.
float special(std::mt19937 &gen)
{
    static const uint32_t bits[] = {0x7F800000, 0xFF800000, 0x7FC00000, 0xFFC00000,
                                    0x7F800001, 0xFFA00000, 0x7FC12345, 0x7F9ABCDE};
    return from_bits(bits[std::uniform_int_distribution<size_t>(0, std::size(bits) - 1)(gen)]);
}

// One input family of a conversion or fade check: fills n floats.
struct input {
    std::string name;
    std::function<void(float *, size_t)> fill;
};

// Families for a kernel whose integer output clips at `limit` (0: none).
// With `finite`, NaNs and infinities are left out.
std::vector<input> inputs(float limit, bool finite)
{
    std::vector<input> all;
    for (float scale : {1.0f, 40000.0f, 9.0e6f, 1.0e30f})
        all.push_back({"random scale " + std::to_string(scale),
                       [scale](float *x, size_t n) { checker::fill_random(x, n, scale); }});
    all.push_back({"edge", [limit](float *x, size_t n) { checker::fill_edge(x, n, limit); }});
    // Halves are exact rounding ties wherever they are representable.
    const float reach = (limit > 0 ? limit : 8388607.0f) + 2.0f;
    all.push_back({"ties", [reach](float *x, size_t n) {
                       std::uniform_int_distribution<int32_t> k(-static_cast<int32_t>(reach),
                                                                static_cast<int32_t>(reach));
                       for (size_t i = 0; i < n; i++)
                           x[i] = static_cast<float>(k(checker::rng())) + 0.5f;
                   }});
    all.push_back({"subnormal", [](float *x, size_t n) {
                       std::uniform_int_distribution<uint32_t> bits(1, 0x007FFFFF);
                       for (size_t i = 0; i < n; i++)
                           x[i] = from_bits(bits(checker::rng()) | (i & 1u) << 31);
                   }});
    if (!finite) {
        all.push_back({"random bits", [](float *x, size_t n) {
                           for (size_t i = 0; i < n; i++)
                               x[i] = from_bits(static_cast<uint32_t>(checker::rng()()));
                       }});
        all.push_back({"non-finite", [limit](float *x, size_t n) {
                           checker::fill_edge(x, n, limit);
                           for (size_t i = 0; i < n; i += 3)
                               x[i] = special(checker::rng());
                       }});
    }
    return all;
}

// Runs one writing slot of both tables on the same input; the outputs start
// from different poison so that an element neither version writes shows.
void check_output(const std::string &slot, const std::string &what, size_t n, size_t elem,
                  const std::function<void(bool sse2, void *out)> &run)
{
    checker::Buffer<unsigned char> out_generic(n * elem), out_sse2(n * elem);
    out_generic.poison(0xA5);
    out_sse2.poison(0x5A);
    run(false, out_generic.data());
    run(true, out_sse2.data());
    EXPECT_TRUE(out_generic.guards_intact()) << slot << " generic [" << what << "]";
    EXPECT_TRUE(out_sse2.guards_intact()) << slot << " sse2 [" << what << "]";
    EXPECT_TRUE(checker::same_bytes(slot, what, out_generic.data(), out_sse2.data(), n, elem));
}

TEST(SampleKernels, ConversionsToRawAgree)
{
    checker::Buffer<float> pcm(2 * FRAME);
    for (int f = 0; f < 3; f++) {
        for (const input &in : inputs(clip_limit[f], false)) {
            in.fill(pcm.data(), pcm.size());
            check_output(std::string("single_to_raw ") + format_name[f], in.name, FRAME,
                         sample_bytes[f], [&](bool s, void *out) {
                             (s ? sse2 : generic).single_to_raw[f](pcm.data(), out);
                         });
            check_output(std::string("pair_to_raw ") + format_name[f], in.name, 2 * FRAME,
                         sample_bytes[f], [&](bool s, void *out) {
                             (s ? sse2 : generic).pair_to_raw[f](pcm.data(), out);
                         });
        }
    }
}

TEST(SampleKernels, ConversionsFromRawAreSharedAndWriteWholeFrames)
{
    for (int f = 0; f < 3; f++) {
        EXPECT_EQ(generic.single_from_raw[f], sse2.single_from_raw[f]) << format_name[f];
        EXPECT_EQ(generic.pair_from_raw[f], sse2.pair_from_raw[f]) << format_name[f];
        // Any alignment: raw at an odd address, pcm off its 16-byte boundary.
        checker::Buffer<unsigned char> raw(2 * FRAME * sample_bytes[f], 3);
        for (size_t i = 0; i < raw.size(); i++)
            raw[i] = static_cast<unsigned char>(checker::rng()() & 0x3F);  // no NaN words
        for (size_t channels : {1, 2}) {
            checker::Buffer<float> pcm(channels * FRAME, 4);
            pcm.poison();
            (channels == 1 ? generic.single_from_raw : generic.pair_from_raw)[f](pcm.data(),
                                                                                raw.data());
            EXPECT_TRUE(pcm.guards_intact()) << format_name[f] << " channels " << channels;
            uint32_t poison_bits;
            std::memset(&poison_bits, 0xA5, sizeof poison_bits);
            for (size_t i = 0; i < pcm.size(); i++)
                ASSERT_NE(std::memcmp(&pcm[i], &poison_bits, 4), 0)
                    << format_name[f] << " channels " << channels << " sample " << i;
        }
    }
}

TEST(SampleKernels, DownmixesAgree)
{
    checker::Buffer<float> pcm5(5 * FRAME);
    for (int f = 0; f <= 3; f++) {  // 3: the planar float pair
        // Float outputs keep NaN payloads only while no two NaNs meet in one
        // addition, so at most one plane of a sample index is non-finite.
        for (const input &in : inputs(f < 3 ? clip_limit[f] : 0.0f, true)) {
            in.fill(pcm5.data(), pcm5.size());
            for (int with_special : {0, 1}) {
                if (with_special)
                    for (size_t i = 0; i < FRAME; i += 2)
                        pcm5[FRAME * (checker::rng()() % 5) + i] = special(checker::rng());
                const std::string what = in.name + (with_special ? " + non-finite" : "");
                if (f < 3)
                    check_output(std::string("downmix_to_raw ") + format_name[f], what,
                                 2 * FRAME, sample_bytes[f], [&](bool s, void *out) {
                                     (s ? sse2 : generic).downmix_to_raw[f](pcm5.data(), out);
                                 });
                else
                    check_output("downmix", what, 2 * FRAME, 4, [&](bool s, void *out) {
                        (s ? sse2 : generic).downmix(pcm5.data(), static_cast<float *>(out));
                    });
            }
        }
    }
}

TEST(SampleKernels, FadesAndMuteAgreeAndStayInTheirChannels)
{
    // One channel more than the largest count, to see that none is touched.
    constexpr size_t total = 9 * FRAME;
    const char *const names[3] = {"fade_in", "fade_out", "mute"};
    const aac_shape_fn *slots[2][3] = {{generic.fade_in, generic.fade_out, generic.mute},
                                       {sse2.fade_in, sse2.fade_out, sse2.mute}};
    checker::Buffer<float> original(total), work_generic(total), work_sse2(total);
    for (const input &in : inputs(0.0f, false)) {
        in.fill(original.data(), total);
        for (int op = 0; op < 3; op++) {
            for (size_t channels = 1; channels <= 8; channels++) {
                const std::string slot = names[op] + std::string(" ") + std::to_string(channels);
                std::memcpy(work_generic.data(), original.data(), original.bytes());
                std::memcpy(work_sse2.data(), original.data(), original.bytes());
                slots[0][op][channels - 1](work_generic.data());
                slots[1][op][channels - 1](work_sse2.data());
                EXPECT_TRUE(work_generic.guards_intact() && work_sse2.guards_intact()) << slot;
                EXPECT_TRUE(checker::same_floats(slot, in.name, work_generic.data(),
                                                 work_sse2.data(), total));
                const size_t used = channels * FRAME;
                EXPECT_TRUE(checker::same_bytes(slot, in.name + ", channels beyond the count",
                                                original.data() + used, work_sse2.data() + used,
                                                total - used, 4));
            }
        }
    }
}

}  // namespace
