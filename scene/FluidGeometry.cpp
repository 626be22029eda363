// The fluid's drawing geometry: the water's bent normals, the velocity display's coloured
// lines and the bubbles' camera-facing squares, written into plain vertex arrays that the fluid
// component takes from locked device buffers.
#include "scene/FluidGeometry.h"

#include <cassert>
#include <cmath>

#include "fluid/BubblePool.h"
#include "fluid/FluidSolver.h"
#include "fluid/SurfaceGrid.h"
#include "math/Hash.h"
#include "platform/win/Rand.h"

namespace {

// Angular jitter of the water normals: about +-0.001 rad from one rand() call.
float Jitter() { return static_cast<float>(win::rand() - 16383) * 6.10388824e-8f; }

}  // namespace

// [SECTION] Reading the fluid for drawing

LayerSample SampleLayer(const FluidSolver& s, int k, float x, float y) {
    const int n = s.n;
    if (k < 0) k = 0;
    if (k >= n) k = n - 1;
    // Grid coordinates: cell i's centre is at -85 + (i + 0.5) * 170 / n.
    auto coordinate = [n](float world, int* low, float* fraction) {
        double g = (static_cast<double>(world) + 85.0) / 170.0 * n - 0.5;
        if (!std::isfinite(g)) g = 0.0;
        double floored = std::floor(g);
        *fraction = static_cast<float>(g - floored);
        double wrapped = std::fmod(floored, static_cast<double>(n));
        if (wrapped < 0) wrapped += n;
        *low = static_cast<int>(wrapped);
    };
    int i0 = 0, j0 = 0;
    float fx = 0.0f, fy = 0.0f;
    coordinate(x, &i0, &fx);
    coordinate(y, &j0, &fy);
    const int i1 = (i0 + 1) % n, j1 = (j0 + 1) % n;
    const int base = s.nSquared * k;
    const int c00 = base + i0 + n * j0, c10 = base + i1 + n * j0;
    const int c01 = base + i0 + n * j1, c11 = base + i1 + n * j1;
    auto mix = [&](const float* f) {
        float low = f[c00] + (f[c10] - f[c00]) * fx;
        float high = f[c01] + (f[c11] - f[c01]) * fx;
        return low + (high - low) * fy;
    };
    return {mix(s.u), mix(s.v), mix(s.w), mix(s.temperature)};
}

uint32_t DrawHash(uint32_t a, uint32_t b, uint32_t c) { return Hash3(a, b, c); }

float DrawHashUnit(uint32_t a, uint32_t b, uint32_t c) {
    return static_cast<float>(DrawHash(a, b, c) & 0xFFFFFFu) * (1.0f / 16777216.0f);
}

float DrawNoise(float x, float y, float t, uint32_t seed) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(t)) return 0.0f;
    const float fx0 = std::floor(x), fy0 = std::floor(y), ft0 = std::floor(t);
    // Lattice indices wrap at 2^32 like the hash's arguments; beyond the float's exact integers
    // the pattern just repeats.
    // Below 2^32 in size the remainder is the value itself, which spares the slow fmod.
    const auto lattice = [](float v) {
        if (std::fabs(v) < 4294967296.0f) return static_cast<uint32_t>(static_cast<int64_t>(v));
        return static_cast<uint32_t>(static_cast<int64_t>(std::fmod(v, 4294967296.0f)));
    };
    const uint32_t x0 = lattice(fx0), y0 = lattice(fy0), t0 = lattice(ft0);
    auto smooth = [](float f) { return f * f * (3.0f - 2.0f * f); };
    const float sx = smooth(x - fx0), sy = smooth(y - fy0), st = smooth(t - ft0);
    float layers[2];
    for (uint32_t dt = 0; dt < 2; ++dt) {
        const uint32_t tt = (t0 + dt) * 0x9E3779B9u ^ seed;
        const float a = DrawHashUnit(x0, y0, tt), b = DrawHashUnit(x0 + 1, y0, tt);
        const float c = DrawHashUnit(x0, y0 + 1, tt), d = DrawHashUnit(x0 + 1, y0 + 1, tt);
        layers[dt] = (a + (b - a) * sx) * (1.0f - sy) + (c + (d - c) * sx) * sy;
    }
    return 2.0f * (layers[0] + (layers[1] - layers[0]) * st) - 1.0f;
}

// [SECTION] Water surface

void WriteWaterVertices(const SurfaceGrid& grid, const Vector3* rest, WaterVertex* draw, UINT count,
                        const float* shimmer) {
    constexpr int kMask = SurfaceGrid::kCells - 1;
    for (UINT i = 0; i < count; ++i) {
        const Vector3& p = rest[i];
        int e = SurfaceGrid::CellOf(p.x, p.y);
        const int nextColumn = (e + 1) & kMask, nextRow = (e + SurfaceGrid::kSide) & kMask;
        float sx = grid.cell[e].x - grid.cell[nextColumn].x;
        float sy = grid.cell[e].y - grid.cell[nextRow].y;
        float z = p.z;
        if (shimmer) {
            sx += shimmer[e] - shimmer[nextColumn];
            sy += shimmer[e] - shimmer[nextRow];
            z += shimmer[e];
        }
        float a = std::atan(sx) + Jitter();
        float b = std::atan(sy) + Jitter();
        draw[i] = {p.x, p.y, z, a, b, 1.0f};
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
                // Only cells inside the pot's wall: a line of a cell beyond it would stand on the
                // background beside the pot.
                if (x * x + y * y > FluidSolver::kPotRadiusSquared || z > 70.0f) continue;
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
