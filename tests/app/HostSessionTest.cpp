// HostSession: a run's host settings applied for its length and put back after it, and the
// framework's state (timer, application, Direct3D factory) belonging to the run.
#include <gtest/gtest.h>

#include "RecordingApp.h"
#include "app/HostSession.h"
#include "platform/win/Rand.h"
#include "platform/win/WinTime.h"

namespace {

using HostSessionTest = FrameworkTest;

HACCEL LoadTable() { return LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(kAcceleratorResource)); }

TEST_F(HostSessionTest, AppliesEverySettingAndPutsBackWhatItFound) {
    d3dhost::HostOptions found;
    found.restriction = D3DDEVTYPE_HAL;
    found.windowedSync = false;
    d3dhost::SetHostOptions(found);
    win::SetMessageBoxesToStandardError(false);
    EXPECT_EQ(LoadTable(), nullptr);
    EXPECT_TRUE(win::IsFixedStepClock());  // the fixture's 0.01 s clock
    {
        HostConfig config;
        config.device.headless = true;
        config.device.restriction = D3DDEVTYPE_REF;
        config.device.readBackEachPresent = true;
        config.messageBoxesToStandardError = true;
        config.accelerators = {{FVIRTKEY, VK_ESCAPE, CmdQuit}};
        const HostSession session(config);
        const d3dhost::HostOptions now = d3dhost::CurrentHostOptions();
        EXPECT_TRUE(now.headless);
        EXPECT_TRUE(d3dhost::IsHeadless());
        EXPECT_EQ(now.restriction, D3DDEVTYPE_REF);
        EXPECT_TRUE(now.windowedSync);  // the config's own value, not the one found
        EXPECT_TRUE(now.readBackEachPresent);
        EXPECT_TRUE(win::MessageBoxesToStandardError());
        EXPECT_NE(LoadTable(), nullptr);
        EXPECT_FALSE(win::IsFixedStepClock());  // fixedStep 0: the real clock
    }
    const d3dhost::HostOptions after = d3dhost::CurrentHostOptions();
    EXPECT_FALSE(after.headless);
    EXPECT_EQ(after.restriction, D3DDEVTYPE_HAL);
    EXPECT_FALSE(after.windowedSync);
    EXPECT_FALSE(after.readBackEachPresent);
    EXPECT_FALSE(win::MessageBoxesToStandardError());
    EXPECT_EQ(LoadTable(), nullptr);
    EXPECT_TRUE(win::IsFixedStepClock());
    d3dhost::SetHostOptions(d3dhost::HostOptions{});
}

TEST_F(HostSessionTest, AChangedAcceleratorTableIsTheOneLoadedNext) {
    HACCEL first;
    {
        HostConfig config;
        config.accelerators = {{FVIRTKEY, VK_ESCAPE, CmdQuit}};
        const HostSession session(config);
        first = LoadTable();
        ASSERT_NE(first, nullptr);
    }
    HostConfig config;
    config.accelerators = {{FVIRTKEY, VK_F11, CmdSwitchFullscreen}, {FVIRTKEY, VK_ESCAPE, CmdQuit}};
    const HostSession session(config);
    const HACCEL second = LoadTable();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
}

TEST_F(HostSessionTest, EachRunHasItsOwnTimerRandomSequenceAndApplication) {
    RecordingApp outerApp;
    EXPECT_EQ(CurrentApplication(), &outerApp);
    win::AdvanceFixedStepClock();
    FrameTimer(TimerCommand::Start);
    win::AdvanceFixedStepClock();
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 0.01, 1e-9);
    const int outerFirst = win::rand();
    {
        HostConfig config = TestHostConfig();
        config.fixedStep = 0.5;
        const HostSession inner(config);
        EXPECT_EQ(CurrentApplication(), nullptr);
        EXPECT_EQ(win::rand(), outerFirst);  // the sequence starts again
        FrameTimer(TimerCommand::Start);
        win::AdvanceFixedStepClock();
        EXPECT_DOUBLE_EQ(FrameTimer(TimerCommand::AppTime), 0.5);
        {
            RecordingApp innerApp;
            EXPECT_EQ(CurrentApplication(), &innerApp);
        }
        // An application gone is no longer the run's: its window procedure and Ctrl+C find none.
        EXPECT_EQ(CurrentApplication(), nullptr);
    }
    EXPECT_EQ(CurrentApplication(), &outerApp);
    EXPECT_NEAR(FrameTimer(TimerCommand::AppTime), 0.01, 1e-9);
}

TEST_F(HostSessionTest, APauseLeftByOneApplicationDoesNotHoldTheNext) {
    {
        RecordingApp first;
        ASSERT_EQ(first.Create(nullptr), S_OK);
        first.Pause(TRUE);  // never resumed
        EXPECT_FALSE(first.ready);
        first.HandleMessage(first.MainWindow(), WM_CLOSE, 0, 0);
    }
    RecordingApp second;
    ASSERT_EQ(second.Create(nullptr), S_OK);
    EXPECT_TRUE(second.ready);
    second.Pause(TRUE);
    second.Pause(FALSE);
    EXPECT_TRUE(second.ready);
}

TEST_F(HostSessionTest, TheConfiguredFactoryMakesTheDirect3DObject) {
    {
        HostConfig config;
        config.direct3dFactory = [](UINT) -> IDirect3D8* { return nullptr; };
        const HostSession session(config);
        RecordingApp app;
        EXPECT_EQ(app.Create(nullptr), AppError::Direct3DUnavailable);
    }
    RecordingApp app;  // the fixture's fake again
    EXPECT_EQ(app.Create(nullptr), S_OK);
    app.HandleMessage(app.MainWindow(), WM_CLOSE, 0, 0);
}

}  // namespace
