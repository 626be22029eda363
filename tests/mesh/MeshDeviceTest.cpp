// D3DXLoadMeshFromX and ID3DXMesh on the REF device: counts, buffers, materials and adjacency
// of a loaded file, clones in other formats, DrawSubset drawing only its attribute's faces, and
// refused files.
#include "mesh/D3DXMesh.h"
#include "mesh/XFile.h"
#include "tests/support/RefDeviceTest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

// Two quads filling clip space side by side: left attribute 0, right attribute 1 (its own mesh
// in a frame translated by one unit, merged after the left one).
const char* kHalves = R"(xof 0303txt 0032
Material Left { 1.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
Frame Root {
 Mesh LeftQuad {
  4; -1.0;-1.0;0.5;, -1.0;1.0;0.5;, 0.0;1.0;0.5;, 0.0;-1.0;0.5;;
  1; 4;0,1,2,3;;
  MeshMaterialList { 1; 1; 0;; { Left } }
  MeshNormals { 1; 0.0;0.0;-1.0;; 1; 4;0,0,0,0;; }
 }
 Frame Shifted {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 1,0,0,1;; }
  Mesh RightQuad {
   4; -1.0;-1.0;0.5;, -1.0;1.0;0.5;, 0.0;1.0;0.5;, 0.0;-1.0;0.5;;
   1; 4;0,1,2,3;;
   MeshMaterialList { 1; 1; 0;; Material { 0.0;1.0;0.0;1.0;; 2.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; TextureFilename { "right.png"; } } }
   MeshNormals { 1; 0.0;0.0;-1.0;; 1; 4;0,0,0,0;; }
  }
 }
}
)";

class MeshTest : public RefDeviceTest {};

struct PositionNormal {
    float x, y, z, nx, ny, nz;
};

}  // namespace

TEST_F(MeshTest, LoadsCountsBuffersMaterialsAndAdjacency) {
    std::string path = WriteText("halves.x", kHalves);
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD count = 0;
    ASSERT_EQ(S_OK, D3DXLoadMeshFromX(path.c_str(), D3DXMESH_MANAGED, device, &adjacency, &materials, &count, &mesh));
    EXPECT_EQ(mesh->GetNumVertices(), 8u);
    EXPECT_EQ(mesh->GetNumFaces(), 4u);
    EXPECT_EQ(mesh->GetFVF(), D3DFVF_XYZ | D3DFVF_NORMAL);
    EXPECT_EQ(D3DXGetFVFVertexSize(mesh->GetFVF()), 24u);
    ASSERT_EQ(count, 2u);
    const D3DXMATERIAL* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.r, 1.0f);
    EXPECT_EQ(m[0].pTextureFilename, nullptr);
    EXPECT_FLOAT_EQ(m[1].MatD3D.Diffuse.g, 1.0f);
    EXPECT_FLOAT_EQ(m[1].MatD3D.Power, 2.0f);
    ASSERT_NE(m[1].pTextureFilename, nullptr);
    EXPECT_STREQ(m[1].pTextureFilename, "right.png");
    // Adjacency: fans (0,1,2),(0,2,3) share the diagonal 2-0; the quads meet along x = 0, where
    // the right quad's edge 4-5 lies on the left quad's edge 2-3.
    ASSERT_EQ(adjacency->GetBufferSize(), 4u * 3 * sizeof(DWORD));
    const DWORD* neighbours = static_cast<const DWORD*>(adjacency->GetBufferPointer());
    EXPECT_EQ(neighbours[0 * 3 + 2], 1u);
    EXPECT_EQ(neighbours[1 * 3 + 0], 0u);
    EXPECT_EQ(neighbours[0 * 3 + 0], 0xFFFFFFFFu);
    EXPECT_EQ(neighbours[1 * 3 + 1], 2u);  // edge 2-3 of face 1 is edge 4-5 of face 2 (x = 0)
    EXPECT_EQ(neighbours[2 * 3 + 0], 1u);
    // The buffers hold the file's vertices and the fanned faces.
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(S_OK, mesh->GetVertexBuffer(&vb));
    D3DVERTEXBUFFER_DESC vbDesc{};
    vb->GetDesc(&vbDesc);
    EXPECT_EQ(vbDesc.Pool, D3DPOOL_MANAGED);
    BYTE* bytes = nullptr;
    ASSERT_EQ(S_OK, vb->Lock(0, 0, &bytes, D3DLOCK_READONLY));
    const PositionNormal* v = reinterpret_cast<const PositionNormal*>(bytes);
    EXPECT_FLOAT_EQ(v[2].x, 0.0f);
    EXPECT_FLOAT_EQ(v[2].y, 1.0f);
    EXPECT_FLOAT_EQ(v[6].x, 1.0f);  // the frame's translation applied
    EXPECT_FLOAT_EQ(v[4].x, 0.0f);
    EXPECT_FLOAT_EQ(v[5].nz, -1.0f);
    vb->Unlock();
    vb->Release();
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(S_OK, mesh->GetIndexBuffer(&ib));
    D3DINDEXBUFFER_DESC ibDesc{};
    ib->GetDesc(&ibDesc);
    EXPECT_EQ(ibDesc.Format, D3DFMT_INDEX16);
    ASSERT_EQ(S_OK, ib->Lock(0, 0, &bytes, D3DLOCK_READONLY));
    const uint16_t* idx = reinterpret_cast<const uint16_t*>(bytes);
    const uint16_t expected[12] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    EXPECT_EQ(std::memcmp(idx, expected, sizeof(expected)), 0);
    ib->Unlock();
    ib->Release();
    DWORD* attributes = nullptr;
    ASSERT_EQ(S_OK, mesh->LockAttributeBuffer(0, &attributes));
    EXPECT_EQ(attributes[1], 0u);
    EXPECT_EQ(attributes[2], 1u);
    mesh->UnlockAttributeBuffer();
    adjacency->Release();
    materials->Release();
    EXPECT_EQ(mesh->Release(), 0u);
}

