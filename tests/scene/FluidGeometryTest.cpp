// The fluid's drawing geometry: water normals from the surface grid, temperature colours, the
// velocity display's lines and the bubble squares with their shared index pattern.
#include "scene/FluidGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "fluid/BubblePool.h"
#include "fluid/FluidSolver.h"
#include "fluid/SurfaceGrid.h"
#include "platform/win/Rand.h"
#include "platform/win/RunState.h"

namespace {

Bubble Aged(float age) { return {0.0f, 0.0f, 10.0f, 1.0f, age, 0}; }

}  // namespace

TEST(WaterVertices, RestingWaterGetsJitteredUpwardNormals) {
    const win::RunScope run;  // rand from its first value
    SurfaceGrid grid;
    std::vector<Vector3> rest;
    for (int i = 0; i < 200; ++i) rest.push_back({-84.0f + 0.8f * i, 40.0f - 0.3f * i, 70.0f});
    std::vector<WaterVertex> draw(rest.size());
    WriteWaterVertices(grid, rest.data(), draw.data(), static_cast<UINT>(rest.size()));
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

TEST(WaterVertices, NormalsFollowTheDisplacementToTheNextColumnAndRow) {
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
    WriteWaterVertices(grid, rest, draw, 2);
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

TEST(VelocityDisplay, RestingFluidDraws156ZeroLengthLinesAndVelocityScales) {
    std::unique_ptr<FluidSolver> s;
    ASSERT_EQ(FluidSolver::Create(8, &s), S_OK);
    std::vector<LineVertex> lines(2 * 512);
    ASSERT_EQ(FillVelocityLines(*s, lines.data()), 156u);
    for (UINT i = 0; i < 156; ++i) {
        EXPECT_EQ(lines[2 * i].x, lines[2 * i + 1].x);
        EXPECT_EQ(lines[2 * i].z, lines[2 * i + 1].z);
        EXPECT_EQ(lines[2 * i].color, 0x800000FFu);
        EXPECT_LE(lines[2 * i].z, 70.0f);
    }
    // The first cell inside the wall: row j = 0 (y = -74.375) keeps only its middle four.
    EXPECT_FLOAT_EQ(lines[0].x, -31.875f);
    EXPECT_FLOAT_EQ(lines[0].y, -74.375f);
    EXPECT_FLOAT_EQ(lines[0].z, 10.625f);
    EXPECT_FLOAT_EQ(lines[2 * 155].z, 53.125f);

    // Cell (2, 3, 1): one domain length per time unit is n * h = 170 world units.
    int p = 2 + 8 * 3 + 64 * 1;
    s->u[p] = 0.1f;
    s->w[p] = -0.5f;
    s->temperature[p] = 100.0f;
    ASSERT_EQ(FillVelocityLines(*s, lines.data()), 156u);
    // Lines before cell (2, 3, 1): the 52 of layer 0, rows 0, 1 and 2 of layer 1 (4, 6 and 8
    // cells inside the wall), then cells 0 and 1 of row 3 (all eight of its cells are inside).
    const int line = 52 + 4 + 6 + 8 + 2;
    const LineVertex& a = lines[2 * line];
    const LineVertex& b = lines[2 * line + 1];
    EXPECT_FLOAT_EQ(a.x, -85.0f + 2.5f * 21.25f);
    EXPECT_FLOAT_EQ(a.y, -85.0f + 3.5f * 21.25f);
    EXPECT_FLOAT_EQ(a.z, 1.5f * 21.25f);
    EXPECT_FLOAT_EQ(b.x - a.x, 17.0f);
    EXPECT_FLOAT_EQ(b.z - a.z, -85.0f);
    EXPECT_EQ(b.color, 0x80FEFC01u);
}

// Every grid size draws the cells whose centres lie inside the pot's wall and below the water
// surface: counted from the cell centres in double precision, they are 12 x 2 at n = 4,
// 52 x 3 at 8, 208 x 7 at 16, 812 x 13 at 32 and 3228 x 26 at 64.
TEST(VelocityDisplay, LineCountFollowsTheGridSize) {
    const std::pair<int, UINT> expected[] = {{4, 24}, {8, 156}, {16, 1456}, {32, 10556}, {64, 83928}};
    for (const auto& [n, count] : expected) {
        std::unique_ptr<FluidSolver> s;
        ASSERT_EQ(FluidSolver::Create(n, &s), S_OK);
        // Room for n^3 lines and a guard after them.
        std::vector<LineVertex> lines(2 * s->nCubed + 1, LineVertex{0, 0, 0, 0xDEADBEEFu});
        for (int p = 0; p < s->nCubed; ++p) s->u[p] = 0.01f;
        ASSERT_EQ(FillVelocityLines(*s, lines.data()), count) << n;
        EXPECT_EQ(lines[2 * s->nCubed].color, 0xDEADBEEFu);
        for (UINT i = 0; i < count; ++i) {
            const LineVertex& a = lines[2 * i];
            ASSERT_LE(a.x * a.x + a.y * a.y, 7225.0f) << n << " line " << i;
            ASSERT_LT(a.z, 70.0f) << n << " line " << i;
            ASSERT_NEAR(lines[2 * i + 1].x - a.x, 1.7f, 1e-4f) << n;  // 0.01 * n * h, h = 170 / n
        }
    }
}

TEST(BubbleQuad, CornersAndSpriteCoordinates) {
    BubbleVertex v[4];
    BubbleQuad(v, {1.0f, 2.0f, 3.0f}, 2.0f, Matrix4::Identity());
    const float expected[4][5] = {
        {-1, 4, 3, 0, 0}, {3, 4, 3, 1, 0}, {3, 0, 3, 1, 1}, {-1, 0, 3, 0, 1}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(v[k].x, expected[k][0]) << k;
        EXPECT_FLOAT_EQ(v[k].y, expected[k][1]) << k;
        EXPECT_FLOAT_EQ(v[k].z, expected[k][2]) << k;
        EXPECT_EQ(v[k].u, expected[k][3]) << k;
        EXPECT_EQ(v[k].v, expected[k][4]) << k;
    }

    // Turned by a camera looking along +y with z up: right is -x, up is +z; the camera's own
    // translation must not move the square.
    Matrix4 camera{{{-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}, {500, -20, 300, 1}}};
    BubblePool pool;
    pool.Allocate({10.0f, 20.0f, 30.0f, 0.5f, 0.0f, 0});
    BubbleVertex q[4];
    ASSERT_EQ(WriteQuads(pool, camera, q, 2000), 1u);
    EXPECT_FLOAT_EQ(q[0].x, 10.5f);   // (-1, 1) -> +0.5 x (right is -x), +0.5 z
    EXPECT_FLOAT_EQ(q[0].y, 20.0f);
    EXPECT_FLOAT_EQ(q[0].z, 30.5f);
    EXPECT_FLOAT_EQ(q[2].x, 9.5f);
    EXPECT_FLOAT_EQ(q[2].z, 29.5f);
}

TEST(BubbleQuad, AtMost2000SquaresAndTheSharedIndexPattern) {
    BubblePool pool;
    for (int i = 0; i < 2500; ++i) pool.Allocate(Aged(static_cast<float>(i)));
    std::vector<BubbleVertex> vertices(4 * 2000);
    EXPECT_EQ(WriteQuads(pool, Matrix4::Identity(), vertices.data(), 2000), 2000u);
    EXPECT_EQ(pool.count, 2500);

    std::vector<WORD> indices(6 * 2000);
    WriteQuadIndices(indices.data(), 2000);
    const WORD last[6] = {7996, 7997, 7998, 7996, 7998, 7999};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(indices[6 * 1999 + i], last[i]);
    EXPECT_EQ(indices[3], 0);
    EXPECT_EQ(indices[5], 3);
}
