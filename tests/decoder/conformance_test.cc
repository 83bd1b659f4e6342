// Decoded audio against the reference outputs, with the corpus's limits:
// sample-exact streams within one 16-bit step RMS and two steps peak;
// noise-substitution streams by band energies.  The generic and the SSE2
// kernel tables must give the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "conformance.h"
#include "decode_stream.h"
#include "kernels/kernel_tables.h"

namespace {

class Conformance : public ::testing::TestWithParam<TestStream> {};

TEST_P(Conformance, OutputMeetsTheLimitsWithBothKernelTables)
{
    const TestStream &stream = GetParam();
    std::vector<float> ref = read_reference(stream);

    DecodeResult sse2 = decode_stream(stream);
    aac_force_kernel_tables(false);
    DecodeResult generic = decode_stream(stream);
    aac_force_kernel_tables(true);

    ASSERT_EQ(sse2.create_status, AAC_OK);
    ASSERT_EQ(sse2.samples.size(), ref.size()) << "output length";
    for (float x : sse2.samples)
        ASSERT_TRUE(std::isfinite(x));
    ASSERT_EQ(generic.samples.size(), sse2.samples.size());
    EXPECT_EQ(std::memcmp(generic.samples.data(), sse2.samples.data(), sse2.samples.size() * 4), 0)
        << "generic and SSE2 tables decode differently";

    if (stream.comparison == "exact") {
        ExactFigures f = exact_figures(sse2.samples, ref, stream.channels);
        RecordProperty("rms", std::to_string(f.rms));
        RecordProperty("max", std::to_string(f.max));
        std::printf("%-34s rms %.3g max %.3g\n", stream.name.c_str(), f.rms, f.max);
        EXPECT_LE(f.rms, kExactRmsLimit);
        EXPECT_LE(f.max, kExactMaxLimit);
    } else {
        EnergyFigures f = energy_figures(sse2.samples, ref, stream.channels, stream.pairs);
        std::printf("%-34s %s\n", stream.name.c_str(), f.describe().c_str());
        EXPECT_TRUE(f.pass()) << f.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(TestData, Conformance, ::testing::ValuesIn(decodable_test_streams()),
                         [](const auto &info) { return info.param.name; });

}  // namespace
