// The Direct3D object and device outside the pipeline: enumeration, caps and format checks, host options,
// state defaults, state blocks, buffers and indexed draws, device loss and reset, and bad input.
#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

TEST_F(DeviceTest, HeadlessAdapterListsTheVirtualModes) {
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 640u);
    EXPECT_EQ(mode.Height, 480u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    ASSERT_EQ(d3d->GetAdapterModeCount(0), 10u);
    int sixteen = 0;
    for (UINT i = 0; i < 10; ++i) {
        ASSERT_EQ(d3d->EnumAdapterModes(0, i, &mode), D3D_OK);
        sixteen += mode.Format == D3DFMT_R5G6B5 ? 1 : 0;
    }
    EXPECT_EQ(sixteen, 5);
    EXPECT_EQ(d3d->EnumAdapterModes(0, 10, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    D3DADAPTER_IDENTIFIER8 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_NE(std::string(id.Description).find("llvmpipe"), std::string::npos) << id.Description;
}

TEST_F(DeviceTest, DisplaysPushedByTheWindowLayerBecomeAdapters) {
    d3dhost::SetHeadless(false);
    d3dhost::DisplayInfo a{};
    std::snprintf(a.name, sizeof a.name, "Display A");
    a.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    a.modes = {{1024, 768, 60, D3DFMT_X8R8G8B8}, {1024, 768, 75, D3DFMT_X8R8G8B8}};
    d3dhost::DisplayInfo b = a;
    std::snprintf(b.name, sizeof b.name, "Display B");
    b.desktop.Format = D3DFMT_R5G6B5;
    d3dhost::SetDisplays({a, b});
    EXPECT_EQ(d3d->GetAdapterCount(), 2u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0), 2u);
    D3DDISPLAYMODE mode;
    d3d->GetAdapterDisplayMode(1, &mode);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    // Windowed checks need the desktop format.
    EXPECT_EQ(d3d->CheckDeviceType(1, D3DDEVTYPE_REF, D3DFMT_R5G6B5, D3DFMT_R5G6B5, TRUE), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceType(1, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3DERR_NOTAVAILABLE);
    d3dhost::SetHeadless(true);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
}

TEST_F(DeviceTest, DeviceTypesFollowTheEglDevicesAndTheRestriction) {
    D3DCAPS8 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);
    EXPECT_TRUE(caps.Caps2 & D3DCAPS2_CANRENDERWINDOWED);
    EXPECT_EQ(caps.MaxTextureBlendStages, 8u);
    // Version 1.x shaders are translated.
    EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(1, 1));
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(1, 4));
    EXPECT_EQ(caps.MaxVertexShaderConst, 96u);

    // Restricted to HAL, the software device disappears; HAL exists only when simulated here.
    d3dhost::RestrictDeviceType(D3DDEVTYPE_HAL);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    d3dhost::SimulateHardwareDevice(true);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3D_OK);
    IDirect3DDevice8* hal = nullptr;
    D3DPRESENT_PARAMETERS pp = Params(D3DFMT_X8R8G8B8);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &hal), D3D_OK);
    hal->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(hal->Release(), 0u);
    IDirect3DDevice8* ref = nullptr;
    pp = Params(D3DFMT_X8R8G8B8);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &ref),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(ref, nullptr);

    // The caps editor narrows what is reported.
    d3dhost::HostOptions headless;
    headless.headless = true;
    d3dhost::SetHostOptions(headless);
    d3dhost::SetCapsEditor(D3DDEVTYPE_REF, [](D3DCAPS8& c) { c.Caps2 &= ~D3DCAPS2_CANRENDERWINDOWED; });
    d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps);
    EXPECT_FALSE(caps.Caps2 & D3DCAPS2_CANRENDERWINDOWED);
}

