// The run's generator: classic sequence, full 0..32767 range, one state per run scope.
#include "platform/win/Rand.h"

#include <gtest/gtest.h>

#include "platform/win/RunState.h"
#include "platform/win/WinTime.h"

TEST(Rand, ClassicSequenceFromInitialState) {
    const win::RunScope run;
    EXPECT_EQ(win::rand(), 41);
    EXPECT_EQ(win::rand(), 18467);
    EXPECT_EQ(win::rand(), 6334);
    EXPECT_EQ(win::rand(), 26500);
    EXPECT_EQ(win::rand(), 19169);
}

TEST(Rand, CoversWholeRangeAndStaysInIt) {
    const win::RunScope run;
    int lo = 1 << 30, hi = -1;
    for (int i = 0; i < 1 << 20; ++i) {
        int r = win::rand();
        lo = r < lo ? r : lo;
        hi = r > hi ? r : hi;
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, win::RAND_MAX_VALUE);
}

TEST(RunScope, EachScopeStartsAfreshAndTheOneItFoundGoesOnWhereItWas) {
    const win::RunScope outer;
    EXPECT_EQ(win::rand(), 41);
    win::UseFixedStepClock(0.5);
    win::AdvanceFixedStepClock();
    LARGE_INTEGER before{};
    QueryPerformanceCounter(&before);
    {
        const win::RunScope inner;
        EXPECT_EQ(win::rand(), 41);  // from the start, not the outer sequence's second value
        EXPECT_FALSE(win::IsFixedStepClock());
        win::UseFixedStepClock(0.25);
        win::AdvanceFixedStepClock();
        {
            const win::RunScope innermost;
            EXPECT_EQ(win::rand(), 41);
        }
        EXPECT_EQ(win::rand(), 18467);
        LARGE_INTEGER c{};
        QueryPerformanceCounter(&c);
        EXPECT_EQ(c.QuadPart, win::kCounterFrequency + win::kCounterFrequency / 4);
    }
    // The outer run's sequence and clock are as the inner run found them.
    EXPECT_EQ(win::rand(), 18467);
    EXPECT_TRUE(win::IsFixedStepClock());
    LARGE_INTEGER after{};
    QueryPerformanceCounter(&after);
    EXPECT_EQ(after.QuadPart, before.QuadPart);
    EXPECT_EQ(before.QuadPart, win::kCounterFrequency + win::kCounterFrequency / 2);
}
