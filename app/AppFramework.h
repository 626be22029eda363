// AppFramework: the base class of the program's one application. It owns the Direct3D object,
// the device table, the window and the device, runs the message loop and calls the hooks.
#pragma once

#include <string>

#include "app/AppError.h"
#include "app/FrameTimer.h"
#include "platform/d3d/d3d8.h"
#include "platform/win/WinUser.h"

// [SECTION] Device table records

// One usable full-screen mode of a device, with how the device is created in it.
struct ModeEntry {
    UINT width;
    UINT height;
    D3DFORMAT format;              // display mode format; the back-buffer format in full screen
    DWORD behaviorFlags;           // D3DCREATE_* used to create the device in this mode
    D3DFORMAT depthStencilFormat;  // automatic depth/stencil format; 0 without a depth buffer
};

struct DeviceEntry {
    D3DDEVTYPE deviceType;  // D3DDEVTYPE_HAL or D3DDEVTYPE_REF
    D3DCAPS8 caps;
    const char* label;  // "HAL" or "REF"
    BOOL canWindow;     // accepted the desktop format and can render into a window
    UINT modeCount;
    ModeEntry modes[150];
    UINT currentMode;  // the full-screen mode used when this device runs full screen
    BOOL windowed;     // this device is to run windowed
    D3DMULTISAMPLE_TYPE multiSampleType;
};

struct AdapterEntry {
    D3DADAPTER_IDENTIFIER8 identifier;
    D3DDISPLAYMODE desktopMode;  // its format is the windowed back-buffer format
    UINT deviceCount;
    DeviceEntry devices[5];  // HAL, REF (at most two are filled)
    UINT currentDevice;
    UINT ordinal;  // the Direct3D adapter ordinal: every later call for this entry passes it
};

// Framework commands, carried in the low word of WM_COMMAND's wParam.
enum AppCommand : WORD {
    CmdSelectDevice = 40002,
    CmdSwitchFullscreen = 40003,
    CmdToggleAnimation = 40004,
    CmdStepFrame = 40005,
    CmdQuit = 40006,
};

class AppFramework;

// What the command-line runner watches from the frame loop (frame counts, captures, scripted
// keys). Not part of the application's hooks: at most one observer, set by the runner.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // A frame began (before the cooperative-level test).
    virtual void FrameBegin(AppFramework& app) = 0;
    // A frame was rendered and presented.
    virtual void FramePresented(AppFramework& app) = 0;
    // The device is about to be released for good (the window is closing).
    virtual void DeviceClosing(AppFramework& app) = 0;
};

// Creates the Direct3D object for Create; the run's HostConfig may name its own (tests do).
typedef IDirect3D8* (*Direct3DFactory)(UINT sdkVersion);

class AppFramework {
public:
    AppFramework();
    // The framework tears nothing down itself (the window's close released the device); the
    // destructor only stops being the run's application, so that its window procedure and
    // Ctrl+C find none.
    virtual ~AppFramework();
    AppFramework(const AppFramework&) = delete;
    AppFramework& operator=(const AppFramework&) = delete;

    // [SECTION] Virtual operations, in this order
    virtual HRESULT AdjustWindowStyle();
    virtual HRESULT CheckDevice(D3DCAPS8* caps, DWORD behaviorFlags, D3DFORMAT format);
    virtual HRESULT InitScene();
    virtual HRESULT CreateDeviceObjects();
    virtual HRESULT ResetDeviceObjects();
    virtual HRESULT UpdateFrame();
    virtual HRESULT RenderFrame();
    virtual HRESULT LoseDeviceObjects();
    virtual HRESULT DestroyDeviceObjects();
    virtual HRESULT CleanupScene();
    virtual HRESULT Create(HINSTANCE instance);
    virtual INT Run();
    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual void Pause(BOOL pause);
    // Text the command line's per-frame statistics line shows after the frame statistics
    // ("" adds nothing). The demo supplies its temperatures and bubble count.
    virtual std::string FrameStatsText();