TEST_F(DeviceTest, FormatChecksAnswerWhatTheDeviceSupports) {
    auto tex = [&](D3DFORMAT f) {
        return d3d->CheckDeviceFormat(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, f);
    };
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                        D3DFMT_A4R4G4B4, D3DFMT_A8, D3DFMT_L8, D3DFMT_A8L8})
        EXPECT_EQ(tex(f), D3D_OK) << f;
    for (D3DFORMAT f : {D3DFMT_P8, D3DFMT_DXT1, D3DFMT_V8U8, D3DFMT_UYVY, D3DFMT_D16})
        EXPECT_EQ(tex(f), D3DERR_NOTAVAILABLE) << f;
    auto depth = [&](D3DFORMAT f) {
        return d3d->CheckDeviceFormat(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, f);
    };
    EXPECT_EQ(depth(D3DFMT_D16), D3D_OK);
    EXPECT_EQ(depth(D3DFMT_D24S8), D3D_OK);
    EXPECT_EQ(depth(D3DFMT_D15S1), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16), D3D_OK);
    // Every texture format the check accepts can be created with mip levels.
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A8L8}) {
        IDirect3DTexture8* t = nullptr;
        ASSERT_EQ(device->CreateTexture(16, 8, 0, 0, f, D3DPOOL_MANAGED, &t), D3D_OK);
        EXPECT_EQ(t->GetLevelCount(), 5u);
        D3DSURFACE_DESC d;
        t->GetLevelDesc(4, &d);
        EXPECT_EQ(d.Width, 1u);
        EXPECT_EQ(d.Height, 1u);
        t->Release();
    }
}

TEST_F(DeviceTest, StatesStartAtThePlatformDefaults) {
    DWORD v = 0;
    struct Expect {
        D3DRENDERSTATETYPE s;
        DWORD v;
    } expects[] = {{D3DRS_ZENABLE, D3DZB_TRUE}, {D3DRS_CULLMODE, D3DCULL_CCW}, {D3DRS_LIGHTING, TRUE},
                   {D3DRS_ZFUNC, D3DCMP_LESSEQUAL}, {D3DRS_SRCBLEND, D3DBLEND_ONE}, {D3DRS_DESTBLEND, D3DBLEND_ZERO},
                   {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu}, {D3DRS_COLORWRITEENABLE, 0xF}, {D3DRS_FOGEND, 0x3F800000u},
                   {D3DRS_SOFTWAREVERTEXPROCESSING, TRUE}, {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}};
    for (const Expect& e : expects) {
        ASSERT_EQ(device->GetRenderState(e.s, &v), D3D_OK);
        EXPECT_EQ(v, e.v) << e.s;
    }
    device->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
    device->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_DISABLE));
    device->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &v);
    EXPECT_EQ(v, 3u);
    D3DVIEWPORT8 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, kSize);
    EXPECT_EQ(vp.MaxZ, 1.0f);
}