TEST_F(MeshTest, ClonesKeepVertexOrderInTheRequestedFormatAndPlacement) {
    std::string path = WriteText("halves.x", kHalves);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(S_OK, D3DXLoadMeshFromX(path.c_str(), D3DXMESH_SYSTEMMEM, device, nullptr, nullptr, nullptr, &mesh));
    ID3DXMesh* positions = nullptr;
    ASSERT_EQ(S_OK, mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device, &positions));
    EXPECT_EQ(positions->GetNumVertices(), mesh->GetNumVertices());
    EXPECT_EQ(positions->GetNumFaces(), mesh->GetNumFaces());
    EXPECT_EQ(positions->GetFVF(), D3DFVF_XYZ);
    ID3DXMesh* coloured = nullptr;
    ASSERT_EQ(S_OK, mesh->CloneMeshFVF(D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, device, &coloured));
    BYTE* a = nullptr;
    BYTE* b = nullptr;
    BYTE* c = nullptr;
    ASSERT_EQ(S_OK, mesh->LockVertexBuffer(D3DLOCK_READONLY, &a));
    ASSERT_EQ(S_OK, positions->LockVertexBuffer(D3DLOCK_READONLY, &b));
    ASSERT_EQ(S_OK, coloured->LockVertexBuffer(D3DLOCK_READONLY, &c));
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        EXPECT_EQ(std::memcmp(a + 24 * i, b + 12 * i, 12), 0) << i;
        EXPECT_EQ(std::memcmp(a + 24 * i, c + 24 * i, 12), 0) << i;
        DWORD diffuse;
        float uv[2];
        std::memcpy(&diffuse, c + 24 * i + 12, 4);
        std::memcpy(uv, c + 24 * i + 16, 8);
        EXPECT_EQ(diffuse, 0xFFFFFFFFu);
        EXPECT_EQ(uv[0], 0.0f);
    }
    mesh->UnlockVertexBuffer();
    positions->UnlockVertexBuffer();
    coloured->UnlockVertexBuffer();
    // A dynamic write-only copy, as the water surface is drawn from.
    ID3DXMesh* dynamic = nullptr;
    ASSERT_EQ(S_OK, mesh->CloneMeshFVF(D3DXMESH_WRITEONLY | D3DXMESH_DYNAMIC, D3DFVF_XYZ | D3DFVF_NORMAL, device, &dynamic));
    IDirect3DVertexBuffer8* vb = nullptr;
    dynamic->GetVertexBuffer(&vb);
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(desc.Usage & (D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC);
    vb->Release();
    EXPECT_EQ(mesh->CloneMeshFVF(0, D3DFVF_NORMAL, device, &dynamic), D3DERR_INVALIDCALL);  // no position
    dynamic->Release();
    coloured->Release();
    positions->Release();
    mesh->Release();
}

