// Wireframe and point fill: the edge and vertex lists of triangle draws, and the pictures on the
// device. A wireframe draws each edge of the triangles that survive culling once (so blending does
// not brighten shared edges), and point fill each of their vertices.
#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "platform/d3d/FillModes.h"
#include "tests/platform/d3d/D3DTestUtil.h"

namespace {

using d3dimpl::BuildFillList;
using d3dimpl::FillList;
using d3dimpl::TriangleSource;

// [SECTION] Lists

std::vector<uint32_t> List(D3DPRIMITIVETYPE type, UINT primitives, const std::vector<WORD>& indices, FillList kind) {
    TriangleSource s{type, primitives, reinterpret_cast<const BYTE*>(indices.data()), 2, 0, nullptr, 0, 0};
    std::vector<uint32_t> out;
    BuildFillList(s, kind, &out);
    return out;
}

std::set<std::pair<uint32_t, uint32_t>> EdgeSet(const std::vector<uint32_t>& list, size_t step) {
    std::set<std::pair<uint32_t, uint32_t>> edges;
    for (size_t i = 0; i + 1 < list.size(); i += step) edges.insert(std::minmax(list[i], list[i + 1]));
    return edges;
}

TEST(FillListTest, EachEdgeOnceForListsStripsAndFans) {
    // The square 0-1-2-3 as a list, a strip and a fan: five edges, the diagonal once.
    const std::set<std::pair<uint32_t, uint32_t>> square = {{0, 1}, {1, 2}, {2, 3}, {0, 3}, {1, 3}};
    std::vector<uint32_t> list = List(D3DPT_TRIANGLELIST, 2, {0, 1, 3, 1, 2, 3}, FillList::kEdges);
    EXPECT_EQ(list.size(), 10u);
    EXPECT_EQ(EdgeSet(list, 2), square);
    std::vector<uint32_t> strip = List(D3DPT_TRIANGLESTRIP, 2, {0, 1, 3, 2}, FillList::kEdges);
    EXPECT_EQ(strip.size(), 10u);
    EXPECT_EQ(EdgeSet(strip, 2), square);
    std::vector<uint32_t> fan = List(D3DPT_TRIANGLEFAN, 2, {1, 2, 3, 0}, FillList::kEdges);
    EXPECT_EQ(fan.size(), 10u);
    EXPECT_EQ(EdgeSet(fan, 2), (std::set<std::pair<uint32_t, uint32_t>>{{1, 2}, {2, 3}, {0, 3}, {0, 1}, {1, 3}}));
    // Edges keep the direction of the first triangle that has them.
    EXPECT_EQ(std::vector<uint32_t>(list.begin(), list.begin() + 6), (std::vector<uint32_t>{0, 1, 1, 3, 3, 0}));

    // The joins of two strips (triangles with a repeated vertex) add nothing: the square and the
    // triangle 4-5-6 give eight edges and seven vertices.
    const std::vector<WORD> joined = {0, 1, 3, 2, 2, 4, 4, 5, 6};
    std::vector<uint32_t> edges = List(D3DPT_TRIANGLESTRIP, 7, joined, FillList::kEdges);
    EXPECT_EQ(edges.size(), 16u);
    EXPECT_EQ(EdgeSet(edges, 2).size(), 8u);
    std::vector<uint32_t> points = List(D3DPT_TRIANGLESTRIP, 7, joined, FillList::kPoints);
    EXPECT_EQ(points, (std::vector<uint32_t>{0, 1, 3, 2, 4, 5, 6}));
}

TEST(FillListTest, EdgesCarryTheThirdVertexOfBothTriangles) {
    // Two triangles wound the same way round share 1-3, which they run in opposite directions.
    std::vector<uint32_t> e = List(D3DPT_TRIANGLELIST, 2, {0, 1, 3, 1, 2, 3}, FillList::kEdgesWithFaces);
    ASSERT_EQ(e.size(), 20u);
    std::map<std::pair<uint32_t, uint32_t>, std::pair<uint32_t, uint32_t>> faces;  // edge -> (c, d)
    for (size_t i = 0; i < e.size(); i += 4) faces[{e[i], e[i + 1]}] = {e[i + 2], e[i + 3]};
    EXPECT_EQ(faces.at({1, 3}), std::make_pair(0u, 2u));
    // An edge of one triangle names its first vertex as the missing one.
    EXPECT_EQ(faces.at({0, 1}), std::make_pair(3u, 0u));
    EXPECT_EQ(faces.at({2, 3}), std::make_pair(1u, 2u));

    // A neighbour wound the other way round, or a third triangle on an edge, gets an entry of its own.
    std::vector<uint32_t> flipped = List(D3DPT_TRIANGLELIST, 2, {0, 1, 3, 3, 2, 1}, FillList::kEdgesWithFaces);
    EXPECT_EQ(flipped.size(), 24u);
    std::vector<uint32_t> fin = List(D3DPT_TRIANGLELIST, 3, {0, 1, 3, 1, 2, 3, 3, 1, 4}, FillList::kEdgesWithFaces);
    EXPECT_EQ(fin.size(), 4u * 8u);
}

TEST(FillListTest, UnindexedVerticesWithEqualBytesAreOneVertex) {
    struct V {
        float x, y;
        DWORD colour;
    };
    // Two separate triangles of a square; the diagonal's ends repeat with the same bytes.
    std::vector<V> v = {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    TriangleSource s{D3DPT_TRIANGLELIST, 2, nullptr, 0, 10, reinterpret_cast<const BYTE*>(v.data()), sizeof(V),
                     sizeof(V)};
    std::vector<uint32_t> out;
    BuildFillList(s, FillList::kEdges, &out);
    EXPECT_EQ(out.size(), 10u);
    EXPECT_EQ(*std::min_element(out.begin(), out.end()), 10u);  // the draw's first vertex
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 15u);
    BuildFillList(s, FillList::kPoints, &out);
    EXPECT_EQ(out.size(), 4u);
    // A different colour makes a different vertex: its edge is drawn in its own colour as well.
    v[4].colour = 2;
    BuildFillList(s, FillList::kEdges, &out);
    EXPECT_EQ(out.size(), 12u);
    // Bytes the draw does not read are not compared.
    s.vertexBytes = 8;
    BuildFillList(s, FillList::kEdges, &out);
    EXPECT_EQ(out.size(), 10u);
    // 32-bit indices.
    const DWORD big[3] = {70000, 70001, 70002};
    TriangleSource wide{D3DPT_TRIANGLELIST, 1, reinterpret_cast<const BYTE*>(big), 4, 0, nullptr, 0, 0};
    BuildFillList(wide, FillList::kEdges, &out);
    EXPECT_EQ(out, (std::vector<uint32_t>{70000, 70001, 70001, 70002, 70002, 70000}));
}

// [SECTION] Pictures

// A 4 x 4 grid of squares over the back buffer, two clockwise triangles each (y down).
class FillModeTest : public DeviceTest {
protected:
    static constexpr int kCells = 4;
    static constexpr float kStep = 14.0f, kOrigin = 4.0f;

