// Water-surface grid, temperature colours and the velocity display's lines.
#include "fluid/SurfaceGrid.h"

#include <cmath>

#include "fluid/FluidSolver.h"
#include "platform/win/Rand.h"

namespace {

// trunc(v) & 31 for any float: values beyond the int range wrap the same way, and NaN or
// infinity give 0 instead of undefined behaviour.
int TruncWrap32(float v) {
    if (!std::isfinite(v)) return 0;
    double m = std::fmod(std::trunc(static_cast<double>(v)), 32.0);
    if (m < 0) m += 32.0;
    return static_cast<int>(m);
}

// Angular jitter of the water normals: about +-0.001 rad from one rand() call.
float Jitter() { return static_cast<float>(win::rand() - 16383) * 6.10388824e-8f; }

}  // namespace

// [SECTION] Surface grid

int SurfaceGrid::CellOf(float x, float y) {
    int column = TruncWrap32((x + 85.0f) / kPitch + 0.5f);
    int row = TruncWrap32((y + 85.0f) / kPitch + 0.5f);
    return row * kSide + column;
}

void SurfaceGrid::PushSurface(float x, float y, const Vector3& d, float factor) {
    Vector3& c = cell[CellOf(x, y)];
    c.x += factor * d.x;
    c.y += factor * d.y;
    c.z += factor * d.z;
}

void SurfaceGrid::WriteWaterVertices(const Vector3* rest, WaterVertex* draw, UINT count) const {
    for (UINT i = 0; i < count; ++i) {
        const Vector3& p = rest[i];
        int e = CellOf(p.x, p.y);
        float sx = cell[e].x - cell[(e + 1) & (kCells - 1)].x;
        float a = std::atan(sx) + Jitter();
        float sy = cell[e].y - cell[(e + kSide) & (kCells - 1)].y;
        float b = std::atan(sy) + Jitter();
        draw[i] = {p.x, p.y, p.z, a, b, 1.0f};
    }
}

void SurfaceGrid::Relax(float elapsed) {
    if (!(elapsed > 0.0f)) elapsed = 0.0f;
    float k = 1.0f / (elapsed * 20.0f + 1.0f);
    for (Vector3& c : cell) {
        c.x *= k;
        c.y *= k;
        c.z *= k;
    }
}

void SurfaceGrid::Clear() {
    for (Vector3& c : cell) c = {0.0f, 0.0f, 0.0f};
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
