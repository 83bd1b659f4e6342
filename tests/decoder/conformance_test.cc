// Every test stream, LC and HE-AAC, through the public interface: refused
// at creation if listed so; otherwise every frame decodes whole, blocks
// follow one frame behind in the format the stream has (layout, or rate,
// channels and samples per block), and the output meets the corpus's
// limits against the reference (sample-exact streams within one 16-bit
// step RMS and two steps peak, noise-substitution streams by band
// energies) with the same bytes from the generic, the SSE2 and (where
// there is one) the AVX2 kernel tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "conformance.h"
#include "decode_stream.h"
#include "kernels/kernel_tables.h"

using namespace lumdec;

namespace {

class Conformance : public ::testing::TestWithParam<TestStream> {};

TEST_P(Conformance, OutputMeetsTheLimitsWithEveryKernelTable)
{
    const TestStream &stream = GetParam();
    aac_force_kernel_tables(true);
    DecodeResult sse2 = decode_stream(stream);
    aac_select_loaded_kernel_tables();
    if (stream.layout == 0) {  // refused at creation, as listed
        EXPECT_EQ(sse2.create_status, stream.expected_status);
        return;
    }
    std::vector<float> ref = read_reference(stream);
    aac_force_kernel_tables(false);
    const DecodeResult generic = decode_stream(stream);
    const bool avx2 = aac_force_avx2_kernel_tables();
    const DecodeResult wide = avx2 ? decode_stream(stream) : DecodeResult{};
    aac_select_loaded_kernel_tables();

    ASSERT_EQ(sse2.create_status, AAC_OK);
    if (stream.he) {
        EXPECT_EQ(sse2.format.sbr, 1);
        EXPECT_EQ(sse2.format.fixed, 1);
        EXPECT_EQ(sse2.format.channels, stream.channels);
        EXPECT_EQ(sse2.format.samples_per_block, stream.samples_per_frame);
        EXPECT_EQ(sse2.format.sbr_errors, 0);
    } else {
        EXPECT_EQ(sse2.layout, stream.layout);
    }
    EXPECT_LE(sse2.format.channels * sse2.format.samples_per_block * 4, sse2.created.block_bytes);
    EXPECT_EQ(sse2.status, std::vector<aac_status>(stream.frames, AAC_OK));
    EXPECT_EQ(sse2.bytes_used, sse2.payload_size);
    std::vector<unsigned> states(stream.frames - 1, AAC_SLOT_VALID);
    states.push_back(AAC_SLOT_EMPTY);
    EXPECT_EQ(sse2.block_states, states);
    EXPECT_TRUE(sse2.follows_model);
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

    if (stream.comparison == "exact") {
        ExactFigures f = exact_figures(sse2.samples, ref, stream.channels);
        std::printf("%-34s rms %.3g max %.3g\n", stream.name.c_str(), f.rms, f.max);
        EXPECT_LE(f.rms, kExactRmsLimit);
        EXPECT_LE(f.max, kExactMaxLimit);
    } else {
        EnergyFigures f = energy_figures(sse2.samples, ref, stream.channels, stream.pairs);
        std::printf("%-34s %s\n", stream.name.c_str(), f.describe().c_str());
        EXPECT_TRUE(f.pass()) << f.describe();
    }
}

auto stream_name = [](const auto &info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(TestData, Conformance, ::testing::ValuesIn(test_streams()), stream_name);
INSTANTIATE_TEST_SUITE_P(HeData, Conformance, ::testing::ValuesIn(he_test_streams()), stream_name);

}  // namespace
