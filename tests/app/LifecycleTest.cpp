// The order of the hooks and device calls in every situation of the application's life:
// start-up, frames, lost device, resize, full-screen switch, new device, HAL failure with the
// REF fallback, close; and the exit status of a failed start.
#include "RecordingApp.h"
#include "app/RunApplication.h"
#include "platform/win/WinTime.h"

namespace {

using Events = std::vector<std::string>;

class LifecycleTest : public FrameworkTest {};

TEST_F(LifecycleTest, StartUpOrderAndSelection) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    // REF has no hardware T&L: one candidate per format, desktop format first.
    EXPECT_EQ(EventLog(), (Events{"CheckDevice 0x20 22", "CheckDevice 0x20 23", "InitScene", "AdjustWindowStyle",
                                  "CreateDevice 0 REF 0x20", "CreateDeviceObjects", "ResetDeviceObjects"}));
    EXPECT_TRUE(app.ready);
    EXPECT_TRUE(app.active);
    EXPECT_TRUE(app.windowed);
    EXPECT_STREQ(app.deviceText, "REF (sw vp)");
    EXPECT_EQ(app.windowStyle, 0x90CE0000u);
    // The windowed back buffer takes the client size and the desktop format.
    EXPECT_EQ(app.presentParams.BackBufferWidth, 400u);
    EXPECT_EQ(app.presentParams.BackBufferHeight, 300u);
    EXPECT_EQ(app.presentParams.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(app.presentParams.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(app.presentParams.BackBufferCount, 1u);
    EXPECT_EQ(app.presentParams.hDeviceWindow, app.window);
    EXPECT_EQ(app.backBufferDesc.Width, 400u);
    EXPECT_EQ(app.behaviorFlags, static_cast<DWORD>(D3DCREATE_SOFTWARE_VERTEXPROCESSING));
    // Only a REF device: the warning names the missing hardware, before anything else runs.
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].text.rfind("No hardware-accelerated Direct3D devices\nwere found.\n\nSwitching", 0), 0u);
    EXPECT_EQ(ShownBoxes()[0].type, MB_ICONWARNING);
}

TEST_F(LifecycleTest, ApplicationSuppliedWindowIsUsedUnchanged) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "Own Window";
    RegisterClassA(&wc);
    HWND own = CreateWindowExA(0, "Own Window", "own", WS_POPUP | WS_VISIBLE, 7, 8, 123, 45, nullptr, nullptr,
                               nullptr, nullptr);
    RecordingApp app;
    app.window = own;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    EXPECT_EQ(app.window, own);
    RECT r{};
    GetWindowRect(own, &r);
    EXPECT_EQ(r.left, 7);
    EXPECT_EQ(r.right - r.left, 123);
    EXPECT_EQ(app.presentParams.BackBufferWidth, 123u);
    EXPECT_EQ(app.presentParams.BackBufferHeight, 45u);
    // No "D3D Window" class was registered for it.
    EXPECT_EQ(CreateWindowExA(0, "D3D Window", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    app.ReportError(S_OK, 0);  // a plain warning box: nothing else happens
    EXPECT_TRUE(IsWindow(own));
    DestroyWindow(own);
    UnregisterClassA("Own Window", nullptr);
}

TEST_F(LifecycleTest, FramesUpdateRenderPresentAndSkipZeroElapsed) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    size_t mark = Mark();
    ASSERT_EQ(Frame(app), S_OK);
    EXPECT_EQ(Since(mark), (Events{"UpdateFrame", "RenderFrame", "Present"}));
    EXPECT_FLOAT_EQ(app.updateTimes.back(), 0.01f);
    EXPECT_FLOAT_EQ(app.updateElapsed.back(), 0.01f);
    // No time passed: the pass neither updates, renders nor presents.
    mark = Mark();
    ASSERT_EQ(app.ProcessFrame(), S_OK);
    EXPECT_TRUE(Since(mark).empty());
    ASSERT_EQ(Frame(app), S_OK);
    EXPECT_FLOAT_EQ(app.updateTimes.back(), 0.02f);
}

TEST_F(LifecycleTest, StoppedAnimationRendersEveryPassButUpdatesOnlyOnStep) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    Frame(app);
    SendMessageA(app.window, WM_COMMAND, CmdToggleAnimation, 0);
    EXPECT_FALSE(app.animating);
    size_t mark = Mark();
    app.ProcessFrame();
    Frame(app);
    EXPECT_EQ(Since(mark), (Events{"RenderFrame", "Present", "RenderFrame", "Present"}));
    // Each step advances the stopped timer by a tenth of a second and runs one update.
    mark = Mark();
    SendMessageA(app.window, WM_COMMAND, CmdStepFrame, 0);
    Frame(app);
    Frame(app);
    EXPECT_EQ(Since(mark), (Events{"UpdateFrame", "RenderFrame", "Present", "RenderFrame", "Present"}));
    EXPECT_NEAR(app.updateTimes.back(), 0.11f, 1e-6);
    EXPECT_NEAR(app.updateElapsed.back(), 0.1f, 1e-6);
}

