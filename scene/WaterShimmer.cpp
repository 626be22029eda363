// WaterShimmer: heights from smooth noise scaled by how warm and how fast the top layer is;
// caustics by sending one ray per floor texel down through the surface's slopes (and the warm
// plumes' bending) and counting where they land: texels that gather more than their share glow.
#include "scene/WaterShimmer.h"

#include <array>
#include <cmath>
#include <cstring>

#include "fluid/FluidSolver.h"
#include "scene/FluidGeometry.h"

namespace {

constexpr int kSide = SurfaceGrid::kSide;
constexpr int kMask = SurfaceGrid::kCells - 1;
constexpr float kTexel = 170.0f / WaterShimmer::kCausticSide;   // world units per floor texel

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// A place between the points of the surface grid (x along columns, y along rows, in units of
// grid points, wrapping like the grid): its four points and where it lies between them.
struct Between {
    int p00, p10, p01, p11;
    float fx, fy;
    Between(float gx, float gy) {
        const float fx0 = std::floor(gx), fy0 = std::floor(gy);
        const int x0 = static_cast<int>(fx0) & (kSide - 1), y0 = static_cast<int>(fy0) & (kSide - 1);
        const int x1 = (x0 + 1) & (kSide - 1), y1 = (y0 + 1) & (kSide - 1);
        p00 = y0 * kSide + x0, p10 = y0 * kSide + x1, p01 = y1 * kSide + x0, p11 = y1 * kSide + x1;
        fx = gx - fx0, fy = gy - fy0;
    }
    // A per-point array read there.
    float Read(const float* field) const {
        const float low = field[p00] + (field[p10] - field[p00]) * fx;
        const float high = field[p01] + (field[p11] - field[p01]) * fx;
        return low + (high - low) * fy;
    }
};

// The water's drawn tilt for a slope s, as its effect softens it: 0.2 s / sqrt(1 + 2 s^2).
float Tilt(float s) { return 0.2f * s / std::sqrt(1.0f + 2.0f * s * s); }

}  // namespace

