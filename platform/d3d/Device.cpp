// IDirect3DDevice8 core: GL context and back buffer, reading it back, reset and loss, resources and scenes,
// with the platform's state defaults. Present is in DevicePresent.cpp, state in DeviceState.cpp, state
// blocks in DeviceStateBlocks.cpp, drawing in DeviceDraw.cpp, shaders in DeviceShaders.cpp.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/d3d/DeviceImpl.h"

// [SECTION] Index
// Defaults           render and texture-stage state defaults in one table
// Lifetime           construction, context, back buffer, destruction
// Presentation       back buffer, read-back, Reset, loss, cursor (Present: DevicePresent.cpp)
// Resources          Create*, UpdateTexture

namespace d3dimpl {

const EGLint kContextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};

namespace {

// [SECTION] Defaults

struct RenderStateDefault {
    D3DRENDERSTATETYPE state;
    DWORD value;
};

// Every render state the device accepts, with its documented default. ZENABLE and SOFTWAREVERTEXPROCESSING
// depend on how the device was created and are set separately.
const RenderStateDefault kRenderStateDefaults[] = {
#define SG_RS_DEFAULT(name, number, def, type, names) {D3DRS_##name, def},
    SG_RENDER_STATES(SG_RS_DEFAULT)
#undef SG_RS_DEFAULT
};

struct ValidStates {
    std::bitset<D3DRS_COUNT> renderStates;
    ValidStates() {
        for (const RenderStateDefault& d : kRenderStateDefaults) renderStates.set(d.state);
    }
};

}  // namespace

bool ValidRenderState(DWORD state) {
    static const ValidStates valid;
    return state < D3DRS_COUNT && valid.renderStates.test(state);
}

bool ValidStageState(DWORD type) { return type >= D3DTSS_COLOROP && type < D3DTSS_COUNT && type != 12; }

void Identity(D3DMATRIX* m) {
    std::memset(m, 0, sizeof *m);
    m->_11 = m->_22 = m->_33 = m->_44 = 1.0f;
}

D3DLIGHT8 DefaultLight() {
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    l.Direction = {0.0f, 0.0f, 1.0f};
    return l;
}

namespace {

std::vector<Device*>& LiveDevices() {
    static std::vector<Device*> devices;
    return devices;
}

}  // namespace

// [SECTION] Lifetime

Device::Device(Direct3D* d3d, UINT adapter, D3DDEVTYPE type, EglDevice* egl, HWND focusWindow, DWORD behaviorFlags)
    : d3d(d3d), adapter(adapter), type(type), egl(egl), focusWindow(focusWindow), behaviorFlags(behaviorFlags) {
    d3d->AddRef();
    LiveDevices().push_back(this);
}

Device* Device::FromInterface(IDirect3DDevice8* device) {
    for (Device* d : LiveDevices()) {
        if (static_cast<IDirect3DDevice8*>(d) == device) return d;
    }
    return nullptr;
}

void Device::MakeCurrent() {
    // Asked of EGL each time, so that other contexts in the process (tests, benchmarks) cannot confuse it.
    if (context != EGL_NO_CONTEXT && eglGetCurrentContext() != context)
        eglMakeCurrent(display, windowSurface, windowSurface, context);
}

