// AppFramework: start-up, device creation and reset, the message loop, one frame, pausing,
// shut-down, the frame statistics and error reports. The device table is in DeviceTable.cpp,
// window messages and the display switches in WindowMessages.cpp.
//
// Index: [SECTION] Window styles, [SECTION] Construction and default hooks,
//        [SECTION] Start-up, [SECTION] Device creation and reset, [SECTION] Loop and frame,
//        [SECTION] Frame statistics, [SECTION] Error reports
#include "app/AppFramework.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/HostSession.h"
#include "platform/win/WinFile.h"

// [SECTION] Window styles
namespace {
constexpr DWORD kWindowedStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
constexpr DWORD kFullscreenStyle = WS_POPUP | WS_VISIBLE | WS_SYSMENU;
static_assert(kWindowedStyle == 0x90CE0000u && kFullscreenStyle == 0x90080000u);
}  // namespace

AppFramework* CurrentApplication() { return CurrentFrameworkState().application; }

// [SECTION] Construction and default hooks
AppFramework::AppFramework() {
    CurrentFrameworkState().application = this;
    adapterCount = 0;
    currentAdapter = 0;
    // The table and the records the device fills are left unfilled; they are cleared so
    // that nothing reads stale bytes by accident.
    std::memset(adapters, 0, sizeof adapters);
    windowed = FALSE;  // BuildDeviceTable sets it
    active = FALSE;
    ready = FALSE;
    animating = TRUE;
    stepOnce = FALSE;
    std::memset(&presentParams, 0, sizeof presentParams);
    window = nullptr;
    focusWindow = nullptr;
    direct3d = nullptr;
    device = nullptr;
    std::memset(&deviceCaps, 0, sizeof deviceCaps);
    std::memset(&backBufferDesc, 0, sizeof backBufferDesc);
    behaviorFlags = 0;
    windowStyle = 0;
    windowRect = RECT{};
    clientRect = RECT{};
    appTime = 0.0f;
    elapsedTime = 0.0f;
    framesPerSecond = 0.0f;
    deviceText[0] = '\0';
    frameRateText[0] = '\0';
    windowTitle = "D3D8 Application";
    useDepthBuffer = FALSE;
    minDepthBits = 16;
    minStencilBits = 0;
    initialWidth = 400;
    initialHeight = 300;
    showDeviceCursor = FALSE;
}

AppFramework::~AppFramework() {
    FrameworkState& run = CurrentFrameworkState();
    if (run.application == this) run.application = nullptr;
}

HRESULT AppFramework::AdjustWindowStyle() {
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(windowed ? windowStyle : kFullscreenStyle));
    return S_OK;
}
HRESULT AppFramework::CheckDevice(D3DCAPS8*, DWORD, D3DFORMAT) { return S_OK; }
HRESULT AppFramework::InitScene() { return S_OK; }
HRESULT AppFramework::CreateDeviceObjects() { return S_OK; }
HRESULT AppFramework::ResetDeviceObjects() { return S_OK; }
HRESULT AppFramework::UpdateFrame() { return S_OK; }
HRESULT AppFramework::RenderFrame() { return S_OK; }
HRESULT AppFramework::LoseDeviceObjects() { return S_OK; }
HRESULT AppFramework::DestroyDeviceObjects() { return S_OK; }
HRESULT AppFramework::CleanupScene() { return S_OK; }
std::string AppFramework::FrameStatsText() { return std::string(); }

LRESULT AppFramework::StaticWindowProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    AppFramework* app = CurrentApplication();
    if (!app) return DefWindowProcA(w, message, wParam, lParam);
    return app->HandleMessage(w, message, wParam, lParam);
}