void WaterShimmer::Update(const FluidSolver& solver, const SurfaceGrid& surface, float elapsed) {
    if (!(elapsed > 0.0f)) elapsed = 0.0f;
    if (elapsed > kMaxStep) elapsed = kMaxStep;
    clock += elapsed;
    // The clock only feeds slowly varying noise; wrapping it keeps its fraction precise in a
    // run of days at the cost of one jump every few hours.
    if (clock > 8192.0f) clock -= 8192.0f;
    const int top = solver.WaterLayers() - 1;

    // [1] Heights, and how warm water rising under each point bends the floor's light.
    for (int row = 0; row < kSide; ++row) {
        for (int column = 0; column < kSide; ++column) {
            const int e = row * kSide + column;
            const float x = -85.0f + column * SurfaceGrid::kPitch, y = -85.0f + row * SurfaceGrid::kPitch;
            const LayerSample s = SampleLayer(solver, top, x, y);
            const LayerSample floor = SampleLayer(solver, 0, x, y);
            const float speed = std::sqrt(s.u * s.u + s.v * s.v + s.w * s.w) * kWorldSpeedPerVelocity;
            const float warm = Clamp01((s.temperature - 8.0f) / 60.0f);
            const float moving = Clamp01(speed / 10.0f);
            const float amplitude = 0.45f * warm + 0.55f * moving;
            // The pattern leans with the flow, so a stir drags it along.
            const float lean = 0.04f * kWorldSpeedPerVelocity;
            const float pattern = 0.65f * DrawNoise(x / 17.0f + s.u * lean, y / 17.0f + s.v * lean, clock * 0.9f, 1u) +
                                  0.35f * DrawNoise(x / 7.5f, y / 7.5f, clock * 1.8f, 2u);
            const float h = amplitude * pattern;
            heights[e] = std::isfinite(h) ? h : 0.0f;
            float rising = Clamp01((floor.temperature - s.temperature) / 35.0f) +
                           0.5f * Clamp01(floor.temperature / 100.0f);
            if (!std::isfinite(rising)) rising = 0.0f;
            // Where warm water rises the floor's light wavers: a bend of its own, read between
            // the points like the slopes.
            bendX[e] = rising > 0.0f ? rising * DrawNoise(x / 12.0f, y / 12.0f, clock * 2.5f, 3u) : 0.0f;
            bendY[e] = rising > 0.0f ? rising * DrawNoise(x / 12.0f, y / 12.0f, clock * 2.5f, 4u) : 0.0f;
        }
    }

    // [2] Slopes of the drawn surface, as the water's vertices get them.
    for (int e = 0; e < SurfaceGrid::kCells; ++e) {
        const int nextColumn = (e + 1) & kMask, nextRow = (e + kSide) & kMask;
        const float sx = surface.cell[e].x - surface.cell[nextColumn].x + heights[e] - heights[nextColumn];
        const float sy = surface.cell[e].y - surface.cell[nextRow].y + heights[e] - heights[nextRow];
        slopeX[e] = std::isfinite(sx) ? Tilt(sx) : 0.0f;
        slopeY[e] = std::isfinite(sy) ? Tilt(sy) : 0.0f;
    }

    // [3] One ray per texel from the surface above it to the floor: bent by the tilt (deep
    // water makes a small tilt a long way on the floor) and by the warm plumes' shimmer.
    constexpr float kFocus = 55.0f;     // floor offset per unit of tilt, world units
    constexpr float kThermal = 3.5f;    // floor offset of the strongest plume, world units
    std::memset(gathered, 0, sizeof gathered);
    for (int j = 0; j < kCausticSide; ++j) {
        for (int i = 0; i < kCausticSide; ++i) {
            const Between here((i + 0.5f) * kTexel / SurfaceGrid::kPitch, (j + 0.5f) * kTexel / SurfaceGrid::kPitch);
            const float dx = kFocus * here.Read(slopeX) + kThermal * here.Read(bendX);
            const float dy = kFocus * here.Read(slopeY) + kThermal * here.Read(bendY);
            // Where it lands, in texels, spread over the four nearest.
            const float tx = i + dx / kTexel, ty = j + dy / kTexel;
            if (!(tx > -1.0f && tx < kCausticSide && ty > -1.0f && ty < kCausticSide)) continue;
            const float fx0 = std::floor(tx), fy0 = std::floor(ty);
            const int x0 = static_cast<int>(fx0), y0 = static_cast<int>(fy0);
            const float fx = tx - fx0, fy = ty - fy0;
            const float weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
            const int xs[4] = {x0, x0 + 1, x0, x0 + 1}, ys[4] = {y0, y0, y0 + 1, y0 + 1};
            for (int c = 0; c < 4; ++c)
                if (xs[c] >= 0 && xs[c] < kCausticSide && ys[c] >= 0 && ys[c] < kCausticSide)
                    gathered[ys[c] * kCausticSide + xs[c]] += weights[c];
        }
    }

    // [4] Softened over 3 x 3 texels (weights 1 2 1 each way, renormalised at the edges, done
    // as a pass along the rows then one along the columns); light beyond the even share of one
    // ray per texel glows.
    constexpr float kGain = 1.3f;
    constexpr int kLast = kCausticSide - 1;
    auto edgeWeight = [](int k) { return k == 0 || k == kLast ? 3.0f : 4.0f; };
    for (int j = 0; j < kCausticSide; ++j) {
        const float* in = gathered + j * kCausticSide;
        float* out = softened + j * kCausticSide;
        out[0] = 2.0f * in[0] + in[1];
        for (int i = 1; i < kLast; ++i) out[i] = in[i - 1] + 2.0f * in[i] + in[i + 1];
        out[kLast] = in[kLast - 1] + 2.0f * in[kLast];
    }
    for (int j = 0; j < kCausticSide; ++j) {
        const float* above = softened + (j > 0 ? j - 1 : j) * kCausticSide;
        const float* here = softened + j * kCausticSide;
        const float* below = softened + (j < kLast ? j + 1 : j) * kCausticSide;
        // A missing row adds nothing: its place is taken by a zero weight.
        const float wAbove = j > 0 ? 1.0f : 0.0f, wBelow = j < kLast ? 1.0f : 0.0f;
        const float rowWeight = edgeWeight(j);
        for (int i = 0; i < kCausticSide; ++i) {
            const float sum = wAbove * above[i] + 2.0f * here[i] + wBelow * below[i];
            const float light = Clamp01((sum / (rowWeight * edgeWeight(i)) - 1.1f) * kGain);
            caustics[j * kCausticSide + i] = static_cast<uint8_t>(std::lround(light * 255.0f));
        }
    }
}

