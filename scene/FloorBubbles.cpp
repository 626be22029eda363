// FloorBubbles: sites scattered over the floor by a fixed hash; each grows at a pace set by the
// bottom layer's temperature over it, and its bubble lets go at a size of its own.
#include "scene/FloorBubbles.h"

#include <cmath>

#include "fluid/FluidSolver.h"

namespace {

constexpr float kFloorRadius = 80.0f;   // sites lie within this distance of the pot's axis
constexpr float kGrowth = 1.4f;         // world units of radius per second at 100 degrees
constexpr float kRiseSpeed = 18.0f;     // of a bubble that let go, world units per second

}  // namespace

FloorBubbles::FloorBubbles() {
    for (int i = 0; i < kSites; ++i) {
        const uint32_t id = static_cast<uint32_t>(i);
        const float angle = 6.2831853f * DrawHashUnit(id, 1, 0xF100);
        const float radius = kFloorRadius * std::sqrt(DrawHashUnit(id, 2, 0xF100));
        sites[i] = {radius * std::cos(angle), radius * std::sin(angle), 0.0f,
                    0.5f + DrawHashUnit(id, 3, 0xF100), 1.1f + 1.0f * DrawHashUnit(id, 4, 0xF100), 0.0f};
    }
}

void FloorBubbles::Update(const FluidSolver& solver, float elapsed) {
    if (!(elapsed > 0.0f)) elapsed = 0.0f;
    if (elapsed > 0.25f) elapsed = 0.25f;
    for (FloorSite& s : sites) {
        const float t = SampleLayer(solver, 0, s.x, s.y).temperature;
        const float warmth = std::isfinite(t) ? (t - kWarmFrom) / (FluidSolver::kHeaterTemperature - kWarmFrom) : -1.0f;
        if (s.height > 0.0f) {
            // Let go: rises and dissolves on the way.
            s.height += kRiseSpeed * elapsed;
            s.size -= 0.08f * elapsed;
            if (s.height >= kRiseTo || s.size <= 0.0f) s.size = s.height = 0.0f;
        } else if (warmth > 0.0f && t < kBoilFrom) {
            s.size += kGrowth * s.rate * (warmth > 1.0f ? 1.0f : warmth) * elapsed;
            if (s.size >= s.letGo) s.height = kLift;
        } else {
            // Cooler water takes the gas back; in boiling water the boil's bubbles carry it.
            s.size -= 0.5f * elapsed;
            if (s.size < 0.0f) s.size = 0.0f;
        }
    }
}

UINT FloorBubbles::WriteQuads(const Matrix4& cameraToWorld, BubbleVertex* out, UINT maxQuads) const {
    Matrix4 orientation = cameraToWorld;
    orientation.m[3][0] = orientation.m[3][1] = orientation.m[3][2] = 0.0f;
    UINT written = 0;
    for (const FloorSite& s : sites) {
        if (written >= maxQuads) break;
        if (s.size < 0.15f) continue;
        const float z = s.height > 0.0f ? s.height + s.size : kLift + 0.8f * s.size;
        BubbleQuad(out + 4 * written, {s.x, s.y, z}, s.size, orientation);
        ++written;
    }
    return written;
}