HRESULT Device::Initialise(D3DPRESENT_PARAMETERS* params) {
    pp = *params;
    if (!FillCaps(adapter, type, &caps)) return D3DERR_NOTAVAILABLE;
    // The hardware device in a window draws into it on the GPU; everything else renders offscreen on the
    // EGL device's own display.
    const HostState& host = Host();
    if (type == D3DDEVTYPE_HAL && host.presenter && !host.headless && host.windowSurfaces && pp.hDeviceWindow) {
        std::string why;
        if (!CreateWindowContext(&why) && !why.empty()) {
            static bool told = false;  // once per process, however often the device is made again
            if (!told) {
                told = true;
                std::fprintf(stderr, "The hardware device cannot draw into the window (%s); frames are copied to it.\n",
                             why.c_str());
                std::fflush(stderr);
            }
        }
    }
    if (context == EGL_NO_CONTEXT) {
        eglBindAPI(EGL_OPENGL_API);
        context = eglCreateContext(egl->display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, kContextAttributes);
        if (context == EGL_NO_CONTEXT) return D3DERR_NOTAVAILABLE;
        display = egl->display;
    }
    MakeCurrent();
    GL_CHECK(glGenVertexArrays(1, &vao));
    GL_CHECK(glBindVertexArray(vao));
    GL_CHECK(glGenSamplers(kMaxStages, samplers));
    for (UINT i = 0; i < kMaxStages; ++i) GL_CHECK(glBindSampler(i, samplers[i]));
    GL_CHECK(glGenBuffers(1, &upVertexBuffer));
    GL_CHECK(glGenBuffers(1, &upIndexBuffer));
    // The platform's flat shading takes the first vertex's colours.
    GL_CHECK(glProvokingVertex(GL_FIRST_VERTEX_CONVENTION));
    GL_CHECK(glEnable(GL_PROGRAM_POINT_SIZE));
    // Rows are stored top row first, so the sprite origin the platform calls top-left is GL's lower left.
    GL_CHECK(glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT));
    GL_CHECK(glPixelStorei(GL_UNPACK_ALIGNMENT, 1));
    GL_CHECK(glPixelStorei(GL_PACK_ALIGNMENT, 4));
    GL_CHECK(glFrontFace(GL_CCW));
    HRESULT hr = CreateBackBuffer();
    if (FAILED(hr)) return hr;
    SetDefaultStates();
    return D3D_OK;
}

Device::~Device() {
    MakeCurrent();
    ReleaseState(state);
    for (auto& [token, block] : stateBlocks) ReleaseState(block->values);
    stateBlocks.clear();
    if (recording) ReleaseState(recording->values);
    recording.reset();
    DestroyBackBuffer();
    ForgetFramesInFlight();
    for (auto& [key, program] : programs) glDeleteProgram(program->program);
    programs.clear();
    glDeleteSamplers(kMaxStages, samplers);
    glDeleteBuffers(1, &upVertexBuffer);
    glDeleteBuffers(1, &upIndexBuffer);
    glDeleteVertexArrays(1, &vao);
    // Children still alive here hold only internal references that the state above released; anything
    // left would be our own bookkeeping bug.
    assert(children.empty());
    DestroyContext();
    auto& live = LiveDevices();
    for (size_t i = 0; i < live.size(); ++i) {
        if (live[i] == this) {
            live.erase(live.begin() + static_cast<long>(i));
            break;
        }
    }
    d3d->Release();
}

ULONG Device::AddRef() { return ++refs; }

ULONG Device::Release() {
    assert(refs > 0);
    ULONG n = --refs;
    if (n == 0) delete this;
    return n;
}

void Device::ChildCreated(DeviceChild* child) { children.push_back(child); }

void Device::ChildDestroyed(DeviceChild* child) {
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i] == child) {
            children[i] = children.back();
            children.pop_back();
            return;
        }
    }
}