TEST_F(DeviceTest, StateBlocksRecordCaptureAndApply) {
    ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
    EXPECT_EQ(device->BeginStateBlock(), D3DERR_INVALIDCALL);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_ADD);
    D3DMATRIX m{};
    m._11 = 2.0f;
    device->SetTransform(D3DTS_VIEW, &m);
    DWORD token = 0;
    ASSERT_EQ(device->EndStateBlock(&token), D3D_OK);
    // Recording did not change the device.
    DWORD v;
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CCW));
    D3DMATRIX got;
    device->GetTransform(D3DTS_VIEW, &got);
    EXPECT_EQ(got._11, 1.0f);
    // Apply sets exactly what was recorded.
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    ASSERT_EQ(device->ApplyStateBlock(token), D3D_OK);
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_NONE));
    device->GetTextureStageState(2, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_ADD));
    device->GetTransform(D3DTS_VIEW, &got);
    EXPECT_EQ(got._11, 2.0f);
    device->GetRenderState(D3DRS_ZFUNC, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCMP_ALWAYS));
    // Capture saves the current values of the recorded states only; applying restores them.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    ASSERT_EQ(device->CaptureStateBlock(token), D3D_OK);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->ApplyStateBlock(token);
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CW));
    // Blocks hold textures alive until deleted.
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    device->BeginStateBlock();
    device->SetTexture(0, t);
    DWORD texBlock = 0;
    device->EndStateBlock(&texBlock);
    EXPECT_EQ(t->Release(), 0u);
    device->ApplyStateBlock(texBlock);
    IDirect3DBaseTexture8* bound = nullptr;
    device->GetTexture(0, &bound);
    EXPECT_NE(bound, nullptr);
    if (bound) bound->Release();
    device->SetTexture(0, nullptr);
    EXPECT_EQ(device->DeleteStateBlock(texBlock), D3D_OK);
    EXPECT_EQ(device->DeleteStateBlock(token), D3D_OK);
    EXPECT_EQ(device->ApplyStateBlock(token), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, BuffersDrawWithIndicesAndBaseVertex) {
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(8 * sizeof(TLVertex), D3DUSAGE_WRITEONLY, kTLVertexFvf, D3DPOOL_DEFAULT, &vb),
              D3D_OK);
    TLVertex* v = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<BYTE**>(&v), 0), D3D_OK);
    const D3DCOLOR red = 0xFFFF0000u, blue = 0xFF0000FFu;
    // Two squares: left (red) at vertices 0..3, right (blue) at 4..7.
    TLVertex squares[8] = {{0, 0, 0.5f, 1, red},  {32, 0, 0.5f, 1, red},  {0, 64, 0.5f, 1, red},  {32, 64, 0.5f, 1, red},
                           {32, 0, 0.5f, 1, blue}, {64, 0, 0.5f, 1, blue}, {32, 64, 0.5f, 1, blue}, {64, 64, 0.5f, 1, blue}};
    std::memcpy(v, squares, sizeof squares);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    for (D3DFORMAT indexFormat : {D3DFMT_INDEX16, D3DFMT_INDEX32}) {
        IDirect3DIndexBuffer8* ib = nullptr;
        UINT size = indexFormat == D3DFMT_INDEX16 ? 2 : 4;
        ASSERT_EQ(device->CreateIndexBuffer(6 * size, 0, indexFormat, D3DPOOL_MANAGED, &ib), D3D_OK);
        BYTE* data = nullptr;
        ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
        const DWORD idx[6] = {0, 1, 2, 1, 3, 2};
        for (int i = 0; i < 6; ++i) {
            if (size == 2) {
                WORD w = static_cast<WORD>(idx[i]);
                std::memcpy(data + i * 2, &w, 2);
            } else {
                std::memcpy(data + i * 4, &idx[i], 4);
            }
        }
        ib->Unlock();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetVertexShader(kTLVertexFvf);
        device->SetStreamSource(0, vb, sizeof(TLVertex));
        device->SetIndices(ib, 4);  // base vertex 4: the blue square
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
        auto p = ReadBackBuffer();
        EXPECT_EQ(Pixel(p, 48, 32), 0x0000FFu);
        EXPECT_EQ(Pixel(p, 16, 32), 0u);
        // Past the end of the index buffer, or indices reaching past the vertices: refused, nothing drawn.
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 3, 2), D3DERR_INVALIDCALL);
        device->SetIndices(ib, 5);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL);
        device->SetIndices(nullptr, 0);
        ib->Release();
    }
    // Non-indexed: start vertex 0 draws the red square; running past the end is refused.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(Pixel(ReadBackBuffer(), 16, 32), 0xFF0000u);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 5, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 1), D3DERR_INVALIDCALL);
    // A read-only lock sees what was written; a lock larger than the buffer is refused.
    BYTE* bytes = nullptr;
    EXPECT_EQ(vb->Lock(0, 9 * sizeof(TLVertex), &bytes, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(sizeof(TLVertex), sizeof(TLVertex), &bytes, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(reinterpret_cast<TLVertex*>(bytes)->x, 32.0f);
    EXPECT_EQ(vb->Lock(0, 0, &bytes, 0), D3DERR_INVALIDCALL);  // already locked
    vb->Unlock();
    device->SetStreamSource(0, nullptr, 0);
    EXPECT_EQ(vb->Release(), 0u);
}

TEST_F(DeviceTest, ReleasedBuffersLeaveNoStaleBindings) {
    // GL hands out a deleted buffer's name again; each new buffer must still be the one drawn.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetVertexShader(kTLVertexFvf);
    const D3DCOLOR colours[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    for (D3DCOLOR c : colours) {
        IDirect3DVertexBuffer8* vb = nullptr;
        ASSERT_EQ(device->CreateVertexBuffer(3 * sizeof(TLVertex), 0, kTLVertexFvf, D3DPOOL_MANAGED, &vb), D3D_OK);
        TLVertex* v = nullptr;
        vb->Lock(0, 0, reinterpret_cast<BYTE**>(&v), 0);
        v[0] = {0, 0, 0.5f, 1, c};
        v[1] = {128, 0, 0.5f, 1, c};
        v[2] = {0, 128, 0.5f, 1, c};
        vb->Unlock();
        IDirect3DIndexBuffer8* ib = nullptr;
        ASSERT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
        WORD* idx = nullptr;
        ib->Lock(0, 0, reinterpret_cast<BYTE**>(&idx), 0);
        idx[0] = 0, idx[1] = 1, idx[2] = 2;
        ib->Unlock();
        device->SetStreamSource(0, vb, sizeof(TLVertex));
        device->SetIndices(ib, 0);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK);
        EXPECT_EQ(Pixel(ReadBackBuffer(), 10, 10), c & 0xFFFFFFu);
        device->SetStreamSource(0, nullptr, 0);
        device->SetIndices(nullptr, 0);
        EXPECT_EQ(vb->Release(), 0u);
        EXPECT_EQ(ib->Release(), 0u);
    }
}

TEST_F(DeviceTest, DeclarationsWithoutFunctionsDrawWithTheFixedPipeline) {
    const DWORD decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(D3DVSDE_POSITION, D3DVSDT_FLOAT3),
                          D3DVSD_REG(D3DVSDE_DIFFUSE, D3DVSDT_D3DCOLOR), D3DVSD_END()};
    DWORD handle = 0;
    ASSERT_EQ(device->CreateVertexShader(decl, nullptr, &handle, 0), D3D_OK);
    EXPECT_EQ(handle & 1, 1u);
    // Functions that do not validate are refused (a pixel shader given vertex tokens, an unknown opcode).
    const DWORD vertexOnly[] = {D3DVS_VERSION(1, 1), 0x0000FFFF};
    const DWORD garbage[] = {D3DVS_VERSION(1, 1), 0x0000FFF0, 0x0000FFFF};
    DWORD other = 0;
    EXPECT_EQ(device->CreateVertexShader(decl, garbage, &other, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreatePixelShader(vertexOnly, &other), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreatePixelShader(nullptr, &other), D3DERR_INVALIDCALL);
    const DWORD tess[] = {D3DVSD_STREAM(0), D3DVSD_TESSUV(1), D3DVSD_END()};
    EXPECT_EQ(device->CreateVertexShader(tess, nullptr, &other, 0), D3DERR_INVALIDCALL);

    ASSERT_EQ(device->SetVertexShader(handle), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    } v[3] = {{-1, -1, 0.5f, 0xFF00FF00u}, {3, -1, 0.5f, 0xFF00FF00u}, {-1, 3, 0.5f, 0xFF00FF00u}};
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    EXPECT_EQ(Count(ReadBackBuffer(), 0x00FF00), static_cast<int>(kSize * kSize));
    DWORD size = 0;
    ASSERT_EQ(device->GetVertexShaderDeclaration(handle, nullptr, &size), D3D_OK);
    EXPECT_EQ(size, sizeof decl);
    EXPECT_EQ(device->DeleteVertexShader(handle), D3D_OK);
    EXPECT_EQ(device->SetVertexShader(handle), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, LossAndResetKeepManagedResourcesAndRequireDefaultOnesReleased) {
    IDirect3DTexture8* managed = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
    D3DLOCKED_RECT lr;
    managed->LockRect(0, &lr, nullptr, 0);
    static_cast<DWORD*>(lr.pBits)[0] = 0xFF00FF00u;
    managed->UnlockRect(0);
    IDirect3DVertexBuffer8* dynamic = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(256, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &dynamic),
              D3D_OK);

    ASSERT_EQ(d3dhost::ForceDeviceLoss(device, 2), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    // Drawing while lost succeeds without effect, as on the platform.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);

    D3DPRESENT_PARAMETERS pp = Params(D3DFMT_X8R8G8B8);
    pp.BackBufferWidth = 32;
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);  // the default-pool buffer is still alive
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(dynamic->Release(), 0u);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    // The new back buffer has the new size; states are back at their defaults; managed data is kept.
    IDirect3DSurface8* back = nullptr;
    device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 32u);
    back->Release();
    DWORD v;
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CCW));
    managed->LockRect(0, &lr, nullptr, D3DLOCK_READONLY);
    EXPECT_EQ(static_cast<DWORD*>(lr.pBits)[0], 0xFF00FF00u);
    managed->UnlockRect(0);
    // A held back-buffer surface also blocks Reset.
    device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    back->Release();
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(managed->Release(), 0u);
}

