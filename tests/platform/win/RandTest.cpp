// The process-wide generator: classic sequence, full 0..32767 range, one shared state.
#include "platform/win/Rand.h"

#include <gtest/gtest.h>

TEST(Rand, ClassicSequenceFromInitialState) {
    win::ResetRandForTesting();
    EXPECT_EQ(win::rand(), 41);
    EXPECT_EQ(win::rand(), 18467);
    EXPECT_EQ(win::rand(), 6334);
    EXPECT_EQ(win::rand(), 26500);
    EXPECT_EQ(win::rand(), 19169);
}

TEST(Rand, CoversWholeRangeAndStaysInIt) {
    win::ResetRandForTesting();
    int lo = 1 << 30, hi = -1;
    for (int i = 0; i < 1 << 20; ++i) {
        int r = win::rand();
        lo = r < lo ? r : lo;
        hi = r > hi ? r : hi;
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, win::RAND_MAX_VALUE);
}
