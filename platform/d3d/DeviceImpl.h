// Internal classes of the Direct3D stand-in: the EGL device registry, the Direct3D object, the device and its
// resources. Resources keep a CPU copy of their contents (locks, managed pool, device loss) and upload to GL.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <bitset>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3d/EdgeFilter.h"
#include "platform/d3d/FillModes.h"
#include "platform/d3d/FixedFunction.h"
#include "platform/d3d/Formats.h"
#include "platform/d3d/Gl.h"
#include "platform/d3d/d3d8.h"
#include "platform/d3d/shader/ShaderTranslator.h"

// [SECTION] Index
// EglDevice            one EGL device (display) per device type
// Direct3D             IDirect3D8: adapters, modes, caps, format checks
// DeviceChild          reference counting shared by resources
// Buffer, VertexBuffer, IndexBuffer, Texture, Surface
// StateSet, StateBlock the settable device state and recorded subsets of it
// Device               IDirect3DDevice8

namespace d3dimpl {

constexpr UINT kMaxStages = 8;
constexpr UINT kMaxStreams = 8;
constexpr UINT kMaxWorld = 256;
constexpr UINT kMaxClipPlanes = 6;
constexpr UINT kVsConstCount = 96;
constexpr UINT kPsConstCount = 8;
constexpr UINT kMaxActiveLights = 8;
constexpr UINT kMaxDeclElements = 16;
// Every back-buffer format is kept as 8 bits per channel; locks convert to the format asked for.
constexpr GLenum kBackBufferStorage = GL_RGBA8;

// [SECTION] EGL devices

struct EglDevice {
    EGLDisplay display = EGL_NO_DISPLAY;
    std::string renderer;   // GL_RENDERER of a probe context
    GLint maxTextureSize = 0;
    float maxAnisotropy = 1.0f;
    bool mirrorClampToEdge = false;
    float pointSizeMax = 1.0f;
    // Sample counts a renderbuffer of an internal format gets exactly as asked (bit n = n samples), for the
    // formats the back buffer and the depth buffer are made of; probed once.
    std::vector<std::pair<GLenum, DWORD>> sampleCounts;
    bool SupportsSamples(GLenum internalFormat, UINT samples) const;
};

// A window system's EGL display shared by the devices that draw into its windows (DevicePresent.cpp).
struct WindowDisplay;

// Whether a space-separated extension list names an extension.
bool HasExtension(const char* list, const char* name);
// Attributes of every device context: OpenGL 3.3 core.
extern const EGLint kContextAttributes[];

// The EGL device that backs a device type after the host options, or null when that type is absent.
EglDevice* FindEglDevice(D3DDEVTYPE type);
// Host option state (d3dhost:: functions set it; the Direct3D object and devices read it).
struct HostState : d3dhost::HostOptions {
    DWORD debugMute = 0;
};
HostState& Host();

// Fills the capabilities of a device type (host caps editor applied). False when the type is absent.
bool FillCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps);

// [SECTION] Direct3D object

class Direct3D final : public IDirect3D8 {
public:
    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override;
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) override;
    UINT GetAdapterModeCount(UINT adapter) override;
    HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE checkType, D3DFORMAT displayFormat,
                            D3DFORMAT backBufferFormat, BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT surfaceFormat, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multiSampleType) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* presentationParameters,
                         IDirect3DDevice8** returnedDeviceInterface) override;

    bool ValidAdapter(UINT adapter);
    // Checks a presentation description against the adapter and the EGL device that renders it; fills defaults
    // (0 sizes, count). INVALIDCALL else.
    HRESULT CheckPresentParameters(UINT adapter, const EglDevice& egl, D3DPRESENT_PARAMETERS* pp);

private:
    ULONG refs = 1;
};

// [SECTION] Resources

class Device;

// Reference counts of a device child: public references (the caller's; while any exist the child holds a
// public reference on its device, as the platform does) and internal ones (the device's bindings and state
// blocks). The object is deleted when both reach zero.
class DeviceChild {
public:
    DeviceChild(Device* device, D3DPOOL pool, bool startPublic);
    virtual ~DeviceChild();
    ULONG AddPublic();
    ULONG ReleasePublic();
    void AddInternal() { ++internalRefs; }
    void ReleaseInternal();
    Device* GetOwner() const { return device; }
    D3DPOOL Pool() const { return pool; }
    ULONG PublicRefs() const { return publicRefs; }

protected:
    Device* device;
    D3DPOOL pool;
    ULONG publicRefs = 0;
    ULONG internalRefs = 0;
};

