// The fake Direct3D object and device of the framework tests.
#include "FakeDirect3D.h"

#include <cstdio>
#include <cstring>

std::vector<std::string>& EventLog() {
    static std::vector<std::string> log;
    return log;
}
void LogEvent(const std::string& event) { EventLog().push_back(event); }

namespace {
const char* TypeName(D3DDEVTYPE t) { return t == D3DDEVTYPE_HAL ? "HAL" : t == D3DDEVTYPE_REF ? "REF" : "?"; }
}  // namespace

FakeSurface::FakeSurface(D3DSURFACE_DESC d) : desc(d), pixels(static_cast<size_t>(d.Width) * d.Height, 0) {}

HRESULT FakeSurface::GetDesc(D3DSURFACE_DESC* d) {
    if (!d) return D3DERR_INVALIDCALL;
    *d = desc;
    return S_OK;
}

HRESULT FakeSurface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
    if (!locked || rect) return D3DERR_INVALIDCALL;
    locked->Pitch = static_cast<INT>(desc.Width * 4);
    locked->pBits = pixels.data();
    return S_OK;
}

FakeDevice::FakeDevice(D3DDEVTYPE t, DWORD b, const D3DPRESENT_PARAMETERS& p, const D3DCAPS8& c)
    : type(t), behavior(b), params(p), caps(c) {}

ULONG FakeDevice::Release() {
    ULONG r = --refs;
    if (r == 0) LogEvent("device released");
    return r;
}

HRESULT FakeDevice::TestCooperativeLevel() {
    if (cooperative.empty()) return D3D_OK;
    HRESULT hr = cooperative.front();
    cooperative.pop_front();
    return hr;
}

HRESULT FakeDevice::GetDeviceCaps(D3DCAPS8* c) {
    *c = caps;
    return S_OK;
}

HRESULT FakeDevice::Reset(D3DPRESENT_PARAMETERS* p) {
    LogEvent("Reset");
    ++resets;
    if (FAILED(resetResult)) return resetResult;
    params = *p;
    backBuffer.reset();
    return S_OK;
}

HRESULT FakeDevice::Present(const RECT*, const RECT*, HWND, const void*) {
    LogEvent("Present");
    ++presents;
    return presentResult;
}

HRESULT FakeDevice::GetBackBuffer(UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface8** surface) {
    if (!backBuffer) {
        D3DSURFACE_DESC d{};
        d.Format = params.BackBufferFormat;
        d.Type = D3DRTYPE_SURFACE;
        d.Width = params.BackBufferWidth;
        d.Height = params.BackBufferHeight;
        backBuffer = std::make_unique<FakeSurface>(d);
    }
    backBuffer->AddRef();
    *surface = backBuffer.get();
    return S_OK;
}

HRESULT FakeDevice::CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) {
    D3DSURFACE_DESC d{};
    d.Format = format;
    d.Width = width;
    d.Height = height;
    surfaces.push_back(std::make_unique<FakeSurface>(d));
    *surface = surfaces.back().get();
    return S_OK;
}

HRESULT FakeDevice::SetCursorProperties(UINT, UINT, IDirect3DSurface8* surface) {
    auto* s = static_cast<FakeSurface*>(surface);
    cursorPixels = s->pixels;
    cursorWidth = s->desc.Width;
    cursorHeight = s->desc.Height;
    LogEvent("SetCursorProperties");
    return S_OK;
}

BOOL FakeDevice::ShowCursor(BOOL show) {
    LogEvent(show ? "ShowCursor on" : "ShowCursor off");
    return FALSE;
}

void FakeDevice::SetCursorPosition(int x, int y, DWORD) { cursorPosition = POINT{x, y}; }

ULONG FakeDirect3D::Release() {
    ULONG r = --refs;
    if (r == 0) LogEvent("direct3d released");
    return r;
}

FakeDeviceType* FakeDirect3D::Type(UINT adapter, D3DDEVTYPE type) {
    if (adapter >= adapters.size()) return nullptr;
    if (type == D3DDEVTYPE_HAL) return &adapters[adapter].types[0];
    if (type == D3DDEVTYPE_REF) return &adapters[adapter].types[1];
    return nullptr;
}

