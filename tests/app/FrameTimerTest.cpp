// FrameTimer on an injected clock: both clocks, stop/start, advance, the -1.0 answer, and a
// Start while the timer runs (which must not throw application time into the negative).
#include <gtest/gtest.h>

#include <optional>

#include "app/FrameTimer.h"
#include "app/HostSession.h"
#include "platform/win/WinTime.h"

namespace {

LONGLONG ticks = 0;
LONGLONG frequency = 1000;
DWORD milliseconds = 0;

LONGLONG Frequency() { return frequency; }
LONGLONG Counter() { return ticks; }
DWORD Milliseconds() { return milliseconds; }

const win::TestClock kClock{Frequency, Counter, Milliseconds};

class FrameTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ticks = 5000;
        milliseconds = 5000;
        frequency = 1000;
        win::SetTestClock(&kClock);
        session.emplace();  // a fresh timer: the first command picks its clock
    }
    void TearDown() override {
        session.reset();
        win::SetTestClock(nullptr);
    }
    std::optional<HostSession> session;
};

TEST_F(FrameTimerTest, HighResolutionStopDoesNotCountStoppedTime) {
    FrameTimer(TimerCommand::Start);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 0.0);
    ticks += 1500;  // 1.5 s running
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 1.5);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 1.5);
    FrameTimer(TimerCommand::Stop);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.0);  // right after Stop
    ticks += 4000;                                   // stopped: not counted
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 1.5);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.0);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AbsoluteTime), 10.5);  // the live clock runs on
    FrameTimer(TimerCommand::Start);
    ticks += 250;
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 1.75);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.25);
}

TEST_F(FrameTimerTest, AdvanceStepsAStoppedTimerByTenths) {
    FrameTimer(TimerCommand::Start);
    ticks += 1000;
    FrameTimer(TimerCommand::Stop);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::Advance), 0.0);
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 1.3, 1e-12);
    EXPECT_NEAR(FrameTimer(TimerCommand::ElapsedTime), 0.3, 1e-12);  // since the Stop
    ticks += 777;
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 1.3, 1e-12);  // still held
}

TEST_F(FrameTimerTest, ResetRestartsApplicationTime) {
    FrameTimer(TimerCommand::Start);
    ticks += 2000;
    FrameTimer(TimerCommand::Reset);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 0.0);
    ticks += 100;
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 0.1);
}

TEST_F(FrameTimerTest, UnknownCommandsAnswerMinusOneAndChangeNothing) {
    FrameTimer(TimerCommand::Start);
    ticks += 400;
    EXPECT_DOUBLE_EQ(FrameTimer(7), -1.0);
    EXPECT_DOUBLE_EQ(FrameTimer(-1), -1.0);
    EXPECT_DOUBLE_EQ(FrameTimer(1000), -1.0);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 0.4);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.4);
}

// A Start while running must leave the base mark alone: adding the whole reading to it would
// make application time hugely negative.
TEST_F(FrameTimerTest, StartWhileRunningKeepsApplicationTime) {
    FrameTimer(TimerCommand::Start);
    ticks += 2000;
    FrameTimer(TimerCommand::ElapsedTime);
    ticks += 500;
    FrameTimer(TimerCommand::Start);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 2.5);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.0);  // the last-elapsed mark was refreshed
    ticks += 100;
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 2.6);
    // A Stop and Start afterwards still behave as before.
    FrameTimer(TimerCommand::Stop);
    ticks += 1000;
    FrameTimer(TimerCommand::Start);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 2.6);
}

TEST_F(FrameTimerTest, MillisecondClockWhenTheCounterIsMissing) {
    frequency = 0;  // QueryPerformanceFrequency fails
    FrameTimer(TimerCommand::Start);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 0.0);
    milliseconds += 1200;
    EXPECT_NEAR(FrameTimer(TimerCommand::ElapsedTime), 1.2, 1e-9);
    milliseconds += 300;
    FrameTimer(TimerCommand::Stop);
    // The millisecond clock's Stop leaves the last-elapsed mark: the first ElapsedTime after
    // it reports the time up to the Stop, the next one 0.
    EXPECT_NEAR(FrameTimer(TimerCommand::ElapsedTime), 0.3, 1e-9);
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.0);
    milliseconds += 5000;
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 1.5, 1e-9);
    FrameTimer(TimerCommand::Advance);
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 1.5 + static_cast<double>(0.1f), 1e-9);
    EXPECT_NEAR(FrameTimer(TimerCommand::AbsoluteTime), 11.5, 1e-9);
    FrameTimer(TimerCommand::Start);
    milliseconds += 100;
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 1.6 + static_cast<double>(0.1f), 1e-9);
}

TEST_F(FrameTimerTest, MillisecondClockStartWhileRunningKeepsTime) {
    frequency = 0;
    FrameTimer(TimerCommand::Start);
    milliseconds += 700;
    FrameTimer(TimerCommand::Start);
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 0.7, 1e-9);
}

TEST(FixedStepClock, AdvancesExactlyOneStepPerFrame) {
    HostConfig config;
    config.fixedStep = 0.25;
    const HostSession session(config);
    FrameTimer(TimerCommand::Start);
    for (int frame = 1; frame <= 4; ++frame) {
        win::AdvanceFixedStepClock();
        EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 0.25 * frame);
        EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.25);
    }
    EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::ElapsedTime), 0.0);  // no step, no time
}

}  // namespace