// [SECTION] Start-up
HRESULT AppFramework::Create(HINSTANCE instance) {
    const Direct3DFactory factory = CurrentFrameworkState().direct3dFactory;
    direct3d = (factory ? factory : Direct3DCreate8)(D3D_SDK_VERSION);
    if (!direct3d) return ReportError(AppError::Direct3DUnavailable, ReportKind::Fatal);

    HRESULT hr = BuildDeviceTable();
    if (FAILED(hr)) {
        direct3d->Release();
        direct3d = nullptr;
        return ReportError(hr, ReportKind::Fatal);
    }

    if (!window) {
        WNDCLASSA wc{};
        wc.style = 0;
        wc.lpfnWndProc = StaticWindowProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(101));
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        // The background brush is never seen: the device presents over the whole client area.
        wc.hbrBackground = nullptr;
        wc.lpszClassName = "D3D Window";
        RegisterClassA(&wc);

        windowStyle = kWindowedStyle;
        RECT rc{0, 0, static_cast<LONG>(initialWidth), static_cast<LONG>(initialHeight)};
        AdjustWindowRect(&rc, windowStyle, TRUE);
        window = CreateWindowExA(0, "D3D Window", windowTitle, windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                 rc.right - rc.left, rc.bottom - rc.top, nullptr,
                                 LoadMenuA(instance, MAKEINTRESOURCEA(141)), instance, nullptr);
    }
    if (!focusWindow) focusWindow = window;

    windowStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &clientRect);

    hr = InitScene();
    if (FAILED(hr)) {
        direct3d->Release();
        direct3d = nullptr;
        return ReportError(hr, ReportKind::Fatal);
    }
    hr = CreateDisplayDevice();
    if (FAILED(hr)) {
        if (direct3d) {
            direct3d->Release();
            direct3d = nullptr;
        }
        return ReportError(hr, ReportKind::Fatal);
    }
    FrameTimer(TimerCommand::Start);
    ready = TRUE;
    return S_OK;
}

// [SECTION] Device creation and reset
void AppFramework::RefreshBackBufferDesc() {
    IDirect3DSurface8* backBuffer = nullptr;
    if (SUCCEEDED(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) && backBuffer) {
        backBuffer->GetDesc(&backBufferDesc);
        backBuffer->Release();
    }
}

void AppFramework::SetUpDeviceCursor() {
    if (showDeviceCursor && !windowed) {
        auto cursor = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(GetClassLongA(window, GCL_HCURSOR)));
        UploadDeviceCursor(device, cursor);  // failures leave the cursor as it was
        device->ShowCursor(TRUE);
    }
}

bool AppFramework::ReleaseDevice() {
    ULONG remaining = device ? device->Release() : 0;
    device = nullptr;
    return remaining == 0;
}

HRESULT AppFramework::CreateDisplayDevice() {
    assert(currentAdapter < adapterCount);
    AdapterEntry& a = adapters[currentAdapter];
    DeviceEntry& d = a.devices[a.currentDevice];
    ModeEntry& m = d.modes[d.currentMode];

    AdjustWindowStyle();

    std::memset(&presentParams, 0, sizeof presentParams);
    presentParams.BackBufferCount = 1;
    presentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    presentParams.EnableAutoDepthStencil = useDepthBuffer;
    FillPresentParams();

    HRESULT hr = direct3d->CreateDevice(a.ordinal, d.deviceType, focusWindow, m.behaviorFlags, &presentParams, &device);
    if (SUCCEEDED(hr) && !device) hr = E_FAIL;
    if (SUCCEEDED(hr)) {
        if (windowed)
            SetWindowPos(window, HWND_NOTOPMOST, windowRect.left, windowRect.top, windowRect.right - windowRect.left,
                         windowRect.bottom - windowRect.top, SWP_SHOWWINDOW);
        device->GetDeviceCaps(&deviceCaps);
        behaviorFlags = m.behaviorFlags;
        ComposeDeviceText(a, d, m);
        RefreshBackBufferDesc();
        SetUpDeviceCursor();

        hr = CreateDeviceObjects();
        if (SUCCEEDED(hr)) hr = ResetDeviceObjects();
        if (SUCCEEDED(hr)) {
            active = TRUE;
            return S_OK;
        }
        LoseDeviceObjects();
        DestroyDeviceObjects();
        ReleaseDevice();
    }
    device = nullptr;

    // A hardware device that cannot start gives way to the reference rasterizer.
    if (d.deviceType == D3DDEVTYPE_HAL) {
        ReportError(hr, ReportKind::SwitchedToReference);
        currentAdapter = 0;
        AdapterEntry& first = adapters[0];
        for (UINT i = 0; i < first.deviceCount; ++i) {
            if (first.devices[i].deviceType == D3DDEVTYPE_REF) {
                first.currentDevice = i;
                windowed = first.devices[i].windowed;
                break;
            }
        }
        if (first.devices[first.currentDevice].deviceType == D3DDEVTYPE_REF) return CreateDisplayDevice();
    }
    return hr;
}

