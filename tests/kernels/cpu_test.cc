#include "kernels/cpu.h"

#include <gtest/gtest.h>

#include "kernels/kernel_tables.h"

namespace {

constexpr uint32_t MMX = 0x800000, CMOV = 0x8000, SSE = 0x2000000, SSE2 = 0x4000000;
constexpr uint32_t SSE3 = 0x1, SSSE3 = 0x200;

TEST(CpuLevel, EveryLevelFromTheFeatureBits)
{
    const uint32_t base = MMX | CMOV;
    EXPECT_EQ(aac_cpu_level_from(false, ~0u, ~0u), AAC_CPU_NONE);  // no CPUID at all
    EXPECT_EQ(aac_cpu_level_from(true, 0, 0), AAC_CPU_NONE);
    EXPECT_EQ(aac_cpu_level_from(true, 0, CMOV | SSE | SSE2), AAC_CPU_NONE);  // no MMX
    EXPECT_EQ(aac_cpu_level_from(true, SSE3 | SSSE3, MMX | SSE | SSE2), AAC_CPU_NONE);  // no CMOV
    EXPECT_EQ(aac_cpu_level_from(true, SSE3 | SSSE3, base), AAC_CPU_MMX);
    EXPECT_EQ(aac_cpu_level_from(true, SSE3 | SSSE3, base | SSE2), AAC_CPU_MMX);  // SSE2 without SSE
    EXPECT_EQ(aac_cpu_level_from(true, SSE3 | SSSE3, base | SSE), AAC_CPU_SSE);
    EXPECT_EQ(aac_cpu_level_from(true, SSSE3, base | SSE | SSE2), AAC_CPU_SSE2);
    EXPECT_EQ(aac_cpu_level_from(true, SSE3, base | SSE | SSE2), AAC_CPU_SSE3);
    EXPECT_EQ(aac_cpu_level_from(true, SSE3 | SSSE3, base | SSE | SSE2), AAC_CPU_SSSE3);
    // Unrelated bits change nothing.
    EXPECT_EQ(aac_cpu_level_from(true, ~(SSE3 | SSSE3), base | SSE | SSE2), AAC_CPU_SSE2);
}

TEST(CpuLevel, ThisProcessorHasSse2)
{
    EXPECT_GE(aac_detect_cpu_level(), AAC_CPU_SSE2);
}

TEST(KernelSelection, LoadChoseTheSse2TablesAndDetachChangesNothing)
{
    EXPECT_EQ(aac_active_vector_kernels, &aac_vector_kernels_sse2);
    EXPECT_EQ(aac_active_transform_kernels, &aac_transform_kernels_sse2);
    EXPECT_EQ(aac_active_sample_kernels, &aac_sample_kernels_sse2);

    aac_force_kernel_tables(false);
    EXPECT_EQ(aac_select_decoder_kernels(0), 1);
    EXPECT_EQ(aac_select_sample_kernels(0), 1);
    EXPECT_EQ(aac_active_vector_kernels, &aac_vector_kernels_generic);
    EXPECT_EQ(aac_active_transform_kernels, &aac_transform_kernels_generic);
    EXPECT_EQ(aac_active_sample_kernels, &aac_sample_kernels_generic);

    EXPECT_EQ(aac_select_decoder_kernels(1), 1);
    EXPECT_EQ(aac_active_vector_kernels, &aac_vector_kernels_sse2);
    EXPECT_EQ(aac_active_transform_kernels, &aac_transform_kernels_sse2);
    EXPECT_EQ(aac_active_sample_kernels, &aac_sample_kernels_generic);
    EXPECT_EQ(aac_select_sample_kernels(1), 1);
    EXPECT_EQ(aac_active_sample_kernels, &aac_sample_kernels_sse2);
}

}  // namespace