void WaterShimmer::WriteCaustics(uint8_t* rows, int pitch) const {
    // Twice the texel times the floor: 0.5 + kStrength (light - kShade) per channel, so that the
    // unlit share between the lines darkens the floor and the lines brighten it, up to twice.
    // The 256 texels a light value can give are worked out once.
    static const std::array<uint32_t, 256> kTexels = [] {
        constexpr float kStrength = 0.75f, kShade = 0.2f;
        auto channel = [](float light) {
            const float scale = 0.5f + kStrength * (light - kShade);
            return static_cast<uint32_t>(std::lround(Clamp01(scale) * 255.0f));
        };
        std::array<uint32_t, 256> texels{};
        for (int c = 0; c < 256; ++c) {
            const float light = c / 255.0f;
            // A sunny, slightly warm white.
            texels[c] = 0xFF000000u | (channel(light) << 16) | (channel(light * (247.0f / 255.0f)) << 8) |
                        channel(light * (225.0f / 255.0f));
        }
        return texels;
    }();
    for (int j = 0; j < kCausticSide; ++j) {
        uint32_t* row = reinterpret_cast<uint32_t*>(rows + static_cast<ptrdiff_t>(j) * pitch);
        for (int i = 0; i < kCausticSide; ++i) row[i] = kTexels[caustics[j * kCausticSide + i]];
    }
}

void WaterShimmer::WriteFloorLight(FloorLightVertex* out) {
    // Rings of the pot's inside profile: the centre, the floor's edge (radius 79), then the
    // corner of radius 6 around (79, 6) at the angles the pot's own mesh has its rings, the
    // light fading out between the last two. Each ring lies on the pot's surface or a little
    // in front of it, so the depth test keeps the wall in front where it hides the floor.
    struct Ring {
        float radius, z, alpha;
    };
    constexpr float kPi = 3.14159265f;
    const Ring rings[5] = {
        {0.0f, 0.0f, 1.0f},
        {79.0f, 0.0f, 1.0f},
        {79.0f + 6.0f * std::sin(kPi / 8), 6.0f - 6.0f * std::cos(kPi / 8), 1.0f},
        {79.0f + 6.0f * std::sin(kPi / 4), 6.0f - 6.0f * std::cos(kPi / 4), 1.0f},
        {79.0f + 6.0f * std::sin(3 * kPi / 8), 6.0f - 6.0f * std::cos(3 * kPi / 8), 0.0f},
    };
    auto vertex = [](const Ring& ring, int segment) {
        const float angle = 2.0f * kPi * static_cast<float>(segment % kFloorLightSegments) / kFloorLightSegments;
        const float x = ring.radius * std::cos(angle), y = ring.radius * std::sin(angle);
        const DWORD alpha = static_cast<DWORD>(std::lround(ring.alpha * 255.0f));
        return FloorLightVertex{x, y, ring.z, (alpha << 24) | 0x808080u, x / 170.0f + 0.5f, y / 170.0f + 0.5f};
    };
    FloorLightVertex* v = out;
    for (int s = 0; s < kFloorLightSegments; ++s) {
        *v++ = vertex(rings[0], s);
        *v++ = vertex(rings[1], s);
        *v++ = vertex(rings[1], s + 1);
        for (int r = 1; r < 4; ++r) {
            *v++ = vertex(rings[r], s);
            *v++ = vertex(rings[r + 1], s);
            *v++ = vertex(rings[r + 1], s + 1);
            *v++ = vertex(rings[r], s);
            *v++ = vertex(rings[r + 1], s + 1);
            *v++ = vertex(rings[r], s + 1);
        }
    }
}
