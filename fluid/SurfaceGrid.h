// The water surface's coarse 32 x 32 grid of displacements that bubbles push and that relaxes
// over time; the scene bends the water's normals with it.
#pragma once

#include "math/VectorMath.h"
#include "platform/win/WinTypes.h"

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

    // The relaxation of UpdateWaterMesh: every component of every cell times
    // 1 / (elapsed * 20 + 1); elapsed is the frame's seconds (negative counts as 0).
    void Relax(float elapsed);

    // Zero displacement everywhere.
    void Clear();

    Vector3 cell[kCells] = {};     // accumulated displacement, world units
};
