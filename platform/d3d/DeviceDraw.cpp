// Drawing: the four draw entry points and the steps of a draw (bounds checks of vertices and indices against
// the bound buffers, the program and GL state, the vertex streams, the draw call itself).
// Layouts are in DeviceLayout.cpp, the program key in DeviceProgramKey.cpp, GL state in DeviceGlState.cpp.
#include <cstring>

#include "platform/d3d/DeviceImpl.h"

namespace d3dimpl {

namespace {

GLenum PrimitiveMode(D3DPRIMITIVETYPE t) {
    static const GLenum kTable[] = {GL_POINTS,    GL_POINTS,         GL_LINES,          GL_LINE_STRIP,
                                    GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
    return kTable[t];
}

// Vertices needed for a primitive count; 0 for an invalid type.
UINT VertexCount(D3DPRIMITIVETYPE t, UINT primitives) {
    switch (t) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
    }
}

}  // namespace

HRESULT Device::Draw(const DrawCall& call) {
    if (call.type < D3DPT_POINTLIST || call.type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDCALL;
    if (call.primitives > caps.MaxPrimitiveCount) return D3DERR_INVALIDCALL;
    if (call.primitives == 0) return D3D_OK;
    const VertexLayout* layout = CurrentLayout();
    if (!layout) return D3DERR_INVALIDCALL;
    DrawBounds bounds;
    HRESULT hr = CheckDrawBounds(*layout, call, &bounds);
    if (FAILED(hr)) return hr;
    if (lostState) return D3D_OK;

    MakeCurrent();
    FillPlan fill;
    hr = UseDrawProgram(*layout, call.type, &fill);
    if (FAILED(hr)) return hr;
    BindDrawStreams(*layout, call, bounds);
    IssueDraw(*layout, call, bounds, fill);
#ifdef SIMMERGLASS_GL_DEBUG
    assert(d3dgl::CheckError("draw", __FILE__, __LINE__));
#endif
    return D3D_OK;
}

HRESULT Device::CheckDrawBounds(const VertexLayout& layout, const DrawCall& call, DrawBounds* bounds) {
    const bool up = call.upVertices != nullptr;
    const UINT count = VertexCount(call.type, call.primitives);  // vertices, or indices when indexed
    bounds->count = count;
    bounds->indexSize = 0;
    bounds->indices = nullptr;
    UINT maxVertex;  // largest vertex index read, before the base vertex
    if (call.indexed) {
        if (up) {
            bounds->indexSize = call.upIndexFormat == D3DFMT_INDEX32 ? 4 : 2;
            if (call.upIndexFormat != D3DFMT_INDEX16 && call.upIndexFormat != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
            UINT best = 0;
            for (UINT i = 0; i < count; ++i) {
                UINT v;
                if (bounds->indexSize == 4) {
                    DWORD d;
                    std::memcpy(&d, static_cast<const BYTE*>(call.upIndices) + i * 4, 4);
                    v = d;
                } else {
                    WORD w;
                    std::memcpy(&w, static_cast<const BYTE*>(call.upIndices) + i * 2, 2);
                    v = w;
                }
                best = v > best ? v : best;
            }
            maxVertex = best;
            if (maxVertex >= static_cast<uint64_t>(call.minIndex) + call.vertexRange) return D3DERR_INVALIDCALL;
        } else {
            IndexBuffer* ib = state.indices;
            if (!ib) return D3DERR_INVALIDCALL;
            bounds->indices = ib;
            bounds->indexSize = ib->IndexSize();
            if ((static_cast<uint64_t>(call.startIndex) + count) * bounds->indexSize > ib->Size())
                return D3DERR_INVALIDCALL;
            maxVertex = ib->MaxIndex(call.startIndex, count);
            if (static_cast<uint64_t>(maxVertex) + state.baseVertexIndex > 0xFFFFFFFFull) return D3DERR_INVALIDCALL;
            maxVertex += state.baseVertexIndex;
        }
    } else {
        maxVertex = up ? count - 1 : call.startVertex + count - 1;
        if (!up && static_cast<uint64_t>(call.startVertex) + count - 1 > 0xFFFFFFFFull) return D3DERR_INVALIDCALL;
    }
    bounds->maxVertex = maxVertex;
    // Every element of every vertex the draw can reach must lie inside its buffer.
    for (UINT i = 0; i < layout.count; ++i) {
        const DeclElement& e = layout.elements[i];
        UINT end = e.offset + kElementFormats[e.type].bytes;
        uint64_t size;
        UINT stride;
        if (up) {
            if (e.stream != 0) return D3DERR_INVALIDCALL;
            stride = call.upStride;
            size = static_cast<uint64_t>(call.upStride) * (maxVertex + 1);
        } else {
            const StreamSlot& s = state.streams[e.stream];
            if (!s.buffer || s.buffer->Pool() == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
            stride = s.stride;
            size = s.buffer->Size();
        }
        if (stride == 0 || end > stride) return D3DERR_INVALIDCALL;
        if (static_cast<uint64_t>(maxVertex) * stride + end > size) return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::UseDrawProgram(const VertexLayout& layout, D3DPRIMITIVETYPE type, FillPlan* fill) {
    ProgramKey key;
    BuildProgramKey(layout, &key);
    const DWORD fillMode = state.renderStates[D3DRS_FILLMODE];
    if (type == D3DPT_POINTLIST || fillMode == D3DFILL_POINT)
        key.pointSprite = state.renderStates[D3DRS_POINTSPRITEENABLE] ? 1 : 0;
    // Wireframe and point fill: the draw's edges or vertices, each once, as lines or points. With
    // culling the edges come with their triangles' third vertices and the geometry stage culls;
    // culled points are the draw's own triangles, each kept one giving its three vertices.
    fill->list = false;
    fill->kind = FillList::kEdges;
    if (type >= D3DPT_TRIANGLELIST && (fillMode == D3DFILL_WIREFRAME || fillMode == D3DFILL_POINT)) {
        const DWORD cullMode = state.renderStates[D3DRS_CULLMODE];
        const bool culled = cullMode == D3DCULL_CW || cullMode == D3DCULL_CCW;
        key.fillKeepBack = culled && cullMode == D3DCULL_CW ? 1 : 0;
        if (fillMode == D3DFILL_WIREFRAME) {
            fill->list = true;
            fill->kind = culled ? FillList::kEdgesWithFaces : FillList::kEdges;
            key.fillGeometry = culled ? 1 : 0;
        } else {
            fill->list = !culled;
            fill->kind = FillList::kPoints;
            key.fillGeometry = culled ? 2 : 0;
        }
    }
    if (keyDirty || !currentProgram || !(key == lastKey)) {
        FixedProgram* program = ProgramFor(key);
        if (!program) return D3DERR_DRIVERINTERNALERROR;
        if (program != currentProgram) glUseProgram(program->program);
        currentProgram = program;
        lastKey = key;
        keyDirty = false;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    ApplyGlState();
    if (key.clipPlanes != clipPlanesEnabled) {
        // Enable exactly the clip distances the program writes.
        for (UINT i = 0; i < kMaxClipPlanes; ++i)
            (key.clipPlanes & (1u << i)) ? glEnable(GL_CLIP_DISTANCE0 + i) : glDisable(GL_CLIP_DISTANCE0 + i);
        clipPlanesEnabled = key.clipPlanes;
    }
    UINT stageMask = 0;
    if (boundPixelShader) {
        stageMask = boundPixelShader->stage.samplerMask;
    } else {
        for (UINT s = 0; s < key.stageCount; ++s) stageMask |= key.stages[s].textured ? 1u << s : 0;
    }
    ApplySamplers(stageMask);
    UploadUniforms(*currentProgram, key);
    UploadShaderConstants(*currentProgram);
    return D3D_OK;
}

void Device::BindDrawStreams(const VertexLayout& layout, const DrawCall& call, const DrawBounds& bounds) {
    GLuint buffers[kMaxStreams] = {};
    UINT strides[kMaxStreams] = {}, offsets[kMaxStreams] = {};
    if (call.upVertices) {
        size_t bytes = static_cast<size_t>(call.upStride) * (bounds.maxVertex + 1);
        glBindBuffer(GL_ARRAY_BUFFER, upVertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), call.upVertices, GL_STREAM_DRAW);
        buffers[0] = upVertexBuffer;
        strides[0] = call.upStride;
        // The storage was replaced: attributes must point at it again.
        for (BoundAttrib& b : boundAttribs) {
            if (b.buffer == upVertexBuffer) b.buffer = 0;
        }
    } else {
        for (UINT i = 0; i < layout.count; ++i) {
            BYTE s = layout.elements[i].stream;
            if (!buffers[s]) {
                buffers[s] = state.streams[s].buffer->Upload();
                strides[s] = state.streams[s].stride;
            }
        }
    }
    BindVertexLayout(layout, buffers, strides, offsets);
}

void Device::IssueDraw(const VertexLayout& layout, const DrawCall& call, const DrawBounds& bounds,
                       const FillPlan& fill) {
    const bool up = call.upVertices != nullptr;
    const UINT count = bounds.count;
    const UINT indexSize = bounds.indexSize;
    IndexBuffer* ib = bounds.indices;
    if (fill.list) {
        IssueFillListDraw(layout, call, bounds, fill.kind);
    } else if (!call.indexed) {
        glDrawArrays(PrimitiveMode(call.type), up ? 0 : static_cast<GLint>(call.startVertex),
                     static_cast<GLsizei>(count));
    } else {
        GLenum type = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        if (up) {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(count) * indexSize, call.upIndices,
                         GL_STREAM_DRAW);
            boundElementBuffer = upIndexBuffer;
            glDrawElements(PrimitiveMode(call.type), static_cast<GLsizei>(count), type, nullptr);
        } else {
            GLuint name = ib->Upload();
            if (boundElementBuffer != name) {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name);
                boundElementBuffer = name;
            }
            glDrawElementsBaseVertex(PrimitiveMode(call.type), static_cast<GLsizei>(count), type,
                                     reinterpret_cast<const void*>(static_cast<uintptr_t>(call.startIndex) * indexSize),
                                     static_cast<GLint>(state.baseVertexIndex));
        }
    }
}

void Device::IssueFillListDraw(const VertexLayout& layout, const DrawCall& call, const DrawBounds& bounds,
                               FillList kind) {
    const bool up = call.upVertices != nullptr;
    TriangleSource triangles{call.type, call.primitives, nullptr, bounds.indexSize, 0, nullptr, 0, 0};
    FillListKey listKey;
    listKey.type = static_cast<BYTE>(call.type);
    listKey.primitives = call.primitives;
    listKey.kind = kind;
    Buffer* source = nullptr;
    GLint base = 0;
    if (call.indexed) {
        if (up) {
            triangles.indices = static_cast<const BYTE*>(call.upIndices);
        } else {
            source = bounds.indices;
            triangles.indices = bounds.indices->Data() + static_cast<size_t>(call.startIndex) * bounds.indexSize;
            listKey.start = call.startIndex;
            base = static_cast<GLint>(state.baseVertexIndex);
        }
    } else {
        // Vertices are compared by the bytes the draw reads; only when they all come from stream 0.
        UINT vertexBytes = 0;
        bool oneStream = true;
        for (UINT i = 0; i < layout.count; ++i) {
            const DeclElement& e = layout.elements[i];
            oneStream = oneStream && e.stream == 0;
            UINT end = e.offset + kElementFormats[e.type].bytes;
            vertexBytes = end > vertexBytes ? end : vertexBytes;
        }
        triangles.stride = up ? call.upStride : state.streams[0].stride;
        triangles.vertexBytes = oneStream ? vertexBytes : 0;
        if (up) {
            triangles.vertices = static_cast<const BYTE*>(call.upVertices);
        } else {
            triangles.firstVertex = call.startVertex;
            listKey.start = call.startVertex;
            if (state.streams[0].buffer) {
                source = state.streams[0].buffer;
                triangles.vertices = source->Data() + static_cast<size_t>(call.startVertex) * triangles.stride;
            } else {
                triangles.vertexBytes = 0;
            }
            listKey.stride = triangles.stride;
            listKey.vertexBytes = triangles.vertexBytes;
        }
    }
    if (source) listKey.version = source->Version();
    GLsizei listCount = BindFillList(source, listKey, triangles);
    if (listCount > 0) glDrawElementsBaseVertex(FillListMode(kind), listCount, GL_UNSIGNED_INT, nullptr, base);
}

GLsizei Device::BindFillList(Buffer* source, const FillListKey& key, const TriangleSource& triangles) {
    FillListCache::Entry scratch;
    FillListCache::Entry* entry = &scratch;
    if (source) {
        FillListCache& cache = source->FillLists();
        for (FillListCache::Entry& e : cache.entries) {
            if (e.buffer && e.key == key) {
                if (boundElementBuffer != e.buffer) {
                    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, e.buffer);
                    boundElementBuffer = e.buffer;
                }
                return e.indices;
            }
        }
        entry = &cache.entries[cache.next];
        cache.next = (cache.next + 1) % FillListCache::kEntries;
        if (!entry->buffer) glGenBuffers(1, &entry->buffer);
    } else {
        // Lists of user-pointer draws are made each time in the user-pointer index buffer.
        entry->buffer = upIndexBuffer;
    }
    BuildFillList(triangles, key.kind, &fillListScratch);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, entry->buffer);
    boundElementBuffer = entry->buffer;
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(fillListScratch.size() * sizeof(uint32_t)),
                 fillListScratch.data(), source ? GL_STATIC_DRAW : GL_STREAM_DRAW);
    entry->key = key;
    entry->indices = static_cast<GLsizei>(fillListScratch.size());
    return entry->indices;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) {
    return Draw({.type = primitiveType, .primitives = primitiveCount, .startVertex = startVertex});
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount) {
    return Draw({.type = primitiveType,
                 .primitives = primitiveCount,
                 .indexed = true,
                 .startIndex = startIndex,
                 .minIndex = minIndex,
                 .vertexRange = numVertices});
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                                const void* vertexStreamZeroData, UINT vertexStreamZeroStride) {
    if (!vertexStreamZeroData || vertexStreamZeroStride == 0) return D3DERR_INVALIDCALL;
    HRESULT hr = Draw({.type = primitiveType,
                       .primitives = primitiveCount,
                       .upVertices = vertexStreamZeroData,
                       .upStride = vertexStreamZeroStride});
    // As on the platform, a user-pointer draw leaves stream 0 unset.
    if (SUCCEEDED(hr)) SetStreamSource(0, nullptr, 0);
    return hr;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex, UINT numVertexIndices,
                                       UINT primitiveCount, const void* indexData, D3DFORMAT indexDataFormat,
                                       const void* vertexStreamZeroData, UINT vertexStreamZeroStride) {
    if (!vertexStreamZeroData || !indexData || vertexStreamZeroStride == 0 || numVertexIndices == 0)
        return D3DERR_INVALIDCALL;
    HRESULT hr = Draw({.type = primitiveType,
                       .primitives = primitiveCount,
                       .indexed = true,
                       .minIndex = minVertexIndex,
                       .vertexRange = numVertexIndices,
                       .upVertices = vertexStreamZeroData,
                       .upStride = vertexStreamZeroStride,
                       .upIndices = indexData,
                       .upIndexFormat = indexDataFormat});
    if (SUCCEEDED(hr)) {
        SetStreamSource(0, nullptr, 0);
        SetIndices(nullptr, 0);
    }
    return hr;
}

}  // namespace d3dimpl