HRESULT AppFramework::ResetDisplayDevice() {
    HRESULT hr = LoseDeviceObjects();
    if (FAILED(hr)) return hr;
    hr = device->Reset(&presentParams);
    if (FAILED(hr)) return hr;
    RefreshBackBufferDesc();
    SetUpDeviceCursor();
    hr = ResetDeviceObjects();
    if (FAILED(hr)) return hr;
    if (!animating) {
        stepOnce = TRUE;
        FrameTimer(TimerCommand::Start);
        FrameTimer(TimerCommand::Stop);
    }
    return S_OK;
}

void AppFramework::ShutdownDisplay() {
    active = FALSE;
    ready = FALSE;
    if (device) {
        if (frameObserver) frameObserver->DeviceClosing(*this);
        LoseDeviceObjects();
        DestroyDeviceObjects();
        device->Release();
        device = nullptr;
    }
    // The Direct3D object goes too when no device is left: a device re-creation that failed
    // (a fatal report) closes the window with the device already released.
    if (direct3d) direct3d->Release();
    direct3d = nullptr;
    CleanupScene();
}

// [SECTION] Loop and frame
INT AppFramework::Run() {
    HACCEL accelerators = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(kAcceleratorResource));
    MSG msg{};
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    while (msg.message != WM_QUIT) {
        BOOL got = active ? PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) : GetMessageA(&msg, nullptr, 0, 0);
        if (got) {
            if (msg.message == WM_QUIT) break;
            if (!TranslateAcceleratorA(window, accelerators, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else if (active && ready) {
            if (FAILED(ProcessFrame())) SendMessageA(window, WM_CLOSE, 0, 0);
        }
    }
    return static_cast<INT>(msg.wParam);
}

HRESULT AppFramework::ProcessFrame() {
    if (frameObserver) frameObserver->FrameBegin(*this);
    HRESULT hr = device->TestCooperativeLevel();
    if (FAILED(hr)) {
        if (hr == D3DERR_DEVICELOST) return S_OK;
        if (hr == D3DERR_DEVICENOTRESET) {
            if (windowed) {
                AdapterEntry& a = adapters[currentAdapter];
                direct3d->GetAdapterDisplayMode(a.ordinal, &a.desktopMode);
                presentParams.BackBufferFormat = a.desktopMode.Format;
            }
            return ResetDisplayDevice();
        }
        return hr;
    }

    FLOAT t = static_cast<FLOAT>(FrameTimer(TimerCommand::AppTime));
    FLOAT dt = static_cast<FLOAT>(FrameTimer(TimerCommand::ElapsedTime));
    if (dt == 0.0f && animating) return S_OK;

    if (animating || stepOnce) {
        appTime = t;
        elapsedTime = dt;
        hr = UpdateFrame();
        if (FAILED(hr)) return hr;
        stepOnce = FALSE;
    }
    hr = RenderFrame();
    if (FAILED(hr)) return hr;
    UpdateFrameStatistics();
    // A picture too large for the memory left is the end of the run, said once; a lost device
    // is found by the next frame's cooperative-level test.
    hr = device->Present(nullptr, nullptr, nullptr, nullptr);
    if (hr == E_OUTOFMEMORY) return ReportError(hr, ReportKind::Fatal);
    if (frameObserver) frameObserver->FramePresented(*this);
    return S_OK;
}

void AppFramework::Pause(BOOL pause) {
    if (pause)
        ++pauseCount;
    else if (pauseCount > 0)  // an unmatched resume must not wrap the count around
        --pauseCount;
    ready = pauseCount == 0;
    if (pause && pauseCount == 1 && animating) FrameTimer(TimerCommand::Stop);
    if (pauseCount == 0 && animating) FrameTimer(TimerCommand::Start);
}

// [SECTION] Frame statistics
void AppFramework::UpdateFrameStatistics() {
    FLOAT t = static_cast<FLOAT>(FrameTimer(TimerCommand::AbsoluteTime));
    ++statFrames;
    if (t - statLastRefresh > 1.0f) {
        framesPerSecond = static_cast<FLOAT>(statFrames) / (t - statLastRefresh);
        statLastRefresh = t;
        statFrames = 0;

        D3DDISPLAYMODE mode{};
        direct3d->GetAdapterDisplayMode(adapters[currentAdapter].ordinal, &mode);
        int n = std::snprintf(frameRateText, sizeof frameRateText, "%.02f fps (%dx%dx%d)", framesPerSecond,
                              static_cast<int>(backBufferDesc.Width), static_cast<int>(backBufferDesc.Height),
                              mode.Format == D3DFMT_X8R8G8B8 ? 32 : 16);
        if (n < 0) frameRateText[0] = '\0';
        if (useDepthBuffer) {
            const AdapterEntry& a = adapters[currentAdapter];
            const DeviceEntry& d = a.devices[a.currentDevice];
            const char* suffix = "";
            switch (d.modes[d.currentMode].depthStencilFormat) {
                case D3DFMT_D16: suffix = " (D16)"; break;
                case D3DFMT_D15S1: suffix = " (D15S1)"; break;
                case D3DFMT_D24X8: suffix = " (D24X8)"; break;
                case D3DFMT_D24S8: suffix = " (D24S8)"; break;
                case D3DFMT_D24X4S4: suffix = " (D24X4S4)"; break;
                case D3DFMT_D32: suffix = " (D32)"; break;
                default: break;
            }
            size_t used = std::strlen(frameRateText);
            std::snprintf(frameRateText + used, sizeof frameRateText - used, "%s", suffix);
        }
    }
}

// [SECTION] Error reports
namespace {
struct ErrorText {
    HRESULT code;
    const char* text;
};
#define APP_ERROR_ROW(name, code, text) {static_cast<HRESULT>(code), text},
const ErrorText kErrorTexts[] = {
    {E_OUTOFMEMORY, "Not enough memory."},
    APP_ERROR_LIST(APP_ERROR_ROW){D3DERR_OUTOFVIDEOMEMORY, "Not enough video memory."},
};
#undef APP_ERROR_ROW
}  // namespace

const char* AppErrorMessage(HRESULT code) {
    for (const ErrorText& e : kErrorTexts)
        if (e.code == code) return e.text;
    return "Generic application error. Enable\ndebug output for detailed information.";
}

const char* ReportKindSuffix(DWORD kind) {
    switch (kind) {
        case ReportKind::Fatal: return "\n\nThis program will now exit.";
        case ReportKind::SwitchedToReference:
            return "\n\nSwitching to the reference rasterizer,\na software device that implements the entire\n"
                   "Direct3D feature set, but runs very slowly.";
        default: return "";
    }
}

std::string StateFolder(const char* programName) {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/" + programName;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state/" + programName;
    return "";
}

namespace {

constexpr const char* kSoftwareDeviceNotice = "software-device-notice";

bool NoticeShownBefore(const std::string& folder, const char* notice) {
    return !folder.empty() && GetFileAttributesA((folder + "/" + notice).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Makes the folder and those above it that are missing, then the notice's file. Failures are
// silent: the notice only shows again.
void RememberNotice(const std::string& folder, const char* notice) {
    if (folder.empty()) return;
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (GetFileAttributesA(part.c_str()) != FILE_ATTRIBUTE_DIRECTORY && !CreateDirectoryA(part.c_str(), nullptr))
            return;
        if (slash == std::string::npos) break;
    }
    if (FILE* f = std::fopen((folder + "/" + notice).c_str(), "w")) {
        std::fputs("The software-device message box was shown.\n", f);
        std::fclose(f);
    }
}

}  // namespace

HRESULT AppFramework::ReportError(HRESULT code, DWORD kind) {
    if (kind == ReportKind::SwitchedToReference &&
        (softwareDeviceRequested || NoticeShownBefore(noticeFolder, kSoftwareDeviceNotice))) {
        std::fprintf(stderr, "%s: running on the reference rasterizer (the software device)%s\n", windowTitle,
                     softwareDeviceRequested ? ", as asked" : "; no hardware device could be started");
        std::fflush(stderr);
        return code;
    }
    // Only a box that was really shown is remembered: text on standard error (a scripted run)
    // leaves the box for the next start.
    if (kind == ReportKind::SwitchedToReference && win::MessageBoxesShown())
        RememberNotice(noticeFolder, kSoftwareDeviceNotice);
    char message[512];
    std::snprintf(message, sizeof message, "%s%s", AppErrorMessage(code), ReportKindSuffix(kind));
    if (kind == ReportKind::Fatal) fatalErrorReported = true;
    MessageBoxA(nullptr, message, windowTitle, kind == ReportKind::Fatal ? MB_ICONERROR : MB_ICONWARNING);
    if (kind == ReportKind::Fatal && window) SendMessageA(window, WM_CLOSE, 0, 0);
    return code;
}