TEST_F(LifecycleTest, LostDeviceWaitsThenResets) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    FakeDevice* dev = d3d.LastDevice();
    dev->cooperative = {D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET};
    size_t mark = Mark();
    EXPECT_EQ(Frame(app), S_OK);
    EXPECT_EQ(Frame(app), S_OK);
    EXPECT_TRUE(Since(mark).empty());
    EXPECT_EQ(Frame(app), S_OK);
    EXPECT_EQ(Since(mark), (Events{"LoseDeviceObjects", "Reset", "ResetDeviceObjects"}));
    mark = Mark();
    Frame(app);
    EXPECT_EQ(Since(mark), (Events{"UpdateFrame", "RenderFrame", "Present"}));
}

TEST_F(LifecycleTest, ResetWhileStoppedGivesExactlyOneUpdate) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    SendMessageA(app.window, WM_COMMAND, CmdToggleAnimation, 0);
    d3d.LastDevice()->cooperative = {D3DERR_DEVICENOTRESET};
    Frame(app);
    size_t mark = Mark();
    Frame(app);
    Frame(app);
    EXPECT_EQ(Since(mark), (Events{"UpdateFrame", "RenderFrame", "Present", "RenderFrame", "Present"}));
    EXPECT_NEAR(app.updateElapsed.back(), 0.0f, 1e-6);
}

TEST_F(LifecycleTest, FailuresInsideAFrameAreReturned) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    app.FailHook("RenderFrame", E_OUTOFMEMORY, 1);
    size_t mark = Mark();
    EXPECT_EQ(Frame(app), E_OUTOFMEMORY);
    EXPECT_EQ(Since(mark), (Events{"UpdateFrame", "RenderFrame"}));  // not presented
    d3d.LastDevice()->cooperative = {D3DERR_DRIVERINTERNALERROR};
    EXPECT_EQ(Frame(app), D3DERR_DRIVERINTERNALERROR);
}

// A picture the memory cannot hold ends the run with one message; a lost device at Present is
// left to the next frame's cooperative-level test.
TEST_F(LifecycleTest, PresentOutOfMemoryIsFatalWithOneMessage) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    d3d.LastDevice()->presentResult = D3DERR_DEVICELOST;
    EXPECT_EQ(Frame(app), S_OK);
    EXPECT_FALSE(app.FatalErrorReported());
    const size_t boxes = ShownBoxes().size();
    HWND w = app.window;
    d3d.LastDevice()->presentResult = E_OUTOFMEMORY;
    EXPECT_EQ(Frame(app), E_OUTOFMEMORY);
    DispatchAll();
    ASSERT_EQ(ShownBoxes().size(), boxes + 1);
    EXPECT_EQ(ShownBoxes().back().text, "Not enough memory.\n\nThis program will now exit.");
    EXPECT_TRUE(app.FatalErrorReported());
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(LifecycleTest, WindowResizeResetsWithTheNewClientSize) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    size_t mark = Mark();
    win::SimulateUserResize(app.window, 320, 200);
    DispatchAll();
    EXPECT_EQ(Since(mark), (Events{"LoseDeviceObjects", "Reset", "ResetDeviceObjects"}));
    EXPECT_EQ(d3d.LastDevice()->params.BackBufferWidth, 320u);
    EXPECT_EQ(d3d.LastDevice()->params.BackBufferHeight, 200u);
    EXPECT_EQ(app.backBufferDesc.Width, 320u);
    EXPECT_TRUE(app.ready);
    // A move that keeps the size resets nothing; one pixel more does.
    mark = Mark();
    SetWindowPos(app.window, nullptr, 50, 60, 0, 0, SWP_NOSIZE);
    SendMessageA(app.window, WM_ENTERSIZEMOVE, 0, 0);
    SendMessageA(app.window, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_TRUE(Since(mark).empty());
    EXPECT_EQ(app.windowRect.left, 50);
    win::SimulateUserResize(app.window, 321, 200);
    DispatchAll();
    EXPECT_EQ(Since(mark), (Events{"LoseDeviceObjects", "Reset", "ResetDeviceObjects"}));
}