// Linear data with a CPU copy and, for drawing, a GL buffer that follows it.
class Buffer : public DeviceChild {
public:
    Buffer(Device* device, UINT size, DWORD usage, D3DPOOL pool);
    ~Buffer() override;
    HRESULT LockRange(UINT offset, UINT size, BYTE** data, DWORD flags);
    HRESULT UnlockRange();
    // Uploads pending changes and returns the GL buffer (0 for the SCRATCH pool).
    GLuint Upload();
    const BYTE* Data() const { return data.data(); }
    UINT Size() const { return static_cast<UINT>(data.size()); }
    DWORD Usage() const { return usage; }
    UINT Version() const { return version; }
    // Wireframe and point lists of draws from this buffer (the device fills it).
    FillListCache& FillLists() { return fillLists; }

private:
    std::vector<BYTE> data;
    DWORD usage;
    GLuint gl = 0;
    bool locked = false;
    bool readOnlyLock = false;
    UINT dirtyBegin = 0, dirtyEnd = 0;  // byte range not yet in the GL buffer
    bool discard = false;                // next upload replaces the whole GL store
    UINT version = 0;                    // bumped at each unlock that may have changed data
    FillListCache fillLists;
};

class VertexBuffer final : public IDirect3DVertexBuffer8, public Buffer {
public:
    VertexBuffer(Device* device, UINT size, DWORD usage, DWORD fvf, D3DPOOL pool)
        : Buffer(device, size, usage, pool), fvf(fvf) {}
    ULONG AddRef() override { return AddPublic(); }
    ULONG Release() override { return ReleasePublic(); }
    HRESULT GetDevice(IDirect3DDevice8** device) override;
    DWORD SetPriority(DWORD p) override { DWORD old = priority; priority = p; return old; }
    DWORD GetPriority() override { return priority; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

private:
    DWORD fvf;
    DWORD priority = 0;
};

class IndexBuffer final : public IDirect3DIndexBuffer8, public Buffer {
public:
    IndexBuffer(Device* device, UINT size, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : Buffer(device, size, usage, pool), format(format) {}
    ULONG AddRef() override { return AddPublic(); }
    ULONG Release() override { return ReleasePublic(); }
    HRESULT GetDevice(IDirect3DDevice8** device) override;
    DWORD SetPriority(DWORD p) override { DWORD old = priority; priority = p; return old; }
    DWORD GetPriority() override { return priority; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;

    D3DFORMAT Format() const { return format; }
    UINT IndexSize() const { return format == D3DFMT_INDEX32 ? 4 : 2; }
    // Largest index in [first, first + count); cached for the last range asked.
    UINT MaxIndex(UINT first, UINT count);

private:
    D3DFORMAT format;
    DWORD priority = 0;
    UINT cachedFirst = 0, cachedCount = 0, cachedVersion = ~0u, cachedMax = 0;
};

class Texture;

// A 2-D image. Kinds: a texture level (references go to the texture), an image surface (own storage), or
// the device's back buffer (read-only locks; the picture is read back from GL).
class Surface final : public IDirect3DSurface8, public DeviceChild {
public:
    enum Kind { kTextureLevel, kImage, kBackBuffer };
    Surface(Device* device, Kind kind, Texture* texture, UINT level, UINT width, UINT height, D3DFORMAT format,
            D3DPOOL pool, DWORD usage);
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice8** device) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    Kind GetKind() const { return kind; }
    UINT Width() const { return width; }
    UINT Height() const { return height; }
    D3DFORMAT Format() const { return format; }
    const BYTE* Pixels() const { return pixels.data(); }
    UINT Pitch() const { return pitch; }

private:
    Kind kind;
    Texture* texture;  // container of a texture level (not counted: the texture owns this surface)
    UINT level;
    UINT width, height;
    D3DFORMAT format;
    DWORD usage;
    UINT pitch;
    std::vector<BYTE> pixels;  // image and back-buffer storage (texture levels live in the texture)
    bool locked = false;
};

class Texture final : public IDirect3DTexture8, public DeviceChild {
public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo* format,
            D3DPOOL pool);
    ~Texture() override;
    ULONG AddRef() override { return AddPublic(); }
    ULONG Release() override { return ReleasePublic(); }
    HRESULT GetDevice(IDirect3DDevice8** device) override;
    DWORD SetPriority(DWORD p) override { DWORD old = priority; priority = p; return old; }
    DWORD GetPriority() override { return priority; }
    void PreLoad() override { Upload(); }
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT* rect) override;

