// D3DX mesh names and values, the reference-counted ID3DXMesh (vertex and index buffers on the
// device, one attribute per face) and D3DXLoadMeshFromX, which builds one from a text .x file.
#pragma once

#include "platform/d3d/d3d8.h"

// [SECTION] Options: where the buffers live and how they are used
constexpr DWORD D3DXMESH_32BIT = 0x001;
constexpr DWORD D3DXMESH_DONOTCLIP = 0x002;
constexpr DWORD D3DXMESH_POINTS = 0x004;
constexpr DWORD D3DXMESH_RTPATCHES = 0x008;
constexpr DWORD D3DXMESH_VB_SYSTEMMEM = 0x010;
constexpr DWORD D3DXMESH_VB_MANAGED = 0x020;
constexpr DWORD D3DXMESH_VB_WRITEONLY = 0x040;
constexpr DWORD D3DXMESH_VB_DYNAMIC = 0x080;
constexpr DWORD D3DXMESH_IB_SYSTEMMEM = 0x100;
constexpr DWORD D3DXMESH_IB_MANAGED = 0x200;
constexpr DWORD D3DXMESH_IB_WRITEONLY = 0x400;
constexpr DWORD D3DXMESH_IB_DYNAMIC = 0x800;
constexpr DWORD D3DXMESH_VB_SHARE = 0x1000;
constexpr DWORD D3DXMESH_USEHWONLY = 0x2000;
constexpr DWORD D3DXMESH_NPATCHES = 0x4000;
constexpr DWORD D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000;
constexpr DWORD D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000;
constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110;
constexpr DWORD D3DXMESH_MANAGED = 0x220;
constexpr DWORD D3DXMESH_WRITEONLY = 0x440;
constexpr DWORD D3DXMESH_DYNAMIC = 0x880;
constexpr DWORD D3DXMESH_SOFTWAREPROCESSING = 0x18000;

// The mesh loader's own byte block (materials, adjacency); released by the caller.
class ID3DXBuffer : public IUnknown {
public:
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};

// One material of a loaded mesh; the file name points into the same buffer (null when none).
struct D3DXMATERIAL {
    D3DMATERIAL8 MatD3D;
    LPSTR pTextureFilename;
};

class ID3DXMesh : public IUnknown {
public:
    // Draws the faces whose attribute is `attribId` with the mesh's own vertex format (set as
    // the vertex shader unless a programmable vertex shader is bound).
    virtual HRESULT DrawSubset(DWORD attribId) = 0;
    virtual DWORD GetNumFaces() = 0;
    virtual DWORD GetNumVertices() = 0;
    virtual DWORD GetFVF() = 0;
    virtual DWORD GetOptions() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;  // adds a reference
    // Same vertices in the same order and the same faces and attributes, in another vertex
    // format and buffer placement.
    virtual HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device,
                                 ID3DXMesh** cloneMesh) = 0;
    virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** vertexBuffer) = 0;  // adds a reference
    virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** indexBuffer) = 0;     // adds a reference
    virtual HRESULT LockVertexBuffer(DWORD flags, BYTE** data) = 0;
    virtual HRESULT UnlockVertexBuffer() = 0;
    virtual HRESULT LockIndexBuffer(DWORD flags, BYTE** data) = 0;
    virtual HRESULT UnlockIndexBuffer() = 0;
    // One DWORD per face; the drawing ranges are rebuilt on unlock.
    virtual HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) = 0;
    virtual HRESULT UnlockAttributeBuffer() = 0;
};

// Size in bytes of one vertex of the format; 0 for a format without a position.
UINT D3DXGetFVFVertexSize(DWORD fvf);

// An empty mesh (zeroed vertices and indices, attributes 0) of the given size and format.
HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          IDirect3DDevice8* device, ID3DXMesh** mesh);

// The largest .x file D3DXLoadMeshFromX reads; a larger one gives E_OUTOFMEMORY unread.
constexpr DWORD kMaxXFileBytes = DWORD(64) << 20;

// Loads every mesh of a text or binary .x file, frames applied, as one mesh. adjacency (3 DWORDs per
// face, 0xFFFFFFFF where an edge has no neighbour), materials (D3DXMATERIAL array; one default
// material when the file has none) and numMaterials are optional.
HRESULT D3DXLoadMeshFromX(LPCSTR fileName, DWORD options, IDirect3DDevice8* device,
                          ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials,
                          ID3DXMesh** mesh);

// The same from .x file bytes in memory.
HRESULT D3DXLoadMeshFromXInMemory(const void* data, UINT size, DWORD options,
                                  IDirect3DDevice8* device, ID3DXBuffer** adjacency,
                                  ID3DXBuffer** materials, DWORD* numMaterials, ID3DXMesh** mesh);