TEST_F(MeshTest, DrawSubsetDrawsOnlyItsAttributesFaces) {
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(S_OK, D3DXLoadMeshFromXInMemory(kHalves, static_cast<UINT>(std::strlen(kHalves)), D3DXMESH_MANAGED, device,
                                              nullptr, nullptr, nullptr, &mesh));
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    for (DWORD attribute : {1u, 0u, 7u}) {
        ASSERT_EQ(S_OK, device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0));
        ASSERT_EQ(S_OK, device->BeginScene());
        EXPECT_EQ(S_OK, mesh->DrawSubset(attribute));
        ASSERT_EQ(S_OK, device->EndScene());
        std::vector<uint32_t> pixels = ReadBackBuffer();
        ASSERT_EQ(pixels.size(), size_t(kSize) * kSize);
        uint32_t left = pixels[32 * kSize + 10] & 0xFFFFFFu, right = pixels[32 * kSize + 54] & 0xFFFFFFu;
        EXPECT_EQ(left, attribute == 0 ? 0xFFFFFFu : 0u) << attribute;
        EXPECT_EQ(right, attribute == 1 ? 0xFFFFFFu : 0u) << attribute;
    }
    DWORD shader = 0;
    device->GetVertexShader(&shader);
    EXPECT_EQ(shader, mesh->GetFVF());
    mesh->Release();
}

TEST_F(MeshTest, DefaultMaterialAndRefusedFiles) {
    const char* bare = "xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }";
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD count = 0;
    ASSERT_EQ(S_OK, D3DXLoadMeshFromX(WriteText("bare.x", bare).c_str(), D3DXMESH_SYSTEMMEM, device, nullptr, &materials,
                                      &count, &mesh));
    ASSERT_EQ(count, 1u);
    const D3DXMATERIAL* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Specular.b, 0.5f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Emissive.r, 0.0f);
    materials->Release();
    mesh->Release();

    ID3DXMesh* untouched = reinterpret_cast<ID3DXMesh*>(0x10);
    mesh = untouched;
    EXPECT_EQ(D3DXLoadMeshFromX((dir / "none.x").string().c_str(), 0, device, nullptr, nullptr, nullptr, &mesh),
              XFILE_FILENOTFOUND);
    EXPECT_EQ(D3DXLoadMeshFromX(WriteText("zip.x", "xof 0303tzip0032\x01\x02\x03").c_str(), 0, device, nullptr,
                                nullptr, nullptr, &mesh),
              XFILE_NOTSUPPORTED);
    EXPECT_EQ(D3DXLoadMeshFromX(WriteText("bad.x", "xof 0303txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,9;; }")
                                    .c_str(),
                                0, device, nullptr, &materials, nullptr, &mesh),
              XFILE_PARSEERROR);
    EXPECT_EQ(materials, nullptr);
    EXPECT_EQ(D3DXLoadMeshFromX(nullptr, 0, device, nullptr, nullptr, nullptr, &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadMeshFromX("x", 0, nullptr, nullptr, nullptr, nullptr, &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadMeshFromX(WriteText("ok.x", bare).c_str(), D3DXMESH_VB_SYSTEMMEM | D3DXMESH_VB_MANAGED, device,
                                nullptr, nullptr, nullptr, &mesh),
              D3DERR_INVALIDCALL);
    // A file beyond the limit is refused unread (a sparse file of zeros: its size is all it has),
    // and a pipe is not waited on.
    std::string big = WriteText("big.x", "xof 0303txt 0032\n");
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(kMaxXFileBytes) + 1), 0);
    EXPECT_EQ(D3DXLoadMeshFromX(big.c_str(), 0, device, nullptr, nullptr, nullptr, &mesh), E_OUTOFMEMORY);
    std::string fifo = (dir / "pipe.x").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(D3DXLoadMeshFromX(fifo.c_str(), 0, device, nullptr, nullptr, nullptr, &mesh), XFILE_FILENOTFOUND);
    EXPECT_EQ(mesh, untouched);
}
