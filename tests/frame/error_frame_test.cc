// Error frames: the innermost frame catches, the thread's slot is restored
// on every exit, frames nest and may run again, and threads never see each
// other's frames.
#include "frame/error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace lumdec;

namespace {

void raise_deep(int depth, aac_status status)
{
    if (depth < 0)
        return;  // never: without it GCC sees only recursion
    if (depth == 0)
        aac_raise(status);
    raise_deep(depth - 1, status);
}

TEST(ErrorFrame, NestedFramesCatchInnermostFirstAndRestoreTheSlot)
{
    ASSERT_EQ(aac_innermost_frame(), nullptr);
    std::vector<int> order;
    {
        aac_guard outer;
        aac_error_frame *outer_frame = aac_innermost_frame();
        ASSERT_NE(outer_frame, nullptr);
        aac_status outer_status = outer.run([&] {
            aac_status inner_status;
            {
                aac_guard inner;
                EXPECT_EQ(aac_innermost_frame()->previous, outer_frame);
                inner_status = inner.run([&] {
                    raise_deep(10, AAC_ERR_NO_MEMORY);
                    order.push_back(0);  // never reached
                });
                order.push_back(1);
            }
            EXPECT_EQ(aac_innermost_frame(), outer_frame);
            order.push_back(2);
            aac_raise(inner_status);  // passed on to the enclosing frame
        });
        EXPECT_EQ(outer_status, AAC_ERR_NO_MEMORY);
        EXPECT_EQ(aac_innermost_frame(), outer_frame);
        // The same frame runs again and catches foreign exceptions too.
        EXPECT_EQ(outer.run([] { aac_raise(-5); }), -5);
        EXPECT_EQ(outer.run([] {}), AAC_OK);
        EXPECT_EQ(outer.run([] { throw 42; }), AAC_ERR_UNSUPPORTED);
        EXPECT_EQ(outer.run([] { throw std::bad_alloc(); }), AAC_ERR_NO_MEMORY);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(aac_innermost_frame(), nullptr);
}

TEST(ErrorFrameThreads, RaiseAtTheSameTimeWithoutSeeingEachOther)
{
    constexpr int kThreads = 8, kRounds = 2000;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([t, &wrong] {
            for (int round = 0; round < kRounds; round++) {
                const aac_status expected = -1 - t * kRounds - round;
                aac_guard outer;
                aac_error_frame *outer_frame = aac_innermost_frame();
                const aac_status got = outer.run([&] {
                    aac_status inner_status;
                    {  // closed before the raise, which runs no destructor
                        aac_guard inner;
                        wrong += aac_innermost_frame()->previous != outer_frame;
                        inner_status = inner.run([&] { raise_deep(round % 7, expected); });
                    }
                    aac_raise(inner_status);
                });
                wrong += got != expected || aac_innermost_frame() != outer_frame;
            }
            wrong += aac_innermost_frame() != nullptr;
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
