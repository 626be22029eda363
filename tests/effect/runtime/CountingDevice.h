// A device that forwards every call to a real one and counts what the effect runtime creates and
// deletes (state blocks, shaders) and how often it sets render states; written out from the
// IDirect3DDevice8 declaration, one forwarding method per operation.
#pragma once

#include "platform/d3d/d3d8.h"

class CountingDevice final : public IDirect3DDevice8 {
public:
    explicit CountingDevice(IDirect3DDevice8* device) : inner(device) { inner->AddRef(); }
    ULONG AddRef() override { return ++refCount; }
    ULONG Release() override {
        ULONG count = --refCount;
        if (count == 0) delete this;
        return count;
    }

    int stateBlocks = 0;    // recorded and not deleted
    int vertexShaders = 0;  // created and not deleted
    int pixelShaders = 0;
    int renderStateCalls = 0;

    HRESULT TestCooperativeLevel() override {
        return inner->TestCooperativeLevel();
    }
    UINT GetAvailableTextureMem() override {
        return inner->GetAvailableTextureMem();
    }
    HRESULT ResourceManagerDiscardBytes(DWORD bytes) override {
        return inner->ResourceManagerDiscardBytes(bytes);
    }
    HRESULT GetDirect3D(IDirect3D8** direct3D) override {
        return inner->GetDirect3D(direct3D);
    }
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override {
        return inner->GetDeviceCaps(caps);
    }
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override {
        return inner->GetDisplayMode(mode);
    }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override {
        return inner->GetCreationParameters(parameters);
    }
    HRESULT SetCursorProperties(UINT hotSpotX, UINT hotSpotY, IDirect3DSurface8* cursorBitmap) override {
        return inner->SetCursorProperties(hotSpotX, hotSpotY, cursorBitmap);
    }
    void SetCursorPosition(int x, int y, DWORD flags) override {
        return inner->SetCursorPosition(x, y, flags);
    }
    BOOL ShowCursor(BOOL show) override {
        return inner->ShowCursor(show);
    }
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentationParameters) override {
        return inner->Reset(presentationParameters);
    }
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride, const void* dirtyRegion) override {
        return inner->Present(sourceRect, destRect, destWindowOverride, dirtyRegion);
    }
    HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** backBufferSurface) override {
        return inner->GetBackBuffer(backBuffer, type, backBufferSurface);
    }
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) override {
        return inner->CreateTexture(width, height, levels, usage, format, pool, texture);
    }
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer8** vertexBuffer) override {
        return inner->CreateVertexBuffer(length, usage, fvf, pool, vertexBuffer);
    }
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer8** indexBuffer) override {
        return inner->CreateIndexBuffer(length, usage, format, pool, indexBuffer);
    }
    HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface) override {
        return inner->CreateImageSurface(width, height, format, surface);
    }
    HRESULT UpdateTexture(IDirect3DBaseTexture8* sourceTexture, IDirect3DBaseTexture8* destinationTexture) override {
        return inner->UpdateTexture(sourceTexture, destinationTexture);
    }
    HRESULT BeginScene() override {
        return inner->BeginScene();
    }
    HRESULT EndScene() override {
        return inner->EndScene();
    }
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override {
        return inner->Clear(count, rects, flags, color, z, stencil);
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return inner->SetTransform(state, matrix);
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
        return inner->GetTransform(state, matrix);
    }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return inner->MultiplyTransform(state, matrix);
    }
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override {
        return inner->SetViewport(viewport);
    }
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override {
        return inner->GetViewport(viewport);
    }
    HRESULT SetMaterial(const D3DMATERIAL8* material) override {
        return inner->SetMaterial(material);
    }
    HRESULT GetMaterial(D3DMATERIAL8* material) override {
        return inner->GetMaterial(material);
    }
    HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override {
        return inner->SetLight(index, light);
    }
    HRESULT GetLight(DWORD index, D3DLIGHT8* light) override {
        return inner->GetLight(index, light);
    }
    HRESULT LightEnable(DWORD index, BOOL enable) override {
        return inner->LightEnable(index, enable);
    }
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override {
        return inner->GetLightEnable(index, enable);
    }
    HRESULT SetClipPlane(DWORD index, const float* plane) override {
        return inner->SetClipPlane(index, plane);
    }
    HRESULT GetClipPlane(DWORD index, float* plane) override {
        return inner->GetClipPlane(index, plane);
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        ++renderStateCalls;
        return inner->SetRenderState(state, value);
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
        return inner->GetRenderState(state, value);
    }
    HRESULT BeginStateBlock() override {
        return inner->BeginStateBlock();
    }
    HRESULT EndStateBlock(DWORD* token) override {
        HRESULT hr = inner->EndStateBlock(token);
        if (SUCCEEDED(hr)) ++stateBlocks;
        return hr;
    }
    HRESULT ApplyStateBlock(DWORD token) override {
        return inner->ApplyStateBlock(token);
    }
    HRESULT CaptureStateBlock(DWORD token) override {
        return inner->CaptureStateBlock(token);
    }
    HRESULT DeleteStateBlock(DWORD token) override {
        HRESULT hr = inner->DeleteStateBlock(token);
        if (SUCCEEDED(hr)) --stateBlocks;
        return hr;
    }
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) override {
        return inner->GetTexture(stage, texture);
    }
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override {
        return inner->SetTexture(stage, texture);
    }
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override {
        return inner->GetTextureStageState(stage, type, value);
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        return inner->SetTextureStageState(stage, type, value);
    }
    HRESULT ValidateDevice(DWORD* numPasses) override {
        return inner->ValidateDevice(numPasses);
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) override {
        return inner->DrawPrimitive(primitiveType, startVertex, primitiveCount);
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, UINT minIndex, UINT numVertices, UINT startIndex, UINT primitiveCount) override {
        return inner->DrawIndexedPrimitive(primitiveType, minIndex, numVertices, startIndex, primitiveCount);
    }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount, const void* vertexStreamZeroData, UINT vertexStreamZeroStride) override {
        return inner->DrawPrimitiveUP(primitiveType, primitiveCount, vertexStreamZeroData, vertexStreamZeroStride);
    }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex, UINT numVertexIndices, UINT primitiveCount, const void* indexData, D3DFORMAT indexDataFormat, const void* vertexStreamZeroData, UINT vertexStreamZeroStride) override {
        return inner->DrawIndexedPrimitiveUP(primitiveType, minVertexIndex, numVertexIndices, primitiveCount, indexData, indexDataFormat, vertexStreamZeroData, vertexStreamZeroStride);
    }
    HRESULT CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle, DWORD usage) override {
        HRESULT hr = inner->CreateVertexShader(declaration, function, handle, usage);
        if (SUCCEEDED(hr)) ++vertexShaders;
        return hr;
    }
    HRESULT SetVertexShader(DWORD handle) override {
        return inner->SetVertexShader(handle);
    }
    HRESULT GetVertexShader(DWORD* handle) override {
        return inner->GetVertexShader(handle);
    }
    HRESULT DeleteVertexShader(DWORD handle) override {
        HRESULT hr = inner->DeleteVertexShader(handle);
        if (SUCCEEDED(hr)) --vertexShaders;
        return hr;
    }
    HRESULT SetVertexShaderConstant(DWORD registerIndex, const void* constantData, DWORD constantCount) override {
        return inner->SetVertexShaderConstant(registerIndex, constantData, constantCount);
    }
    HRESULT GetVertexShaderConstant(DWORD registerIndex, void* constantData, DWORD constantCount) override {
        return inner->GetVertexShaderConstant(registerIndex, constantData, constantCount);
    }
    HRESULT GetVertexShaderDeclaration(DWORD handle, void* data, DWORD* sizeOfData) override {
        return inner->GetVertexShaderDeclaration(handle, data, sizeOfData);
    }
    HRESULT GetVertexShaderFunction(DWORD handle, void* data, DWORD* sizeOfData) override {
        return inner->GetVertexShaderFunction(handle, data, sizeOfData);
    }
    HRESULT CreatePixelShader(const DWORD* function, DWORD* handle) override {
        HRESULT hr = inner->CreatePixelShader(function, handle);
        if (SUCCEEDED(hr)) ++pixelShaders;
        return hr;
    }
    HRESULT SetPixelShader(DWORD handle) override {
        return inner->SetPixelShader(handle);
    }
    HRESULT GetPixelShader(DWORD* handle) override {
        return inner->GetPixelShader(handle);
    }
    HRESULT DeletePixelShader(DWORD handle) override {
        HRESULT hr = inner->DeletePixelShader(handle);
        if (SUCCEEDED(hr)) --pixelShaders;
        return hr;
    }
    HRESULT SetPixelShaderConstant(DWORD registerIndex, const void* constantData, DWORD constantCount) override {
        return inner->SetPixelShaderConstant(registerIndex, constantData, constantCount);
    }
    HRESULT GetPixelShaderConstant(DWORD registerIndex, void* constantData, DWORD constantCount) override {
        return inner->GetPixelShaderConstant(registerIndex, constantData, constantCount);
    }
    HRESULT GetPixelShaderFunction(DWORD handle, void* data, DWORD* sizeOfData) override {
        return inner->GetPixelShaderFunction(handle, data, sizeOfData);
    }
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8* streamData, UINT stride) override {
        return inner->SetStreamSource(streamNumber, streamData, stride);
    }
    HRESULT GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer8** streamData, UINT* stride) override {
        return inner->GetStreamSource(streamNumber, streamData, stride);
    }
    HRESULT SetIndices(IDirect3DIndexBuffer8* indexData, UINT baseVertexIndex) override {
        return inner->SetIndices(indexData, baseVertexIndex);
    }
    HRESULT GetIndices(IDirect3DIndexBuffer8** indexData, UINT* baseVertexIndex) override {
        return inner->GetIndices(indexData, baseVertexIndex);
    }

private:
    ~CountingDevice() override { inner->Release(); }
    IDirect3DDevice8* inner;
    ULONG refCount = 1;
};
