// Host side of the Direct3D stand-in: what the window layer plugs in (presenter, displays, cursor) and the
// options and test hooks the program and the tests set. Nothing here includes SDL: the window layer pushes in.
#pragma once

#include <functional>
#include <vector>

#include "platform/d3d/d3d8caps.h"
#include "platform/d3d/d3d8types.h"

class IDirect3DDevice8;

namespace d3dhost {

// The largest back buffer a device makes, in pixels on each side (a larger one is an invalid call).
constexpr UINT kMaxBackBufferSide = 8192;

// The window system's own handles of a window, for an EGL window surface.
struct NativeWindow {
    enum Kind { None, X11, Wayland } kind = None;
    void* display = nullptr;  // the Xlib Display* or the wl_display the window layer talks through
    unsigned long window = 0; // X11: the Window id
    unsigned long visual = 0; // X11: the VisualID the window was made with
    void* surface = nullptr;  // Wayland: the window's wl_surface
};

// Implemented by the window layer. All calls come from the thread that drives the device.
class Presenter {
public:
    virtual ~Presenter() = default;
    // A finished frame from IDirect3DDevice8::Present on the copy path: width x height pixels, 0xFFRRGGBB
    // words, rows top-down, tightly packed. window is Present's override window or the device window;
    // sourceRect/destRect as passed to Present (null = whole). The pixels are valid only during the call.
    virtual void PresentFrame(HWND window, const DWORD* pixels, UINT width, UINT height, const RECT* sourceRect,
                              const RECT* destRect) = 0;
    // Called at every Present to a window before its picture goes out. waitForRefresh: the frame is to be
    // shown in step with the display and nothing else waits for it (the copy path), so the window layer
    // holds it until the next refresh of the window's display. Whatever it says, a window that the window
    // system reports fully covered is held to a few frames a second. Returns false when the window can
    // take no picture now (gone); the device then skips it.
    virtual bool PaceFrame(HWND, bool /*waitForRefresh*/) { return true; }
    // The window's native handles; false when there are none (headless, a window system without EGL
    // window surfaces here). The hardware device in a window draws into it directly when it can.
    virtual bool GetNativeWindow(HWND, NativeWindow*) { return false; }
    // The device draws the window's picture itself from now on (true) or hands it over through
    // PresentFrame (false): the window layer must then not paint over it.
    virtual void SetDrawnByDevice(HWND, bool) {}
    // Client-area size of a window; used when a windowed device is created or reset with a 0 back-buffer size.
    // Returns false when the size is unknown (the device then uses 640 x 480).
    virtual bool GetClientSize(HWND window, UINT* width, UINT* height) = 0;
    // Device cursor (SetCursorProperties): 0xAARRGGBB words, rows top-down, tightly packed, hot spot in pixels.
    virtual void SetCursorImage(const DWORD* pixels, UINT width, UINT height, UINT hotSpotX, UINT hotSpotY) = 0;
    // SetCursorPosition: client coordinates of the device window; flags as passed (D3DCURSOR_IMMEDIATE_UPDATE).
    virtual void SetCursorPosition(int x, int y, DWORD flags) = 0;
    // ShowCursor: show or hide the device cursor.
    virtual void ShowCursor(bool show) = 0;
};

// The presenter frames go to; not owned, null = none (frames are kept for capture only). Set it before
// creating devices; it must outlive them or be cleared first.
void SetPresenter(Presenter* presenter);

// One display as the window layer sees it; becomes one adapter, in the order given.
struct DisplayInfo {
    char name[128];                     // the adapter's Description names it ("<name> (<GL renderer>)")
    D3DDISPLAYMODE desktop;             // current desktop mode
    std::vector<D3DDISPLAYMODE> modes;  // full-screen modes the display offers
};

// Replaces the display list (copied). An empty list, or headless mode, gives the one virtual adapter:
// desktop 640 x 480 X8R8G8B8; full-screen 640x480, 800x600, 1024x768, 1280x720, 1920x1080 in X8R8G8B8 and
// R5G6B5. IDirect3D8 reads the list at each call, so a changed desktop mode shows up in GetAdapterDisplayMode.
void SetDisplays(const std::vector<DisplayInfo>& displays);

// Headless: the virtual adapter only, and Present keeps the frame for capture without calling a presenter.
void SetHeadless(bool headless);
bool IsHeadless();

// Restricts the device table to one device type (the program's --device hal|ref): the other type then
// behaves as absent (CreateDevice fails, no formats). D3DDEVTYPE_FORCE_DWORD (the default) = no restriction.
void RestrictDeviceType(D3DDEVTYPE onlyType);

// Windowed devices present in step with the display (true, the default) or as fast as they can. A
// full-screen device follows its FullScreen_PresentationInterval instead; headless nothing waits.
void SetWindowedPresentSync(bool sync);

// The edge filter: anti-aliasing as a pass over the finished picture at Present, on every device
// whose back buffer is not multisampled (samples already smooth the edges). Off by default.
void SetEdgeFilter(bool on);

// The picture of the latest Present (whether or not a presenter took it): 0xFFRRGGBB, top-down,
// width*height. A picture is read into memory only when asked for, so ask after Present and before the
// next frame starts drawing into the back buffer (Clear or a draw): after that the picture is gone, unless
// the copy path or SetReadBackEachPresent kept it. Asking after every Present, as a capture of every frame
// does, is the way to have every frame. Results: D3D_OK; D3DERR_INVALIDCALL for a null pointer, a foreign
// device, nothing presented yet or a picture already drawn over; E_OUTOFMEMORY when it cannot be held.
HRESULT ReadPresentedFrame(IDirect3DDevice8* device, std::vector<DWORD>* pixels, UINT* width, UINT* height);
// The same as a yes or no.
bool GetPresentedFrame(IDirect3DDevice8* device, std::vector<DWORD>* pixels, UINT* width, UINT* height);

// Every Present reads its picture back at once and waits for it, as one that is captured does (off by
// default). For measuring what reading back costs, and for checking that it changes no picture.
void SetReadBackEachPresent(bool each);

// [SECTION] Test hooks

// Makes the device lost: TestCooperativeLevel returns D3DERR_DEVICELOST for lostCalls calls, then
// D3DERR_DEVICENOTRESET until a Reset succeeds; Present returns D3DERR_DEVICELOST while lost.
// Returns D3DERR_INVALIDCALL for a null or foreign device.
HRESULT ForceDeviceLoss(IDirect3DDevice8* device, UINT lostCalls = 1);

// What a device holds, for tests that look for growth over many resets.
struct DeviceObjectCounts {
    UINT cachedPrograms;  // linked programs in the device's program cache
    UINT shaders;         // vertex and pixel shader handles alive
    UINT resources;       // buffers, textures and surfaces alive (the back buffer included)
    UINT stateBlocks;     // state blocks alive
    // GL objects alive in the device's context, found by asking GL about every name up to a freshly made one
    // (programs and shader objects, buffers, textures, renderbuffers, framebuffers).
    UINT glObjects;
};
// Fills *counts; D3DERR_INVALIDCALL for a null or foreign device or a null pointer.
HRESULT GetDeviceObjectCounts(IDirect3DDevice8* device, DeviceObjectCounts* counts);

// Edits the capabilities reported for a device type (IDirect3D8::GetDeviceCaps and the device's), e.g. to
// clear D3DCAPS2_CANRENDERWINDOWED or narrow MaxTextureWidth. Only narrowing makes sense: the device does not
// gain features. A null function removes the editor.
void SetCapsEditor(D3DDEVTYPE type, std::function<void(D3DCAPS8&)> editor);

// Pretends a hardware EGL device exists by backing D3DDEVTYPE_HAL with the software device, so the
// framework's HAL paths can be tested on a machine without a GPU.
void SimulateHardwareDevice(bool simulate);

// Whether the hardware device may draw into its window through an EGL window surface (true, the
// default); false keeps it on the copy path, as a window system without EGL would.
void AllowWindowSurfaces(bool allow);

// [SECTION] All options at once

// Every option above as one value; a default-made one holds the defaults (no presenter, no displays, not
// headless, no restriction, no caps editors, no simulated HAL, windowed sync on, no read-back at each Present,
// window surfaces allowed, no edge filter).
struct HostOptions {
    Presenter* presenter = nullptr;
    std::vector<DisplayInfo> displays;
    bool headless = false;
    D3DDEVTYPE restriction = D3DDEVTYPE_FORCE_DWORD;
    std::function<void(D3DCAPS8&)> capsEditor[2];  // HAL, REF
    bool simulateHal = false;
    bool windowedSync = true;          // windowed Present waits for the display
    bool readBackEachPresent = false;  // every Present reads its picture back
    bool windowSurfaces = true;        // the hardware device may draw into windows
    bool edgeFilter = false;           // SetEdgeFilter
};

HostOptions CurrentHostOptions();
void SetHostOptions(const HostOptions& options);

// Sets the options for its lifetime and puts back the ones it found when it ends.
class ScopedHostOptions {
public:
    explicit ScopedHostOptions(const HostOptions& options = HostOptions{});
    ~ScopedHostOptions();
    ScopedHostOptions(const ScopedHostOptions&) = delete;
    ScopedHostOptions& operator=(const ScopedHostOptions&) = delete;

private:
    HostOptions saved;
};

}  // namespace d3dhost
