// The mesh object: device vertex and index buffers placed as the options say, per-face
// attributes kept in memory with the runs of equal attributes that DrawSubset draws, cloning
// by converting each vertex between flexible vertex formats, and the .x loader on top.
//
// [SECTION] Vertex formats
// [SECTION] Buffers
// [SECTION] Mesh object
// [SECTION] Creation and cloning
// [SECTION] Loading .x files
#include "mesh/D3DXMesh.h"

#include "mesh/XFile.h"
#include "platform/d3d/FvfLayout.h"
#include "platform/win/WinFile.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>
#include <string>
#include <vector>

namespace {

// [SECTION] Vertex formats

// Converts one vertex between layouts: shared components are copied, missing ones defaulted.
void ConvertVertex(const FvfLayout& from, const uint8_t* src, const FvfLayout& to, uint8_t* dst) {
    std::memset(dst, 0, to.size);
    std::memcpy(dst, src, std::min(from.positionBytes, to.positionBytes));
    if (to.normal >= 0 && from.normal >= 0) std::memcpy(dst + to.normal, src + from.normal, 12);
    if (to.pointSize >= 0 && from.pointSize >= 0) std::memcpy(dst + to.pointSize, src + from.pointSize, 4);
    if (to.diffuse >= 0) {
        DWORD white = 0xFFFFFFFF;
        std::memcpy(dst + to.diffuse, from.diffuse >= 0 ? src + from.diffuse : reinterpret_cast<uint8_t*>(&white), 4);
    }
    if (to.specular >= 0 && from.specular >= 0) std::memcpy(dst + to.specular, src + from.specular, 4);
    for (int i = 0; i < to.texCount && i < from.texCount; ++i)
        std::memcpy(dst + to.tex[i], src + from.tex[i], 4 * std::min(to.texDims[i], from.texDims[i]));
}

// [SECTION] Buffers

class MeshBuffer final : public ID3DXBuffer {
public:
    explicit MeshBuffer(size_t size) : bytes(std::max<size_t>(size, 1), 0), size(size) {}
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        ULONG left = --refs;
        if (left == 0) delete this;
        return left;
    }
    void* GetBufferPointer() override { return bytes.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(size); }

private:
    ~MeshBuffer() override = default;
    ULONG refs = 1;
    std::vector<uint8_t> bytes;
    size_t size;
};

struct Placement {
    DWORD usage;
    D3DPOOL pool;
};

// The vertex or index buffer placement that the options ask for (shift 0: vertices, 4: indices).
bool PlacementFor(DWORD options, int shift, Placement* out) {
    DWORD systemMem = D3DXMESH_VB_SYSTEMMEM << shift, managed = D3DXMESH_VB_MANAGED << shift;
    if ((options & systemMem) && (options & managed)) return false;
    out->pool = (options & systemMem) ? D3DPOOL_SYSTEMMEM : (options & managed) ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
    out->usage = 0;
    if (options & (D3DXMESH_VB_WRITEONLY << shift)) out->usage |= D3DUSAGE_WRITEONLY;
    if (options & (D3DXMESH_VB_DYNAMIC << shift)) out->usage |= D3DUSAGE_DYNAMIC;
    DWORD software = shift == 0 ? D3DXMESH_VB_SOFTWAREPROCESSING : D3DXMESH_IB_SOFTWAREPROCESSING;
    if (options & software) out->usage |= D3DUSAGE_SOFTWAREPROCESSING;
    if (options & D3DXMESH_DONOTCLIP) out->usage |= D3DUSAGE_DONOTCLIP;
    if (options & D3DXMESH_POINTS) out->usage |= D3DUSAGE_POINTS;
    if (options & D3DXMESH_RTPATCHES) out->usage |= D3DUSAGE_RTPATCHES;
    if (options & D3DXMESH_NPATCHES) out->usage |= D3DUSAGE_NPATCHES;
    return true;
}

// [SECTION] Mesh object