HRESULT FakeDirect3D::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER8* id) {
    if (adapter >= adapters.size()) return D3DERR_INVALIDCALL;
    std::memset(id, 0, sizeof *id);
    std::snprintf(id->Description, sizeof id->Description, "%s", adapters[adapter].description.c_str());
    std::snprintf(id->Driver, sizeof id->Driver, "fake");
    return S_OK;
}

UINT FakeDirect3D::GetAdapterModeCount(UINT adapter) {
    return adapter < adapters.size() ? static_cast<UINT>(adapters[adapter].modes.size()) : 0;
}

HRESULT FakeDirect3D::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* m) {
    if (adapter >= adapters.size() || mode >= adapters[adapter].modes.size()) return D3DERR_INVALIDCALL;
    *m = adapters[adapter].modes[mode];
    return S_OK;
}

HRESULT FakeDirect3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* m) {
    if (adapter >= adapters.size()) return D3DERR_INVALIDCALL;
    *m = adapters[adapter].desktop;
    return S_OK;
}

HRESULT FakeDirect3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT, BOOL) {
    FakeDeviceType* t = Type(adapter, type);
    if (!t || !t->present || !t->formats.count(display)) return D3DERR_NOTAVAILABLE;
    return S_OK;
}

HRESULT FakeDirect3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage, D3DRESOURCETYPE,
                                        D3DFORMAT check) {
    FakeDeviceType* t = Type(adapter, type);
    if (usage == D3DUSAGE_DEPTHSTENCIL) depthQueries.push_back(std::to_string(static_cast<DWORD>(check)));
    if (!t || !t->present) return D3DERR_NOTAVAILABLE;
    if (usage == D3DUSAGE_DEPTHSTENCIL) return t->depthFormats.count(check) ? S_OK : D3DERR_NOTAVAILABLE;
    return S_OK;
}

HRESULT FakeDirect3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE ms) {
    FakeDeviceType* t = Type(adapter, type);
    if (!t || !t->present || !t->multiSampleTypes.count(ms)) return D3DERR_NOTAVAILABLE;
    return S_OK;
}

HRESULT FakeDirect3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT, D3DFORMAT depth) {
    FakeDeviceType* t = Type(adapter, type);
    if (!t || !t->present || t->depthMismatch.count(depth)) return D3DERR_NOTAVAILABLE;
    return S_OK;
}

HRESULT FakeDirect3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    FakeDeviceType* t = Type(adapter, type);
    if (!t) return D3DERR_INVALIDCALL;
    *caps = t->caps;
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    return t->present ? S_OK : D3DERR_NOTAVAILABLE;
}

HRESULT FakeDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND, DWORD behavior, D3DPRESENT_PARAMETERS* params,
                                   IDirect3DDevice8** device) {
    char text[96];
    std::snprintf(text, sizeof text, "CreateDevice %u %s 0x%02X", adapter, TypeName(type), static_cast<unsigned>(behavior));
    LogEvent(text);
    *device = nullptr;
    FakeDeviceType* t = Type(adapter, type);
    if (!t || !t->present) return D3DERR_NOTAVAILABLE;
    if (FAILED(t->createResult)) return t->createResult;
    devices.push_back(std::make_unique<FakeDevice>(type, behavior, *params, t->caps));
    *device = devices.back().get();
    return S_OK;
}

namespace {
FakeAdapter WithModes(FakeAdapter a) {
    for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
        a.modes.push_back(D3DDISPLAYMODE{640, 480, 60, f});
        a.modes.push_back(D3DDISPLAYMODE{800, 600, 60, f});
    }
    return a;
}
}  // namespace

FakeAdapter SoftwareOnlyAdapter() {
    FakeAdapter a;
    a.types[0].present = false;
    FakeDeviceType& ref = a.types[1];
    ref.caps.Caps2 = D3DCAPS2_CANRENDERWINDOWED;
    ref.formats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};
    ref.depthFormats = {D3DFMT_D16, D3DFMT_D24S8};
    return WithModes(a);
}

FakeAdapter HardwareAdapter() {
    FakeAdapter a = SoftwareOnlyAdapter();
    FakeDeviceType& hal = a.types[0];
    hal = a.types[1];
    hal.present = true;
    hal.caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    a.description = "Fake GPU";
    return a;
}
