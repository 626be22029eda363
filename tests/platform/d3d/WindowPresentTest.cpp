// Presenting into a real window (run under Xvfb, where Mesa's X11 EGL gives a software context): the
// hardware device's window path (its context on the X11 display, blitting into a window surface) and the
// copy path show exactly the picture the headless device makes, placed as the window's size asks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d/D3DHost.h"
#include "platform/d3d/d3d8.h"
#include "platform/win/WinUser.h"

// Last: Xlib's macros (None, True, Status, ...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Forwards to the window layer as the program's presenter does, and notes what the device asked.
class TestPresenter : public d3dhost::Presenter {
public:
    void PresentFrame(HWND window, const DWORD* pixels, UINT width, UINT height, const RECT*, const RECT*) override {
        ++copies;
        win::PresentPixels(window, pixels, width, height);
    }
    bool GetClientSize(HWND window, UINT* width, UINT* height) override {
        RECT r{};
        if (!GetClientRect(window, &r)) return false;
        *width = static_cast<UINT>(r.right), *height = static_cast<UINT>(r.bottom);
        return true;
    }
    void SetCursorImage(const DWORD*, UINT, UINT, UINT, UINT) override {}
    void SetCursorPosition(int, int, DWORD) override {}
    void ShowCursor(bool) override {}
    bool PaceFrame(HWND window, bool waitForRefresh) override {
        ++paced;
        waited = waitForRefresh;
        return win::PaceFrame(window, waitForRefresh);
    }
    bool GetNativeWindow(HWND window, d3dhost::NativeWindow* native) override {
        if (win::GetX11Window(window, &native->display, &native->window, &native->visual)) {
            native->kind = d3dhost::NativeWindow::X11;
            return true;
        }
        if (win::GetWaylandWindow(window, &native->display, &native->surface)) {
            native->kind = d3dhost::NativeWindow::Wayland;
            return true;
        }
        return false;
    }
    void SetDrawnByDevice(HWND window, bool drawn) override {
        drawnByDevice = drawn;
        win::SetDrawnByDevice(window, drawn);
    }
    int copies = 0, paced = 0;
    bool waited = false;  // the last PaceFrame was asked to wait for the display
    bool drawnByDevice = false;
};

constexpr UINT kWidth = 64, kHeight = 48;

struct ColourVertex {
    float x, y, z, rhw;
    DWORD colour;
};

// A picture with smooth gradients and hard edges, so that any difference in rasterising shows.
void DrawScene(IDirect3DDevice8* device, D3DCOLOR background) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0), D3D_OK);
    const ColourVertex triangles[] = {
        {3.5f, 2.0f, 0.5f, 1.0f, 0xFFFF0000}, {60.0f, 9.0f, 0.5f, 1.0f, 0xFF00FF00}, {12.0f, 45.0f, 0.5f, 1.0f, 0xFF0000FF},
        {40.0f, 20.0f, 0.5f, 1.0f, 0xFFFFFF00}, {63.0f, 47.0f, 0.5f, 1.0f, 0xFF00FFFF}, {30.0f, 47.0f, 0.5f, 1.0f, 0xFFFF00FF},
    };
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, triangles, sizeof(ColourVertex)), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
}

class WindowPresentTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!win::InitDisplay(false)) GTEST_SKIP() << "no display: " << win::DisplayError();
        hostOptions.emplace();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "Present Test";
        RegisterClassA(&wc);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override {
        if (device) device->Release();
        if (d3d) d3d->Release();
        hostOptions.reset();
        UnregisterClassA("Present Test", nullptr);
        win::ShutdownDisplay();
    }

    HWND MakeWindow(int width, int height) {
        HWND w = CreateWindowExA(0, "Present Test", "present", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                 nullptr, nullptr, nullptr);
        EXPECT_NE(w, nullptr);
        Pump();
        return w;
    }

    static void Pump() {
        MSG m{};
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }

    // A windowed device of width x height presenting into `window` (null: headless).
    void CreateDevice(D3DDEVTYPE type, HWND window, UINT width = kWidth, UINT height = kHeight) {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.hDeviceWindow = window;
        ASSERT_EQ(d3d->CreateDevice(0, type, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);
    }

    // What the X server shows in the window, as 0x00RRGGBB words, rows top-down.
    static std::vector<DWORD> WindowPixels(HWND window, int width, int height) {
        void* native = nullptr;
        unsigned long xWindow = 0, visual = 0;
        std::vector<DWORD> pixels;
        if (!win::GetX11Window(window, &native, &xWindow, &visual)) return pixels;
        Display* display = static_cast<Display*>(native);
        XSync(display, False);
        XImage* image = XGetImage(display, xWindow, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        if (!image) return pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pixels.push_back(static_cast<DWORD>(XGetPixel(image, x, y)) & 0xFFFFFFu);
        XDestroyImage(image);
        return pixels;
    }

    // The picture of the same scene on the headless software device, without alpha.
    std::vector<DWORD> HeadlessPicture(D3DCOLOR background, UINT width = kWidth, UINT height = kHeight) {
        if (device) device->Release();
        device = nullptr;
        d3dhost::SetHeadless(true);
        CreateDevice(D3DDEVTYPE_REF, nullptr, width, height);
        std::vector<DWORD> pixels;
        if (!device) return pixels;
        DrawScene(device, background);
        UINT w = 0, h = 0;
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(d3dhost::ReadPresentedFrame(device, &pixels, &w, &h), D3D_OK);
        for (DWORD& p : pixels) p &= 0xFFFFFFu;
        return pixels;
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    TestPresenter presenter;
    std::optional<d3dhost::ScopedHostOptions> hostOptions;
};

TEST_F(WindowPresentTest, HardwareDeviceDrawsIntoTheWindowExactlyAsHeadless) {
    HWND window = MakeWindow(kWidth, kHeight);
    d3dhost::SetPresenter(&presenter);
    d3dhost::SimulateHardwareDevice(true);
    CreateDevice(D3DDEVTYPE_HAL, window);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(presenter.drawnByDevice) << "no window surface on this display";
    DrawScene(device, 0xFF204060);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(presenter.copies, 0);
    EXPECT_EQ(presenter.paced, 1);
    // The picture stays readable after the swap, as a capture needs.
    std::vector<DWORD> kept;
    UINT w = 0, h = 0;
    EXPECT_EQ(d3dhost::ReadPresentedFrame(device, &kept, &w, &h), D3D_OK);
    std::vector<DWORD> shown = WindowPixels(window, kWidth, kHeight);
    ASSERT_EQ(shown.size(), size_t{kWidth} * kHeight);
    std::vector<DWORD> headless = HeadlessPicture(0xFF204060);
    EXPECT_EQ(shown, headless);
    for (DWORD& p : kept) p &= 0xFFFFFFu;
    EXPECT_EQ(kept, headless);
    // Releasing the device hands the window back to the window layer.
    EXPECT_FALSE(presenter.drawnByDevice);
}

TEST_F(WindowPresentTest, PictureOfAnotherSizeIsScaledAndCentredOnBlack) {
    HWND window = MakeWindow(128, 128);
    d3dhost::SetPresenter(&presenter);
    d3dhost::SimulateHardwareDevice(true);
    d3dhost::SetWindowedPresentSync(false);
    CreateDevice(D3DDEVTYPE_HAL, window);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(presenter.drawnByDevice);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF3080C0, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // 64 x 48 in 128 x 128: 128 x 96 from row 16.
    std::vector<DWORD> shown = WindowPixels(window, 128, 128);
    ASSERT_EQ(shown.size(), 128u * 128u);
    for (int y = 0; y < 128; ++y) {
        const DWORD expected = y >= 16 && y < 112 ? 0x3080C0u : 0u;
        for (int x = 0; x < 128; x += 9) ASSERT_EQ(shown[static_cast<size_t>(y) * 128 + x], expected) << x << "," << y;
    }
}

TEST_F(WindowPresentTest, CopyPathShowsTheSamePicture) {
    HWND window = MakeWindow(kWidth, kHeight);
    d3dhost::SetPresenter(&presenter);
    d3dhost::SimulateHardwareDevice(true);
    d3dhost::AllowWindowSurfaces(false);
    CreateDevice(D3DDEVTYPE_HAL, window);
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(presenter.drawnByDevice);
    DrawScene(device, 0xFF102030);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(presenter.copies, 1);
    std::vector<DWORD> shown = WindowPixels(window, kWidth, kHeight);
    EXPECT_EQ(shown, HeadlessPicture(0xFF102030));
}

// Another client destroys the window the device draws into: presenting skips the window, and
// neither that nor releasing the device ends the program.
TEST_F(WindowPresentTest, AWindowDestroyedByAnotherClientIsSkippedQuietly) {
    HWND window = MakeWindow(kWidth, kHeight);
    d3dhost::SetPresenter(&presenter);
    d3dhost::SimulateHardwareDevice(true);
    CreateDevice(D3DDEVTYPE_HAL, window);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(presenter.drawnByDevice);
    void* native = nullptr;
    unsigned long xWindow = 0, visual = 0;
    ASSERT_TRUE(win::GetX11Window(window, &native, &xWindow, &visual));
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XDestroyWindow(other, xWindow);
    XSync(other, False);
    XCloseDisplay(other);
    for (int i = 0; i < 5; ++i) {
        DrawScene(device, 0xFF000000u + i);
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        Pump();
    }
    EXPECT_FALSE(IsWindow(window));  // closed as its close box would close it
    device->Release();
    device = nullptr;
    XSync(static_cast<Display*>(native), False);
}

// Where the window cannot be drawn into, the device copies frames to it and says so once.
TEST_F(WindowPresentTest, WithoutNativeHandlesFramesAreCopiedAndTheUserIsTold) {
    class NoHandles : public TestPresenter {
        bool GetNativeWindow(HWND, d3dhost::NativeWindow*) override { return false; }
    } noHandles;
    HWND window = MakeWindow(kWidth, kHeight);
    d3dhost::SetPresenter(&noHandles);
    d3dhost::SimulateHardwareDevice(true);
    testing::internal::CaptureStderr();
    CreateDevice(D3DDEVTYPE_HAL, window);
    ASSERT_NE(device, nullptr);
    device->Release();
    device = nullptr;
    CreateDevice(D3DDEVTYPE_HAL, window);
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(said, "The hardware device cannot draw into the window (the window system is neither X11 nor "
                    "Wayland); frames are copied to it.\n");
    EXPECT_FALSE(noHandles.drawnByDevice);
    DrawScene(device, 0xFF304050);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(noHandles.copies, 1);
    EXPECT_EQ(WindowPixels(window, kWidth, kHeight), HeadlessPicture(0xFF304050));
}

TEST_F(WindowPresentTest, PresentationIntervalsAreOfferedCheckedAndHonoured) {
    HWND window = MakeWindow(kWidth, kHeight);
    d3dhost::SetPresenter(&presenter);
    D3DCAPS8 caps{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3D_OK);
    EXPECT_EQ(caps.PresentationIntervals, D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.hDeviceWindow = window;
    // A window takes no interval of its own.
    pp.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
              D3DERR_INVALIDCALL);
    // Full screen: an interval the device does not offer is refused.
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->EnumAdapterModes(0, 0, &mode), D3D_OK);
    pp.Windowed = FALSE;
    pp.BackBufferWidth = mode.Width;
    pp.BackBufferHeight = mode.Height;
    pp.BackBufferFormat = mode.Format;
    pp.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_TWO;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
              D3DERR_INVALIDCALL);
    // Full screen follows its interval whatever the windowed setting says.
    d3dhost::SetWindowedPresentSync(false);
    for (UINT interval : {D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_ONE, D3DPRESENT_INTERVAL_DEFAULT}) {
        pp.FullScreen_PresentationInterval = interval;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK)
            << interval;
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(presenter.waited, interval != D3DPRESENT_INTERVAL_IMMEDIATE) << interval;
        device->Release();
        device = nullptr;
    }
    // A window waits for the display unless the host says not to.
    pp.Windowed = TRUE;
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    for (bool sync : {true, false}) {
        d3dhost::SetWindowedPresentSync(sync);
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(presenter.waited, sync);
        device->Release();
        device = nullptr;
    }
}