class Mesh final : public ID3DXMesh {
public:
    static HRESULT Create(IDirect3DDevice8* device, DWORD options, DWORD fvf, DWORD numVertices, DWORD numFaces,
                          Mesh** out);

    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        ULONG left = --refs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT DrawSubset(DWORD attribId) override;
    DWORD GetNumFaces() override { return numFaces; }
    DWORD GetNumVertices() override { return numVertices; }
    DWORD GetFVF() override { return fvf; }
    DWORD GetOptions() override { return options; }
    HRESULT GetDevice(IDirect3DDevice8** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        device->AddRef();
        *out = device;
        return S_OK;
    }
    HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice8* device, ID3DXMesh** clone) override;
    HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        vertexBuffer->AddRef();
        *out = vertexBuffer;
        return S_OK;
    }
    HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        indexBuffer->AddRef();
        *out = indexBuffer;
        return S_OK;
    }
    HRESULT LockVertexBuffer(DWORD flags, BYTE** data) override {
        return data ? vertexBuffer->Lock(0, 0, data, flags) : D3DERR_INVALIDCALL;
    }
    HRESULT UnlockVertexBuffer() override { return vertexBuffer->Unlock(); }
    HRESULT LockIndexBuffer(DWORD flags, BYTE** data) override {
        return data ? indexBuffer->Lock(0, 0, data, flags) : D3DERR_INVALIDCALL;
    }
    HRESULT UnlockIndexBuffer() override { return indexBuffer->Unlock(); }
    HRESULT LockAttributeBuffer(DWORD, DWORD** data) override {
        if (!data) return D3DERR_INVALIDCALL;
        *data = attributes.data();
        return S_OK;
    }
    HRESULT UnlockAttributeBuffer() override {
        RebuildRanges();
        return S_OK;
    }

    bool Uses32BitIndices() const { return index32; }
    std::vector<DWORD>& Attributes() { return attributes; }
    void RebuildRanges();

private:
    Mesh() = default;
    ~Mesh() override {
        if (vertexBuffer) vertexBuffer->Release();
        if (indexBuffer) indexBuffer->Release();
        if (device) device->Release();
    }

    struct Range {
        DWORD attribute, firstFace, faceCount;
    };

    ULONG refs = 1;
    IDirect3DDevice8* device = nullptr;  // one reference held
    IDirect3DVertexBuffer8* vertexBuffer = nullptr;
    IDirect3DIndexBuffer8* indexBuffer = nullptr;
    DWORD options = 0, fvf = 0, numVertices = 0, numFaces = 0;
    UINT stride = 0;
    bool index32 = false;
    std::vector<DWORD> attributes;  // one per face
    std::vector<Range> ranges;      // runs of consecutive faces sharing an attribute
};

HRESULT Mesh::Create(IDirect3DDevice8* device, DWORD options, DWORD fvf, DWORD numVertices, DWORD numFaces,
                     Mesh** out) {
    FvfLayout layout(fvf);
    if (!device || !out || !layout.Valid() || numVertices == 0 || numFaces == 0) return D3DERR_INVALIDCALL;
    bool index32 = (options & D3DXMESH_32BIT) || numVertices > 0xFFFF;
    uint64_t vertexBytes = uint64_t(numVertices) * layout.size;
    uint64_t indexBytes = uint64_t(numFaces) * 3 * (index32 ? 4 : 2);
    if (vertexBytes > 0x7FFFFFFF || indexBytes > 0x7FFFFFFF) return E_OUTOFMEMORY;
    Placement vb, ib;
    if (!PlacementFor(options, 0, &vb) || !PlacementFor(options, 4, &ib)) return D3DERR_INVALIDCALL;
    Mesh* mesh = new Mesh();
    mesh->device = device;
    device->AddRef();
    mesh->options = options | (index32 ? D3DXMESH_32BIT : 0);
    mesh->fvf = fvf;
    mesh->numVertices = numVertices;
    mesh->numFaces = numFaces;
    mesh->stride = layout.size;
    mesh->index32 = index32;
    mesh->attributes.assign(numFaces, 0);
    HRESULT hr = device->CreateVertexBuffer(static_cast<UINT>(vertexBytes), vb.usage, fvf, vb.pool, &mesh->vertexBuffer);
    if (SUCCEEDED(hr))
        hr = device->CreateIndexBuffer(static_cast<UINT>(indexBytes), ib.usage, index32 ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                       ib.pool, &mesh->indexBuffer);
    if (SUCCEEDED(hr) && (!mesh->vertexBuffer || !mesh->indexBuffer)) hr = E_FAIL;
    if (FAILED(hr)) {
        mesh->Release();
        return hr;
    }
    mesh->RebuildRanges();
    *out = mesh;
    return S_OK;
}