TEST_F(DeviceTest, UpdateTextureCopiesSystemMemoryLevelsIntoTheDefaultPool) {
    IDirect3DTexture8 *src = nullptr, *dst = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &src), D3D_OK);
    ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &dst), D3D_OK);
    D3DLOCKED_RECT lr;
    // Default-pool textures are not lockable; the system-memory copy is.
    EXPECT_EQ(dst->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(src->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int i = 0; i < 16; ++i) static_cast<DWORD*>(lr.pBits)[i] = 0xFF0000FFu;
    src->UnlockRect(0);
    EXPECT_EQ(device->SetTexture(0, src), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->UpdateTexture(src, dst), D3D_OK);
    EXPECT_EQ(device->UpdateTexture(dst, src), D3DERR_INVALIDCALL);
    device->SetTexture(0, dst);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct V {
        float x, y, z, rhw, u, v;
    } q[4] = {{0, 0, 0.5f, 1, 0, 0}, {64, 0, 0.5f, 1, 1, 0}, {0, 64, 0.5f, 1, 0, 1}, {64, 64, 0.5f, 1, 1, 1}};
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_TEX1);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V)), D3D_OK);
    EXPECT_EQ(Pixel(ReadBackBuffer(), 32, 32), 0x0000FFu);
    device->SetTexture(0, nullptr);
    src->Release();
    dst->Release();
}

