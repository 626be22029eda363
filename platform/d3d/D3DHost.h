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

// Implemented by the window layer. All calls come from the thread that drives the device.
class Presenter {
public:
    virtual ~Presenter() = default;
    // A finished frame from IDirect3DDevice8::Present: width x height pixels, 0xFFRRGGBB words, rows top-down,
    // tightly packed. window is Present's override window or the device window; sourceRect/destRect as passed
    // to Present (null = whole). The pixels are valid only during the call.
    virtual void PresentFrame(HWND window, const DWORD* pixels, UINT width, UINT height, const RECT* sourceRect,
                              const RECT* destRect) = 0;
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

// The edge filter: anti-aliasing as a pass over the finished picture at Present, on every device
// whose back buffer is not multisampled (samples already smooth the edges). Off by default.
void SetEdgeFilter(bool on);

// The last frame given to Present (whether or not a presenter took it): 0xFFRRGGBB, top-down, width*height.
// Returns false when the device has presented nothing yet or is not one of ours.
bool GetPresentedFrame(IDirect3DDevice8* device, std::vector<DWORD>* pixels, UINT* width, UINT* height);

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

// Puts every option above back to its default (no presenter, no displays, not headless, no restriction,
// no edge filter, no caps editors, no simulated HAL).
void ResetHostOptions();

}  // namespace d3dhost