    void SetUp() override {
        DeviceTest::SetUp();
        for (int y = 0; y <= kCells; ++y) {
            for (int x = 0; x <= kCells; ++x)
                vertices.push_back({kOrigin + x * kStep, kOrigin + y * kStep, 0.5f, 1.0f, 0xFFFFFFFFu});
        }
        for (int y = 0; y < kCells; ++y) {
            for (int x = 0; x < kCells; ++x) {
                WORD a = static_cast<WORD>(y * (kCells + 1) + x), b = static_cast<WORD>(a + 1),
                     c = static_cast<WORD>(a + kCells + 1), d = static_cast<WORD>(c + 1);
                indices.insert(indices.end(), {a, b, c, b, d, c});
            }
        }
        device->SetVertexShader(kTLVertexFvf);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }

    void Clear() { device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0); }

    void DrawGrid(const std::vector<WORD>& triangles) {
        ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                                 static_cast<UINT>(triangles.size() / 3), triangles.data(),
                                                 D3DFMT_INDEX16, vertices.data(), sizeof(TLVertex)),
                  D3D_OK);
    }

    // The expected wireframe: the edges of the kept triangles as a line list, each once, in the
    // direction of the first triangle (kept or not) that has it; over the picture there is when
    // `clear` is false.
    std::vector<DWORD> ExpectedEdges(const std::vector<WORD>& triangles, const std::vector<bool>& kept,
                                     bool clear = true) {
        std::map<std::pair<WORD, WORD>, std::pair<WORD, WORD>> direction;
        std::set<std::pair<WORD, WORD>> drawn;
        for (size_t t = 0; t * 3 < triangles.size(); ++t) {
            for (int i = 0; i < 3; ++i) {
                WORD a = triangles[t * 3 + i], b = triangles[t * 3 + (i + 1) % 3];
                direction.emplace(std::minmax(a, b), std::make_pair(a, b));
                if (kept[t]) drawn.insert(std::minmax(a, b));
            }
        }
        std::vector<WORD> lines;
        for (const auto& e : drawn) lines.insert(lines.end(), {direction[e].first, direction[e].second});
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
        if (clear) Clear();
        if (!lines.empty()) {
            EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, static_cast<UINT>(vertices.size()),
                                                     static_cast<UINT>(lines.size() / 2), lines.data(), D3DFMT_INDEX16,
                                                     vertices.data(), sizeof(TLVertex)),
                      D3D_OK);
        }
        return ReadBackBuffer();
    }

    std::vector<DWORD> Wireframe(const std::vector<WORD>& triangles) {
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
        Clear();
        DrawGrid(triangles);
        return ReadBackBuffer();
    }

    // Lit pixels farther than two pixels from every grid vertex.
    int LitAwayFromVertices(const std::vector<DWORD>& p, DWORD rgb) {
        int n = 0;
        for (UINT y = 0; y < kSize; ++y) {
            for (UINT x = 0; x < kSize; ++x) {
                if (Pixel(p, x, y) != rgb) continue;
                bool near = false;
                for (const TLVertex& v : vertices)
                    near = near || (std::abs(v.x - static_cast<float>(x)) <= 2 && std::abs(v.y - static_cast<float>(y)) <= 2);
                n += near ? 0 : 1;
            }
        }
        return n;
    }

    std::vector<TLVertex> vertices;
    std::vector<WORD> indices;
};

