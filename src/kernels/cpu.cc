#include "kernels/cpu.h"

#include <cpuid.h>

namespace lumdec {

aac_cpu_level aac_cpu_level_from(bool has_cpuid, uint32_t ecx, uint32_t edx)
{
    if (!has_cpuid)
        return AAC_CPU_NONE;
    if (!(edx & 0x800000u))    // MMX
        return AAC_CPU_NONE;
    if (!(edx & 0x8000u))      // CMOV
        return AAC_CPU_NONE;
    if (!(edx & 0x2000000u))   // SSE
        return AAC_CPU_MMX;
    if (!(edx & 0x4000000u))   // SSE2
        return AAC_CPU_SSE;
    if (!(ecx & 0x1u))         // SSE3
        return AAC_CPU_SSE2;
    if (!(ecx & 0x200u))       // SSSE3
        return AAC_CPU_SSE3;
    return AAC_CPU_SSSE3;
}

namespace {

// CPUID exists when bit 21 of EFLAGS (the ID flag) can be flipped.
bool id_flag_flips()
{
    uintptr_t before, after;  // register-sized (unsigned long is 32 bits on 64-bit Windows)
#if defined(__x86_64__)
    // Step over the red zone before pushing: this is a leaf function.
    __asm__ volatile(
        "subq $128, %%rsp\n\t"
        "pushfq\n\t"
        "pushfq\n\t"
        "popq %0\n\t"
        "movq %0, %1\n\t"
        "xorq $0x200000, %1\n\t"
        "pushq %1\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "popq %1\n\t"
        "popfq\n\t"
        "addq $128, %%rsp\n\t"
        : "=&r"(before), "=&r"(after)
        :
        : "cc");
#elif defined(__i386__)
    __asm__ volatile(
        "pushfl\n\t"
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "popfl\n\t"
        : "=&r"(before), "=&r"(after)
        :
        : "cc");
#else
#error "lumdec needs an x86 processor"
#endif
    return ((before ^ after) & 0x200000u) != 0;
}

}  // namespace

aac_cpu_level aac_detect_cpu_level()
{
    if (!id_flag_flips())
        return AAC_CPU_NONE;
    unsigned eax, ebx, ecx, edx;
    __cpuid(1, eax, ebx, ecx, edx);  // leaf 1 directly: the maximum leaf is not asked
    return aac_cpu_level_from(true, ecx, edx);
}

}  // namespace lumdec
