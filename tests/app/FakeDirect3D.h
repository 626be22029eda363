// A stand-in Direct3D object whose adapters, modes, formats and caps a test chooses, with a
// device that records what the framework does to it. Events go to one shared log, so that
// the order of hooks and device calls can be checked together.
#pragma once

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "NullDevice.h"

// The log the fakes and the recording application write to, in call order.
std::vector<std::string>& EventLog();
void LogEvent(const std::string& event);

struct FakeDeviceType {
    bool present = true;                      // false: CheckDeviceType refuses every format
    D3DCAPS8 caps{};                          // Caps2 has D3DCAPS2_CANRENDERWINDOWED by default
    std::set<DWORD> formats;                  // display formats CheckDeviceType accepts
    std::set<DWORD> depthFormats;             // CheckDeviceFormat(DEPTHSTENCIL) accepts
    std::set<DWORD> depthMismatch;            // CheckDepthStencilMatch refuses
    HRESULT createResult = S_OK;              // CreateDevice's answer
    std::set<DWORD> multiSampleTypes{0};      // CheckDeviceMultiSampleType accepts
};

struct FakeAdapter {
    std::string description = "Fake adapter";
    D3DDISPLAYMODE desktop{1024, 768, 60, D3DFMT_X8R8G8B8};
    std::vector<D3DDISPLAYMODE> modes;
    FakeDeviceType types[2];  // [0] HAL, [1] REF
};

class FakeSurface : public IDirect3DSurface8 {
public:
    explicit FakeSurface(D3DSURFACE_DESC desc);
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetDevice(IDirect3DDevice8**) override { return D3DERR_INVALIDCALL; }
    HRESULT GetDesc(D3DSURFACE_DESC* d) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override { return S_OK; }

    D3DSURFACE_DESC desc;
    std::vector<DWORD> pixels;
    ULONG refs = 1;
};

class FakeDevice : public NullDevice {
public:
    FakeDevice(D3DDEVTYPE type, DWORD behavior, const D3DPRESENT_PARAMETERS& params, const D3DCAPS8& caps);
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    HRESULT GetDeviceCaps(D3DCAPS8* c) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface) override;
    HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) override;
    HRESULT SetCursorProperties(UINT x, UINT y, IDirect3DSurface8* surface) override;
    BOOL ShowCursor(BOOL show) override;
    void SetCursorPosition(int x, int y, DWORD flags) override;

    D3DDEVTYPE type;
    DWORD behavior;
    D3DPRESENT_PARAMETERS params;
    D3DCAPS8 caps;
    ULONG refs = 1;
    std::deque<HRESULT> cooperative;  // answers of TestCooperativeLevel, then D3D_OK
    HRESULT resetResult = S_OK;
    HRESULT presentResult = S_OK;
    int presents = 0;
    int resets = 0;
    std::vector<DWORD> cursorPixels;  // the last SetCursorProperties image
    UINT cursorWidth = 0, cursorHeight = 0;
    POINT cursorPosition{-1, -1};
    std::unique_ptr<FakeSurface> backBuffer;
    std::vector<std::unique_ptr<FakeSurface>> surfaces;
};

class FakeDirect3D : public IDirect3D8 {
public:
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override;
    UINT GetAdapterCount() override { return static_cast<UINT>(adapters.size()); }
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* id) override;
    UINT GetAdapterModeCount(UINT adapter) override;
    HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* m) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* m) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT backBuffer, BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE rtype,
                              D3DFORMAT check) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE ms) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT renderTarget,
                                   D3DFORMAT depth) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior, D3DPRESENT_PARAMETERS* params,
                         IDirect3DDevice8** device) override;

    FakeDeviceType* Type(UINT adapter, D3DDEVTYPE type);

    std::vector<FakeAdapter> adapters;
    ULONG refs = 1;
    std::vector<std::unique_ptr<FakeDevice>> devices;  // every device made, newest last
    std::vector<std::string> depthQueries;             // "CheckDeviceFormat <fmt>" in order
    FakeDevice* LastDevice() { return devices.empty() ? nullptr : devices.back().get(); }
};

// One adapter with a REF device that accepts X8R8G8B8 and R5G6B5, D16 and D24S8 depth, modes
// 640x480 and 800x600 in both formats; HAL absent. Most tests start from it.
FakeAdapter SoftwareOnlyAdapter();
// The same adapter with a working HAL as well (hardware T&L without pure device).
FakeAdapter HardwareAdapter();
