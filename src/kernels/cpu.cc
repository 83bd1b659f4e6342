#include "kernels/cpu.h"

#include <cpuid.h>

namespace lumdec {

aac_cpu_level aac_cpu_level_from(bool has_cpuid, uint32_t ecx, uint32_t edx, uint32_t leaf7_ebx,
                                 uint64_t xcr0)
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
    // AVX2 needs AVX, OSXSAVE, and the XMM and YMM state enabled in XCR0
    // (an operating system that does not save the upper halves would lose
    // them at every task switch).
    if ((ecx & 0x18000000u) != 0x18000000u || (xcr0 & 6) != 6 || !(leaf7_ebx & 0x20u))
        return AAC_CPU_SSSE3;
    return AAC_CPU_AVX2;
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
    __cpuid(0, eax, ebx, ecx, edx);
    const unsigned max_leaf = eax;
    __cpuid(1, eax, ebx, ecx, edx);  // every processor with CPUID has leaf 1
    const uint32_t leaf1_ecx = ecx, leaf1_edx = edx;
    uint32_t leaf7_ebx = 0;
    if (max_leaf >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        leaf7_ebx = ebx;
    }
    uint64_t xcr0 = 0;
    if (leaf1_ecx & 0x8000000u) {  // OSXSAVE: XGETBV may run
        uint32_t lo, hi;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        xcr0 = (static_cast<uint64_t>(hi) << 32) | lo;
    }
    return aac_cpu_level_from(true, leaf1_ecx, leaf1_edx, leaf7_ebx, xcr0);
}

}  // namespace lumdec