class RecordingPresenter : public d3dhost::Presenter {
public:
    void PresentFrame(HWND, const DWORD* pixels, UINT width, UINT height, const RECT*, const RECT*) override {
        frames++;
        first = pixels[0];
        w = width, h = height;
    }
    bool GetClientSize(HWND, UINT* width, UINT* height) override {
        *width = 40, *height = 30;
        return true;
    }
    void SetCursorImage(const DWORD* pixels, UINT width, UINT, UINT hx, UINT hy) override {
        cursorFirst = pixels[0], cursorWidth = width, hotX = hx, hotY = hy;
    }
    void SetCursorPosition(int x, int, DWORD) override { cursorX = x; }
    void ShowCursor(bool show) override { shown = show; }
    int frames = 0;
    DWORD first = 0, cursorFirst = 0;
    UINT w = 0, h = 0, cursorWidth = 0, hotX = 0, hotY = 0;
    int cursorX = -1;
    bool shown = false;
};

TEST_F(DeviceTest, PresentAndCursorGoThroughThePresenter) {
    RecordingPresenter presenter;
    d3dhost::SetHeadless(false);
    d3dhost::SetPresenter(&presenter);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(presenter.frames, 1);
    EXPECT_EQ(presenter.first, 0xFF102030u);
    EXPECT_EQ(presenter.w, kSize);
    std::vector<DWORD> frame;
    UINT w = 0, h = 0;
    ASSERT_TRUE(d3dhost::GetPresentedFrame(device, &frame, &w, &h));
    EXPECT_EQ(frame[0], 0xFF102030u);

    IDirect3DSurface8* cursor = nullptr;
    ASSERT_EQ(device->CreateImageSurface(32, 32, D3DFMT_A8R8G8B8, &cursor), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(cursor->LockRect(&lr, nullptr, 0), D3D_OK);
    static_cast<DWORD*>(lr.pBits)[0] = 0xFFABCDEFu;
    cursor->UnlockRect();
    EXPECT_EQ(device->SetCursorProperties(40, 0, cursor), D3DERR_INVALIDCALL);  // hot spot outside
    ASSERT_EQ(device->SetCursorProperties(3, 4, cursor), D3D_OK);
    EXPECT_EQ(presenter.cursorFirst, 0xFFABCDEFu);
    EXPECT_EQ(presenter.hotY, 4u);
    device->SetCursorPosition(17, 5, 0);
    EXPECT_EQ(presenter.cursorX, 17);
    EXPECT_EQ(device->ShowCursor(TRUE), FALSE);
    EXPECT_TRUE(presenter.shown);
    cursor->Release();

    // A windowed device with a zero size takes the window's client size.
    IDirect3DDevice8* sized = nullptr;
    D3DPRESENT_PARAMETERS pp = Params(D3DFMT_X8R8G8B8);
    pp.BackBufferWidth = pp.BackBufferHeight = 0;
    pp.hDeviceWindow = reinterpret_cast<HWND>(1);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &sized), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 40u);
    EXPECT_EQ(pp.BackBufferHeight, 30u);
    sized->Release();
    d3dhost::SetPresenter(nullptr);
}