void Mesh::RebuildRanges() {
    ranges.clear();
    for (DWORD f = 0; f < numFaces; ++f) {
        if (!ranges.empty() && ranges.back().attribute == attributes[f]) ++ranges.back().faceCount;
        else ranges.push_back({attributes[f], f, 1});
    }
}

HRESULT Mesh::DrawSubset(DWORD attribId) {
    DWORD shader = 0;
    // A programmable shader (odd handle) keeps its declaration; otherwise draw with our format.
    if (FAILED(device->GetVertexShader(&shader)) || !(shader & 1)) {
        HRESULT hr = device->SetVertexShader(fvf);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = device->SetStreamSource(0, vertexBuffer, stride);
    if (SUCCEEDED(hr)) hr = device->SetIndices(indexBuffer, 0);
    for (const Range& range : ranges) {
        if (FAILED(hr)) break;
        if (range.attribute != attribId) continue;
        hr = device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, numVertices, range.firstFace * 3, range.faceCount);
    }
    return hr;
}

// [SECTION] Creation and cloning

HRESULT Mesh::CloneMeshFVF(DWORD newOptions, DWORD newFvf, IDirect3DDevice8* newDevice, ID3DXMesh** clone) {
    if (!newDevice || !clone) return D3DERR_INVALIDCALL;
    FvfLayout from(fvf), to(newFvf);
    if (!to.Valid()) return D3DERR_INVALIDCALL;
    Mesh* copy = nullptr;
    HRESULT hr = Create(newDevice, newOptions, newFvf, numVertices, numFaces, &copy);
    if (FAILED(hr)) return hr;
    copy->attributes = attributes;
    copy->RebuildRanges();
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    hr = vertexBuffer->Lock(0, 0, &src, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        DWORD flags = (copy->options & D3DXMESH_VB_DYNAMIC) ? D3DLOCK_DISCARD : 0;
        hr = copy->vertexBuffer->Lock(0, 0, &dst, flags);
        if (SUCCEEDED(hr)) {
            for (DWORD v = 0; v < numVertices; ++v)
                ConvertVertex(from, src + size_t(v) * from.size, to, dst + size_t(v) * to.size);
            copy->vertexBuffer->Unlock();
        }
        vertexBuffer->Unlock();
    }
    if (SUCCEEDED(hr)) hr = indexBuffer->Lock(0, 0, &src, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        DWORD flags = (copy->options & D3DXMESH_IB_DYNAMIC) ? D3DLOCK_DISCARD : 0;
        hr = copy->indexBuffer->Lock(0, 0, &dst, flags);
        if (SUCCEEDED(hr)) {
            for (size_t i = 0; i < size_t(numFaces) * 3; ++i) {
                uint32_t index;
                if (index32) std::memcpy(&index, src + 4 * i, 4);
                else index = reinterpret_cast<const uint16_t*>(src)[i];
                if (copy->index32) std::memcpy(dst + 4 * i, &index, 4);
                else reinterpret_cast<uint16_t*>(dst)[i] = static_cast<uint16_t>(index);
            }
            copy->indexBuffer->Unlock();
        }
        indexBuffer->Unlock();
    }
    if (FAILED(hr)) {
        copy->Release();
        return hr;
    }
    *clone = copy;
    return S_OK;
}

