// The HE-AAC test streams through the public interface: every frame
// decodes, blocks follow one frame behind in the format the stream has
// (rate, channels, samples per block), the output stays within the
// sample-exact limits of the reference, and the generic, SSE2 and (where
// there is one) AVX2 kernel tables give the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "conformance.h"
#include "he_streams.h"
#include "kernels/kernel_tables.h"

namespace {

class HeConformance : public ::testing::TestWithParam<HeStream> {};

TEST_P(HeConformance, OutputMeetsTheExactLimitsWithBothKernelTables)
{
    const HeStream &stream = GetParam();
    lumdec::aac_force_kernel_tables(true);
    const HeResult sse2 = decode_he_stream(stream);
    lumdec::aac_force_kernel_tables(false);
    const HeResult generic = decode_he_stream(stream);
    const bool avx2 = lumdec::aac_force_avx2_kernel_tables();
    const HeResult wide = avx2 ? decode_he_stream(stream) : HeResult{};
    lumdec::aac_select_loaded_kernel_tables();
    const std::vector<float> ref = read_he_reference(stream);

    ASSERT_EQ(sse2.create_status, AAC_OK);
    EXPECT_EQ(sse2.status, std::vector<aac_status>(stream.frames, AAC_OK));
    std::vector<unsigned> states(stream.frames - 1, AAC_SLOT_VALID);
    states.push_back(AAC_SLOT_EMPTY);
    EXPECT_EQ(sse2.block_states, states);
    EXPECT_EQ(sse2.format.fixed, 1);
    EXPECT_EQ(sse2.format.sbr, 1);
    EXPECT_EQ(sse2.format.channels, stream.channels);
    EXPECT_EQ(sse2.format.samples_per_block, stream.samples_per_frame);
    EXPECT_EQ(sse2.format.sbr_errors, 0);
    EXPECT_LE(sse2.format.channels * sse2.format.samples_per_block * 4, sse2.created.block_bytes);
    ASSERT_EQ(sse2.samples.size(), ref.size()) << "output length";
    for (float x : sse2.samples)
        ASSERT_TRUE(std::isfinite(x));
    ASSERT_EQ(generic.samples.size(), sse2.samples.size());
    EXPECT_EQ(std::memcmp(generic.samples.data(), sse2.samples.data(), sse2.samples.size() * 4), 0)
        << "generic and SSE2 tables decode differently";
    if (avx2) {
        ASSERT_EQ(wide.samples.size(), sse2.samples.size());
        EXPECT_EQ(std::memcmp(wide.samples.data(), sse2.samples.data(), sse2.samples.size() * 4), 0)
            << "AVX2 and SSE2 tables decode differently";
    }

    const ExactFigures f = exact_figures(sse2.samples, ref, stream.channels);
    std::printf("%-34s rms %.3g max %.3g\n", stream.name.c_str(), f.rms, f.max);
    EXPECT_LE(f.rms, kExactRmsLimit);
    EXPECT_LE(f.max, kExactMaxLimit);
}

INSTANTIATE_TEST_SUITE_P(TestData, HeConformance, ::testing::ValuesIn(he_streams()),
                         [](const auto &info) { return info.param.name; });

}  // namespace