TEST_F(DeviceTest, BadArgumentsAreRefusedAndChangeNothing) {
    EXPECT_EQ(Direct3DCreate8(120), nullptr);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(3), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(5000), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(24), nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetDeviceCaps(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetClipPlane(6, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetLight(99, nullptr), D3DERR_INVALIDCALL);
    D3DLIGHT8 l{};
    EXPECT_EQ(device->SetLight(0, &l), D3DERR_INVALIDCALL);  // type 0
    D3DVIEWPORT8 vp = {60, 0, 10, 10, 0, 1};
    EXPECT_EQ(device->SetViewport(&vp), D3DERR_INVALIDCALL);
    D3DVIEWPORT8 current;
    device->GetViewport(&current);
    EXPECT_EQ(current.X, 0u);
    EXPECT_EQ(device->SetVertexShaderConstant(95, &vp, 2), D3DERR_INVALIDCALL);
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(4, 4, 9, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    D3DLOCKED_RECT lr;
    RECT outside = {0, 0, 5, 4};
    EXPECT_EQ(t->LockRect(0, &lr, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockRect(1, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
    t->Release();
    IDirect3DSurface8* back = nullptr;
    device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    EXPECT_EQ(back->LockRect(&lr, nullptr, 0), D3DERR_INVALIDCALL);  // the back buffer is read-only
    back->Release();
    // Drawing with no vertex format set is refused.
    TLVertex v[3] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(TLVertex)), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, sizeof(TLVertex)), D3DERR_INVALIDCALL);
    device->SetVertexShader(kTLVertexFvf);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 8), D3DERR_INVALIDCALL);  // stride too small
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);       // no stream
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    D3DPRESENT_PARAMETERS pp = Params(D3DFMT_X8R8G8B8);
    pp.Windowed = FALSE;
    pp.BackBufferWidth = 123;  // not a display mode
    IDirect3DDevice8* other = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &other),
              D3DERR_INVALIDCALL);
    pp = Params(D3DFMT_P8);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &other),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3dhost::ForceDeviceLoss(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, SixteenBitBackBufferReadsBackInItsFormat) {
    IDirect3DDevice8* dev16 = nullptr;
    ASSERT_EQ(CreateDevice(D3DFMT_R5G6B5, &dev16), D3D_OK);
    dev16->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0);
    IDirect3DSurface8* back = nullptr;
    dev16->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(lr.Pitch, static_cast<INT>(kSize * 2));
    EXPECT_EQ(static_cast<WORD*>(lr.pBits)[0], 0xF800u);
    back->UnlockRect();
    back->Release();
    EXPECT_EQ(dev16->Release(), 0u);
}

}  // namespace
