// Geometry derived from the fluid each frame: the water surface's bent normals from a coarse
// 32 x 32 grid of displacements that bubbles push and that relaxes over time, and the
// velocity display's coloured lines. The arithmetic works on plain vertex arrays; the fluid
// component locks the device buffers and hands them in.
#pragma once

#include "math/VectorMath.h"
#include "platform/win/WinTypes.h"

class FluidSolver;
class SceneMedia;

// A vertex of the water's draw copy: position and the unnormalised normal (D3DFVF_XYZ |
// D3DFVF_NORMAL, 24 bytes).
struct WaterVertex {
    float x, y, z;
    float nx, ny, nz;
};
static_assert(sizeof(WaterVertex) == 24);

// A velocity-display vertex: position and ARGB colour (D3DFVF_XYZ | D3DFVF_DIFFUSE, 16 bytes).
struct LineVertex {
    float x, y, z;
    DWORD color;
};
static_assert(sizeof(LineVertex) == 16);

class SurfaceGrid {
public:
    static constexpr int kSide = 32;                  // grid points per row and column
    static constexpr int kCells = kSide * kSide;      // 1024
    static constexpr float kPitch = 5.3125f;          // world units between grid points (170/32)

    // Cell e = row * 32 + column of the grid point nearest to world (x, y); x runs along
    // columns and y along rows from -85, wrapping, so x = +85 falls on column 0 again.
    // Non-finite coordinates give cell 0.
    static int CellOf(float x, float y);

    // cell[CellOf(x, y)] += factor * d, component by component.
    void PushSurface(float x, float y, const Vector3& d, float factor);

    // The vertex rewrite of UpdateWaterMesh: for each of count vertices, the draw copy gets the
    // rest position and the normal (atan(sx) + jitter, atan(sy) + jitter, 1), where sx and sy
    // are the displacement differences to the next column and the next row of the vertex's
    // cell (wrapping over the whole array) and each jitter is (rand() - 16383) * 6.1e-8 rad.
    void WriteWaterVertices(const Vector3* rest, WaterVertex* draw, UINT count) const;

    // The relaxation of UpdateWaterMesh: every component of every cell times
    // 1 / (elapsed * 20 + 1); elapsed is the frame's seconds (negative counts as 0).
    void Relax(float elapsed);

    // Zero displacement everywhere.
    void Clear();

    SceneMedia* media = nullptr;   // holds the water's rest and draw copies; not owned
    Vector3 cell[kCells] = {};     // accumulated displacement, world units
};

// Colour of a temperature on the 0..100 scale as 0x80rrggbb: blue when cold, purple at 50,
// orange and then yellow when hot. Values outside the scale are taken at its ends.
DWORD TemperatureColor(float t);

// Fills the velocity display: one line (two vertices) from the centre of each water cell of
// the pot along the cell's velocity (one domain length per time unit draws n * h = 170 world
// units), coloured by the cell's temperature. out needs room for 2 * n^3 vertices; the
// result is the number of lines written (192 for n = 8).
UINT FillVelocityLines(const FluidSolver& solver, LineVertex* out);
