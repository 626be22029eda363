// The Direct3D object: EGL device discovery (REF = the software EGL device, HAL = a hardware one), adapters
// from the host's displays or one virtual adapter, capabilities, format checks and device creation.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/d3d/DeviceImpl.h"

// [SECTION] Index
// Host options     d3dhost:: functions and the state they set
// EGL devices      discovery and the probe context that reads limits
// Capabilities     FillCaps
// IDirect3D8       adapters, modes, checks, CreateDevice

namespace d3dimpl {

// [SECTION] Host options

HostState& Host() {
    static HostState host;
    return host;
}


}  // namespace d3dimpl

using namespace d3dimpl;

namespace d3dhost {

void SetPresenter(Presenter* presenter) { Host().presenter = presenter; }
void SetDisplays(const std::vector<DisplayInfo>& displays) { Host().displays = displays; }
void SetHeadless(bool headless) { Host().headless = headless; }
bool IsHeadless() { return Host().headless; }
void RestrictDeviceType(D3DDEVTYPE onlyType) { Host().restriction = onlyType; }
void SimulateHardwareDevice(bool simulate) { Host().simulateHal = simulate; }
void SetWindowedPresentSync(bool sync) { Host().windowedSync = sync; }
void SetReadBackEachPresent(bool each) { Host().readBackEachPresent = each; }
void AllowWindowSurfaces(bool allow) { Host().windowSurfaces = allow; }
void SetEdgeFilter(bool on) { Host().edgeFilter = on; }

void SetCapsEditor(D3DDEVTYPE type, std::function<void(D3DCAPS8&)> editor) {
    if (type == D3DDEVTYPE_HAL) Host().capsEditor[0] = std::move(editor);
    if (type == D3DDEVTYPE_REF) Host().capsEditor[1] = std::move(editor);
}

HostOptions CurrentHostOptions() { return Host(); }
void SetHostOptions(const HostOptions& options) { static_cast<HostOptions&>(Host()) = options; }

ScopedHostOptions::ScopedHostOptions(const HostOptions& options) : saved(CurrentHostOptions()) {
    SetHostOptions(options);
}
ScopedHostOptions::~ScopedHostOptions() { SetHostOptions(saved); }

HRESULT ReadPresentedFrame(IDirect3DDevice8* device, std::vector<DWORD>* pixels, UINT* width, UINT* height) {
    Device* d = Device::FromInterface(device);
    if (!d || !pixels || !width || !height) return D3DERR_INVALIDCALL;
    return d->ReadPresentedFrame(pixels, width, height);
}

bool GetPresentedFrame(IDirect3DDevice8* device, std::vector<DWORD>* pixels, UINT* width, UINT* height) {
    return ReadPresentedFrame(device, pixels, width, height) == D3D_OK;
}

HRESULT ForceDeviceLoss(IDirect3DDevice8* device, UINT lostCalls) {
    Device* d = Device::FromInterface(device);
    if (!d) return D3DERR_INVALIDCALL;
    d->ForceLoss(lostCalls);
    return D3D_OK;
}

HRESULT GetDeviceObjectCounts(IDirect3DDevice8* device, DeviceObjectCounts* counts) {
    Device* d = Device::FromInterface(device);
    if (!d || !counts) return D3DERR_INVALIDCALL;
    d->CountObjects(counts);
    return D3D_OK;
}

}  // namespace d3dhost

extern "C" void DebugSetMute(DWORD mute) { Host().debugMute = mute; }

namespace d3dimpl {

// [SECTION] EGL devices

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    }
    return false;
}

