// Error frames: the innermost frame catches, the thread's slot is restored
// on every exit, frames nest and may be re-entered, and threads never see
// each other's frames.
#include "frame/error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "lumdec.h"

namespace {

// Raises from `depth` calls down.
void raise_deep(int depth, aac_status status)
{
    if (depth < 0)
        return;
    if (depth == 0)
        aac_raise(status);
    raise_deep(depth - 1, status);
}

TEST(ErrorFrame, RaiseUnwindsToTheFrameAndRestoresTheSlot)
{
    ASSERT_EQ(aac_innermost_frame(), nullptr);
    bool after_raise = false;
    aac_status status;
    {
        aac_guard frame;
        EXPECT_NE(aac_innermost_frame(), nullptr);
        status = frame.run([&] {
            raise_deep(10, AAC_ERR_CORRUPT_FRAME);
            after_raise = true;
        });
        EXPECT_NE(aac_innermost_frame(), nullptr);
    }
    EXPECT_EQ(status, AAC_ERR_CORRUPT_FRAME);
    EXPECT_FALSE(after_raise);
    EXPECT_EQ(aac_innermost_frame(), nullptr);
}

TEST(ErrorFrame, NestedFramesCatchInnermostFirstAndMayRaiseAgain)
{
    std::vector<int> order;
    aac_guard outer;
    aac_error_frame *outer_frame = aac_innermost_frame();
    aac_status outer_status = outer.run([&] {
        aac_status inner_status;
        {
            aac_guard inner;
            EXPECT_EQ(aac_innermost_frame()->previous, outer_frame);
            inner_status = inner.run([&] { aac_raise(AAC_ERR_NO_MEMORY); });
            order.push_back(1);
        }
        EXPECT_EQ(aac_innermost_frame(), outer_frame);
        EXPECT_EQ(inner_status, AAC_ERR_NO_MEMORY);
        // Clean up, then pass the same status on to the enclosing frame.
        order.push_back(2);
        aac_raise(inner_status);
    });
    EXPECT_EQ(outer_status, AAC_ERR_NO_MEMORY);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(aac_innermost_frame(), outer_frame);
}

TEST(ErrorFrame, AFrameMayRunAgainAndCatchesForeignExceptions)
{
    aac_guard frame;
    aac_error_frame *mine = aac_innermost_frame();
    EXPECT_EQ(frame.run([] { aac_raise(AAC_ERR_BAD_STREAM); }), AAC_ERR_BAD_STREAM);
    EXPECT_EQ(aac_innermost_frame(), mine);
    EXPECT_EQ(frame.run([] { aac_raise(-5); }), -5);
    EXPECT_EQ(frame.run([] {}), AAC_OK);
    EXPECT_EQ(frame.run([] { throw 42; }), AAC_ERR_UNSUPPORTED);
    EXPECT_EQ(frame.run([] { throw std::bad_alloc(); }), AAC_ERR_NO_MEMORY);
}

TEST(ErrorFrame, ThreadsRaiseAtTheSameTimeWithoutSeeingEachOther)
{
    constexpr int kThreads = 8, kRounds = 2000;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([t, &wrong] {
            for (int round = 0; round < kRounds; round++) {
                aac_status expected = -1 - t * kRounds - round;
                aac_guard outer;
                aac_error_frame *outer_frame = aac_innermost_frame();
                aac_status got = outer.run([&] {
                    aac_guard inner;
                    if (aac_innermost_frame()->previous != outer_frame)
                        wrong++;
                    aac_status inner_got = inner.run([&] { raise_deep(round % 7, expected); });
                    aac_raise(inner_got);
                });
                if (got != expected || aac_innermost_frame() != outer_frame)
                    wrong++;
            }
            if (aac_innermost_frame() != nullptr)
                wrong++;
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
