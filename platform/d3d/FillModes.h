// Wireframe and point fill without GL's polygon mode (a slow path in software rasterisers): a
// triangle draw becomes a list of its edges, each once, or of its vertices, each once, drawn as
// GL lines or points with the draw's own program. Lists are cached on the buffer they come from.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d/Gl.h"
#include "platform/d3d/d3d8types.h"

namespace d3dimpl {

// What a triangle draw becomes.
enum class FillList : uint8_t {
    kEdges,            // GL_LINES: each edge once, as the first triangle that has it winds it
    kEdgesWithFaces,   // GL_LINES_ADJACENCY (a, b, c, d): edge a-b of triangles (a, b, c) and (b, a, d);
                       // d = a when the edge has one triangle. A geometry stage keeps the edges of
                       // triangles that survive culling.
    kPoints,           // GL_POINTS: each vertex once
};

// The triangles of one draw, before the base vertex is added.
struct TriangleSource {
    D3DPRIMITIVETYPE type;    // D3DPT_TRIANGLELIST, _TRIANGLESTRIP or _TRIANGLEFAN
    UINT primitives;          // triangles
    const BYTE* indices;      // null: vertices firstVertex, firstVertex + 1, ... in order
    UINT indexSize;           // 2 or 4 (with indices)
    UINT firstVertex;         // first vertex (without indices)
    // Without indices, vertices whose bytes are all equal are the same vertex (a list of
    // separate triangles still shares its edges); null when the vertices cannot be compared.
    const BYTE* vertices;     // vertex firstVertex's bytes
    UINT stride;              // bytes from one vertex to the next
    UINT vertexBytes;         // bytes compared per vertex (those the draw reads; at most stride)
};

// Appends the vertex indices of the list to `out` (cleared first). Triangles with a repeated
// vertex (the joins of strips) add nothing.
void BuildFillList(const TriangleSource& source, FillList kind, std::vector<uint32_t>* out);

// GL primitive the list is drawn as.
GLenum FillListMode(FillList kind);

// Lists made from one buffer's contents. An entry is valid while the buffer's version (bumped by
// each writing unlock) and the draw's range are those it was made for.
struct FillListKey {
    UINT version = ~0u;
    UINT start = 0, primitives = 0;
    UINT stride = 0, vertexBytes = 0;  // vertices compared without indices (TriangleSource)
    BYTE type = 0;
    FillList kind = FillList::kEdges;
    bool operator==(const FillListKey& o) const {
        return version == o.version && start == o.start && primitives == o.primitives && stride == o.stride &&
               vertexBytes == o.vertexBytes && type == o.type && kind == o.kind;
    }
};

struct FillListCache {
    static constexpr UINT kEntries = 4;  // a mesh draws its subsets from ranges of one buffer
    struct Entry {
        FillListKey key;
        GLuint buffer = 0;     // GL element buffer of 32-bit indices
        GLsizei indices = 0;
    } entries[kEntries];
    UINT next = 0;  // entry replaced next
};

}  // namespace d3dimpl