namespace {

struct EglRegistry {
    bool probed = false;
    EglDevice software;  // REF
    EglDevice hardware;  // HAL
    bool haveSoftware = false, haveHardware = false;
    EGLDeviceEXT softwareDevice = nullptr, hardwareDevice = nullptr;
};

EglRegistry& Registry() {
    static EglRegistry registry;
    return registry;
}

// Which sample counts each renderbuffer format the device uses gets exactly: GL may round a count up, and the
// device must not promise 2 samples where it would get 4. Needs a current context.
void ProbeSampleCounts(EglDevice* out) {
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    if (maxSamples > 16) maxSamples = 16;
    // The colour storage and the storage of every depth format in the format table (a format missing here is
    // simply offered no samples).
    const GLenum formats[] = {kBackBufferStorage, GL_DEPTH_COMPONENT16, GL_DEPTH24_STENCIL8, GL_DEPTH_COMPONENT32F};
    GLuint renderbuffer = 0;
    glGenRenderbuffers(1, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    for (GLenum format : formats) {
        DWORD counts = 0;
        for (GLint n = 2; n <= maxSamples; ++n) {
            glGetError();
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, n, format, 4, 4);
            GLint samples = 0;
            glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &samples);
            if (glGetError() == GL_NO_ERROR && samples == n) counts |= 1u << n;
        }
        out->sampleCounts.emplace_back(format, counts);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glDeleteRenderbuffers(1, &renderbuffer);
}

// Opens the display of an EGL device and reads the renderer and limits through a throw-away context.
bool OpenDevice(EGLDeviceEXT device, EglDevice* out) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return false;
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
    if (display == EGL_NO_DISPLAY) return false;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) return false;
    const char* ext = eglQueryString(display, EGL_EXTENSIONS);
    if (!HasExtension(ext, "EGL_KHR_surfaceless_context") || !HasExtension(ext, "EGL_KHR_no_config_context")) {
        eglTerminate(display);
        return false;
    }
    eglBindAPI(EGL_OPENGL_API);
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, kContextAttributes);
    if (context == EGL_NO_CONTEXT) {
        eglTerminate(display);
        return false;
    }
    EGLContext previous = eglGetCurrentContext();
    EGLDisplay previousDisplay = eglGetCurrentDisplay();
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
    out->display = display;
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    out->renderer = renderer ? renderer : "OpenGL";
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &out->maxTextureSize);
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (!e) continue;
        if (!std::strcmp(e, "GL_EXT_texture_filter_anisotropic") || !std::strcmp(e, "GL_ARB_texture_filter_anisotropic"))
            glGetFloatv(0x84FF /* GL_MAX_TEXTURE_MAX_ANISOTROPY */, &out->maxAnisotropy);
        if (!std::strcmp(e, "GL_ARB_texture_mirror_clamp_to_edge") || !std::strcmp(e, "GL_EXT_texture_mirror_clamp"))
            out->mirrorClampToEdge = true;
    }
    float range[2] = {1, 1};
    glGetFloatv(GL_POINT_SIZE_RANGE, range);
    out->pointSizeMax = range[1];
    ProbeSampleCounts(out);
    glGetError();
    if (previous != EGL_NO_CONTEXT) {
        eglMakeCurrent(previousDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, previous);
    } else {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    eglDestroyContext(display, context);
    return true;
}

void Probe() {
    EglRegistry& r = Registry();
    if (r.probed) return;
    r.probed = true;
    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasExtension(clientExt, "EGL_EXT_platform_device") && !HasExtension(clientExt, "EGL_EXT_device_base") &&
        !HasExtension(clientExt, "EGL_EXT_device_enumeration"))
        return;
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    auto queryDeviceString =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    if (!queryDevices || !queryDeviceString) return;
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!queryDevices(16, devices, &count)) return;
    for (EGLint i = 0; i < count; ++i) {
        const char* ext = queryDeviceString(devices[i], EGL_EXTENSIONS);
        bool software = HasExtension(ext, "EGL_MESA_device_software");
        if (software && !r.haveSoftware) {
            r.haveSoftware = OpenDevice(devices[i], &r.software);
        } else if (!software && !r.haveHardware) {
            r.haveHardware = OpenDevice(devices[i], &r.hardware);
        }
    }
}

}  // namespace

bool EglDevice::SupportsSamples(GLenum internalFormat, UINT samples) const {
    if (samples > 16) return false;
    for (const auto& [format, counts] : sampleCounts) {
        if (format == internalFormat) return (counts >> samples) & 1u;
    }
    return false;
}

EglDevice* FindEglDevice(D3DDEVTYPE type) {
    HostState& h = Host();
    if (h.restriction != D3DDEVTYPE_FORCE_DWORD && h.restriction != type) return nullptr;
    Probe();
    EglRegistry& r = Registry();
    if (type == D3DDEVTYPE_REF) return r.haveSoftware ? &r.software : nullptr;
    if (type == D3DDEVTYPE_HAL) {
        if (r.haveHardware) return &r.hardware;
        if (h.simulateHal && r.haveSoftware) return &r.software;
    }
    return nullptr;
}

