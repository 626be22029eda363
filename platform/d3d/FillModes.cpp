// Edge and vertex lists of triangle draws for wireframe and point fill. Edges are found through a
// hash table keyed by the vertex pair; the order of the list follows the triangles.
#include "platform/d3d/FillModes.h"

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace d3dimpl {

namespace {

// Vertex ids of a draw: indices read from the index data, or positions in the draw with vertices
// of equal bytes merged into the first of them.
class VertexIds {
public:
    explicit VertexIds(const TriangleSource& s) : source(s) {
        if (s.indices || !s.vertices || s.vertexBytes == 0) return;
        UINT count = s.primitives + 2;
        if (s.type == D3DPT_TRIANGLELIST) count = s.primitives * 3;
        merged.resize(count);
        std::unordered_map<std::string_view, uint32_t> first;
        first.reserve(count);
        for (UINT i = 0; i < count; ++i) {
            std::string_view bytes(reinterpret_cast<const char*>(s.vertices) + static_cast<size_t>(i) * s.stride,
                                   s.vertexBytes);
            merged[i] = first.emplace(bytes, i).first->second;
        }
    }

    // The id of the draw's i-th vertex (index-buffer entry or vertex).
    uint32_t operator()(UINT i) const {
        if (source.indices) {
            if (source.indexSize == 4) {
                uint32_t v;
                std::memcpy(&v, source.indices + static_cast<size_t>(i) * 4, 4);
                return v;
            }
            uint16_t v;
            std::memcpy(&v, source.indices + static_cast<size_t>(i) * 2, 2);
            return v;
        }
        return source.firstVertex + (merged.empty() ? i : merged[i]);
    }

private:
    const TriangleSource& source;
    std::vector<uint32_t> merged;
};

// Calls f(a, b, c) for each triangle with three different vertices, in the winding the draw gives it.
template <typename F>
void ForEachTriangle(const TriangleSource& s, F&& f) {
    VertexIds id(s);
    for (UINT t = 0; t < s.primitives; ++t) {
        uint32_t a, b, c;
        switch (s.type) {
        case D3DPT_TRIANGLELIST: a = id(3 * t), b = id(3 * t + 1), c = id(3 * t + 2); break;
        case D3DPT_TRIANGLESTRIP:
            // Every other triangle of a strip is wound the other way round.
            a = id(t + (t & 1)), b = id(t + 1 - (t & 1)), c = id(t + 2);
            break;
        default: a = id(0), b = id(t + 1), c = id(t + 2); break;
        }
        if (a == b || b == c || a == c) continue;
        f(a, b, c);
    }
}

uint64_t EdgeKey(uint32_t a, uint32_t b) {
    return a < b ? (static_cast<uint64_t>(a) << 32) | b : (static_cast<uint64_t>(b) << 32) | a;
}

}  // namespace

void BuildFillList(const TriangleSource& source, FillList kind, std::vector<uint32_t>* out) {
    out->clear();
    switch (kind) {
    case FillList::kPoints: {
        std::unordered_set<uint32_t> seen;
        ForEachTriangle(source, [&](uint32_t a, uint32_t b, uint32_t c) {
            for (uint32_t v : {a, b, c}) {
                if (seen.insert(v).second) out->push_back(v);
            }
        });
        break;
    }
    case FillList::kEdges: {
        std::unordered_set<uint64_t> seen;
        seen.reserve(static_cast<size_t>(source.primitives) * 2);
        auto edge = [&](uint32_t a, uint32_t b) {
            if (seen.insert(EdgeKey(a, b)).second) out->insert(out->end(), {a, b});
        };
        ForEachTriangle(source, [&](uint32_t a, uint32_t b, uint32_t c) { edge(a, b), edge(b, c), edge(c, a); });
        break;
    }
    case FillList::kEdgesWithFaces: {
        // Each entry is four indices (a, b, c, d) in `out`; the table finds the entry of an edge
        // that still lacks its second triangle. A second triangle must run the edge the other
        // way (b to a); one running it the same way, or a third triangle, starts a new entry.
        std::unordered_map<uint64_t, size_t> open;
        open.reserve(static_cast<size_t>(source.primitives) * 2);
        auto edge = [&](uint32_t a, uint32_t b, uint32_t c) {
            auto [it, added] = open.try_emplace(EdgeKey(a, b), out->size());
            if (!added) {
                uint32_t* e = out->data() + it->second;
                if (e[0] == b && e[1] == a) {
                    e[3] = c;
                    open.erase(it);
                    return;
                }
                it->second = out->size();
            }
            out->insert(out->end(), {a, b, c, a});
        };
        ForEachTriangle(source, [&](uint32_t a, uint32_t b, uint32_t c) { edge(a, b, c), edge(b, c, a), edge(c, a, b); });
        break;
    }
    }
}

GLenum FillListMode(FillList kind) {
    switch (kind) {
    case FillList::kEdges: return GL_LINES;
    case FillList::kEdgesWithFaces: return GL_LINES_ADJACENCY;
    default: return GL_POINTS;
    }
}

}  // namespace d3dimpl