HRESULT Device::CreateBackBuffer() {
    MakeCurrent();
    assert(FindFormat(pp.BackBufferFormat));
    const GLsizei width = static_cast<GLsizei>(pp.BackBufferWidth), height = static_cast<GLsizei>(pp.BackBufferHeight);
    // The multisample type is the sample count (CheckPresentParameters let only supported counts through).
    const GLsizei samples = static_cast<GLsizei>(pp.MultiSampleType);
    auto storage = [&](GLenum internalFormat) {
        if (samples) {
            GL_CHECK(glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, internalFormat, width, height));
        } else {
            GL_CHECK(glRenderbufferStorage(GL_RENDERBUFFER, internalFormat, width, height));
        }
    };
    GL_CHECK(glGenFramebuffers(1, &framebuffer));
    GL_CHECK(glBindFramebuffer(GL_FRAMEBUFFER, framebuffer));
    GL_CHECK(glGenRenderbuffers(1, &colourBuffer));
    GL_CHECK(glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer));
    storage(kBackBufferStorage);
    GL_CHECK(glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer));
    depthFormat = nullptr;
    if (pp.EnableAutoDepthStencil) {
        depthFormat = FindFormat(pp.AutoDepthStencilFormat);
        assert(depthFormat);
        GL_CHECK(glGenRenderbuffers(1, &depthBuffer));
        GL_CHECK(glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer));
        storage(depthFormat->internalFormat);
        GLenum attachment = depthFormat->internalFormat == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                               : GL_DEPTH_ATTACHMENT;
        GL_CHECK(glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depthBuffer));
    }
    bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete && samples) {
        GL_CHECK(glGenFramebuffers(1, &resolveFramebuffer));
        GL_CHECK(glBindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer));
        GL_CHECK(glGenRenderbuffers(1, &resolveBuffer));
        GL_CHECK(glBindRenderbuffer(GL_RENDERBUFFER, resolveBuffer));
        GL_CHECK(glRenderbufferStorage(GL_RENDERBUFFER, kBackBufferStorage, width, height));
        GL_CHECK(glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolveBuffer));
        complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        GL_CHECK(glBindFramebuffer(GL_FRAMEBUFFER, framebuffer));
    }
    if (!complete) {
        DestroyBackBuffer();
        return D3DERR_NOTAVAILABLE;
    }
    // A new back buffer holds no presented picture, and one kept in memory is of the old one.
    presentedInBackBuffer = false;
    presentedRead = false;
    std::vector<DWORD>().swap(presented);
    backBuffer = new Surface(this, Surface::kBackBuffer, nullptr, 0, pp.BackBufferWidth, pp.BackBufferHeight,
                             pp.BackBufferFormat, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
    backBuffer->AddInternal();
    // Start from black with opaque alpha, so formats without alpha read back consistently.
    GL_CHECK(glClearColor(0, 0, 0, 1));
    GL_CHECK(glClearDepth(1.0));
    GL_CHECK(glClearStencil(0));
    GL_CHECK(glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE));
    GL_CHECK(glDepthMask(GL_TRUE));
    GL_CHECK(glStencilMask(0xFFFFFFFFu));
    GL_CHECK(glDisable(GL_SCISSOR_TEST));
    GL_CHECK(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT));
    gl.valid = 0;
    glStateDirty = true;
    return D3D_OK;
}

void Device::DestroyBackBuffer() {
    MakeCurrent();
    if (backBuffer) {
        backBuffer->ReleaseInternal();
        backBuffer = nullptr;
    }
    if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
    if (colourBuffer) glDeleteRenderbuffers(1, &colourBuffer);
    if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
    if (resolveFramebuffer) glDeleteFramebuffers(1, &resolveFramebuffer);
    if (resolveBuffer) glDeleteRenderbuffers(1, &resolveBuffer);
    framebuffer = colourBuffer = depthBuffer = resolveFramebuffer = resolveBuffer = 0;
}

void Device::BindPictureForReading() {
    if (!resolveFramebuffer) {
        GL_CHECK(glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer));
        return;
    }
    // Each pixel becomes the average of its samples. Blits honour the scissor test (always off outside Clear)
    // and, on some drivers, the colour mask: open it, and let the next draw send its own again.
    const GLsizei width = static_cast<GLsizei>(pp.BackBufferWidth), height = static_cast<GLsizei>(pp.BackBufferHeight);
    GL_CHECK(glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE));
    gl.valid = 0;
    glStateDirty = true;
    GL_CHECK(glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer));
    GL_CHECK(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer));
    GL_CHECK(glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST));
    GL_CHECK(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer));
    GL_CHECK(glBindFramebuffer(GL_READ_FRAMEBUFFER, resolveFramebuffer));
}