TEST_F(FillModeTest, WireframeDrawsTheEdgesOfTheKeptTrianglesOnce) {
    const std::vector<bool> all(indices.size() / 3, true), none(indices.size() / 3, false);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    auto expected = ExpectedEdges(indices, all);
    EXPECT_GT(Count(expected, 0xFFFFFF), 400);
    EXPECT_EQ(Wireframe(indices), expected);
    // The grid is clockwise: culling counter-clockwise triangles keeps all, culling clockwise ones none
    // (its border edges included).
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    EXPECT_EQ(Wireframe(indices), expected);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    EXPECT_EQ(Count(Wireframe(indices), 0xFFFFFF), 0);

    // Every other triangle turned round: culling keeps half, and an edge between a kept and a culled
    // triangle is drawn.
    std::vector<WORD> mixed = indices;
    std::vector<bool> clockwise(mixed.size() / 3);
    for (size_t t = 0; t < clockwise.size(); ++t) {
        clockwise[t] = (t % 3) != 0;
        if (!clockwise[t]) std::swap(mixed[t * 3 + 1], mixed[t * 3 + 2]);
    }
    std::vector<bool> counterClockwise(clockwise.size());
    std::transform(clockwise.begin(), clockwise.end(), counterClockwise.begin(), [](bool b) { return !b; });
    for (auto [cull, kept] : {std::make_pair(D3DCULL_CCW, clockwise), std::make_pair(D3DCULL_CW, counterClockwise),
                              std::make_pair(D3DCULL_NONE, all)}) {
        device->SetRenderState(D3DRS_CULLMODE, cull);
        expected = ExpectedEdges(mixed, kept);
        device->SetRenderState(D3DRS_CULLMODE, cull);
        EXPECT_EQ(Wireframe(mixed), expected) << "cull " << cull;
    }
}

