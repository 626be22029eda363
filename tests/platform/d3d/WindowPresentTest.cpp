// Presenting into a real window (run under Xvfb, where Mesa's X11 EGL gives a software context): the
// hardware device's window path (its context on the X11 display, blitting into a window surface) and the
// copy path show exactly the picture the headless device makes, placed as the window's size asks.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
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
        if (!win::GetX11Window(window, &native->display, &native->window, &native->visual)) return false;
        native->kind = d3dhost::NativeWindow::X11;
        return true;
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

    // A windowed device of kWidth x kHeight presenting into `window` (null: headless).
    void CreateDevice(D3DDEVTYPE type, HWND window) {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kWidth;
        pp.BackBufferHeight = kHeight;
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
    std::vector<DWORD> HeadlessPicture(D3DCOLOR background) {
        if (device) device->Release();
        device = nullptr;
        d3dhost::SetHeadless(true);
        CreateDevice(D3DDEVTYPE_REF, nullptr);
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
    EXPECT_EQ(said, "The hardware device cannot draw into the window (the window system is not X11); frames are "
                    "copied to it.\n");
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

}  // namespace