    struct Level {
        UINT width, height, pitch;
        std::vector<BYTE> data;  // top row first
        bool locked = false;
        bool readOnly = false;
        bool dirty = true;  // differs from the GL texture
        std::unique_ptr<Surface> surface;
    };
    // Uploads dirty levels and returns the GL texture (0 for pools that cannot be drawn).
    GLuint Upload();
    const FormatInfo* Info() const { return format; }
    UINT LevelCount() const { return static_cast<UINT>(levels.size()); }
    Level& GetLevel(UINT i) { return levels[i]; }
    UINT Width() const { return width; }
    UINT Height() const { return height; }
    DWORD Usage() const { return usage; }
    // Makes `level` (clamped, and never finer than SetLOD allows) the most detailed level sampled.
    // The texture must be bound on the active unit.
    void UseMostDetailedLevel(DWORD level);

private:
    UINT width, height;
    DWORD usage;
    const FormatInfo* format;
    std::vector<Level> levels;
    GLuint gl = 0;
    GLint glBaseLevel = 0;  // GL_TEXTURE_BASE_LEVEL as last set
    DWORD priority = 0;
    DWORD lod = 0;
};

// [SECTION] Vertex shaders (declarations) and pixel shaders

struct DeclElement {
    BYTE stream;
    BYTE reg;      // input register v0..v15 (D3DVSDE_* for the fixed-function pipeline)
    BYTE type;     // D3DVSDT_*
    WORD offset;   // bytes within the stream's vertex
};

struct VertexLayout {
    DeclElement elements[kMaxDeclElements];
    UINT count = 0;
    bool pretransformed = false;  // FVF XYZRHW
    DWORD fvf = 0;                // nonzero when made from an FVF code
    UINT fvfStride = 0;           // bytes per vertex of the FVF code
};

// Builds the layout of an FVF code. False for codes the device cannot draw.
bool LayoutFromFvf(DWORD fvf, VertexLayout* layout);
// Size in bytes of one vertex of an FVF code (0 when invalid).
UINT FvfStride(DWORD fvf);

struct ElementFormat {
    UINT bytes;
    GLint size;
    GLenum type;
    GLboolean normalised;
    UINT components;
};
// GL attribute format of each vertex element type, indexed by D3DVSDT_*.
extern const ElementFormat kElementFormats[8];

struct VertexShaderObject {
    std::vector<DWORD> declaration;  // tokens through D3DVSD_END
    std::vector<DWORD> function;     // empty: fixed-function processing with the declared inputs
    VertexLayout layout;
    std::vector<std::pair<UINT, std::vector<float>>> constants;  // D3DVSD_CONST loads: register, values
    DWORD usage = 0;
    shader::TranslatedShader stage;  // the translated function (when there is one)
    UINT serial = 0;                 // program-cache id; never reused, unlike handles
};

struct PixelShaderObject {
    std::vector<DWORD> function;
    shader::TranslatedShader stage;
    UINT serial = 0;
};

// [SECTION] Device state

struct LightSlot {
    D3DLIGHT8 light;
    BOOL enabled = FALSE;
};

struct StreamSlot {
    VertexBuffer* buffer = nullptr;  // internal reference
    UINT stride = 0;
};

// Transform slots: 0 view, 1 projection, 2..9 texture 0..7, 10.. world 0..255.
constexpr UINT kTransformView = 0;
constexpr UINT kTransformProjection = 1;
constexpr UINT kTransformTexture0 = 2;
constexpr UINT kTransformWorld0 = 10;
constexpr UINT kTransformCount = kTransformWorld0 + kMaxWorld;

// Everything SetXxx can change (also the value store of a state block). Pointers are internal references
// held by whoever owns the StateSet.
struct StateSet {
    DWORD renderStates[D3DRS_COUNT];
    DWORD stageStates[kMaxStages][D3DTSS_COUNT];
    D3DMATRIX transforms[kTransformCount];
    D3DMATERIAL8 material;
    D3DVIEWPORT8 viewport;
    std::map<DWORD, LightSlot> lights;
    float clipPlanes[kMaxClipPlanes][4];
    Texture* textures[kMaxStages] = {};
    StreamSlot streams[kMaxStreams];
    IndexBuffer* indices = nullptr;
    UINT baseVertexIndex = 0;
    DWORD vertexShader = 0;
    DWORD pixelShader = 0;
    float vsConst[kVsConstCount][4];
    float psConst[kPsConstCount][4];
};

