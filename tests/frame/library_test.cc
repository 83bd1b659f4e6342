// Library load and unload: the processor check, the initialisers in order,
// the undo of a failed load, and the thread slot's own initialiser.
#include "frame/library.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/error.h"
#include "frame/tls_slot.h"
#include "kernels/cpu.h"

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

}  // namespace
