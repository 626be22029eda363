// The fluid's drawing geometry: the water's bent normals, the velocity display's coloured
// lines and the bubbles' camera-facing squares, written into plain vertex arrays that the fluid
// component takes from locked device buffers.
#include "scene/FluidGeometry.h"

#include <cassert>
#include <cmath>

#include "fluid/BubblePool.h"
#include "fluid/FluidSolver.h"
#include "fluid/SurfaceGrid.h"
#include "platform/win/Rand.h"

namespace {

// Angular jitter of the water normals: about +-0.001 rad from one rand() call.
float Jitter() { return static_cast<float>(win::rand() - 16383) * 6.10388824e-8f; }

}  // namespace

// [SECTION] Water surface

void WriteWaterVertices(const SurfaceGrid& grid, const Vector3* rest, WaterVertex* draw, UINT count) {
    for (UINT i = 0; i < count; ++i) {
        const Vector3& p = rest[i];
        int e = SurfaceGrid::CellOf(p.x, p.y);
        float sx = grid.cell[e].x - grid.cell[(e + 1) & (SurfaceGrid::kCells - 1)].x;
        float a = std::atan(sx) + Jitter();
        float sy = grid.cell[e].y - grid.cell[(e + SurfaceGrid::kSide) & (SurfaceGrid::kCells - 1)].y;
        float b = std::atan(sy) + Jitter();
        draw[i] = {p.x, p.y, p.z, a, b, 1.0f};
    }
}

// [SECTION] Temperature colour

DWORD TemperatureColor(float t) {
    if (!(t >= 0.0f)) t = 0.0f;   // also NaN
    if (t > 100.0f) t = 100.0f;
    // The products are formed at double precision from the single-precision constants, so
    // that 100 gives red 254 and green 252.
    const double td = t;
    DWORD r = static_cast<DWORD>(std::trunc(td * static_cast<double>(2.55f)));
    DWORD g = 0;
    if (t > 50.0f) g = 2 * static_cast<DWORD>(std::trunc((td - 50.0) * static_cast<double>(2.54f)));
    return 0x80000000u | (r << 16) | (g << 8) | (255u - r);
}

// [SECTION] Velocity display

UINT FillVelocityLines(const FluidSolver& s, LineVertex* out) {
    const int n = s.n;
    const float h = 85.0f / static_cast<float>(n / 2);   // cell size in world units
    const float nf = static_cast<float>(n);
    UINT lines = 0;
    float z = h / 2.0f;
    for (int k = 0; k < n; ++k, z += h) {
        float y = -85.0f + h / 2.0f;
        for (int j = 0; j < n; ++j, y += h) {
            float x = -85.0f + h / 2.0f;
            for (int i = 0; i < n; ++i, x += h) {
                if (x * x + y * y > 7225.0f * 1.7f || z > 70.0f) continue;
                int p = i + n * j + s.nSquared * k;
                DWORD c = TemperatureColor(s.temperature[p]);
                out[2 * lines] = {x, y, z, c};
                out[2 * lines + 1] = {x + s.u[p] * nf * h, y + s.v[p] * nf * h, z + s.w[p] * nf * h, c};
                ++lines;
            }
        }
    }
    return lines;
}

// [SECTION] Bubble squares

void BubbleQuad(BubbleVertex out[4], const Vector3& position, float size, const Matrix4& orientation) {
    static constexpr float kCorners[4][4] = {
        // corner x, y, sprite u, v
        {-1.0f, 1.0f, 0.0f, 0.0f},
        {1.0f, 1.0f, 1.0f, 0.0f},
        {1.0f, -1.0f, 1.0f, 1.0f},
        {-1.0f, -1.0f, 0.0f, 1.0f},
    };
    for (int k = 0; k < 4; ++k) {
        Vector3 corner{size * kCorners[k][0], size * kCorners[k][1], 0.0f};
        Vector3 turned;
        D3DXVec3TransformCoord(&turned, &corner, &orientation);
        out[k] = {position.x + turned.x, position.y + turned.y, position.z + turned.z,
                  kCorners[k][2], kCorners[k][3]};
    }
}

UINT WriteQuads(const BubblePool& pool, const Matrix4& cameraToWorld, BubbleVertex* out, UINT maxBubbles) {
    Matrix4 orientation = cameraToWorld;
    orientation.m[3][0] = orientation.m[3][1] = orientation.m[3][2] = 0.0f;
    UINT written = 0;
    for (BubblePool::Position p = pool.First(); p.block && written < maxBubbles;
         p = BubblePool::Next(p), ++written) {
        const Bubble& b = BubblePool::At(p);
        BubbleQuad(out + 4 * written, {b.x, b.y, b.z}, b.size, orientation);
    }
    return written;
}

void WriteQuadIndices(WORD* out, UINT bubbles) {
    assert(bubbles <= 16384);
    for (UINT b = 0; b < bubbles; ++b) {
        WORD v = static_cast<WORD>(4 * b);
        WORD* q = out + 6 * b;
        q[0] = v;
        q[1] = static_cast<WORD>(v + 1);
        q[2] = static_cast<WORD>(v + 2);
        q[3] = v;
        q[4] = static_cast<WORD>(v + 2);
        q[5] = static_cast<WORD>(v + 3);
    }
}