// The same window path on Wayland: a Weston compositor nested in the test's X server shows its one
// output (the size of the window, which its kiosk shell fills) in an X window at the origin, read
// back like any X window. Skipped without Weston.
class WaylandPresentTest : public WindowPresentTest {
protected:
    static constexpr UINT kOutputWidth = 320, kOutputHeight = 240;

    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server to nest Weston in";
        const char* tmp = std::getenv("TMPDIR");
        runtimeDir = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/sg-wayland-XXXXXX";
        if (!mkdtemp(runtimeDir.data())) GTEST_SKIP() << "no folder for the compositor's socket";
        const std::string width = "--width=" + std::to_string(kOutputWidth);
        const std::string height = "--height=" + std::to_string(kOutputHeight);
        // Started with posix_spawn: this process already runs other threads (the rasterisers), which a
        // forked child must not depend on.
        std::vector<std::string> environment{"XDG_RUNTIME_DIR=" + runtimeDir};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) environment.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> arguments{"weston",       "--backend=x11-backend.so", "--use-pixman",
                                           "--shell=kiosk-shell.so", "--socket=sg-test", "--idle-time=0",
                                           width,          height};
        std::vector<char*> argv;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawnp(&compositor, "weston", &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            compositor = -1;
            GTEST_SKIP() << "Weston is not installed";
        }
        const std::string socket = runtimeDir + "/sg-test";
        for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i) {
            int status = 0;
            if (waitpid(compositor, &status, WNOHANG) == compositor) {
                compositor = -1;
                GTEST_SKIP() << "Weston did not start";
            }
            usleep(50000);
        }
        if (access(socket.c_str(), F_OK) != 0) GTEST_SKIP() << "Weston made no socket";
        SaveVariable("XDG_RUNTIME_DIR", runtimeDir.c_str());
        SaveVariable("WAYLAND_DISPLAY", "sg-test");
        SaveVariable("SDL_VIDEODRIVER", "wayland");
        WindowPresentTest::SetUp();
    }
    void TearDown() override {
        WindowPresentTest::TearDown();
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->second) setenv(it->first.c_str(), it->second->c_str(), 1);
            else unsetenv(it->first.c_str());
        }
        if (compositor > 0) {
            kill(compositor, SIGTERM);
            waitpid(compositor, nullptr, 0);
        }
        if (!runtimeDir.empty()) {
            for (const char* leftover : {"/sg-test", "/sg-test.lock"}) unlink((runtimeDir + leftover).c_str());
            rmdir(runtimeDir.c_str());
        }
    }
    void SaveVariable(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value, 1);
    }
    // What the nested compositor's output window shows, as 0x00RRGGBB words, rows top-down.
    static std::vector<DWORD> OutputPixels() {
        std::vector<DWORD> pixels;
        Display* display = XOpenDisplay(nullptr);
        if (!display) return pixels;
        XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, kOutputWidth, kOutputHeight, AllPlanes,
                                  ZPixmap);
        if (image) {
            for (UINT y = 0; y < kOutputHeight; ++y)
                for (UINT x = 0; x < kOutputWidth; ++x)
                    pixels.push_back(static_cast<DWORD>(XGetPixel(image, static_cast<int>(x), static_cast<int>(y))) &
                                     0xFFFFFFu);
            XDestroyImage(image);
        }
        XCloseDisplay(display);
        return pixels;
    }

    std::string runtimeDir;
    pid_t compositor = -1;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(WaylandPresentTest, HardwareDeviceDrawsIntoTheWindowExactlyAsHeadless) {
    HWND window = MakeWindow(kOutputWidth, kOutputHeight);
    void* display = nullptr;
    void* surface = nullptr;
    if (!win::GetWaylandWindow(window, &display, &surface)) GTEST_SKIP() << "the window is not a Wayland window";
    d3dhost::SetPresenter(&presenter);
    d3dhost::SimulateHardwareDevice(true);
    CreateDevice(D3DDEVTYPE_HAL, window, kOutputWidth, kOutputHeight);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(presenter.drawnByDevice) << "no window surface on the Wayland display";
    // The compositor shows a frame on its next repaint: present until it does (a second at most).
    std::vector<DWORD> shown;
    for (int i = 0; i < 20; ++i) {
        DrawScene(device, 0xFF204060);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        Pump();
        usleep(50000);
        shown = OutputPixels();
        if (!shown.empty() && shown[shown.size() - 1] == 0x204060u) break;
    }
    EXPECT_EQ(presenter.copies, 0);
    device->Release();
    device = nullptr;
    EXPECT_FALSE(presenter.drawnByDevice);  // the window is the window layer's again
    std::vector<DWORD> headless = HeadlessPicture(0xFF204060, kOutputWidth, kOutputHeight);
    ASSERT_EQ(shown.size(), headless.size());
    EXPECT_EQ(shown, headless);
}

}  // namespace