// Three neighbours per face across its edges; vertices at the same position count as one.
std::vector<DWORD> Adjacency(const XMeshData& data) {
    size_t faces = data.attributes.size();
    std::vector<DWORD> adjacency(faces * 3, 0xFFFFFFFFu);
    std::map<std::tuple<float, float, float>, uint32_t> reps;
    std::vector<uint32_t> rep(data.positions.size());
    for (size_t v = 0; v < data.positions.size(); ++v) {
        const D3DVECTOR& p = data.positions[v];
        rep[v] = reps.emplace(std::make_tuple(p.x, p.y, p.z), static_cast<uint32_t>(v)).first->second;
    }
    std::map<std::pair<uint32_t, uint32_t>, std::vector<std::pair<uint32_t, int>>> edges;
    for (size_t f = 0; f < faces; ++f)
        for (int e = 0; e < 3; ++e) {
            uint32_t a = rep[data.indices[f * 3 + e]], b = rep[data.indices[f * 3 + (e + 1) % 3]];
            if (a == b) continue;
            edges[std::minmax(a, b)].push_back({static_cast<uint32_t>(f), e});
        }
    for (const auto& [key, users] : edges)
        for (size_t i = 0; i < users.size(); ++i)
            for (size_t j = 0; j < users.size(); ++j)
                if (i != j && users[i].first != users[j].first &&
                    adjacency[users[i].first * 3 + users[i].second] == 0xFFFFFFFFu) {
                    adjacency[users[i].first * 3 + users[i].second] = users[j].first;
                    break;
                }
    return adjacency;
}

HRESULT MaterialBuffer(const XMeshData& data, ID3DXBuffer** out) {
    size_t size = data.materials.size() * sizeof(D3DXMATERIAL);
    for (const XMaterial& m : data.materials)
        if (!m.textureFilename.empty()) size += m.textureFilename.size() + 1;
    MeshBuffer* buffer = new MeshBuffer(size);
    uint8_t* base = static_cast<uint8_t*>(buffer->GetBufferPointer());
    D3DXMATERIAL* materials = reinterpret_cast<D3DXMATERIAL*>(base);
    char* strings = reinterpret_cast<char*>(base + data.materials.size() * sizeof(D3DXMATERIAL));
    for (size_t i = 0; i < data.materials.size(); ++i) {
        materials[i].MatD3D = data.materials[i].material;
        materials[i].pTextureFilename = nullptr;
        const std::string& name = data.materials[i].textureFilename;
        if (!name.empty()) {
            std::memcpy(strings, name.c_str(), name.size() + 1);
            materials[i].pTextureFilename = strings;
            strings += name.size() + 1;
        }
    }
    *out = buffer;
    return S_OK;
}