// Which parts of a StateSet a state block holds.
struct StateMask {
    std::bitset<D3DRS_COUNT> renderStates;
    std::bitset<D3DTSS_COUNT> stageStates[kMaxStages];
    std::bitset<kTransformCount> transforms;
    bool material = false, viewport = false;
    std::map<DWORD, bool> lights;        // index -> light description recorded
    std::map<DWORD, bool> lightEnables;  // index -> enable flag recorded
    std::bitset<kMaxClipPlanes> clipPlanes;
    std::bitset<kMaxStages> textures;
    std::bitset<kMaxStreams> streams;
    bool indices = false, vertexShader = false, pixelShader = false;
    std::bitset<kVsConstCount> vsConst;
    std::bitset<kPsConstCount> psConst;
};

struct StateBlock {
    StateMask mask;
    StateSet values;
};

// [SECTION] Device

class Device final : public IDirect3DDevice8 {
public:
    Device(Direct3D* d3d, UINT adapter, D3DDEVTYPE type, EglDevice* egl, HWND focusWindow, DWORD behaviorFlags);
    ~Device();
    // Creates the GL context and the back buffer; false on failure (the object is then deleted by the caller).
    HRESULT Initialise(D3DPRESENT_PARAMETERS* pp);

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT ResourceManagerDiscardBytes(DWORD bytes) override;
    HRESULT GetDirect3D(IDirect3D8** direct3D) override;
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT SetCursorProperties(UINT hotSpotX, UINT hotSpotY, IDirect3DSurface8* cursorBitmap) override;
    void SetCursorPosition(int x, int y, DWORD flags) override;
    BOOL ShowCursor(BOOL show) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentationParameters) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const void* dirtyRegion) override;
    HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBufferSurface) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture8** texture) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** vertexBuffer) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** indexBuffer) override;
    HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture8* sourceTexture, IDirect3DBaseTexture8* destinationTexture) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL8* material) override;
    HRESULT GetMaterial(D3DMATERIAL8* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetClipPlane(DWORD index, const float* plane) override;
    HRESULT GetClipPlane(DWORD index, float* plane) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT BeginStateBlock() override;
    HRESULT EndStateBlock(DWORD* token) override;
    HRESULT ApplyStateBlock(DWORD token) override;
    HRESULT CaptureStateBlock(DWORD token) override;
    HRESULT DeleteStateBlock(DWORD token) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT ValidateDevice(DWORD* numPasses) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, UINT minIndex, UINT numVertices, UINT startIndex,
                                 UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount, const void* vertexStreamZeroData,
                            UINT vertexStreamZeroStride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex, UINT numVertexIndices,
                                   UINT primitiveCount, const void* indexData, D3DFORMAT indexDataFormat,
                                   const void* vertexStreamZeroData, UINT vertexStreamZeroStride) override;
    HRESULT CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle, DWORD usage) override;
    HRESULT SetVertexShader(DWORD handle) override;
    HRESULT GetVertexShader(DWORD* handle) override;
    HRESULT DeleteVertexShader(DWORD handle) override;
    HRESULT SetVertexShaderConstant(DWORD registerIndex, const void* constantData, DWORD constantCount) override;
    HRESULT GetVertexShaderConstant(DWORD registerIndex, void* constantData, DWORD constantCount) override;
    HRESULT GetVertexShaderDeclaration(DWORD handle, void* data, DWORD* sizeOfData) override;
    HRESULT GetVertexShaderFunction(DWORD handle, void* data, DWORD* sizeOfData) override;
    HRESULT CreatePixelShader(const DWORD* function, DWORD* handle) override;
    HRESULT SetPixelShader(DWORD handle) override;
    HRESULT GetPixelShader(DWORD* handle) override;
    HRESULT DeletePixelShader(DWORD handle) override;
    HRESULT SetPixelShaderConstant(DWORD registerIndex, const void* constantData, DWORD constantCount) override;
    HRESULT GetPixelShaderConstant(DWORD registerIndex, void* constantData, DWORD constantCount) override;
    HRESULT GetPixelShaderFunction(DWORD handle, void* data, DWORD* sizeOfData) override;
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData, UINT stride) override;
    HRESULT GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8** streamData, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* indexData, UINT baseVertexIndex) override;
    HRESULT GetIndices(IDirect3DIndexBuffer8** indexData, UINT* baseVertexIndex) override;

    // Internal services for resources and host hooks.
    void MakeCurrent();
    void ChildCreated(DeviceChild* child);
    void ChildDestroyed(DeviceChild* child);
    // Reads the back buffer into top-down 0xAARRGGBB rows (alpha forced for formats without alpha).
    // E_OUTOFMEMORY when the rows cannot be held (pixels is then empty).
    HRESULT ReadBackBuffer(std::vector<DWORD>* pixels);
    void ForceLoss(UINT lostCalls);
    // The picture of the latest Present (d3dhost::ReadPresentedFrame).
    HRESULT ReadPresentedFrame(std::vector<DWORD>* pixels, UINT* width, UINT* height);
    // Drawing or clearing is about to change the back buffer: the presented picture is no longer in it.
    void BackBufferChanging() { presentedInBackBuffer = false; }
    const D3DCAPS8& Caps() const { return caps; }
    UINT BackBufferWidth() const { return pp.BackBufferWidth; }
    UINT BackBufferHeight() const { return pp.BackBufferHeight; }
    D3DFORMAT BackBufferFormat() const { return pp.BackBufferFormat; }
    D3DMULTISAMPLE_TYPE MultiSampleType() const { return pp.MultiSampleType; }
    // A GL buffer is about to be deleted: forget every cached binding that names it (GL may hand the
    // name out again, and a stale cache entry would then skip a needed bind).
    void BufferDeleted(GLuint name);
    // What the device holds now (the test hook behind d3dhost::GetDeviceObjectCounts).
    void CountObjects(d3dhost::DeviceObjectCounts* counts);
    static Device* FromInterface(IDirect3DDevice8* device);

