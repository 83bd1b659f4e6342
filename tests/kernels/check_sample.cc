// Sample kernels: every slot of the generic table against the SSE2 table,
// byte for byte, on random, edge and non-finite inputs.
#include <functional>

#include "checker.h"
#include "kernels/kernel_tables.h"

using namespace lumdec;

namespace {

constexpr size_t FRAME = 1024;
const aac_sample_kernels &generic = aac_sample_kernels_generic;
const aac_sample_kernels &sse2 = aac_sample_kernels_sse2;
const aac_sample_kernels &of(bool s) { return s ? sse2 : generic; }

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
float special()
{
    static const uint32_t bits[] = {0x7F800000, 0xFF800000, 0x7FC00000, 0xFFC00000,
                                    0x7F800001, 0xFFA00000, 0x7FC12345, 0x7F9ABCDE};
    return from_bits(bits[checker::rng()() % std::size(bits)]);
}

// Input families; the last two hold NaNs and infinities.  limit is the
// clipping bound of the kernel's integer output, 0 for none.
const char *const family_name[] = {"random 1",  "random 4e4", "random 9e6",  "random 1e30", "edge",
                                   "ties",      "subnormal",  "random bits", "non-finite"};
constexpr int FINITE_FAMILIES = 7, FAMILIES = 9;

void fill(int family, float *x, size_t n, float limit)
{
    const float scale[] = {1.0f, 4.0e4f, 9.0e6f, 1.0e30f};
    if (family < 4)
        return checker::fill_random(x, n, scale[family]);
    if (family == 4 || family == 8)
        checker::fill_edge(x, n, limit);
    const auto reach = static_cast<int32_t>(limit > 0 ? limit + 2 : 8388609.0f);
    std::uniform_int_distribution<int32_t> whole(-reach, reach);
    std::uniform_int_distribution<uint32_t> subnormal(1, 0x007FFFFF);
    for (size_t i = 0; i < n; i++) {
        if (family == 5)  // exact ties wherever a half is representable
            x[i] = static_cast<float>(whole(checker::rng())) + 0.5f;
        else if (family == 6)
            x[i] = from_bits(subnormal(checker::rng()) | static_cast<uint32_t>(i & 1) << 31);
        else if (family == 7)
            x[i] = from_bits(static_cast<uint32_t>(checker::rng()()));
        else if (family == 8 && i % 3 == 0)
            x[i] = special();
    }
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
    EXPECT_TRUE(out_generic.guards_intact() && out_sse2.guards_intact()) << slot << " " << what;
    EXPECT_TRUE(checker::same_bytes(slot, what, out_generic.data(), out_sse2.data(), n, elem));
}

TEST(SampleKernels, ConversionsToRawAgree)
{
    checker::Buffer<float> pcm(2 * FRAME);
    for (int f = 0; f < 3; f++) {
        for (int family = 0; family < FAMILIES; family++) {
            fill(family, pcm.data(), pcm.size(), clip_limit[f]);
            const std::string name = format_name[f];
            check_output("single_to_raw " + name, family_name[family], FRAME, sample_bytes[f],
                         [&](bool s, void *out) { of(s).single_to_raw[f](pcm.data(), out); });
            check_output("pair_to_raw " + name, family_name[family], 2 * FRAME, sample_bytes[f],
                         [&](bool s, void *out) { of(s).pair_to_raw[f](pcm.data(), out); });
        }
    }
}

TEST(SampleKernels, DownmixesAgree)
{
    checker::Buffer<float> pcm5(5 * FRAME);
    for (int f = 0; f <= 3; f++) {  // 3: the planar float pair
        const std::string slot =
            f < 3 ? std::string("downmix_to_raw ") + format_name[f] : "downmix";
        for (int family = 0; family < FINITE_FAMILIES; family++) {
            fill(family, pcm5.data(), pcm5.size(), f < 3 ? clip_limit[f] : 0.0f);
            for (bool non_finite : {false, true}) {
                // Float outputs keep NaN payloads as long as no two NaNs meet
                // in one addition: one plane per sample index at most.
                for (size_t i = 0; non_finite && i < FRAME; i += 2)
                    pcm5[FRAME * (checker::rng()() % 5) + i] = special();
                const std::string what =
                    family_name[family] + std::string(non_finite ? " + inf/NaN" : "");
                check_output(slot, what, 2 * FRAME, f < 3 ? sample_bytes[f] : 4,
                             [&](bool s, void *out) {
                                 if (f < 3)
                                     of(s).downmix_to_raw[f](pcm5.data(), out);
                                 else
                                     of(s).downmix(pcm5.data(), static_cast<float *>(out));
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
    checker::Buffer<float> original(total), work_generic(total), work_sse2(total);
    for (int family = 0; family < FAMILIES; family++) {
        fill(family, original.data(), total, 0.0f);
        for (int op = 0; op < 3; op++) {
            for (size_t channels = 1; channels <= 8; channels++) {
                const std::string slot = names[op] + std::string(" ") + std::to_string(channels);
                std::memcpy(work_generic.data(), original.data(), original.bytes());
                std::memcpy(work_sse2.data(), original.data(), original.bytes());
                for (bool s : {false, true}) {
                    const aac_shape_fn *group[3] = {of(s).fade_in, of(s).fade_out, of(s).mute};
                    group[op][channels - 1]((s ? work_sse2 : work_generic).data());
                }
                EXPECT_TRUE(work_generic.guards_intact() && work_sse2.guards_intact()) << slot;
                EXPECT_TRUE(checker::same_floats(slot, family_name[family], work_generic.data(),
                                                 work_sse2.data(), total));
                const size_t used = channels * FRAME;
                EXPECT_TRUE(checker::same_bytes(slot, family_name[family] + std::string(" beyond"),
                                                original.data() + used, work_sse2.data() + used,
                                                total - used, 4));
            }
        }
    }
}

}  // namespace
