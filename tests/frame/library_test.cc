// Library load and unload: the processor level from the feature bits, the
// initialisers in order, the undo of a failed load, the thread slot's own
// initialiser, the kernel tables the load installs; and the shared
// library as a host sees it: exactly the C interface exported under its
// plain names, and every unload freeing the thread-local slot of its load.
#include "frame/library.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "frame/error.h"
#include "frame/tls_slot.h"
#include "kernels/cpu.h"
#include "kernels/kernel_tables.h"
#include "lumdec.h"
#include "ps/ps_kernels.h"
#include "shared_library.h"

using namespace lumdec;

namespace {

std::string calls;
int fail_index;

template <int I>
int fake_initialiser(int attach)
{
    calls += std::to_string(I) + (attach ? "+" : "-");
    return attach && I == fail_index ? 0 : 1;
}

const aac_initialiser fakes[5] = {fake_initialiser<0>, fake_initialiser<1>, fake_initialiser<2>,
                                  fake_initialiser<3>, fake_initialiser<4>};

// The calls of a load on a processor of the given level, then whether it
// loaded.
std::string attach(int level, int failing = -1)
{
    calls.clear();
    fail_index = failing;
    const bool loaded = aac_process_attach(level, fakes, 5);
    return calls + (loaded ? " ok" : " refused");
}

TEST(LibraryLoad, InitialisersRunInOrderFromSse2OnAndAreUndoneOnFailure)
{
    for (int level : {AAC_CPU_SSE2, AAC_CPU_SSE3, AAC_CPU_SSSE3}) {
        EXPECT_EQ(attach(level), "0+1+2+3+4+ ok");
        calls.clear();
        aac_process_detach(fakes, 5);
        EXPECT_EQ(calls, "4-3-2-1-0-");
    }
    for (int level : {AAC_CPU_NONE, AAC_CPU_MMX, AAC_CPU_SSE})
        EXPECT_EQ(attach(level), "4-3-2-1-0- refused");
    EXPECT_EQ(attach(AAC_CPU_SSE2, 0), "0+4-3-2-1-0- refused");
    EXPECT_EQ(attach(AAC_CPU_SSE2, 3), "0+1+2+3+4-3-2-1-0- refused");
}

// The real slot initialiser frees only a slot it allocated.  Run it on a
// second slot beside the one the loaded library uses, then put that back.
TEST(LibraryLoad, TheSlotInitialiserUndoesOnlyWhatWasDone)
{
    const uint32_t loaded_slot = aac_tls_index;
    ASSERT_NE(loaded_slot, AAC_TLS_NONE);
    aac_tls_index = AAC_TLS_NONE;
    EXPECT_EQ(aac_init_tls_slot(0), 1);  // nothing allocated: nothing to free
    EXPECT_EQ(aac_tls_index, AAC_TLS_NONE);
    ASSERT_EQ(aac_init_tls_slot(1), 1);
    EXPECT_NE(aac_tls_index, AAC_TLS_NONE);
    EXPECT_NE(aac_tls_index, loaded_slot);
    int marker;
    aac_tls_set(&marker);
    EXPECT_EQ(aac_tls_get(), &marker);
    EXPECT_EQ(aac_init_tls_slot(0), 1);
    EXPECT_EQ(aac_tls_index, AAC_TLS_NONE);
    aac_tls_index = loaded_slot;
    EXPECT_EQ(aac_innermost_frame(), nullptr);
}

constexpr uint32_t MMX = 0x800000, CMOV = 0x8000, SSE = 0x2000000, SSE2 = 0x4000000;
constexpr uint32_t SSE3 = 0x1, SSSE3 = 0x200, OSXSAVE = 0x8000000, AVX = 0x10000000;
constexpr uint32_t AVX2 = 0x20;  // leaf 7, EBX

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
    // AVX2 (leaf 7) counts only with AVX and OSXSAVE (leaf 1) and the XMM
    // and YMM state enabled in XCR0.
    const uint32_t all = base | SSE | SSE2, ssse3 = SSE3 | SSSE3;
    EXPECT_EQ(aac_cpu_level_from(true, ssse3 | AVX | OSXSAVE, all, AVX2, 7), AAC_CPU_AVX2);
    EXPECT_EQ(aac_cpu_level_from(true, ssse3 | AVX, all, AVX2, 7), AAC_CPU_SSSE3);
    EXPECT_EQ(aac_cpu_level_from(true, ssse3 | OSXSAVE, all, AVX2, 7), AAC_CPU_SSSE3);
    EXPECT_EQ(aac_cpu_level_from(true, ssse3 | AVX | OSXSAVE, all, AVX2, 3), AAC_CPU_SSSE3);
    EXPECT_EQ(aac_cpu_level_from(true, ssse3 | AVX | OSXSAVE, all, ~AVX2, 7), AAC_CPU_SSSE3);
    EXPECT_EQ(aac_cpu_level_from(true, SSE3 | AVX | OSXSAVE, all, AVX2, 7), AAC_CPU_SSE3);
}