void Device::SetDefaultStates() {
    StateSet& s = state;
    std::memset(s.renderStates, 0, sizeof s.renderStates);
    for (const RenderStateDefault& d : kRenderStateDefaults) s.renderStates[d.state] = d.value;
    s.renderStates[D3DRS_ZENABLE] = pp.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    s.renderStates[D3DRS_SOFTWAREVERTEXPROCESSING] =
        (behaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
    for (UINT i = 0; i < kMaxStages; ++i) {
        DWORD* t = s.stageStates[i];
        std::memset(t, 0, sizeof(DWORD) * D3DTSS_COUNT);
        const UINT stage = i;  // the defaults' column reads it
#define SG_TSS_DEFAULT(name, number, def, type, names) t[D3DTSS_##name] = static_cast<DWORD>(def);
        SG_TEXTURE_STAGE_STATES(SG_TSS_DEFAULT)
#undef SG_TSS_DEFAULT
        samplersDirty[i] = true;
    }
    for (UINT i = 0; i < kTransformCount; ++i) Identity(&s.transforms[i]);
    std::memset(&s.material, 0, sizeof s.material);
    s.viewport = {0, 0, pp.BackBufferWidth, pp.BackBufferHeight, 0.0f, 1.0f};
    s.lights.clear();
    std::memset(s.clipPlanes, 0, sizeof s.clipPlanes);
    s.vertexShader = 0;
    s.pixelShader = 0;
    RefreshBoundShaders();
    std::memset(s.vsConst, 0, sizeof s.vsConst);
    std::memset(s.psConst, 0, sizeof s.psConst);
    keyDirty = glStateDirty = true;
    ++transformVersion, ++lightVersion, ++materialVersion, ++miscVersion, ++textureMatrixVersion;
    ++vsConstVersion, ++psConstVersion, ++bumpVersion;
}

void Device::ReleaseState(StateSet& s) {
    for (Texture*& t : s.textures) SetTextureRef(t, nullptr);
    for (StreamSlot& st : s.streams) {
        SetBufferRef(st.buffer, nullptr);
        st.stride = 0;
    }
    SetIndexRef(s.indices, nullptr);
    s.baseVertexIndex = 0;
}

void Device::SetTextureRef(Texture*& slot, Texture* texture) {
    if (slot == texture) return;
    if (texture) texture->AddInternal();
    Texture* old = slot;
    slot = texture;
    if (old) old->ReleaseInternal();
}

void Device::SetBufferRef(VertexBuffer*& slot, VertexBuffer* buffer) {
    if (slot == buffer) return;
    if (buffer) buffer->AddInternal();
    VertexBuffer* old = slot;
    slot = buffer;
    if (old) old->ReleaseInternal();
}

void Device::SetIndexRef(IndexBuffer*& slot, IndexBuffer* buffer) {
    if (slot == buffer) return;
    if (buffer) buffer->AddInternal();
    IndexBuffer* old = slot;
    slot = buffer;
    if (old) old->ReleaseInternal();
}

// [SECTION] Presentation

HRESULT Device::TestCooperativeLevel() {
    if (lostState > 1) {
        --lostState;
        return D3DERR_DEVICELOST;
    }
    if (lostState == 1) return D3DERR_DEVICENOTRESET;
    return D3D_OK;
}

void Device::ForceLoss(UINT lostCalls) { lostState = lostCalls + 1; }

void Device::CountObjects(d3dhost::DeviceObjectCounts* counts) {
    MakeCurrent();
    counts->cachedPrograms = static_cast<UINT>(programs.size());
    counts->shaders = static_cast<UINT>(vertexShaders.size() + pixelShaders.size());
    counts->resources = static_cast<UINT>(children.size());
    counts->stateBlocks = static_cast<UINT>(stateBlocks.size());
    // GL hands out a new name above every name in use (Mesa reuses names only when configured to), so a fresh
    // name of each kind bounds the names worth asking about. Programs and shader objects share one namespace.
    UINT live = 0;
    GLuint fresh = glCreateShader(GL_VERTEX_SHADER);
    for (GLuint n = 1; n < fresh; ++n) live += (glIsProgram(n) || glIsShader(n)) ? 1 : 0;
    glDeleteShader(fresh);
    auto scan = [&](void (*gen)(GLsizei, GLuint*), void (*del)(GLsizei, const GLuint*), GLboolean (*is)(GLuint)) {
        GLuint name = 0;
        gen(1, &name);
        for (GLuint n = 1; n < name; ++n) live += is(n) ? 1 : 0;
        del(1, &name);
    };
    scan(glGenBuffers, glDeleteBuffers, glIsBuffer);
    scan(glGenTextures, glDeleteTextures, glIsTexture);
    scan(glGenRenderbuffers, glDeleteRenderbuffers, glIsRenderbuffer);
    scan(glGenFramebuffers, glDeleteFramebuffers, glIsFramebuffer);
    counts->glObjects = live;
}

UINT Device::GetAvailableTextureMem() { return 512u * 1024u * 1024u; }

HRESULT Device::ResourceManagerDiscardBytes(DWORD) { return D3D_OK; }

HRESULT Device::GetDirect3D(IDirect3D8** direct3D) {
    if (!direct3D) return D3DERR_INVALIDCALL;
    d3d->AddRef();
    *direct3D = d3d;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS8* out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = caps;
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(D3DDISPLAYMODE* mode) {
    if (!mode) return D3DERR_INVALIDCALL;
    if (pp.Windowed) return d3d->GetAdapterDisplayMode(adapter, mode);
    D3DFORMAT f = pp.BackBufferFormat;
    if (f == D3DFMT_A8R8G8B8) f = D3DFMT_X8R8G8B8;
    if (f == D3DFMT_A1R5G5B5) f = D3DFMT_X1R5G5B5;
    *mode = {pp.BackBufferWidth, pp.BackBufferHeight, pp.FullScreen_RefreshRateInHz, f};
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    if (!parameters) return D3DERR_INVALIDCALL;
    *parameters = {adapter, type, focusWindow, behaviorFlags};
    return D3D_OK;
}

HRESULT Device::SetCursorProperties(UINT hotSpotX, UINT hotSpotY, IDirect3DSurface8* cursorBitmap) {
    if (!cursorBitmap) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    if (FAILED(cursorBitmap->GetDesc(&desc)) || desc.Format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    if (hotSpotX >= desc.Width || hotSpotY >= desc.Height) return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT lr;
    if (FAILED(cursorBitmap->LockRect(&lr, nullptr, D3DLOCK_READONLY))) return D3DERR_INVALIDCALL;
    std::vector<DWORD> pixels(static_cast<size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
        std::memcpy(&pixels[static_cast<size_t>(y) * desc.Width], static_cast<BYTE*>(lr.pBits) + y * lr.Pitch,
                    desc.Width * 4);
    }
    cursorBitmap->UnlockRect();
    d3dhost::Presenter* presenter = Host().presenter;
    if (presenter && !Host().headless)
        presenter->SetCursorImage(pixels.data(), desc.Width, desc.Height, hotSpotX, hotSpotY);
    return D3D_OK;
}

void Device::SetCursorPosition(int x, int y, DWORD flags) {
    d3dhost::Presenter* presenter = Host().presenter;
    if (presenter && !Host().headless) presenter->SetCursorPosition(x, y, flags);
}

BOOL Device::ShowCursor(BOOL show) {
    BOOL previous = cursorVisible ? TRUE : FALSE;
    cursorVisible = show != FALSE;
    d3dhost::Presenter* presenter = Host().presenter;
    if (presenter && !Host().headless) presenter->ShowCursor(cursorVisible);
    return previous;
}

HRESULT Device::ReadBackBuffer(std::vector<DWORD>* pixels) {
    MakeCurrent();
    BindPictureForReading();
    return ReadBoundPicture(pixels);
}

HRESULT Device::ReadBoundPicture(std::vector<DWORD>* pixels) {
    // A very large picture may not fit in memory: that is the caller's failure to report, not a crash.
    try {
        pixels->resize(static_cast<size_t>(pp.BackBufferWidth) * pp.BackBufferHeight);
    } catch (const std::bad_alloc&) {
        std::vector<DWORD>().swap(*pixels);
        return E_OUTOFMEMORY;
    }
    GL_CHECK(glReadPixels(0, 0, static_cast<GLsizei>(pp.BackBufferWidth), static_cast<GLsizei>(pp.BackBufferHeight),
                          GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels->data()));
    const FormatInfo* info = FindFormat(pp.BackBufferFormat);
    if (!info->hasAlpha) {
        for (DWORD& p : *pixels) p |= 0xFF000000u;
    }
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE bufferType, IDirect3DSurface8** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    // One back buffer is kept whatever the count asked for; presentation copies it out.
    if (index != 0 || bufferType != D3DBACKBUFFER_TYPE_MONO || !backBuffer) return D3DERR_INVALIDCALL;
    backBuffer->AddRef();
    *surface = backBuffer;
    return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* presentationParameters) {
    if (!presentationParameters) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS next = *presentationParameters;
    if (!next.hDeviceWindow) next.hDeviceWindow = pp.hDeviceWindow ? pp.hDeviceWindow : focusWindow;
    HRESULT hr = d3d->CheckPresentParameters(adapter, *egl, &next);
    if (FAILED(hr)) return hr;
    // As the platform does: every default-pool resource (the back buffer included) must have been released.
    for (DeviceChild* child : children) {
        if (child->Pool() == D3DPOOL_DEFAULT && child->PublicRefs() > 0) {
            lostState = 1;
            return D3DERR_INVALIDCALL;
        }
    }
    MakeCurrent();
    ReleaseState(state);
    DestroyBackBuffer();
    pp = next;
    hr = CreateBackBuffer();
    if (FAILED(hr)) {
        lostState = 1;
        return hr;
    }
    SetDefaultStates();
    if (recording) {
        ReleaseState(recording->values);
        recording.reset();
    }
    inScene = false;
    lostState = 0;
    *presentationParameters = pp;
    return D3D_OK;
}

// [SECTION] Resources

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (!info || width == 0 || height == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
    if (usage & ~(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (!(info->uses & kUseTexture) && !(pool == D3DPOOL_SCRATCH && (info->uses & kUseScratch)))
        return D3DERR_INVALIDCALL;
    UINT full = 1;
    for (UINT w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) ++full;
    if (levels == 0 || levels > full) levels = levels == 0 ? full : 0;
    if (levels == 0) return D3DERR_INVALIDCALL;
    MakeCurrent();
    *texture = new Texture(this, width, height, levels, usage, info, pool);
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer8** vertexBuffer) {
    if (!vertexBuffer) return D3DERR_INVALIDCALL;
    *vertexBuffer = nullptr;
    if (length == 0 || pool > D3DPOOL_SCRATCH || length > (1u << 30)) return D3DERR_INVALIDCALL;
    if (fvf && FvfStride(fvf) == 0) return D3DERR_INVALIDCALL;
    if (fvf && length < FvfStride(fvf)) return D3DERR_INVALIDCALL;
    MakeCurrent();
    *vertexBuffer = new VertexBuffer(this, length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer8** indexBuffer) {
    if (!indexBuffer) return D3DERR_INVALIDCALL;
    *indexBuffer = nullptr;
    if (length == 0 || pool > D3DPOOL_SCRATCH || length > (1u << 30)) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    MakeCurrent();
    *indexBuffer = new IndexBuffer(this, length, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (!info || !(info->uses & kUseScratch) || width == 0 || height == 0 || width > 16384 || height > 16384)
        return D3DERR_INVALIDCALL;
    Surface* s = new Surface(this, Surface::kImage, nullptr, 0, width, height, format, D3DPOOL_SYSTEMMEM, 0);
    s->AddPublic();
    *surface = s;
    return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture8* sourceTexture, IDirect3DBaseTexture8* destinationTexture) {
    if (!sourceTexture || !destinationTexture || sourceTexture == destinationTexture) return D3DERR_INVALIDCALL;
    if (sourceTexture->GetType() != D3DRTYPE_TEXTURE || destinationTexture->GetType() != D3DRTYPE_TEXTURE)
        return D3DERR_INVALIDCALL;
    Texture* src = static_cast<Texture*>(static_cast<IDirect3DTexture8*>(sourceTexture));
    Texture* dst = static_cast<Texture*>(static_cast<IDirect3DTexture8*>(destinationTexture));
    if (src->GetOwner() != this || dst->GetOwner() != this) return D3DERR_INVALIDCALL;
    if (src->Pool() != D3DPOOL_SYSTEMMEM || dst->Pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (src->Info() != dst->Info()) return D3DERR_INVALIDCALL;
    // The destination's top level matches one of the source's levels; the levels below follow.
    UINT first = 0;
    while (first < src->LevelCount() &&
           (src->GetLevel(first).width != dst->Width() || src->GetLevel(first).height != dst->Height()))
        ++first;
    if (first == src->LevelCount() || src->LevelCount() - first < dst->LevelCount()) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < dst->LevelCount(); ++i) {
        if (src->GetLevel(first + i).locked || dst->GetLevel(i).locked) return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < dst->LevelCount(); ++i) {
        dst->GetLevel(i).data = src->GetLevel(first + i).data;
        dst->GetLevel(i).dirty = true;
    }
    return D3D_OK;
}

// [SECTION] Scene

HRESULT Device::BeginScene() {
    if (inScene) return D3DERR_INVALIDCALL;
    inScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene) return D3DERR_INVALIDCALL;
    inScene = false;
    if (!lostState) {
        MakeCurrent();
        glFlush();
    }
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
    if ((count > 0 && !rects) || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !depthFormat) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && (!depthFormat || depthFormat->stencilBits == 0)) return D3DERR_INVALIDCALL;
    if (lostState) return D3D_OK;
    MakeCurrent();
    BackBufferChanging();
    GL_CHECK(glBindFramebuffer(GL_FRAMEBUFFER, framebuffer));
    const FormatInfo* info = FindFormat(pp.BackBufferFormat);
    float a = info->hasAlpha ? static_cast<float>(colour >> 24) / 255.0f : 1.0f;
    GL_CHECK(glClearColor(static_cast<float>((colour >> 16) & 255) / 255.0f,
                          static_cast<float>((colour >> 8) & 255) / 255.0f, static_cast<float>(colour & 255) / 255.0f,
                          a));
    GL_CHECK(glClearDepth(z < 0.0f ? 0.0 : (z > 1.0f ? 1.0 : static_cast<double>(z))));
    GL_CHECK(glClearStencil(static_cast<GLint>(stencil)));
    GL_CHECK(glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE));
    GL_CHECK(glDepthMask(GL_TRUE));
    GL_CHECK(glStencilMask(0xFFFFFFFFu));
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & D3DCLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
    if (flags & D3DCLEAR_STENCIL) mask |= GL_STENCIL_BUFFER_BIT;
    // Clears are limited to the viewport (and to the rectangles when given).
    const D3DVIEWPORT8& vp = state.viewport;
    LONG vx1 = static_cast<LONG>(vp.X), vy1 = static_cast<LONG>(vp.Y);
    LONG vx2 = static_cast<LONG>(vp.X + vp.Width), vy2 = static_cast<LONG>(vp.Y + vp.Height);
    GL_CHECK(glEnable(GL_SCISSOR_TEST));
    auto clearRect = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
        x1 = x1 < vx1 ? vx1 : x1;
        y1 = y1 < vy1 ? vy1 : y1;
        x2 = x2 > vx2 ? vx2 : x2;
        y2 = y2 > vy2 ? vy2 : y2;
        if (x2 <= x1 || y2 <= y1) return;
        GL_CHECK(glScissor(x1, y1, x2 - x1, y2 - y1));
        GL_CHECK(glClear(mask));
    };
    if (count == 0) {
        clearRect(vx1, vy1, vx2, vy2);
    } else {
        for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    }
    GL_CHECK(glDisable(GL_SCISSOR_TEST));
    gl.valid = 0;
    glStateDirty = true;
    return D3D_OK;
}

}  // namespace d3dimpl