TEST_F(LifecycleTest, FailedResizeResetIsFatal) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    d3d.LastDevice()->resetResult = D3DERR_INVALIDCALL;
    HWND w = app.window;
    win::SimulateUserResize(w, 300, 300);
    DispatchAll();
    ASSERT_FALSE(ShownBoxes().empty());
    EXPECT_EQ(ShownBoxes().back().text, "Could not reset the Direct3D device.\n\nThis program will now exit.");
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(Logged("CleanupScene"));
}

TEST_F(LifecycleTest, FullScreenSwitchAndBack) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    size_t mark = Mark();
    SendMessageA(app.window, WM_COMMAND, CmdSwitchFullscreen, 0);
    EXPECT_EQ(Since(mark), (Events{"AdjustWindowStyle", "LoseDeviceObjects", "Reset", "ResetDeviceObjects"}));
    EXPECT_FALSE(app.windowed);
    EXPECT_TRUE(app.ready);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(app.window, GWL_STYLE)), 0x90080000u);
    // The default full-screen mode: the first 640 x 480 16-bit mode.
    const D3DPRESENT_PARAMETERS& p = d3d.LastDevice()->params;
    EXPECT_EQ(p.BackBufferWidth, 640u);
    EXPECT_EQ(p.BackBufferHeight, 480u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_FALSE(p.Windowed);
    EXPECT_EQ(SendMessageA(app.window, WM_SYSCOMMAND, SC_KEYMENU, 0), 1);
    EXPECT_EQ(SendMessageA(app.window, WM_NCHITTEST, 0, 0), HTCLIENT);

    mark = Mark();
    SendMessageA(app.window, WM_COMMAND, CmdSwitchFullscreen, 0);
    EXPECT_EQ(Since(mark), (Events{"AdjustWindowStyle", "LoseDeviceObjects", "Reset", "ResetDeviceObjects"}));
    EXPECT_TRUE(app.windowed);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(app.window, GWL_STYLE)), 0x90CE0000u);
    EXPECT_EQ(d3d.LastDevice()->params.BackBufferWidth, 400u);
    EXPECT_EQ(d3d.LastDevice()->params.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(SendMessageA(app.window, WM_SYSCOMMAND, SC_KEYMENU, 0), 0);  // default processing
}

TEST_F(LifecycleTest, FallBackToWindowedCreatesANewDevice) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    FakeDevice* old = d3d.LastDevice();
    size_t mark = Mark();
    ASSERT_EQ(app.FallBackToWindowed(), S_OK);
    EXPECT_EQ(Since(mark), (Events{"LoseDeviceObjects", "DestroyDeviceObjects", "device released", "AdjustWindowStyle",
                                   "CreateDevice 0 REF 0x20", "CreateDeviceObjects", "ResetDeviceObjects"}));
    EXPECT_EQ(old->refs, 0u);
    EXPECT_NE(d3d.LastDevice(), old);
    EXPECT_TRUE(app.ready);
}

TEST_F(LifecycleTest, DeviceStillReferencedIsFatal) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    d3d.LastDevice()->AddRef();  // someone kept a reference
    HWND w = app.window;
    EXPECT_EQ(app.FallBackToWindowed(), AppError::DeviceStillReferenced);
    EXPECT_EQ(ShownBoxes().back().text,
              "A D3D object has a non-zero reference\ncount (meaning things were not properly\ncleaned up).\n\nThis "
              "program will now exit.");
    EXPECT_FALSE(IsWindow(w));
    // The close that the fatal report sends finds no device, and still lets go of Direct3D.
    EXPECT_EQ(app.direct3d, nullptr);
    EXPECT_EQ(d3d.refs, 0u);
}

TEST_F(LifecycleTest, HardwareCreationFailureFallsBackToReference) {
    d3d.adapters = {HardwareAdapter()};
    d3d.adapters[0].types[0].createResult = D3DERR_NOTAVAILABLE;
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    // HAL first (hardware T&L, no pure device: hardware vertex processing first).
    std::vector<std::string> tail = Since(4);  // after the four CheckDevice calls (HAL 0x40 x2, REF 0x20 x2)
    EXPECT_EQ(tail, (Events{"InitScene", "AdjustWindowStyle", "CreateDevice 0 HAL 0x40", "AdjustWindowStyle",
                            "CreateDevice 0 REF 0x20", "CreateDeviceObjects", "ResetDeviceObjects"}));
    ASSERT_EQ(ShownBoxes().size(), 1u);  // no warning at table time: the HAL was chosen
    EXPECT_EQ(ShownBoxes()[0].text.rfind("Generic application error. Enable\ndebug output for detailed "
                                         "information.\n\nSwitching to the reference rasterizer",
                                         0),
              0u);
    EXPECT_STREQ(app.deviceText, "REF (sw vp)");
    EXPECT_TRUE(app.windowed);
}

