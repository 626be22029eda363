// Surface grid cells, the water normals and their relaxation, temperature colours and the
// velocity display's lines.
#include "fluid/SurfaceGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "fluid/FluidSolver.h"
#include "platform/win/Rand.h"

TEST(SurfaceGrid, CellOfAWorldPositionWrapsAtTheFarEdge) {
    struct Case {
        float x;
        int column;
    };
    // -85 and +85 are the same grid point; 82.4 is already nearer to it than to column 31.
    for (Case c : {Case{85.0f, 0}, Case{-85.0f, 0}, Case{80.0f, 31}, Case{82.4f, 0},
                   Case{0.0f, 16}, Case{-82.0f, 1}}) {
        EXPECT_EQ(SurfaceGrid::CellOf(c.x, -85.0f), c.column) << c.x;
        EXPECT_EQ(SurfaceGrid::CellOf(-85.0f, c.x), 32 * c.column) << c.x;
    }
    EXPECT_EQ(SurfaceGrid::CellOf(std::numeric_limits<float>::quiet_NaN(), 1e30f), 0);
}

TEST(SurfaceGrid, PushAndRelax) {
    SurfaceGrid grid;
    grid.PushSurface(80.0f, 0.0f, {1.0f, 2.0f, 4.0f}, 1.0f);
    grid.PushSurface(80.0f, 0.0f, {1.0f, 2.0f, 4.0f}, 0.5f);
    const Vector3& c = grid.cell[16 * 32 + 31];
    EXPECT_FLOAT_EQ(c.x, 1.5f);
    EXPECT_FLOAT_EQ(c.y, 3.0f);
    EXPECT_FLOAT_EQ(c.z, 6.0f);
    grid.Relax(0.05f);   // k = 1 / (0.05 * 20 + 1) = 1/2
    EXPECT_FLOAT_EQ(c.x, 0.75f);
    EXPECT_FLOAT_EQ(c.z, 3.0f);
    grid.Relax(0.0f);
    EXPECT_FLOAT_EQ(c.z, 3.0f);
}

TEST(SurfaceGrid, RestingWaterGetsJitteredUpwardNormals) {
    win::ResetRandForTesting();
    SurfaceGrid grid;
    std::vector<Vector3> rest;
    for (int i = 0; i < 200; ++i) rest.push_back({-84.0f + 0.8f * i, 40.0f - 0.3f * i, 70.0f});
    std::vector<WaterVertex> draw(rest.size());
    grid.WriteWaterVertices(rest.data(), draw.data(), static_cast<UINT>(rest.size()));
    for (size_t i = 0; i < rest.size(); ++i) {
        EXPECT_EQ(draw[i].x, rest[i].x);
        EXPECT_EQ(draw[i].y, rest[i].y);
        EXPECT_EQ(draw[i].z, 70.0f);
        EXPECT_LE(std::fabs(draw[i].nx), 0.0011f);
        EXPECT_LE(std::fabs(draw[i].ny), 0.0011f);
        EXPECT_EQ(draw[i].nz, 1.0f);
    }
    // The jitter really varies (two rand() calls per vertex).
    EXPECT_NE(draw[0].nx, draw[0].ny);
    EXPECT_NE(draw[0].nx, draw[1].nx);
}

TEST(SurfaceGrid, NormalsFollowTheDisplacementToTheNextColumnAndRow) {
    SurfaceGrid grid;
    // Cell 31 (last column of row 0): its next column is cell 32, the first of row 1.
    grid.cell[31] = {1.0f, 0.0f, 0.0f};
    grid.cell[32] = {0.0f, 0.0f, 0.0f};
    // Cell 1023 (last row): its next row wraps to cell 31 of row 0.
    grid.cell[1023] = {0.0f, 5.0f, 0.0f};
    Vector3 rest[2] = {{80.0f, -85.0f, 70.0f}, {80.0f, 80.0f, 70.0f}};
    ASSERT_EQ(SurfaceGrid::CellOf(rest[0].x, rest[0].y), 31);
    ASSERT_EQ(SurfaceGrid::CellOf(rest[1].x, rest[1].y), 1023);
    WaterVertex draw[2];
    grid.WriteWaterVertices(rest, draw, 2);
    EXPECT_NEAR(draw[0].nx, std::atan(1.0f), 0.0011f);
    EXPECT_NEAR(draw[0].ny, 0.0f, 0.0011f);
    EXPECT_NEAR(draw[1].nx, 0.0f, 0.0011f);   // cells 1023 and 0: no x displacement
    EXPECT_NEAR(draw[1].ny, std::atan(5.0f), 0.0011f);   // next row wraps to cell 31
}