TEST_F(FillModeTest, BlendedWireframeDoesNotBrightenSharedEdges) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    for (TLVertex& v : vertices) v.colour = 0xFF404040u;
    for (DWORD cull : {D3DCULL_NONE, D3DCULL_CCW}) {
        device->SetRenderState(D3DRS_CULLMODE, cull);
        auto p = Wireframe(indices);
        EXPECT_GT(Count(p, 0x404040), 400) << "cull " << cull;
        // Only where edges meet at a vertex may a pixel be lit twice.
        EXPECT_EQ(LitAwayFromVertices(p, 0x808080), 0) << "cull " << cull;
    }
}

TEST_F(FillModeTest, PointFillDrawsTheVerticesOfTheKeptTriangles) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    for (TLVertex& v : vertices) v.colour = 0xFF404040u;
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
    Clear();
    DrawGrid(indices);
    auto p = ReadBackBuffer();
    // Each vertex once, at its pixel: 25 pixels lit once and nothing else.
    EXPECT_EQ(Count(p, 0x404040), 25);
    EXPECT_EQ(Count(p, 0), static_cast<int>(kSize * kSize) - 25);
    EXPECT_EQ(Pixel(p, 4, 4), 0x404040u);
    EXPECT_EQ(Pixel(p, 60, 60), 0x404040u);

    // With culling: the vertices of the kept triangles (the corner triangle alone keeps its vertices).
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    std::vector<WORD> corner = {indices.begin(), indices.begin() + 3};
    std::vector<WORD> turned = {corner[0], corner[2], corner[1]};
    for (auto [cull, lit] : {std::make_pair(D3DCULL_CCW, 3), std::make_pair(D3DCULL_CW, 0)}) {
        device->SetRenderState(D3DRS_CULLMODE, cull);
        Clear();
        DrawGrid(corner);
        EXPECT_EQ(Count(ReadBackBuffer(), 0x404040), lit) << "cull " << cull;
        Clear();
        DrawGrid(turned);
        EXPECT_EQ(Count(ReadBackBuffer(), 0x404040), 3 - lit) << "cull " << cull;
    }
}