TEST_F(LifecycleTest, HardwareHookFailureReleasesThenFallsBack) {
    d3d.adapters = {HardwareAdapter()};
    RecordingApp app;
    app.FailHook("ResetDeviceObjects", E_OUTOFMEMORY, 1);
    ASSERT_EQ(app.Create(nullptr), S_OK);
    EXPECT_EQ(Since(4), (Events{"InitScene", "AdjustWindowStyle", "CreateDevice 0 HAL 0x40", "CreateDeviceObjects",
                                "ResetDeviceObjects", "LoseDeviceObjects", "DestroyDeviceObjects", "device released",
                                "AdjustWindowStyle", "CreateDevice 0 REF 0x20", "CreateDeviceObjects",
                                "ResetDeviceObjects"}));
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].text.rfind("Not enough memory.\n\nSwitching", 0), 0u);
}

TEST_F(LifecycleTest, CloseShutsDownInOrderAndRunReturnsZero) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    HWND w = app.window;
    PostMessageA(w, WM_CLOSE, 0, 0);
    size_t mark = Mark();
    EXPECT_EQ(app.Run(), 0);
    // Run polls: the close arrives first, then WM_QUIT ends the loop.
    EXPECT_EQ(Since(mark), (Events{"LoseDeviceObjects", "DestroyDeviceObjects", "device released", "direct3d released",
                                   "CleanupScene"}));
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(app.device, nullptr);
    EXPECT_EQ(app.direct3d, nullptr);
    EXPECT_FALSE(app.active);
    EXPECT_FALSE(app.ready);
}

TEST_F(LifecycleTest, StartUpFailuresAreFatalAndCloseTheWindow) {
    RecordingApp app;
    app.FailHook("InitScene", E_FAIL);
    EXPECT_EQ(app.Create(nullptr), E_FAIL);
    EXPECT_FALSE(IsWindow(app.window));
    EXPECT_EQ(ShownBoxes().back().text,
              "Generic application error. Enable\ndebug output for detailed information.\n\nThis program will now exit.");
    EXPECT_EQ(ShownBoxes().back().type, MB_ICONERROR);
    EXPECT_TRUE(Logged("CleanupScene"));
    EXPECT_EQ(d3d.refs, 0u);
}

TEST_F(LifecycleTest, NoDirect3DIsFatalBeforeAnyWindow) {
    CurrentFake() = nullptr;
    RecordingApp app;
    EXPECT_EQ(app.Create(nullptr), AppError::Direct3DUnavailable);
    EXPECT_EQ(app.window, nullptr);
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].text.rfind("Could not initialize Direct3D.", 0), 0u);
}

TEST_F(LifecycleTest, PausesNestAndStopTheTimerOnce) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    Frame(app);
    app.Pause(TRUE);
    app.Pause(TRUE);
    EXPECT_FALSE(app.ready);
    win::AdvanceFixedStepClock();
    app.Pause(FALSE);
    EXPECT_FALSE(app.ready);
    win::AdvanceFixedStepClock();
    app.Pause(FALSE);
    EXPECT_TRUE(app.ready);
    Frame(app);
    // The paused steps are not counted: application time went on from 0.01.
    EXPECT_FLOAT_EQ(app.updateTimes.back(), 0.02f);
    EXPECT_FLOAT_EQ(app.updateElapsed.back(), 0.01f);
}

// The entry point's exit status: a failed start is 1 (the platform's WinMain would return 0,
// which a shell reads as success), a normal close 0.
std::unique_ptr<AppFramework> MakeFailingApp() {
    auto app = std::make_unique<RecordingApp>();
    app->FailHook("CreateDeviceObjects", E_FAIL);
    return app;
}

TEST_F(LifecycleTest, FailedStartExitsWithOneNormalCloseWithZero) {
    char prog[] = "simmerglass", headless[] = "--headless", frames[] = "--frames", two[] = "2";
    char* argv[] = {prog, headless, frames, two};
    EXPECT_EQ(RunApplication(4, argv, MakeFailingApp), 1);
    EXPECT_TRUE(Logged("CleanupScene"));

    EventLog().clear();
    d3d.refs = 1;
    win::InitDisplay(true);
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return static_cast<int>(IDOK); });
    EXPECT_EQ(RunApplication(4, argv, [] { return std::unique_ptr<AppFramework>(new RecordingApp); }), 0);
    EXPECT_EQ(std::count(EventLog().begin(), EventLog().end(), "Present"), 2);
}

}  // namespace