private:
    friend class DrawContext;
    // [SECTION] device.cpp helpers
    void SetDefaultStates();
    void ReleaseState(StateSet& set);
    HRESULT CreateBackBuffer();
    void DestroyBackBuffer();
    // Binds the framebuffer that holds the finished single-sample picture for reading (resolving first).
    void BindPictureForReading();
    // Reads the framebuffer bound for reading into top-down rows (see ReadBackBuffer).
    HRESULT ReadBoundPicture(std::vector<DWORD>* pixels);
    // [SECTION] DevicePresent.cpp helpers
    // Binds for reading the picture Present shows: the back buffer, resolved when multisampled. A filter
    // over the whole picture belongs here: it renders the resolved picture into its own framebuffer and
    // binds that one instead.
    void BindPictureToShow();
    // Makes the GL context on the window system's display with a surface on the device window (the
    // hardware device in a window); false leaves everything as it was (the copy path is used then).
    bool CreateWindowContext(std::string* why);
    void DestroyContext();
    // The two ways a presented picture reaches a window.
    HRESULT SwapIntoWindow(HWND window);
    HRESULT CopyToWindow(HWND window, const RECT* sourceRect, const RECT* destRect);
    // Reads the picture Present showed into `presented`.
    HRESULT KeepPresentedPicture();
    // Reads the back buffer and keeps it smoothed by the edge filter as the presented picture.
    HRESULT KeepFilteredPicture();
    // Whether this Present waits for the display's refresh (window or full-screen interval).
    bool WaitsForRefresh() const;
    // Marks the end of a presented frame and waits, if need be, until at most kFramesInFlight frames
    // are handed to GL and not yet finished.
    void LimitFramesInFlight();
    void ForgetFramesInFlight();
    bool Lost() const { return lostState != 0; }
    // State-block plumbing.
    void RecordRenderState(D3DRENDERSTATETYPE state, DWORD value);
    void CaptureInto(StateBlock& block);
    void ApplyFrom(const StateBlock& block);
    static void SetTextureRef(Texture*& slot, Texture* texture);
    static void SetBufferRef(VertexBuffer*& slot, VertexBuffer* buffer);
    static void SetIndexRef(IndexBuffer*& slot, IndexBuffer* buffer);
    int TransformSlot(D3DTRANSFORMSTATETYPE state) const;

    // [SECTION] draw.cpp
    // One draw as an entry point asks for it.
    struct DrawCall {
        D3DPRIMITIVETYPE type = D3DPT_POINTLIST;
        UINT primitives = 0;
        UINT startVertex = 0;                // without indices: the first vertex of the bound streams
        bool indexed = false;
        UINT startIndex = 0;                 // the first index of the bound index buffer
        UINT minIndex = 0, vertexRange = 0;  // indexed user-pointer draws: the vertices indices may name
        const void* upVertices = nullptr;    // user-pointer draws: stream 0's vertices and stride
        UINT upStride = 0;
        const void* upIndices = nullptr;     // ... and their indices
        D3DFORMAT upIndexFormat = D3DFMT_UNKNOWN;
    };
    // What the bounds checks found out about a draw.
    struct DrawBounds {
        UINT count = 0;                      // vertices, or indices when indexed
        UINT maxVertex = 0;                  // the largest vertex read (with the base vertex)
        UINT indexSize = 0;                  // 2 or 4 when indexed
        IndexBuffer* indices = nullptr;      // the bound index buffer the draw reads
    };
    // Whether wireframe or point fill draws a list of edges or vertices instead of the primitives.
    struct FillPlan {
        bool list = false;
        FillList kind = FillList::kEdges;
    };
    // The steps of a draw, in order: bounds, program and GL state, vertex streams, the draw call.
    HRESULT Draw(const DrawCall& call);
    HRESULT CheckDrawBounds(const VertexLayout& layout, const DrawCall& call, DrawBounds* bounds);
    HRESULT UseDrawProgram(const VertexLayout& layout, D3DPRIMITIVETYPE type, FillPlan* fill);
    void BindDrawStreams(const VertexLayout& layout, const DrawCall& call, const DrawBounds& bounds);
    void IssueDraw(const VertexLayout& layout, const DrawCall& call, const DrawBounds& bounds, const FillPlan& fill);
    void IssueFillListDraw(const VertexLayout& layout, const DrawCall& call, const DrawBounds& bounds, FillList kind);
    const VertexLayout* CurrentLayout();
    void BuildProgramKey(const VertexLayout& layout, ProgramKey* key);
    FixedProgram* ProgramFor(const ProgramKey& key);
    void ApplyGlState();
    void ApplySamplers(UINT stageMask);
    void RefreshBoundShaders();
    // Deletes the cached programs built with the shader of that serial.
    void EvictPrograms(UINT serial);
    void UploadUniforms(FixedProgram& program, const ProgramKey& key);
    void UploadShaderConstants(FixedProgram& program);
    void BindVertexLayout(const VertexLayout& layout, const GLuint* buffers, const UINT* strides,
                          const UINT* offsets);
    // Binds the element buffer that holds a draw's fill list, cached on `source` (null: made now
    // in a scratch buffer), and returns its index count.
    GLsizei BindFillList(Buffer* source, const FillListKey& key, const TriangleSource& triangles);
    HRESULT CheckDrawState(const VertexLayout& layout, const ProgramKey& key, DWORD* reasonOut);

    Direct3D* d3d;
    UINT adapter;
    D3DDEVTYPE type;
    EglDevice* egl;
    HWND focusWindow;
    DWORD behaviorFlags;
    ULONG refs = 1;
    EGLContext context = EGL_NO_CONTEXT;
    EGLDisplay display = EGL_NO_DISPLAY;        // where the context lives: egl->display or a window system's
    EGLSurface windowSurface = EGL_NO_SURFACE;  // the device window's surface (window path only)
    WindowDisplay* windowDisplay = nullptr;     // its display while windowSurface exists
    HWND surfaceWindow = nullptr;               // the window windowSurface draws into
    void* waylandWindow = nullptr;              // Wayland: the EGL window under windowSurface
    UINT waylandWidth = 0, waylandHeight = 0;   // its size, kept to the window's client area
    int swapInterval = -1;                      // as last given to eglSwapInterval
    D3DCAPS8 caps{};
    D3DPRESENT_PARAMETERS pp{};

    // Back buffer: colour and depth renderbuffers in one framebuffer; rows are stored top row first. When
    // multisampled, both have the samples, and the picture is resolved into a single-sample colour renderbuffer
    // (its own framebuffer) whenever it is read.
    GLuint framebuffer = 0, colourBuffer = 0, depthBuffer = 0;
    GLuint resolveFramebuffer = 0, resolveBuffer = 0;
    const FormatInfo* depthFormat = nullptr;
    Surface* backBuffer = nullptr;  // internal reference
    // The latest Present's picture: read into `presented` only when something asks (the copy path, a
    // capture, SetReadBackEachPresent); until then it is still in the back buffer, unless drawing began.
    std::vector<DWORD> presented;
    bool presentedRead = false;         // `presented` holds the latest Present's picture
    bool presentedInBackBuffer = false; // the back buffer still holds it
    std::vector<DWORD> unfiltered;  // the back buffer as read, when the edge filter makes `presented` of it
    EdgeFilter edgeFilter;
    UINT presentedWidth = 0, presentedHeight = 0;
    UINT presentCount = 0;
    // One fence per presented frame GL may still be working on, oldest first. Two frames in flight keep
    // a software rasteriser busy on one while the next is prepared, and the picture close behind the input.
    static constexpr size_t kFramesInFlight = 2;
    std::deque<GLsync> framesInFlight;

    bool inScene = false;
    UINT lostState = 0;  // 0 = fine; otherwise the number of DEVICELOST answers left, then NOTRESET
    bool lost = false;
    bool cursorVisible = false;

    StateSet state;
    std::unique_ptr<StateBlock> recording;
    std::map<DWORD, std::unique_ptr<StateBlock>> stateBlocks;
    DWORD nextStateBlock = 1;
    std::map<DWORD, std::unique_ptr<VertexShaderObject>> vertexShaders;  // handle -> shader (odd handles)
    std::map<DWORD, std::unique_ptr<PixelShaderObject>> pixelShaders;
    DWORD nextShaderHandle = 1;
    UINT nextShaderSerial = 1;
    // The shader objects bound now (null: fixed function), found again after every SetXxxShader.
    const VertexShaderObject* boundVertexShader = nullptr;
    const PixelShaderObject* boundPixelShader = nullptr;
    std::vector<DeviceChild*> children;

    // Draw-time caches.
    VertexLayout fvfLayout;
    DWORD fvfLayoutCode = ~0u;
    std::unordered_map<ProgramKey, std::unique_ptr<FixedProgram>, ProgramKeyHash> programs;
    FixedProgram* currentProgram = nullptr;
    ProgramKey lastKey{};
    bool keyDirty = true;
    bool glStateDirty = true;
    UINT transformVersion = 1, lightVersion = 1, materialVersion = 1, miscVersion = 1, textureMatrixVersion = 1;
    UINT vsConstVersion = 1, psConstVersion = 1, bumpVersion = 1;
    GLuint vao = 0;
    GLuint samplers[kMaxStages] = {};
    bool samplersDirty[kMaxStages] = {true, true, true, true, true, true, true, true};
    GLuint upVertexBuffer = 0, upIndexBuffer = 0;
    std::vector<uint32_t> fillListScratch;  // a fill list on its way to GL
    // Bound vertex inputs, to skip re-specifying attributes when nothing changed.
    struct BoundAttrib {
        GLuint buffer = 0;
        UINT stride = 0, offset = 0;
        BYTE type = 0xFF;
        bool enabled = false;
    } boundAttribs[16];
    GLuint boundElementBuffer = 0;
    UINT clipPlanesEnabled = 0;  // GL_CLIP_DISTANCEi currently enabled (bit mask)
    // Shadow of the GL fixed state so that unchanged state is not sent again.
    struct GlShadow {
        int valid = 0;
        bool blend, depthTest, stencilTest, cull, polygonOffset, scissor, pointSizeProgram, multisample;
        GLuint sampleMask;
        GLenum blendSrc, blendDst, blendOp, depthFunc, cullFace;
        GLboolean depthMask, colourMask[4];
        GLenum stencilFunc, stencilFail, stencilZFail, stencilPass;
        GLint stencilRef;
        GLuint stencilMask, stencilWriteMask;
        float offsetFactor, offsetUnits;
        GLint viewport[4];
        float depthRange[2];
    } gl{};
};

// State helpers shared by Device.cpp, DeviceState.cpp and DeviceStateBlocks.cpp.
bool ValidRenderState(DWORD state);  // a render state the device accepts
bool ValidStageState(DWORD type);    // a texture-stage state the device accepts
void Identity(D3DMATRIX* m);
D3DLIGHT8 DefaultLight();            // the light a Get or enable of an unset index sees

}  // namespace d3dimpl
