// Surface grid cells, pushes and their relaxation.
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

