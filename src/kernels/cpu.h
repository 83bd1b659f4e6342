// Processor level: which of the instruction-set extensions that the kernels
// care about the processor has.  Only "at least SSE2" is ever consulted.
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
};

// The level from what the processor reports: whether the EFLAGS ID flag can
// be flipped (CPUID exists), and ECX and EDX of CPUID leaf 1.
aac_cpu_level aac_cpu_level_from(bool has_cpuid, uint32_t leaf1_ecx, uint32_t leaf1_edx);

// Queries the processor on every call.
aac_cpu_level aac_detect_cpu_level();

}  // namespace lumdec