// [SECTION] Capabilities

bool FillCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    EglDevice* egl = FindEglDevice(type);
    if (!egl) return false;
    D3DCAPS8 c{};
    c.DeviceType = type;
    c.AdapterOrdinal = adapter;
    c.Caps2 = D3DCAPS2_CANRENDERWINDOWED | D3DCAPS2_DYNAMICTEXTURES;
    // Presenting waits for one refresh or none; headless there is no display to wait for.
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | (Host().headless ? 0 : D3DPRESENT_INTERVAL_ONE);
    c.CursorCaps = D3DCURSORCAPS_COLOR;
    // Vertices are processed in GLSL on the device whichever behaviour is asked for.
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION |
                D3DDEVCAPS_PUREDEVICE;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP |
                          D3DPMISCCAPS_BLENDOP;
    c.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                   D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_ZBIAS | D3DPRASTERCAPS_FOGRANGE |
                   D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG | D3DPRASTERCAPS_COLORPERSPECTIVE;
    if (egl->maxAnisotropy > 1.0f) c.RasterCaps |= D3DPRASTERCAPS_ANISOTROPY;
    c.ZCmpCaps = 0xFF;
    c.AlphaCmpCaps = 0xFF;
    c.SrcBlendCaps = 0x1FFF;
    c.DestBlendCaps = 0x1FFF;
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                  D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP |
                    D3DPTEXTURECAPS_PROJECTED | D3DPTEXTURECAPS_TEXREPEATNOTSCALEDBYSIZE;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    if (egl->maxAnisotropy > 1.0f)
        c.TextureFilterCaps |= D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
    if (egl->mirrorClampToEdge) c.TextureAddressCaps |= D3DPTADDRESSCAPS_MIRRORONCE;
    c.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP |
                 D3DLINECAPS_FOG;
    DWORD maxSize = static_cast<DWORD>(egl->maxTextureSize > 8192 ? 8192 : egl->maxTextureSize);
    c.MaxTextureWidth = c.MaxTextureHeight = maxSize;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = maxSize;
    c.MaxAnisotropy = static_cast<DWORD>(egl->maxAnisotropy);
    c.MaxVertexW = 1e10f;
    // GL clips in homogeneous space, so any screen extent is fine.
    c.GuardBandLeft = -16384.0f;
    c.GuardBandTop = -16384.0f;
    c.GuardBandRight = 16384.0f;
    c.GuardBandBottom = 16384.0f;
    c.StencilCaps = 0xFF;
    c.FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    c.TextureOpCaps = 0x03FFFFFF & ~(D3DTEXOPCAPS_BUMPENVMAP | D3DTEXOPCAPS_BUMPENVMAPLUMINANCE |
                                     D3DTEXOPCAPS_PREMODULATE);
    c.MaxTextureBlendStages = kMaxStages;
    c.MaxSimultaneousTextures = kMaxStages;
    c.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                             D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
    c.MaxActiveLights = kMaxActiveLights;
    c.MaxUserClipPlanes = kMaxClipPlanes;
    c.MaxVertexBlendMatrices = 4;
    c.MaxVertexBlendMatrixIndex = 0;
    c.MaxPointSize = egl->pointSizeMax < 64.0f ? egl->pointSizeMax : 64.0f;
    c.MaxPrimitiveCount = 0x00FFFFFF;
    c.MaxVertexIndex = 0x00FFFFFF;
    c.MaxStreams = kMaxStreams;
    c.MaxStreamStride = 255;
    // Version 1.x shaders are translated to GLSL (platform/d3d/shader); pixel arithmetic is clamped to
    // the range the translator is given.
    c.VertexShaderVersion = D3DVS_VERSION(1, 1);
    c.MaxVertexShaderConst = kVsConstCount;
    c.PixelShaderVersion = D3DPS_VERSION(1, 4);
    c.MaxPixelShaderValue = shader::TranslateOptions{}.pixelShaderMaxValue;
    const auto& editor = Host().capsEditor[type == D3DDEVTYPE_HAL ? 0 : 1];
    if (editor) editor(c);
    *caps = c;
    return true;
}