    // [SECTION] Operations
    HRESULT CreateDisplayDevice();
    HRESULT ResetDisplayDevice();
    HRESULT ProcessFrame();
    void ShutdownDisplay();
    HRESULT BuildDeviceTable();
    bool PickDepthStencilFormat(UINT ordinal, D3DDEVTYPE deviceType, D3DFORMAT format,
                                D3DFORMAT* depthStencilFormat);
    HRESULT ReportError(HRESULT code, DWORD kind);
    HRESULT SwitchWindowedFullscreen();
    HRESULT FallBackToWindowed();
    HRESULT ChooseDeviceInteractively();
    HRESULT UploadDeviceCursor(IDirect3DDevice8* device, HCURSOR cursor);
    static INT_PTR DeviceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    // The command-line runner's observer (not owned; null = none).
    void SetFrameObserver(FrameObserver* observer) { frameObserver = observer; }
    // What the runner reads and the one setting it may override (--size) before Create.
    HWND MainWindow() const { return window; }
    IDirect3DDevice8* Device() const { return device; }
    const char* FrameRateText() const { return frameRateText; }
    // A fatal error was reported since Create began: the run failed, whatever Run returns.
    bool FatalErrorReported() const { return fatalErrorReported; }
    void SetInitialClientSize(DWORD width, DWORD height) {
        initialWidth = width;
        initialHeight = height;
    }
    // The multisample type each device of the table is to use (--msaa), set before Create. A device that
    // cannot use it in its windowed format and every full-screen mode keeps none.
    // hardwareOnly leaves the software device without (it smooths edges more cheaply another way).
    void SetMultiSampleType(D3DMULTISAMPLE_TYPE type, bool hardwareOnly = false) {
        requestedMultiSample = type;
        multiSampleHardwareOnly = hardwareOnly;
    }
    // The type of the device in use (none before Create).
    D3DMULTISAMPLE_TYPE CurrentMultiSampleType() const;
    // The user chose the software device: a switch to the reference rasterizer is then no
    // surprise and shows no box; ReportError writes one line on standard error instead.
    void SetSoftwareDeviceRequested(bool requested) { softwareDeviceRequested = requested; }
    // Whether full screen waits for the display's refresh (the default) or presents at once; set
    // before Create (windowed presentation follows the device's host setting).
    void SetFullscreenSync(bool sync) { fullscreenSync = sync; }
    // The folder where notices shown once are remembered ("" = none: they show every time).
    // The box of an automatic switch to the software device shows on the first start only;
    // later starts say it in one line on standard error. A folder that cannot be made or
    // written remembers nothing, and the box shows again.
    void SetNoticeFolder(const std::string& folder) { noticeFolder = folder; }

protected:
    // [SECTION] Fields
    AdapterEntry adapters[10];
    UINT adapterCount;
    UINT currentAdapter;
    BOOL windowed;
    BOOL active;     // the window is shown and not minimised; the loop polls
    BOOL ready;      // frames may be driven
    BOOL animating;  // the scene advances with time
    BOOL stepOnce;   // one UpdateFrame although animating is off
    D3DPRESENT_PARAMETERS presentParams;
    HWND window;
    HWND focusWindow;
    IDirect3D8* direct3d;
    IDirect3DDevice8* device;
    D3DCAPS8 deviceCaps;
    D3DSURFACE_DESC backBufferDesc;
    DWORD behaviorFlags;
    DWORD windowStyle;
    RECT windowRect;
    RECT clientRect;
    FLOAT appTime;      // seconds
    FLOAT elapsedTime;  // seconds
    FLOAT framesPerSecond;
    char deviceText[90];
    char frameRateText[40];
    const char* windowTitle;
    BOOL useDepthBuffer;
    DWORD minDepthBits;
    DWORD minStencilBits;
    DWORD initialWidth;
    DWORD initialHeight;
    BOOL showDeviceCursor;

    // The window procedure registered for "D3D Window".
    static LRESULT StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void ComposeDeviceText(const AdapterEntry& adapter, const DeviceEntry& dev, const ModeEntry& mode);
    void RefreshBackBufferDesc();
    void SetUpDeviceCursor();
    void UpdateFrameStatistics();
    bool ReleaseDevice();  // true when the device had no references left
    // The present parameters the current adapter, device, mode and window decide.
    void FillPresentParams();
    D3DMULTISAMPLE_TYPE AcceptedMultiSample(UINT ordinal, const DeviceEntry& dev, D3DFORMAT desktopFormat);

    FrameObserver* frameObserver = nullptr;
    bool fatalErrorReported = false;
    DWORD pauseCount = 0;
    // Frame statistics: frames since the last refresh and the absolute time of that refresh.
    DWORD statFrames = 0;
    FLOAT statLastRefresh = 0.0f;
    D3DMULTISAMPLE_TYPE requestedMultiSample = D3DMULTISAMPLE_NONE;
    bool multiSampleHardwareOnly = false;
    bool softwareDeviceRequested = false;
    bool fullscreenSync = true;
    std::string noticeFolder;
};

// The folder of this program's remembered state: $XDG_STATE_HOME/NAME when that is an absolute
// path, else $HOME/.local/state/NAME; "" when neither tells.
std::string StateFolder(const char* programName);

// The run's application (HostSession.h): the one made last, while it lives; null when none.
AppFramework* CurrentApplication();
