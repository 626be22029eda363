// A device that refuses every call: the base of the tests' fake devices, which override what
// the framework calls. Written out from the device interface, one line per operation.
#pragma once

#include "platform/d3d/d3d8.h"

class NullDevice : public IDirect3DDevice8 {
public:
    HRESULT TestCooperativeLevel() override { return D3DERR_INVALIDCALL; }
    UINT GetAvailableTextureMem() override { return 0; }
    HRESULT ResourceManagerDiscardBytes(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetDirect3D(IDirect3D8**) override { return D3DERR_INVALIDCALL; }
    HRESULT GetDeviceCaps(D3DCAPS8*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetDisplayMode(D3DDISPLAYMODE*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetCursorProperties(UINT, UINT, IDirect3DSurface8*) override { return D3DERR_INVALIDCALL; }
    void SetCursorPosition(int, int, DWORD) override {}
    BOOL ShowCursor(BOOL) override { return 0; }
    HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return D3DERR_INVALIDCALL; }
    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetBackBuffer(UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface8**) override { return D3DERR_INVALIDCALL; }
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8**) override { return D3DERR_INVALIDCALL; }
    HRESULT CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8**) override { return D3DERR_INVALIDCALL; }
    HRESULT CreateIndexBuffer(UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer8**) override { return D3DERR_INVALIDCALL; }
    HRESULT CreateImageSurface(UINT, UINT, D3DFORMAT, IDirect3DSurface8**) override { return D3DERR_INVALIDCALL; }
    HRESULT UpdateTexture(IDirect3DBaseTexture8*, IDirect3DBaseTexture8*) override { return D3DERR_INVALIDCALL; }
    HRESULT BeginScene() override { return D3DERR_INVALIDCALL; }
    HRESULT EndScene() override { return D3DERR_INVALIDCALL; }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return D3DERR_INVALIDCALL; }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetViewport(const D3DVIEWPORT8*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetViewport(D3DVIEWPORT8*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetMaterial(const D3DMATERIAL8*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetMaterial(D3DMATERIAL8*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetLight(DWORD, const D3DLIGHT8*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetLight(DWORD, D3DLIGHT8*) override { return D3DERR_INVALIDCALL; }
    HRESULT LightEnable(DWORD, BOOL) override { return D3DERR_INVALIDCALL; }
    HRESULT GetLightEnable(DWORD, BOOL*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetClipPlane(DWORD, const float*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetClipPlane(DWORD, float*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT BeginStateBlock() override { return D3DERR_INVALIDCALL; }
    HRESULT EndStateBlock(DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT ApplyStateBlock(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT CaptureStateBlock(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT DeleteStateBlock(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetTexture(DWORD, IDirect3DBaseTexture8**) override { return D3DERR_INVALIDCALL; }
    HRESULT SetTexture(DWORD, IDirect3DBaseTexture8*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT ValidateDevice(DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, UINT, UINT, UINT, UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT, const void*, UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT CreateVertexShader(const DWORD*, const DWORD*, DWORD*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT SetVertexShader(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetVertexShader(DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT DeleteVertexShader(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT SetVertexShaderConstant(DWORD, const void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetVertexShaderConstant(DWORD, void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetVertexShaderDeclaration(DWORD, void*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT GetVertexShaderFunction(DWORD, void*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT CreatePixelShader(const DWORD*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetPixelShader(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetPixelShader(DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT DeletePixelShader(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT SetPixelShaderConstant(DWORD, const void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetPixelShaderConstant(DWORD, void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT GetPixelShaderFunction(DWORD, void*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetStreamSource(UINT, IDirect3DVertexBuffer8*, UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT GetStreamSource(UINT, IDirect3DVertexBuffer8**, UINT*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetIndices(IDirect3DIndexBuffer8*, UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT GetIndices(IDirect3DIndexBuffer8**, UINT*) override { return D3DERR_INVALIDCALL; }
};