HRESULT MeshFromData(const XMeshData& data, DWORD options, IDirect3DDevice8* device, ID3DXMesh** out) {
    DWORD fvf = data.Fvf();
    FvfLayout layout(fvf);
    DWORD numVertices = static_cast<DWORD>(data.positions.size());
    DWORD numFaces = static_cast<DWORD>(data.attributes.size());
    Mesh* mesh = nullptr;
    HRESULT hr = Mesh::Create(device, options, fvf, numVertices, numFaces, &mesh);
    if (FAILED(hr)) return hr;
    BYTE* vertices = nullptr;
    hr = mesh->LockVertexBuffer((options & D3DXMESH_VB_DYNAMIC) ? D3DLOCK_DISCARD : 0, &vertices);
    if (SUCCEEDED(hr)) {
        for (DWORD v = 0; v < numVertices; ++v) {
            uint8_t* p = vertices + size_t(v) * layout.size;
            std::memcpy(p, &data.positions[v], 12);
            if (layout.normal >= 0) std::memcpy(p + layout.normal, &data.normals[v], 12);
            if (layout.diffuse >= 0) std::memcpy(p + layout.diffuse, &data.colours[v], 4);
            if (layout.texCount > 0) std::memcpy(p + layout.tex[0], &data.texCoords[2 * v], 8);
        }
        hr = mesh->UnlockVertexBuffer();
    }
    BYTE* indices = nullptr;
    if (SUCCEEDED(hr)) hr = mesh->LockIndexBuffer((options & D3DXMESH_IB_DYNAMIC) ? D3DLOCK_DISCARD : 0, &indices);
    if (SUCCEEDED(hr)) {
        for (size_t i = 0; i < data.indices.size(); ++i) {
            if (mesh->Uses32BitIndices()) std::memcpy(indices + 4 * i, &data.indices[i], 4);
            else reinterpret_cast<uint16_t*>(indices)[i] = static_cast<uint16_t>(data.indices[i]);
        }
        hr = mesh->UnlockIndexBuffer();
    }
    if (FAILED(hr)) {
        mesh->Release();
        return hr;
    }
    mesh->Attributes() = data.attributes;
    mesh->RebuildRanges();
    *out = mesh;
    return S_OK;
}

}  // namespace

UINT D3DXGetFVFVertexSize(DWORD fvf) {
    FvfLayout layout(fvf);
    return layout.Valid() ? layout.size : 0;
}

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice8* device,
                          ID3DXMesh** mesh) {
    if (!mesh) return D3DERR_INVALIDCALL;
    Mesh* created = nullptr;
    HRESULT hr = Mesh::Create(device, options, fvf, numVertices, numFaces, &created);
    if (SUCCEEDED(hr)) *mesh = created;
    return hr;
}

// [SECTION] Loading .x files

HRESULT D3DXLoadMeshFromXInMemory(const void* data, UINT size, DWORD options, IDirect3DDevice8* device,
                                  ID3DXBuffer** adjacency, ID3DXBuffer** materials, DWORD* numMaterials,
                                  ID3DXMesh** mesh) {
    if (adjacency) *adjacency = nullptr;
    if (materials) *materials = nullptr;
    if (!data || !device || !mesh) return D3DERR_INVALIDCALL;
    XMeshData parsed;
    HRESULT hr = ParseXFile(data, size, &parsed, nullptr);
    if (FAILED(hr)) return hr;
    ID3DXMesh* made = nullptr;
    hr = MeshFromData(parsed, options, device, &made);
    if (FAILED(hr)) return hr;
    if (adjacency) {
        std::vector<DWORD> neighbours = Adjacency(parsed);
        MeshBuffer* buffer = new MeshBuffer(neighbours.size() * sizeof(DWORD));
        std::memcpy(buffer->GetBufferPointer(), neighbours.data(), neighbours.size() * sizeof(DWORD));
        *adjacency = buffer;
    }
    if (materials) MaterialBuffer(parsed, materials);
    if (numMaterials) *numMaterials = static_cast<DWORD>(parsed.materials.size());
    *mesh = made;
    return S_OK;
}

HRESULT D3DXLoadMeshFromX(LPCSTR fileName, DWORD options, IDirect3DDevice8* device, ID3DXBuffer** adjacency,
                          ID3DXBuffer** materials, DWORD* numMaterials, ID3DXMesh** mesh) {
    if (adjacency) *adjacency = nullptr;
    if (materials) *materials = nullptr;
    if (!fileName || !device || !mesh) return D3DERR_INVALIDCALL;
    ReadOnlyFileMapping file(fileName, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file.Opened()) return XFILE_FILENOTFOUND;
    if (!file.Data()) return XFILE_BADFILETYPE;  // empty or unreadable
    if (file.Size() > kMaxXFileBytes) return E_OUTOFMEMORY;
    return D3DXLoadMeshFromXInMemory(file.Data(), file.Size(), options, device, adjacency, materials, numMaterials,
                                     mesh);
}
