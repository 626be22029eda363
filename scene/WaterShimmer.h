// WaterShimmer: what warm and moving water adds to the picture before anything boils. Heights
// over the surface grid from the top layer's temperature and velocity (the convection shimmer
// the water's vertices are bent by), and the floor's light: caustics focused by the surface's
// slopes, bent again where warm water rises. Pure drawing: reads the solver and the surface
// grid, writes neither.
#pragma once

#include <cstdint>

#include "fluid/SurfaceGrid.h"
#include "platform/win/WinTypes.h"

class FluidSolver;

// A vertex of the floor's light (D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 24 bytes): position,
// mid grey whose alpha says how much of the light map shows, the light map's coordinate.
struct FloorLightVertex {
    float x, y, z;
    DWORD color;
    float u, v;
};
static_assert(sizeof(FloorLightVertex) == 24);

class WaterShimmer {
public:
    static constexpr int kCausticSide = 64;   // texels per side of the floor's light map
    static constexpr int kCausticTexels = kCausticSide * kCausticSide;
    static constexpr float kMaxStep = 0.25f;  // longest step of its clock, seconds

    // Advances the shimmer's clock by elapsed seconds (NaN and negative count as 0, more than
    // kMaxStep as kMaxStep), then recomputes heights and caustics from the fluid and surface.
    void Update(const FluidSolver& solver, const SurfaceGrid& surface, float elapsed);

    // Writes the caustics as 32-bit ARGB texels (row y = 0 at world y = -85, x along the row
    // from world x = -85, each texel 170 / kCausticSide world units) into rows pitch bytes apart.
    // A texel multiplies the floor's colour by twice its own: mid grey (128) where the light is
    // neither gathered nor taken, brighter on the lines, darker between them.
    void WriteCaustics(uint8_t* rows, int pitch) const;

    // The disc the light map is drawn on: the pot's flat floor and the lower part of the
    // rounded corner up the wall, as a triangle list (kFloorLightVertices vertices). The light
    // shows fully over the floor and fades out where the corner turns up the wall.
    static constexpr int kFloorLightSegments = 48;
    static constexpr int kFloorLightVertices = kFloorLightSegments * 7 * 3;
    static void WriteFloorLight(FloorLightVertex* out);

    float heights[SurfaceGrid::kCells] = {};  // world units, added to the drawn surface
    uint8_t caustics[kCausticTexels] = {};    // light on the floor: 0 dark to 255 brightest
    float clock = 0.0f;                       // seconds of shimmer so far

private:
    // Scratch of one Update: the bend of the floor's light by warm water rising under each
    // surface point (-1.5 to 1.5 per axis), the drawn surface's tilt per point, the rays
    // gathered per floor texel, and those softened along the rows.
    float bendX[SurfaceGrid::kCells] = {}, bendY[SurfaceGrid::kCells] = {};
    float slopeX[SurfaceGrid::kCells] = {}, slopeY[SurfaceGrid::kCells] = {};
    float gathered[kCausticTexels] = {};
    float softened[kCausticTexels] = {};
};