// [SECTION] Adapters

namespace {

struct AdapterView {
    std::string name;
    D3DDISPLAYMODE desktop;
    std::vector<D3DDISPLAYMODE> modes;
};

// The adapters as they are now: the host's displays, or the one virtual adapter.
std::vector<AdapterView> Adapters() {
    std::vector<AdapterView> out;
    HostState& h = Host();
    if (!h.headless) {
        for (const d3dhost::DisplayInfo& d : h.displays) {
            AdapterView a;
            a.name.assign(d.name, strnlen(d.name, sizeof d.name));
            a.desktop = d.desktop;
            a.modes = d.modes;
            out.push_back(std::move(a));
        }
    }
    if (out.empty()) {
        AdapterView a;
        a.name = "Simmerglass virtual display";
        a.desktop = {640, 480, 60, D3DFMT_X8R8G8B8};
        const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}};
        for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
            for (const auto& s : sizes) a.modes.push_back({s[0], s[1], 60, f});
        }
        out.push_back(std::move(a));
    }
    return out;
}

bool DisplayFormat(D3DFORMAT f) {
    const FormatInfo* info = FindFormat(f);
    return info && (info->uses & kUseDisplay);
}

// A back-buffer format goes with a display format when only the alpha/unused bits differ.
bool BackBufferMatches(D3DFORMAT display, D3DFORMAT back) {
    const FormatInfo* info = FindFormat(back);
    if (!info || !(info->uses & kUseBackBuffer)) return false;
    if (display == back) return true;
    if (display == D3DFMT_X8R8G8B8) return back == D3DFMT_A8R8G8B8;
    if (display == D3DFMT_X1R5G5B5) return back == D3DFMT_A1R5G5B5;
    return false;
}

}  // namespace

// [SECTION] IDirect3D8

ULONG Direct3D::AddRef() { return ++refs; }

ULONG Direct3D::Release() {
    ULONG n = --refs;
    if (n == 0) delete this;
    return n;
}

bool Direct3D::ValidAdapter(UINT adapter) { return adapter < Adapters().size(); }

UINT Direct3D::GetAdapterCount() { return static_cast<UINT>(Adapters().size()); }

HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER8* identifier) {
    std::vector<AdapterView> adapters = Adapters();
    if (adapter >= adapters.size() || !identifier) return D3DERR_INVALIDCALL;
    std::memset(identifier, 0, sizeof *identifier);
    EglDevice* egl = FindEglDevice(D3DDEVTYPE_HAL);
    if (!egl) egl = FindEglDevice(D3DDEVTYPE_REF);
    std::string renderer = egl ? egl->renderer : "no OpenGL device";
    std::snprintf(identifier->Driver, sizeof identifier->Driver, "simmerglass-d3d8-egl");
    std::snprintf(identifier->Description, sizeof identifier->Description, "%s (%s)", adapters[adapter].name.c_str(),
                  renderer.c_str());
    identifier->DriverVersion.QuadPart = 0x0008000000000001LL;
    DWORD hash = 2166136261u;
    for (char ch : adapters[adapter].name + renderer) hash = (hash ^ static_cast<BYTE>(ch)) * 16777619u;
    identifier->DeviceIdentifier.Data1 = hash;
    identifier->DeviceIdentifier.Data2 = 0x5347;
    identifier->DeviceIdentifier.Data3 = 0x4438;
    return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter) {
    std::vector<AdapterView> adapters = Adapters();
    return adapter < adapters.size() ? static_cast<UINT>(adapters[adapter].modes.size()) : 0;
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) {
    std::vector<AdapterView> adapters = Adapters();
    if (adapter >= adapters.size() || !displayMode || mode >= adapters[adapter].modes.size())
        return D3DERR_INVALIDCALL;
    *displayMode = adapters[adapter].modes[mode];
    return D3D_OK;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) {
    std::vector<AdapterView> adapters = Adapters();
    if (adapter >= adapters.size() || !displayMode) return D3DERR_INVALIDCALL;
    *displayMode = adapters[adapter].desktop;
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE checkType, D3DFORMAT displayFormat,
                                  D3DFORMAT backBufferFormat, BOOL windowed) {
    std::vector<AdapterView> adapters = Adapters();
    if (adapter >= adapters.size()) return D3DERR_INVALIDCALL;
    if (!FindEglDevice(checkType)) return D3DERR_NOTAVAILABLE;
    if (!DisplayFormat(displayFormat) || !BackBufferMatches(displayFormat, backBufferFormat))
        return D3DERR_NOTAVAILABLE;
    const AdapterView& a = adapters[adapter];
    if (windowed) return displayFormat == a.desktop.Format ? D3D_OK : D3DERR_NOTAVAILABLE;
    for (const D3DDISPLAYMODE& m : a.modes) {
        if (m.Format == displayFormat) return D3D_OK;
    }
    return D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    if (!ValidAdapter(adapter)) return D3DERR_INVALIDCALL;
    if (!FindEglDevice(deviceType) || !DisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    const DWORD known = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY |
                        D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS;
    if (usage & ~known) return D3DERR_NOTAVAILABLE;
    const FormatInfo* info = FindFormat(checkFormat);
    switch (resourceType) {
    case D3DRTYPE_TEXTURE:
        // Textures are sampled only: rendering into textures is not offered.
        if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_NOTAVAILABLE;
        return info && (info->uses & kUseTexture) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_SURFACE:
        if (usage & D3DUSAGE_DEPTHSTENCIL) return info && (info->uses & kUseDepth) ? D3D_OK : D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_RENDERTARGET)
            return info && (info->uses & kUseBackBuffer) ? D3D_OK : D3DERR_NOTAVAILABLE;
        return info && (info->uses & kUseScratch) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_VERTEXBUFFER:
        return checkFormat == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_INDEXBUFFER:
        return checkFormat == D3DFMT_INDEX16 || checkFormat == D3DFMT_INDEX32 ? D3D_OK : D3DERR_NOTAVAILABLE;
    default:
        return D3DERR_NOTAVAILABLE;
    }
}

