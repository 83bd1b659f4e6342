// Library load and unload: the processor check, the initialisers in order,
// and the undo of a failed load.
#include "frame/library.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/tls_slot.h"
#include "kernels/cpu.h"

namespace {

std::vector<std::string> calls;
int fail_index = -1;

template <int I>
int fake_initialiser(int attach)
{
    calls.push_back(std::to_string(I) + (attach ? "+" : "-"));
    return attach && I == fail_index ? 0 : 1;
}

const aac_initialiser fakes[5] = {fake_initialiser<0>, fake_initialiser<1>, fake_initialiser<2>,
                                  fake_initialiser<3>, fake_initialiser<4>};

std::vector<std::string> run_attach(int level, int failing, bool *loaded)
{
    calls.clear();
    fail_index = failing;
    *loaded = aac_process_attach(level, fakes, 5);
    return calls;
}

using Calls = std::vector<std::string>;

TEST(LibraryLoad, InitialisersRunInOrderFromSse2OnAndAreUndoneOnFailure)
{
    bool loaded;
    const Calls undo = {"4-", "3-", "2-", "1-", "0-"};
    for (int level : {AAC_CPU_SSE2, AAC_CPU_SSE3, AAC_CPU_SSSE3}) {
        EXPECT_EQ(run_attach(level, -1, &loaded), (Calls{"0+", "1+", "2+", "3+", "4+"}));
        EXPECT_TRUE(loaded);
    }
    calls.clear();
    aac_process_detach(fakes, 5);
    EXPECT_EQ(calls, undo);
    // Below SSE2 only the unload steps run.
    for (int level : {AAC_CPU_NONE, AAC_CPU_MMX, AAC_CPU_SSE}) {
        EXPECT_EQ(run_attach(level, -1, &loaded), undo);
        EXPECT_FALSE(loaded);
    }
    EXPECT_EQ(run_attach(AAC_CPU_SSE2, 0, &loaded), (Calls{"0+", "4-", "3-", "2-", "1-", "0-"}));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(run_attach(AAC_CPU_SSE2, 3, &loaded),
              (Calls{"0+", "1+", "2+", "3+", "4-", "3-", "2-", "1-", "0-"}));
    EXPECT_FALSE(loaded);
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
