// The fluid's drawing geometry: vertex layouts and the writers that fill locked device buffers
// from the simulation (water normals, velocity lines, bubble squares).
#pragma once

#include <cstdint>

#include "math/VectorMath.h"
#include "platform/win/WinTypes.h"

class BubblePool;
class FluidSolver;
class SurfaceGrid;

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

// A bubble-square vertex: position and sprite coordinate (D3DFVF_XYZ | D3DFVF_TEX1, 20 bytes).
struct BubbleVertex {
    float x, y, z;
    float u, v;
};
static_assert(sizeof(BubbleVertex) == 20);

// [SECTION] Reading the fluid for drawing

// The velocity (domain lengths per solver time unit) and temperature of one grid layer k
// (0 = bottom) at world (x, y), interpolated bilinearly between the cell centres and periodic
// like the grid. Non-finite coordinates read the layer at its first cell. Reads only: the
// solver's own sampler is left alone.
struct LayerSample {
    float u, v, w;
    float temperature;
};
LayerSample SampleLayer(const FluidSolver& solver, int k, float x, float y);

// World units per second of a velocity of one domain length per solver time unit
// (170 units per domain, five time units per second).
constexpr float kWorldSpeedPerVelocity = 170.0f * 5.0f;

// A fixed integer hash and its value in [0, 1): the drawing's own random numbers. Drawing never
// calls rand(), whose sequence belongs to the simulation.
uint32_t DrawHash(uint32_t a, uint32_t b, uint32_t c);
float DrawHashUnit(uint32_t a, uint32_t b, uint32_t c);

// Smooth value noise in [-1, 1] over (x, y, t), lattice spacing 1; seed picks the pattern.
float DrawNoise(float x, float y, float t, uint32_t seed);

// [SECTION] Water surface

// The vertex rewrite of UpdateWaterMesh: for each of count vertices, the draw copy gets the
// rest position and the normal (atan(sx) + jitter, atan(sy) + jitter, 1), where sx and sy
// are the displacement differences to the next column and the next row of the vertex's
// cell (wrapping over the whole array) and each jitter is (rand() - 16383) * 6.1e-8 rad.
// shimmer, when given, holds SurfaceGrid::kCells heights (world units) drawn on top: each
// vertex is raised by its cell's height, and the height differences to the next column and row
// add to sx and sy. It changes nothing but the drawing (rand() is called as often either way).
void WriteWaterVertices(const SurfaceGrid& grid, const Vector3* rest, WaterVertex* draw, UINT count,
                        const float* shimmer = nullptr);

// [SECTION] Velocity display

// Colour of a temperature on the 0..100 scale as 0x80rrggbb: blue when cold, purple at 50,
// orange and then yellow when hot. Values outside the scale are taken at its ends.
DWORD TemperatureColor(float t);

// Fills the velocity display: one line (two vertices) from the centre of each water cell
// inside the pot's wall (centre within radius 85 of the axis, at most 70 high) along the
// cell's velocity (one domain length per time unit draws n * h = 170 world units), coloured by
// the cell's temperature. out needs room for 2 * n^3 vertices; the result is the number of
// lines written (156 for n = 8).
UINT FillVelocityLines(const FluidSolver& solver, LineVertex* out);

// [SECTION] Bubble squares

// Writes the squares of the first maxBubbles bubbles in iteration order, four vertices
// each, turned towards the viewer by cameraToWorld; returns how many were written.
UINT WriteQuads(const BubblePool& pool, const Matrix4& cameraToWorld, BubbleVertex* out, UINT maxBubbles);

// The four vertices of one bubble's square: position + TransformCoord(size * corner,
// orientation) for the corners (-1, 1), (1, 1), (1, -1), (-1, -1) with the sprite
// coordinates (0, 0), (1, 0), (1, 1), (0, 1). orientation is the camera's cameraToWorld with
// its translation (elements 41, 42, 43) set to 0.
void BubbleQuad(BubbleVertex out[4], const Vector3& position, float size, const Matrix4& orientation);

// The shared index pattern: (4b, 4b + 1, 4b + 2) and (4b, 4b + 2, 4b + 3) for b < bubbles.
// out needs room for 6 * bubbles indices; bubbles must not exceed 16384.
void WriteQuadIndices(WORD* out, UINT bubbles);
