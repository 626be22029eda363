// Vertex layouts from FVF codes: the vertex elements, their offsets and the stride a flexible vertex
// format implies, and the GL attribute format of each element type.
#include "platform/d3d/DeviceImpl.h"
#include "platform/d3d/FvfLayout.h"

namespace d3dimpl {

// Indexed by D3DVSDT_*.
const ElementFormat kElementFormats[] = {
    {4, 1, GL_FLOAT, GL_FALSE, 1},         {8, 2, GL_FLOAT, GL_FALSE, 2},
    {12, 3, GL_FLOAT, GL_FALSE, 3},        {16, 4, GL_FLOAT, GL_FALSE, 4},
    {4, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4},  // D3DCOLOR: ARGB word arrives as (r, g, b, a)
    {4, 4, GL_UNSIGNED_BYTE, GL_FALSE, 4}, {4, 2, GL_SHORT, GL_FALSE, 2},
    {8, 4, GL_SHORT, GL_FALSE, 4},
};

namespace {

void AddElement(VertexLayout* layout, BYTE reg, BYTE type, UINT* offset) {
    DeclElement& e = layout->elements[layout->count++];
    e.stream = 0;
    e.reg = reg;
    e.type = type;
    e.offset = static_cast<WORD>(*offset);
    *offset += kElementFormats[type].bytes;
}

}  // namespace

bool LayoutFromFvf(DWORD fvf, VertexLayout* layout) {
    *layout = VertexLayout{};
    layout->fvf = fvf;
    const FvfLayout format(fvf);
    if (!format.Valid()) return false;
    UINT offset = 0;
    if (format.position == D3DFVF_XYZRHW) {
        AddElement(layout, D3DVSDE_POSITION, D3DVSDT_FLOAT4, &offset);
        layout->pretransformed = true;
    } else {
        AddElement(layout, D3DVSDE_POSITION, D3DVSDT_FLOAT3, &offset);
        if (format.blendWeights > 0) {
            UINT used = format.blendWeights > 4 ? 4 : format.blendWeights;
            AddElement(layout, D3DVSDE_BLENDWEIGHT, static_cast<BYTE>(D3DVSDT_FLOAT1 + used - 1), &offset);
            offset += (format.blendWeights - used) * 4;
        }
        if (format.blendIndices) AddElement(layout, D3DVSDE_BLENDINDICES, D3DVSDT_UBYTE4, &offset);
    }
    if (format.normal >= 0) AddElement(layout, D3DVSDE_NORMAL, D3DVSDT_FLOAT3, &offset);
    if (format.pointSize >= 0) AddElement(layout, D3DVSDE_PSIZE, D3DVSDT_FLOAT1, &offset);
    if (format.diffuse >= 0) AddElement(layout, D3DVSDE_DIFFUSE, D3DVSDT_D3DCOLOR, &offset);
    if (format.specular >= 0) AddElement(layout, D3DVSDE_SPECULAR, D3DVSDT_D3DCOLOR, &offset);
    for (int i = 0; i < format.texCount; ++i) {
        BYTE type = static_cast<BYTE>(D3DVSDT_FLOAT1 + format.texDims[i] - 1);
        AddElement(layout, static_cast<BYTE>(D3DVSDE_TEXCOORD0 + i), type, &offset);
    }
    layout->fvfStride = offset;
    return true;
}

UINT FvfStride(DWORD fvf) {
    VertexLayout layout;
    return LayoutFromFvf(fvf, &layout) ? layout.fvfStride : 0;
}

}  // namespace d3dimpl
