// Water-surface grid: displacements pushed by bubbles, relaxing over time.
#include "fluid/SurfaceGrid.h"

#include <cmath>


namespace {

// trunc(v) & 31 for any float: values beyond the int range wrap the same way, and NaN or
// infinity give 0 instead of undefined behaviour.
int TruncWrap32(float v) {
    if (!std::isfinite(v)) return 0;
    double m = std::fmod(std::trunc(static_cast<double>(v)), 32.0);
    if (m < 0) m += 32.0;
    return static_cast<int>(m);
}

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