// The load picked the SSE2 tables, and the AVX2 transforms and SBR kernels
// where the build and the processor have them (parametric stereo has SSE2
// kernels only); nothing else tells, as all tables give the same output.
TEST(KernelSelection, LoadChoseTheWidestTables)
{
    aac_select_loaded_kernel_tables();
    EXPECT_EQ(aac_active_sample_kernels, &aac_sample_kernels_sse2);
    EXPECT_EQ(ps_active_kernels, &ps_kernels_sse2);
#if defined(LUMDEC_HAVE_AVX2)
    if (aac_detect_cpu_level() >= AAC_CPU_AVX2) {
        EXPECT_EQ(aac_active_vector_kernels, aac_checked_vector_kernels(&aac_vector_kernels_avx2));
        EXPECT_EQ(aac_active_transform_kernels, &aac_transform_kernels_avx2);
        EXPECT_EQ(aac_active_sbr_kernels, &aac_sbr_kernels_avx2);
        EXPECT_STREQ(aac_active_kernel_tables_name(), "avx2");
        return;
    }
#endif
    EXPECT_EQ(aac_active_vector_kernels, aac_checked_vector_kernels(&aac_vector_kernels_sse2));
    EXPECT_EQ(aac_active_transform_kernels, &aac_transform_kernels_sse2);
    EXPECT_EQ(aac_active_sbr_kernels, &aac_sbr_kernels_sse2);
    EXPECT_STREQ(aac_active_kernel_tables_name(), "sse2");
}

const std::set<std::string> interface_names = {
    "aac_enc_create", "aac_enc_destroy", "aac_enc_encode",
    "aac_dec_create", "aac_dec_destroy", "aac_dec_decode",
    "aac_dec_create_he", "aac_dec_create_asc", "aac_dec_get_format",
    "aac_calc_crc_bytes", "aac_calc_crc_syn_elems",
    "aac_frame_alloc_create",
    "aac_set_malloc_func_table", "aac_set_debug_trace",
    "aac_convert_single_to_raw", "aac_convert_single_from_raw",
    "aac_convert_pair_to_raw", "aac_convert_pair_from_raw",
    "aac_downmix_3_2_to_pair_raw", "aac_downmix_3_2_to_pair",
    "aac_fade_in_channels", "aac_fade_out_channels", "aac_mute_channels",
#if !defined(_WIN32)
    // The file layer, left out of the Windows DLLs.
    "aac_file_create", "aac_file_close", "aac_file_open_path", "aac_file_open_memory",
    "aac_file_open_io", "aac_file_get_info", "aac_file_get_track", "aac_file_get_tag",
    "aac_file_scan", "aac_file_read", "aac_file_get_stats", "aac_file_progress",
    "aac_file_error", "aac_file_warning",
#endif
};

TEST(SharedLibrary, ExportsExactlyTheCInterface)
{
    std::set<std::string> exported = exported_names(LUMDEC_SHARED_LIBRARY);
    ASSERT_FALSE(exported.empty()) << "could not read the exports of " LUMDEC_SHARED_LIBRARY;
    for (const std::string &name : exported)
        EXPECT_TRUE(interface_names.count(name)) << "unexpected export: " << name;
    for (const std::string &name : interface_names)
        EXPECT_TRUE(exported.count(name)) << "missing export: " << name;
}

// Each load takes a slot for the error frames, and its unload frees it;
// nothing else of the load keeps one (the 32-bit DLL carries no C++
// unwinder, whose frame registration kept a TLS index per load).
TEST(SharedLibrary, EveryUnloadFreesTheSlotOfItsLoad)
{
    using create_fn = decltype(&aac_frame_alloc_create);
    for (int cycle = 0; cycle < 20; cycle++) {
        const unsigned free_before = lowest_free_slot();
        void *library = load_shared_library(LUMDEC_SHARED_LIBRARY);
        ASSERT_NE(library, nullptr) << "load " << cycle;
        EXPECT_GT(lowest_free_slot(), free_before) << "the load took no slot";
        auto create = reinterpret_cast<create_fn>(find_export(library, "aac_frame_alloc_create"));
        ASSERT_NE(create, nullptr);
        // A guarded export: it runs only with the load's slot in place.
        aac_frame_alloc *pool = nullptr;
        ASSERT_EQ(create(&pool, 1), AAC_OK) << "load " << cycle;
        EXPECT_EQ(pool->ops->destroy(pool), AAC_OK);
        unload_shared_library(library);
        EXPECT_LE(lowest_free_slot(), free_before) << "unload " << cycle << " kept a slot";
    }
}

}  // namespace
