// Processor level: which of the instruction-set extensions that the kernels
// care about the processor has.  The load consults "at least SSE2" (the
// library's minimum) and "AVX2" (the wider transform table).
#pragma once

#include <cstdint>

namespace lumdec {

enum aac_cpu_level : int32_t {
    AAC_CPU_NONE = 0,   // no CPUID, or no MMX or CMOV
    AAC_CPU_MMX = 1,
    AAC_CPU_SSE = 2,
    AAC_CPU_SSE2 = 3,
    AAC_CPU_SSE3 = 4,
    AAC_CPU_SSSE3 = 5,
    AAC_CPU_AVX2 = 6,   // AVX and AVX2, and an operating system that saves the YMM state
};

// The level from what the processor reports: whether the EFLAGS ID flag can
// be flipped (CPUID exists), ECX and EDX of CPUID leaf 1, EBX of leaf 7
// (0 where the processor has no leaf 7) and XCR0 (read with XGETBV, 0 where
// leaf 1 does not report OSXSAVE).
aac_cpu_level aac_cpu_level_from(bool has_cpuid, uint32_t leaf1_ecx, uint32_t leaf1_edx,
                                 uint32_t leaf7_ebx = 0, uint64_t xcr0 = 0);

// Queries the processor on every call.
aac_cpu_level aac_detect_cpu_level();

}  // namespace lumdec
