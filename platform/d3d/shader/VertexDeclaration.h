// Vertex-shader declarations: the token list of stream selectors, register bindings, skips and
// constant loads, decoded into a description the device binds attributes and preloads from.
#pragma once

#include "platform/d3d/d3d8types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shader {

constexpr DWORD MAX_DECL_STREAMS = 16;
constexpr DWORD MAX_DECL_REGISTER = 16;  // v0..v15, and 16 (second normal) for fixed function

// One register fed from a stream: `offset` bytes into each vertex of `stream`.
struct VertexElement {
    DWORD stream = 0;
    DWORD offset = 0;     // bytes from the start of the vertex
    DWORD type = 0;       // D3DVSDT_*
    DWORD reg = 0;        // input register v#
};

// Constants loaded into the vertex-shader constant registers when the shader is set.
struct ConstantLoad {
    DWORD first = 0;            // first register
    std::vector<float> values;  // four floats per register
};

struct VertexDeclarationDesc {
    std::vector<VertexElement> elements;
    DWORD streamSize[MAX_DECL_STREAMS] = {};  // bytes each stream's vertex covers (incl. skips)
    std::vector<ConstantLoad> constants;
    uint32_t registerMask = 0;    // bit n: register n is fed by a stream
    size_t tokenCount = 0;        // tokens up to and including the end token
};

// What each data type occupies and how many components it feeds.
struct VertexDataTypeInfo {
    const char* name;
    DWORD bytes;
    DWORD components;
};
// Null for an unknown type.
const VertexDataTypeInfo* GetVertexDataTypeInfo(DWORD type);

// Decodes tokens[0 .. count) up to the end token 0xFFFFFFFF. Tessellator and extension tokens
// are refused (no tessellation here); a register bound twice, an unknown data type, a stream or
// register out of range, a constant load past `maxConstants`, or a missing end token fail with
// a one-line reason. Never reads at or past tokens + count.
bool ParseVertexDeclaration(const DWORD* tokens, size_t count, DWORD maxConstants,
                            VertexDeclarationDesc* out, std::string* error);

}  // namespace shader
