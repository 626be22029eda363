// The one vertex-format decoder: offsets, blend weights and indices, coordinate sizes, and the
// formats it refuses.
#include "platform/d3d/FvfLayout.h"

#include <gtest/gtest.h>

TEST(FvfLayout, OffsetsFollowTheComponentOrder) {
    const FvfLayout lit(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_TRUE(lit.Valid());
    EXPECT_EQ(lit.positionBytes, 12);
    EXPECT_EQ(lit.normal, 12);
    EXPECT_EQ(lit.pointSize, -1);
    EXPECT_EQ(lit.diffuse, 24);
    EXPECT_EQ(lit.specular, -1);
    EXPECT_EQ(lit.tex[0], 28);
    EXPECT_EQ(lit.texDims[0], 2);
    EXPECT_EQ(lit.size, 36u);

    const FvfLayout screen(D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    ASSERT_TRUE(screen.Valid());
    EXPECT_EQ(screen.position, D3DFVF_XYZRHW);
    EXPECT_EQ(screen.blendWeights, 0u);
    EXPECT_EQ(screen.pointSize, 16);
    EXPECT_EQ(screen.specular, 24);
    EXPECT_EQ(screen.size, 28u);
}

TEST(FvfLayout, BlendWeightsIndicesAndCoordinateSizes) {
    // Five betas with the last read as indices: four float weights and a UBYTE4.
    const FvfLayout skinned(D3DFVF_XYZB5 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(0) |
                            D3DFVF_TEXCOORDSIZE1(1));
    ASSERT_TRUE(skinned.Valid());
    EXPECT_EQ(skinned.blendWeights, 4u);
    EXPECT_TRUE(skinned.blendIndices);
    EXPECT_EQ(skinned.positionBytes, 32);
    EXPECT_EQ(skinned.tex[0], 32);
    EXPECT_EQ(skinned.texDims[0], 3);
    EXPECT_EQ(skinned.tex[1], 44);
    EXPECT_EQ(skinned.texDims[1], 1);
    EXPECT_EQ(skinned.size, 48u);

    const FvfLayout fiveWeights(D3DFVF_XYZB5);
    EXPECT_EQ(fiveWeights.blendWeights, 5u);
    EXPECT_FALSE(fiveWeights.blendIndices);

    const FvfLayout oneIndexOnly(D3DFVF_XYZB1 | D3DFVF_LASTBETA_UBYTE4);
    EXPECT_EQ(oneIndexOnly.blendWeights, 0u);
    EXPECT_TRUE(oneIndexOnly.blendIndices);
    EXPECT_EQ(oneIndexOnly.size, 16u);

    // The last-beta flag means nothing without blend weights.
    const FvfLayout plain(D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4);
    EXPECT_FALSE(plain.blendIndices);
    EXPECT_EQ(plain.size, 12u);
}

TEST(FvfLayout, RefusedFormats) {
    for (DWORD fvf : {D3DFVF_XYZ | D3DFVF_RESERVED0, D3DFVF_XYZ | 0x2000u, D3DFVF_XYZ | 0x8000u, D3DFVF_XYZ | 0x900u,
                      D3DFVF_XYZ | 0xF00u}) {
        const FvfLayout refused(fvf);
        EXPECT_FALSE(refused.wellFormed) << std::hex << fvf;
        EXPECT_FALSE(refused.Valid()) << std::hex << fvf;
        EXPECT_EQ(refused.size, 0u) << std::hex << fvf;
    }
    // No position: well formed (a declaration may leave it out) but no vertex buffer format.
    const FvfLayout normalsOnly(D3DFVF_NORMAL | D3DFVF_TEX1);
    EXPECT_TRUE(normalsOnly.wellFormed);
    EXPECT_FALSE(normalsOnly.Valid());
    EXPECT_EQ(normalsOnly.normal, 0);
    EXPECT_EQ(normalsOnly.tex[0], 12);
}