TEST_F(FillModeTest, ListsFollowTheBuffersTheyWereMadeFrom) {
    // The grid from a vertex buffer (after two unused vertices, reached through the base vertex) and an
    // index buffer, drawn as two ranges (as a mesh's subsets are).
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    const UINT vbBytes = static_cast<UINT>((vertices.size() + 2) * sizeof(TLVertex));
    ASSERT_EQ(device->CreateVertexBuffer(vbBytes, 0, kTLVertexFvf, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(static_cast<UINT>(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib),
              D3D_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data + 2 * sizeof(TLVertex), vertices.data(), vertices.size() * sizeof(TLVertex));
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, indices.data(), indices.size() * 2);
    ib->Unlock();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    std::vector<WORD> firstHalf(indices.begin(), indices.begin() + indices.size() / 2);
    std::vector<WORD> secondHalf(indices.begin() + indices.size() / 2, indices.end());
    const std::vector<bool> kept(firstHalf.size() / 3, true);
    const auto half = ExpectedEdges(firstHalf, kept);
    const auto full = ExpectedEdges(secondHalf, kept, false);

    device->SetStreamSource(0, vb, sizeof(TLVertex));
    device->SetIndices(ib, 2);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    const UINT triangles = static_cast<UINT>(indices.size() / 3), vertexCount = static_cast<UINT>(vertices.size());
    for (int pass = 0; pass < 2; ++pass) {  // the second pass draws from the cached lists
        Clear();
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, 0, triangles / 2), D3D_OK);
        EXPECT_EQ(ReadBackBuffer(), half) << "pass " << pass;
        ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, triangles * 3 / 2, triangles / 2),
                  D3D_OK);
        EXPECT_EQ(ReadBackBuffer(), full) << "pass " << pass;
    }
    // New indices: the second half's triangles become copies of the first half's.
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data + firstHalf.size() * 2, firstHalf.data(), firstHalf.size() * 2);
    ib->Unlock();
    Clear();
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, triangles * 3 / 2, triangles / 2), D3D_OK);
    EXPECT_EQ(ReadBackBuffer(), half);

    // Unindexed from the vertex buffer: the triangles' vertices written out, shared ones equal.
    std::vector<TLVertex> separate;
    for (WORD i : indices) separate.push_back(vertices[i]);
    IDirect3DVertexBuffer8* list = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(static_cast<UINT>(separate.size() * sizeof(TLVertex)), 0, kTLVertexFvf,
                                         D3DPOOL_MANAGED, &list),
              D3D_OK);
    ASSERT_EQ(list->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, separate.data(), separate.size() * sizeof(TLVertex));
    list->Unlock();
    device->SetStreamSource(0, list, sizeof(TLVertex));
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF404040u);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    Clear();
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, triangles), D3D_OK);
    auto p = ReadBackBuffer();
    EXPECT_GT(Count(p, 0x404040), 400);
    EXPECT_EQ(LitAwayFromVertices(p, 0x808080), 0);

    device->SetStreamSource(0, nullptr, 0);
    device->SetIndices(nullptr, 0);
    list->Release();
    ib->Release();
    vb->Release();
}

TEST_F(FillModeTest, CulledWireframeWithTransformsAndAClipPlane) {
    // The same grid through the transform pipeline (identity world and view, an orthographic
    // projection onto the back buffer) with a clip plane that removes its left half.
    struct Vertex {
        float x, y, z;
        D3DCOLOR colour;
    };
    std::vector<Vertex> v;
    for (const TLVertex& t : vertices) v.push_back({t.x / 32.0f - 1.0f, 1.0f - t.y / 32.0f, 0.5f, 0xFFFFFFFFu});
    D3DMATRIX id{};
    id._11 = id._22 = id._33 = id._44 = 1.0f;
    device->SetTransform(D3DTS_WORLD, &id);
    device->SetTransform(D3DTS_VIEW, &id);
    device->SetTransform(D3DTS_PROJECTION, &id);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    auto draw = [&] {
        Clear();
        EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(v.size()),
                                                 static_cast<UINT>(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                                 v.data(), sizeof(Vertex)),
                  D3D_OK);
        return ReadBackBuffer();
    };
    auto whole = draw();
    EXPECT_GT(Count(whole, 0xFFFFFF), 400);
    const float plane[4] = {1.0f, 0.0f, 0.0f, 0.0f};  // keeps x >= 0
    device->SetClipPlane(0, plane);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, 1);
    auto right = draw();
    int leftLit = 0, rightLit = 0;
    for (UINT y = 0; y < kSize; ++y) {
        for (UINT x = 0; x < kSize; ++x) (x < 31 ? leftLit : rightLit) += Pixel(right, x, y) ? 1 : 0;
    }
    EXPECT_EQ(leftLit, 0);
    EXPECT_GT(rightLit, 150);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    EXPECT_EQ(Count(draw(), 0xFFFFFF), 0);
}

}  // namespace
