// Reader for DirectX .x files in text and binary form: the standard mesh templates, frames
// applied, every mesh merged into one indexed triangle list with attributes and materials.
#pragma once

#include "platform/d3d/d3d8types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct XMaterial {
    D3DMATERIAL8 material;
    std::string textureFilename;  // empty when the material names no texture
};

// One merged mesh. Per-vertex arrays are as long as `positions`, or empty when no mesh of the
// file has that component.
struct XMeshData {
    std::vector<D3DVECTOR> positions;
    std::vector<D3DVECTOR> normals;
    std::vector<D3DCOLOR> colours;
    std::vector<float> texCoords;     // u, v per vertex
    std::vector<uint32_t> indices;    // three per triangle
    std::vector<DWORD> attributes;    // one per triangle: index into materials
    std::vector<XMaterial> materials; // at least one (the default material when the file has none)

    DWORD Fvf() const;  // D3DFVF_XYZ plus NORMAL, DIFFUSE and TEX1 as present
};

// Result codes of the reader.
constexpr HRESULT XFILE_FILENOTFOUND = static_cast<HRESULT>(0x88760359u);
constexpr HRESULT XFILE_BADFILETYPE = static_cast<HRESULT>(0x8876035Du);     // not an .x file
constexpr HRESULT XFILE_BADFILEVERSION = static_cast<HRESULT>(0x8876035Eu);
constexpr HRESULT XFILE_BADFILEFLOATSIZE = static_cast<HRESULT>(0x8876035Fu);
constexpr HRESULT XFILE_PARSEERROR = static_cast<HRESULT>(0x88760362u);      // malformed content
constexpr HRESULT XFILE_NOTSUPPORTED = E_NOTIMPL;  // compressed .x files

// Parses `size` bytes (no terminating zero needed). On failure `out` is left empty and `error`
// (when given) says what was wrong and where, as "line N: ...".
HRESULT ParseXFile(const void* data, size_t size, XMeshData* out, std::string* error);