namespace {

// The multisample types are sample counts; 1 is not one of them.
bool ValidMultiSampleType(D3DMULTISAMPLE_TYPE type) {
    return type == D3DMULTISAMPLE_NONE || (type >= D3DMULTISAMPLE_2_SAMPLES && type <= D3DMULTISAMPLE_16_SAMPLES);
}

// Whether a surface of the format (a back-buffer or a depth format) can be made with that many samples.
bool SupportsMultiSample(const EglDevice& egl, const FormatInfo& info, D3DMULTISAMPLE_TYPE type) {
    if (type == D3DMULTISAMPLE_NONE) return true;
    GLenum storage = (info.uses & kUseDepth) ? info.internalFormat : kBackBufferStorage;
    return egl.SupportsSamples(storage, static_cast<UINT>(type));
}

}  // namespace

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT surfaceFormat, BOOL,
                                             D3DMULTISAMPLE_TYPE multiSampleType) {
    if (!ValidAdapter(adapter) || !ValidMultiSampleType(multiSampleType)) return D3DERR_INVALIDCALL;
    EglDevice* egl = FindEglDevice(deviceType);
    if (!egl) return D3DERR_NOTAVAILABLE;
    const FormatInfo* info = FindFormat(surfaceFormat);
    if (!info || !(info->uses & (kUseBackBuffer | kUseDepth))) return D3DERR_NOTAVAILABLE;
    return SupportsMultiSample(*egl, *info, multiSampleType) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
    if (!ValidAdapter(adapter)) return D3DERR_INVALIDCALL;
    if (!FindEglDevice(deviceType) || !DisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    const FormatInfo* rt = FindFormat(renderTargetFormat);
    const FormatInfo* ds = FindFormat(depthStencilFormat);
    if (!rt || !(rt->uses & kUseBackBuffer) || !ds || !(ds->uses & kUseDepth)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) {
    if (!ValidAdapter(adapter) || !caps) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_REF) return D3DERR_INVALIDCALL;
    return FillCaps(adapter, deviceType, caps) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckPresentParameters(UINT adapter, const EglDevice& egl, D3DPRESENT_PARAMETERS* pp) {
    std::vector<AdapterView> adapters = Adapters();
    if (adapter >= adapters.size() || !pp) return D3DERR_INVALIDCALL;
    const FormatInfo* back = FindFormat(pp->BackBufferFormat);
    if (!back || !(back->uses & kUseBackBuffer)) return D3DERR_INVALIDCALL;
    if (pp->BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (pp->BackBufferCount == 0) pp->BackBufferCount = 1;
    if (pp->SwapEffect < D3DSWAPEFFECT_DISCARD || pp->SwapEffect > D3DSWAPEFFECT_COPY_VSYNC)
        return D3DERR_INVALIDCALL;
    // A multisampled back buffer is resolved when presented, so only the discard swap effect goes with it.
    const D3DMULTISAMPLE_TYPE samples = pp->MultiSampleType;
    if (!ValidMultiSampleType(samples) || !SupportsMultiSample(egl, *back, samples)) return D3DERR_INVALIDCALL;
    if (samples != D3DMULTISAMPLE_NONE && pp->SwapEffect != D3DSWAPEFFECT_DISCARD) return D3DERR_INVALIDCALL;
    // A window is presented to as the host's sync setting says; full screen takes the default (one refresh),
    // immediate, or an interval the device offers.
    const UINT interval = pp->FullScreen_PresentationInterval;
    if (pp->Windowed ? interval != D3DPRESENT_INTERVAL_DEFAULT
                     : interval != D3DPRESENT_INTERVAL_DEFAULT && interval != D3DPRESENT_INTERVAL_IMMEDIATE &&
                           interval != D3DPRESENT_INTERVAL_ONE)
        return D3DERR_INVALIDCALL;
    if (pp->EnableAutoDepthStencil) {
        const FormatInfo* ds = FindFormat(pp->AutoDepthStencilFormat);
        if (!ds || !(ds->uses & kUseDepth) || !SupportsMultiSample(egl, *ds, samples)) return D3DERR_INVALIDCALL;
    }
    if (pp->Windowed) {
        if (pp->BackBufferWidth == 0 || pp->BackBufferHeight == 0) {
            UINT w = 640, h = 480;
            d3dhost::Presenter* presenter = Host().presenter;
            if (presenter && !Host().headless && pp->hDeviceWindow) {
                UINT cw = 0, ch = 0;
                if (presenter->GetClientSize(pp->hDeviceWindow, &cw, &ch) && cw && ch) w = cw, h = ch;
            }
            if (pp->BackBufferWidth == 0) pp->BackBufferWidth = w;
            if (pp->BackBufferHeight == 0) pp->BackBufferHeight = h;
        }
    } else {
        bool found = false;
        for (const D3DDISPLAYMODE& m : adapters[adapter].modes) {
            if (m.Width == pp->BackBufferWidth && m.Height == pp->BackBufferHeight &&
                BackBufferMatches(m.Format, pp->BackBufferFormat))
                found = true;
        }
        if (!found) return D3DERR_INVALIDCALL;
    }
    if (pp->BackBufferWidth > d3dhost::kMaxBackBufferSide || pp->BackBufferHeight > d3dhost::kMaxBackBufferSide)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* presentationParameters,
                               IDirect3DDevice8** returnedDeviceInterface) {
    if (!returnedDeviceInterface) return D3DERR_INVALIDCALL;
    *returnedDeviceInterface = nullptr;
    if (!ValidAdapter(adapter) || !presentationParameters) return D3DERR_INVALIDCALL;
    EglDevice* egl = FindEglDevice(deviceType);
    if (!egl) return D3DERR_NOTAVAILABLE;
    const DWORD vp = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
    if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        vp != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if ((behaviorFlags & D3DCREATE_PUREDEVICE) && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS pp = *presentationParameters;
    if (!pp.hDeviceWindow) pp.hDeviceWindow = focusWindow;
    HRESULT hr = CheckPresentParameters(adapter, *egl, &pp);
    if (FAILED(hr)) return hr;
    Device* device = new Device(this, adapter, deviceType, egl, focusWindow, behaviorFlags);
    hr = device->Initialise(&pp);
    if (FAILED(hr)) {
        device->Release();
        return hr;
    }
    *presentationParameters = pp;
    *returnedDeviceInterface = device;
    return D3D_OK;
}

}  // namespace d3dimpl

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return new d3dimpl::Direct3D();
}
