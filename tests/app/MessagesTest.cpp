// HandleMessage: the window messages and framework commands, the device dialog's controls,
// and the device cursor.
#include <algorithm>
#include <map>

#include "RecordingApp.h"
#include "platform/win/WinTime.h"

namespace {

using Events = std::vector<std::string>;

class MessagesTest : public FrameworkTest {
protected:
    void Start(RecordingApp& app) { ASSERT_EQ(app.Create(nullptr), S_OK); }
};

TEST_F(MessagesTest, SizeSetsActiveUnlessMinimisedOrHidden) {
    RecordingApp app;
    Start(app);
    struct Case {
        WPARAM kind;
        BOOL active;
    };
    for (Case c : {Case{SIZE_MINIMIZED, FALSE}, Case{SIZE_RESTORED, TRUE}, Case{SIZE_MAXHIDE, FALSE},
                   Case{SIZE_MAXSHOW, TRUE}, Case{SIZE_MAXIMIZED, TRUE}}) {
        SendMessageA(app.window, WM_SIZE, c.kind, 0);
        EXPECT_EQ(app.active, c.active) << c.kind;
    }
    // Minimising through the window layer stops frames; restoring starts them again.
    ShowWindow(app.window, SW_MINIMIZE);
    EXPECT_FALSE(app.active);
    ShowWindow(app.window, SW_RESTORE);
    EXPECT_TRUE(app.active);
}

TEST_F(MessagesTest, SimpleMessagesAndTheirResults) {
    RecordingApp app;
    Start(app);
    MINMAXINFO mmi{};
    SendMessageA(app.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    EXPECT_EQ(mmi.ptMinTrackSize.x, 100);
    EXPECT_EQ(mmi.ptMinTrackSize.y, 100);
    EXPECT_EQ(SendMessageA(app.window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE);
    EXPECT_EQ(SendMessageA(app.window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0), TRUE);
    EXPECT_EQ(SendMessageA(app.window, WM_POWERBROADCAST, 4, 0), 0);
    // Windowed: the system commands and hit tests go to the default processing.
    EXPECT_EQ(SendMessageA(app.window, WM_SYSCOMMAND, SC_MOVE, 0), 0);
    EXPECT_EQ(SendMessageA(app.window, WM_NCHITTEST, 0, 0), HTCLIENT);
    EXPECT_EQ(SendMessageA(app.window, WM_SETCURSOR, reinterpret_cast<WPARAM>(app.window), HTCLIENT), TRUE);
    // The context menu is missing: nothing happens.
    EXPECT_EQ(SendMessageA(app.window, WM_CONTEXTMENU, 0, MAKELPARAM(5, 5)), 0);
    // Moving the mouse places the device cursor in client coordinates.
    SendMessageA(app.window, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(d3d.LastDevice()->cursorPosition.x, 0 - app.windowRect.left);
}

TEST_F(MessagesTest, FullScreenSwallowsSystemCommandsAndHidesTheCursor) {
    RecordingApp app;
    Start(app);
    SendMessageA(app.window, WM_COMMAND, CmdSwitchFullscreen, 0);
    ASSERT_FALSE(app.windowed);
    for (WPARAM sc : {SC_MOVE, SC_SIZE, SC_MAXIMIZE, SC_KEYMENU, SC_MONITORPOWER})
        EXPECT_EQ(SendMessageA(app.window, WM_SYSCOMMAND, sc, 0), 1) << sc;
    EXPECT_EQ(SendMessageA(app.window, WM_SYSCOMMAND, SC_KEYMENU | 1, 0), 0);  // the whole value is compared
    EXPECT_EQ(SendMessageA(app.window, WM_NCHITTEST, 0, 0), HTCLIENT);
    size_t mark = Mark();
    EXPECT_EQ(SendMessageA(app.window, WM_SETCURSOR, 0, 0), TRUE);
    EXPECT_TRUE(Since(mark).empty());  // no device cursor asked for
    app.showDeviceCursor = TRUE;
    EXPECT_EQ(SendMessageA(app.window, WM_SETCURSOR, 0, 0), TRUE);
    EXPECT_EQ(Since(mark), (Events{"ShowCursor on"}));
}

TEST_F(MessagesTest, PaintRepaintsOnlyWhileFramesAreNotDriven) {
    RecordingApp app;
    Start(app);
    size_t mark = Mark();
    SendMessageA(app.window, WM_PAINT, 0, 0);
    EXPECT_TRUE(Since(mark).empty());
    SendMessageA(app.window, WM_ENTERMENULOOP, 0, 0);
    EXPECT_FALSE(app.ready);
    SendMessageA(app.window, WM_PAINT, 0, 0);
    SendMessageA(app.window, WM_EXITMENULOOP, 0, 0);
    EXPECT_TRUE(app.ready);
    EXPECT_EQ(Since(mark), (Events{"Pause(true)", "Present", "Pause(false)"}));
}

TEST_F(MessagesTest, ToggleAnimationTwiceKeepsTimeContinuous) {
    RecordingApp app;
    Start(app);
    Frame(app);
    SendMessageA(app.window, WM_COMMAND, CmdToggleAnimation, 0);
    for (int i = 0; i < 50; ++i) win::AdvanceFixedStepClock();  // half a second while stopped
    SendMessageA(app.window, WM_COMMAND, CmdToggleAnimation, 0);
    EXPECT_TRUE(app.animating);
    Frame(app);
    EXPECT_FLOAT_EQ(app.updateTimes.back(), 0.02f);
    EXPECT_FLOAT_EQ(app.updateElapsed.back(), 0.01f);
}

TEST_F(MessagesTest, StepFrameStopsThenAdvancesByTenths) {
    RecordingApp app;
    Start(app);
    Frame(app);
    SendMessageA(app.window, WM_COMMAND, CmdStepFrame, 0);  // animating: stops the timer
    EXPECT_FALSE(app.animating);
    EXPECT_TRUE(app.stepOnce);
    Frame(app);
    EXPECT_FLOAT_EQ(app.updateTimes.back(), 0.01f);
    for (int step = 1; step <= 3; ++step) {
        SendMessageA(app.window, WM_COMMAND, CmdStepFrame, 0);
        Frame(app);
        EXPECT_NEAR(app.updateTimes.back(), 0.01f + 0.1f * step, 1e-5);
    }
    EXPECT_EQ(app.updateTimes.size(), 5u);
}

TEST_F(MessagesTest, QuitCommandClosesTheWindow) {
    RecordingApp app;
    Start(app);
    HWND w = app.window;
    EXPECT_EQ(SendMessageA(w, WM_COMMAND, CmdQuit, 0), 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(Logged("CleanupScene"));
}

TEST_F(MessagesTest, SelectDeviceWithoutTheDialogOnlyReturnsToWindowed) {
    RecordingApp app;
    Start(app);
    size_t mark = Mark();
    SendMessageA(app.window, WM_COMMAND, CmdSelectDevice, 0);
    EXPECT_EQ(Since(mark), (Events{"Pause(true)", "Pause(false)"}));  // the template is missing
    SendMessageA(app.window, WM_COMMAND, CmdSwitchFullscreen, 0);
    ASSERT_FALSE(app.windowed);
    mark = Mark();
    SendMessageA(app.window, WM_COMMAND, CmdSelectDevice, 0);
    EXPECT_EQ(Since(mark), (Events{"Pause(true)", "AdjustWindowStyle", "LoseDeviceObjects", "Reset",
                                   "ResetDeviceObjects", "Pause(false)"}));
    EXPECT_TRUE(app.windowed);
    EXPECT_TRUE(app.ready);
}

TEST_F(MessagesTest, CommandsNeedAnActiveReadyFramework) {
    RecordingApp app;
    Start(app);
    SendMessageA(app.window, WM_SIZE, SIZE_MINIMIZED, 0);
    size_t mark = Mark();
    SendMessageA(app.window, WM_COMMAND, CmdSwitchFullscreen, 0);
    SendMessageA(app.window, WM_COMMAND, CmdSelectDevice, 0);
    EXPECT_TRUE(Since(mark).empty());
    EXPECT_TRUE(app.windowed);
}

TEST_F(MessagesTest, FailedSwitchToFullScreenIsFatal) {
    RecordingApp app;
    Start(app);
    d3d.LastDevice()->resetResult = D3DERR_INVALIDCALL;
    HWND w = app.window;
    SendMessageA(w, WM_COMMAND, CmdSwitchFullscreen, 0);
    EXPECT_EQ(ShownBoxes().back().text, "Could not reset the Direct3D device.\n\nThis program will now exit.");
    EXPECT_FALSE(IsWindow(w));
}

// [SECTION] The device dialog, with recording controls standing in for the template's.
struct Control {
    std::vector<std::pair<std::string, LPARAM>> items;
    LRESULT selected = CB_ERR;
    WPARAM checked = BST_UNCHECKED;
};
std::map<HWND, Control> controls;

LRESULT ControlProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    Control& c = controls[w];
    switch (message) {
        case CB_RESETCONTENT: c.items.clear(); c.selected = CB_ERR; return 0;
        case CB_ADDSTRING: c.items.emplace_back(reinterpret_cast<const char*>(lParam), 0); return static_cast<LRESULT>(c.items.size() - 1);
        case CB_SETITEMDATA: c.items.at(wParam).second = lParam; return 0;
        case CB_GETITEMDATA: return wParam < c.items.size() ? c.items[wParam].second : CB_ERR;
        case CB_SETCURSEL: c.selected = static_cast<LRESULT>(wParam); return c.selected;
        case CB_GETCURSEL: return c.selected;
        case CB_GETCOUNT: return static_cast<LRESULT>(c.items.size());
        case BM_SETCHECK: c.checked = wParam; return 0;
        case BM_GETCHECK: return static_cast<LRESULT>(c.checked);
        default: return DefWindowProcA(w, message, wParam, lParam);
    }
}

TEST_F(MessagesTest, DeviceDialogListsTheTableAndWritesBackAChoice) {
    RecordingApp app;
    Start(app);
    WNDCLASSA wc{};
    wc.lpfnWndProc = ControlProc;
    wc.lpszClassName = "TestControl";
    RegisterClassA(&wc);
    controls.clear();
    HWND dialog = CreateWindowExA(0, "TestControl", "dialog", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    std::map<int, HWND> ids;
    for (int id : {1000, 1002, 1003, 1005, 1016, 1018})
        ids[id] = CreateWindowExA(0, "TestControl", "", WS_CHILD, 0, 0, 1, 1, dialog,
                                  reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
    d3d.adapters[0].types[1].multiSampleTypes = {0, 2, 4};

    EXPECT_EQ(AppFramework::DeviceDialogProc(dialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&app)), TRUE);
    const Control& adaptersList = controls[ids[1002]];
    ASSERT_EQ(adaptersList.items.size(), 1u);
    EXPECT_EQ(adaptersList.items[0].first, "Fake adapter");
    EXPECT_EQ(controls[ids[1000]].items[0].first, "REF");
    const Control& modes = controls[ids[1003]];
    ASSERT_EQ(modes.items.size(), 4u);
    EXPECT_EQ(modes.items[0].first, "640 x 480 x 16");
    EXPECT_EQ(modes.items[2].first, "640 x 480 x 32");
    const Control& ms = controls[ids[1005]];
    ASSERT_EQ(ms.items.size(), 3u);
    EXPECT_EQ(ms.items[0].first, "none");
    EXPECT_EQ(ms.items[2].first, "4 samples");
    EXPECT_EQ(ms.selected, 0);
    EXPECT_TRUE(IsWindowEnabled(ids[1005]));
    EXPECT_FALSE(IsWindowEnabled(ids[1003]));  // windowed: no full-screen mode to pick
    EXPECT_EQ(controls[ids[1016]].checked, BST_CHECKED);

    // Pick full screen, the 800 x 600 x 32 mode and 2 samples, then OK.
    controls[ids[1016]].checked = BST_UNCHECKED;
    AppFramework::DeviceDialogProc(dialog, WM_COMMAND, 1016, 0);
    EXPECT_TRUE(IsWindowEnabled(ids[1003]));
    controls[ids[1003]].selected = 3;
    AppFramework::DeviceDialogProc(dialog, WM_COMMAND, MAKELPARAM(1003, CBN_SELENDOK), 0);
    controls[ids[1005]].selected = 1;
    AppFramework::DeviceDialogProc(dialog, WM_COMMAND, MAKELPARAM(1005, CBN_SELENDOK), 0);
    EXPECT_EQ(AppFramework::DeviceDialogProc(dialog, WM_COMMAND, IDOK, 0), TRUE);
    const DeviceEntry& d = app.adapters[0].devices[0];
    EXPECT_EQ(d.currentMode, 3u);
    EXPECT_FALSE(d.windowed);
    EXPECT_EQ(d.multiSampleType, D3DMULTISAMPLE_2_SAMPLES);
    EXPECT_EQ(AppFramework::DeviceDialogProc(dialog, 0x0113, 0, 0), FALSE);
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(ids[1002]));  // the controls went with it
}

TEST_F(MessagesTest, DeviceCursorFromTheArrow) {
    RecordingApp app;
    Start(app);
    size_t bitmaps = win::LiveBitmapCount();
    FakeDevice* dev = d3d.LastDevice();
    ASSERT_EQ(app.UploadDeviceCursor(dev, LoadCursorA(nullptr, IDC_ARROW)), S_OK);
    ASSERT_EQ(dev->cursorWidth, 32u);
    ASSERT_EQ(dev->cursorHeight, 32u);
    auto at = [&](int x, int y) { return dev->cursorPixels[static_cast<size_t>(y) * 32 + x]; };
    EXPECT_EQ(at(0, 0), 0xFF000000u);   // the tip: black outline
    EXPECT_EQ(at(1, 2), 0xFFFFFFFFu);   // inside: white
    EXPECT_EQ(at(20, 2), 0u);           // outside: transparent
    EXPECT_EQ(at(31, 31), 0u);
    EXPECT_EQ(win::LiveBitmapCount(), bitmaps);  // both bitmaps freed
    EXPECT_EQ(app.UploadDeviceCursor(dev, nullptr), E_FAIL);
    // In full screen with the setting on, creation and reset upload it and show it.
    app.showDeviceCursor = TRUE;
    size_t mark = Mark();
    SendMessageA(app.window, WM_COMMAND, CmdSwitchFullscreen, 0);
    Events e = Since(mark);
    EXPECT_NE(std::find(e.begin(), e.end(), "SetCursorProperties"), e.end());
    EXPECT_NE(std::find(e.begin(), e.end(), "ShowCursor on"), e.end());
}

}  // namespace
