// The pacing arithmetic with made-up times: frames keep the rhythm of the period, late frames show at
// once, and a long pause starts a new rhythm instead of a burst of catch-up frames.
#include "platform/win/FramePacer.h"

#include <gtest/gtest.h>

namespace {

constexpr double kPeriod = 1.0 / 60.0;

TEST(FramePacer, FramesFollowTheRhythmAndLateFramesDoNotBurst) {
    win::FramePacer pacer;
    EXPECT_NEAR(pacer.Wait(10.0, kPeriod), 0.0, 1e-12);  // the first frame shows at once
    // An early frame waits for its slot, a frame already at its slot does not.
    EXPECT_NEAR(pacer.Wait(10.005, kPeriod), kPeriod - 0.005, 1e-12);
    EXPECT_NEAR(pacer.Wait(10.0 + 2 * kPeriod, kPeriod), 0.0, 1e-12);
    // A frame late by less than a period shows at once and the next keeps the old rhythm.
    EXPECT_NEAR(pacer.Wait(10.0 + 3.5 * kPeriod, kPeriod), 0.0, 1e-12);
    EXPECT_NEAR(pacer.Wait(10.0 + 3.6 * kPeriod, kPeriod), 0.4 * kPeriod, 1e-12);
    // Far behind (the program was stopped): no catch-up burst, a new rhythm from now.
    EXPECT_NEAR(pacer.Wait(20.0, kPeriod), 0.0, 1e-12);
    EXPECT_NEAR(pacer.Wait(20.0, kPeriod), kPeriod, 1e-12);
    EXPECT_NEAR(pacer.Wait(20.0, kPeriod), 2 * kPeriod, 1e-12);
}

TEST(FramePacer, RestartAndChangedPeriods) {
    win::FramePacer pacer;
    EXPECT_NEAR(pacer.Wait(1.0, 0.25), 0.0, 1e-12);
    EXPECT_NEAR(pacer.Wait(1.01, 0.25), 0.24, 1e-12);  // a covered window: four frames a second
    pacer.Restart();
    EXPECT_NEAR(pacer.Wait(1.02, kPeriod), 0.0, 1e-12);  // uncovered: at once, then the display's rhythm
    EXPECT_NEAR(pacer.Wait(1.02, kPeriod), kPeriod, 1e-12);
    // A zero period never waits.
    win::FramePacer flat;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(flat.Wait(5.0, 0.0), 0.0, 1e-12);
}

}  // namespace