TEST(TemperatureColor, EndsMiddleAndMonotony) {
    EXPECT_EQ(TemperatureColor(0.0f), 0x800000FFu);
    EXPECT_EQ(TemperatureColor(100.0f), 0x80FEFC01u);   // red 254, green 252, blue 1
    EXPECT_EQ(TemperatureColor(50.0f), 0x807F0080u);    // purple, no green yet
    EXPECT_EQ(TemperatureColor(75.0f), 0x80BF7E40u);    // red 191, green 2 * 63
    EXPECT_EQ(TemperatureColor(-3.0f), TemperatureColor(0.0f));
    EXPECT_EQ(TemperatureColor(250.0f), TemperatureColor(100.0f));
    EXPECT_EQ(TemperatureColor(std::numeric_limits<float>::quiet_NaN()), TemperatureColor(0.0f));
    DWORD previous = TemperatureColor(0.0f);
    for (int i = 1; i <= 1000; ++i) {
        DWORD c = TemperatureColor(i * 0.1f);
        EXPECT_GE((c >> 16) & 0xFF, (previous >> 16) & 0xFF);
        EXPECT_GE((c >> 8) & 0xFF, (previous >> 8) & 0xFF);
        EXPECT_EQ(c >> 24, 0x80u);
        EXPECT_EQ((c & 0xFF) + ((c >> 16) & 0xFF), 255u);
        previous = c;
    }
}

TEST(VelocityDisplay, RestingFluidDraws192ZeroLengthLinesAndVelocityScales) {
    std::unique_ptr<FluidSolver> s;
    ASSERT_EQ(FluidSolver::Create(8, &s), S_OK);
    std::vector<LineVertex> lines(2 * 512);
    ASSERT_EQ(FillVelocityLines(*s, lines.data()), 192u);
    for (UINT i = 0; i < 192; ++i) {
        EXPECT_EQ(lines[2 * i].x, lines[2 * i + 1].x);
        EXPECT_EQ(lines[2 * i].z, lines[2 * i + 1].z);
        EXPECT_EQ(lines[2 * i].color, 0x800000FFu);
        EXPECT_LE(lines[2 * i].z, 70.0f);
    }
    EXPECT_FLOAT_EQ(lines[0].x, -74.375f);
    EXPECT_FLOAT_EQ(lines[0].z, 10.625f);
    EXPECT_FLOAT_EQ(lines[2 * 191].z, 53.125f);

    // Cell (2, 3, 1): one domain length per time unit is n * h = 170 world units.
    int p = 2 + 8 * 3 + 64 * 1;
    s->u[p] = 0.1f;
    s->w[p] = -0.5f;
    s->temperature[p] = 100.0f;
    ASSERT_EQ(FillVelocityLines(*s, lines.data()), 192u);
    const LineVertex& a = lines[2 * p];
    const LineVertex& b = lines[2 * p + 1];
    EXPECT_FLOAT_EQ(a.x, -85.0f + 2.5f * 21.25f);
    EXPECT_FLOAT_EQ(a.y, -85.0f + 3.5f * 21.25f);
    EXPECT_FLOAT_EQ(a.z, 1.5f * 21.25f);
    EXPECT_FLOAT_EQ(b.x - a.x, 17.0f);
    EXPECT_FLOAT_EQ(b.z - a.z, -85.0f);
    EXPECT_EQ(b.color, 0x80FEFC01u);
}
