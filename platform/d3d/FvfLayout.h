// Decoding of a flexible vertex format code: which components a vertex holds and where each one
// starts. One decoder for the device's vertex layout, the mesh code's vertex conversion and the
// declaration compiler's "fvf" statement; each applies its own rules on top.
#pragma once

#include "platform/d3d/d3d8types.h"

struct FvfLayout {
    bool wellFormed = false;    // no reserved bits, at most 8 texture coordinate sets
    DWORD position = 0;         // D3DFVF_XYZ, _XYZRHW, _XYZB1 .. _XYZB5; 0: none
    int positionBytes = 0;      // xyz (12), xyzrhw (16), xyz + blend weights (16..32)
    UINT blendWeights = 0;      // floats after xyz, less a last one read as indices
    bool blendIndices = false;  // the last blend weight holds four byte indices (LASTBETA_UBYTE4)
    int normal = -1, pointSize = -1, diffuse = -1, specular = -1;  // byte offsets, -1 when absent
    int texCount = 0;
    int tex[8] = {};      // byte offset of each coordinate set
    int texDims[8] = {};  // floats in each set, 1..4
    UINT size = 0;        // bytes per vertex

    explicit FvfLayout(DWORD fvf) {
        texCount = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
        if ((fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) || texCount > 8) {
            texCount = 0;
            return;
        }
        wellFormed = true;
        position = fvf & D3DFVF_POSITION_MASK;
        if (position == D3DFVF_XYZRHW) {
            positionBytes = 16;
        } else if (position != 0) {
            positionBytes = 12;
            if (position != D3DFVF_XYZ) {
                UINT betas = (position - D3DFVF_XYZRHW) / 2;  // XYZB1 = 1 .. XYZB5 = 5
                blendIndices = (fvf & D3DFVF_LASTBETA_UBYTE4) != 0;
                blendWeights = blendIndices ? betas - 1 : betas;
                positionBytes += static_cast<int>(4 * betas);
            }
        }
        int offset = positionBytes;
        if (fvf & D3DFVF_NORMAL) normal = offset, offset += 12;
        if (fvf & D3DFVF_PSIZE) pointSize = offset, offset += 4;
        if (fvf & D3DFVF_DIFFUSE) diffuse = offset, offset += 4;
        if (fvf & D3DFVF_SPECULAR) specular = offset, offset += 4;
        // Size bits per set: 0 two floats, 1 three, 2 four, 3 one.
        static constexpr int kDims[4] = {2, 3, 4, 1};
        for (int i = 0; i < texCount; ++i) {
            tex[i] = offset;
            texDims[i] = kDims[(fvf >> (16 + 2 * i)) & 3];
            offset += 4 * texDims[i];
        }
        size = static_cast<UINT>(offset);
    }
    // A format a vertex buffer can hold and the device can draw: well formed, with a position.
    bool Valid() const { return wellFormed && position != 0; }
};
