// The simulation's pace (pause, single steps, speed limits and its heads-up text), the heads-up
// font's size for the window, and the help table's rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "scene/FluidDemoApp.h"
#include "scene/SimulationClock.h"

namespace {

TEST(SimulationClock, PauseHoldsAndAStepAdvancesOnce) {
    SimulationClock clock;
    EXPECT_EQ(clock.TakeFrameSpeed(), 1.0f);
    clock.RequestStep();  // running: a step asks for nothing more
    clock.TogglePause();
    EXPECT_EQ(clock.TakeFrameSpeed(), 0.0f);
    clock.RequestStep();
    clock.RequestStep();  // two presses before the frame are one step
    EXPECT_EQ(clock.TakeFrameSpeed(), 1.0f);
    EXPECT_EQ(clock.TakeFrameSpeed(), 0.0f);
    // A step asked for and then resumed is not kept for a later pause.
    clock.RequestStep();
    clock.TogglePause();
    clock.TogglePause();
    EXPECT_EQ(clock.TakeFrameSpeed(), 0.0f);
    clock.TogglePause();
    EXPECT_EQ(clock.TakeFrameSpeed(), 1.0f);
}

TEST(SimulationClock, SpeedHalvesAndDoublesWithinItsLimits) {
    SimulationClock clock;
    for (int i = 0; i < 6; ++i) clock.Slower();
    EXPECT_EQ(clock.Speed(), SimulationClock::kMinSpeed);
    EXPECT_EQ(clock.StateText(), "speed 1/8");
    clock.Faster();
    EXPECT_EQ(clock.Speed(), 0.25f);
    for (int i = 0; i < 9; ++i) clock.Faster();
    EXPECT_EQ(clock.Speed(), SimulationClock::kMaxSpeed);
    EXPECT_EQ(clock.StateText(), "speed 4");
    clock.TogglePause();
    EXPECT_EQ(clock.StateText(), "paused, speed 4");
    // A step while paused goes at the speed set.
    clock.RequestStep();
    EXPECT_EQ(clock.TakeFrameSpeed(), 4.0f);
    clock.Slower();
    clock.Slower();
    EXPECT_EQ(clock.StateText(), "paused");
    clock.TogglePause();
    EXPECT_EQ(clock.StateText(), "");
}

TEST(HeadsUpText, FontGrowsWithTheWindowAndStaysLegible) {
    EXPECT_EQ(HeadsUpFontPoints(640, 480), 9u);
    EXPECT_EQ(HeadsUpFontPoints(1280, 960), 18u);
    // The smaller ratio decides: 1920x1080 is 2.25 times 480 high.
    EXPECT_EQ(HeadsUpFontPoints(1920, 1080), 20u);
    EXPECT_EQ(HeadsUpFontPoints(3000, 480), 9u);
    // Smaller windows keep the design's size; huge ones stop at 48.
    EXPECT_EQ(HeadsUpFontPoints(480, 360), 9u);
    EXPECT_EQ(HeadsUpFontPoints(0, 0), 9u);
    EXPECT_EQ(HeadsUpFontPoints(700, 500), 9u);
    EXPECT_EQ(HeadsUpFontPoints(8192, 8192), 48u);
}

TEST(HeadsUpText, HelpTableKeepsTheOriginalRowsThenListsEveryKey) {
    const std::string keys = HelpKeysColumn(), actions = HelpActionsColumn();
    EXPECT_EQ(keys.rfind("Key\nSpace\nF1\nF2\nF3\nUp/Down\nLeft/Right\nA/Z\n", 0), 0u);
    EXPECT_EQ(actions.rfind("action\n- heat bottom\n- toggles help\n", 0), 0u);
    // One action per key, line for line.
    EXPECT_EQ(std::count(keys.begin(), keys.end(), '\n') + 1, std::count(actions.begin(), actions.end(), '\n'));
    for (const char* key : {"\nR\n", "\n1\n", "\n3\n", "\nP\n", "\n.\n", "[ / ]", "F5", "F11", "Escape", "drag", "Wheel"})
        EXPECT_NE(keys.find(key), std::string::npos) << key;
    EXPECT_NE(actions.find("- reload effects and textures\n"), std::string::npos);
}

}  // namespace
