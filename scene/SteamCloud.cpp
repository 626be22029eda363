// SteamCloud: births weighted by the surface temperature under a random point, rising wisps
// that drift with the water's top layer and fade; a dead wisp's slot takes the last live one.
#include "scene/SteamCloud.h"

#include <algorithm>
#include <cmath>

#include "fluid/FluidSolver.h"

namespace {

constexpr float kBirthRadius = 78.0f;   // births within this distance of the pot's axis

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

}  // namespace

void SteamCloud::Update(const FluidSolver& solver, float elapsed) {
    if (!(elapsed > 0.0f)) elapsed = 0.0f;
    if (elapsed > kMaxStep) elapsed = kMaxStep;
    const int top = solver.WaterLayers() - 1;

    // Move and retire.
    for (int i = 0; i < count;) {
        SteamPuff& p = puffs[i];
        p.age += elapsed;
        // Carried by the surface's flow while low, less as it leaves the water behind.
        const LayerSample s = SampleLayer(solver, top, p.x, p.y);
        const float carried = 0.6f * (1.0f - Clamp01((p.z - kSurface) / (kCeiling - kSurface)));
        const float drift = kWorldSpeedPerVelocity * carried;
        float dx = s.u * drift, dy = s.v * drift;
        // The air's own stir, so that wisps curl instead of rising in straight columns.
        const uint32_t seed = static_cast<uint32_t>(i) * 7919u;
        dx += 6.0f * DrawNoise(p.x * 0.04f, p.z * 0.04f, p.age * 0.7f, seed);
        dy += 6.0f * DrawNoise(p.y * 0.04f, p.z * 0.04f, p.age * 0.7f, seed + 1u);
        if (std::isfinite(dx) && std::isfinite(dy)) {
            p.x += dx * elapsed;
            p.y += dy * elapsed;
        }
        p.z += p.rise * elapsed;
        if (p.age >= p.life || p.z >= kCeiling) {
            puffs[i] = puffs[--count];
            continue;
        }
        ++i;
    }

    // Births: kBirthsPerSecond offered points over the water, each taken with a chance that
    // grows from 0 at kWarmFrom to 1 at 100 degrees under it.
    birthBudget = std::min(birthBudget + elapsed * kBirthsPerSecond, kBirthsPerSecond);
    while (birthBudget >= 1.0f) {
        birthBudget -= 1.0f;
        const uint32_t id = births++;
        const float angle = 6.2831853f * DrawHashUnit(id, 1, 0x57EA);
        const float radius = kBirthRadius * std::sqrt(DrawHashUnit(id, 2, 0x57EA));
        const float x = radius * std::cos(angle), y = radius * std::sin(angle);
        const float heat = Clamp01((SampleLayer(solver, top, x, y).temperature - kWarmFrom) /
                                   (FluidSolver::kHeaterTemperature - kWarmFrom));
        if (count >= kMaxPuffs || DrawHashUnit(id, 3, 0x57EA) >= heat * heat) continue;
        SteamPuff& p = puffs[count++];
        p = {x, y, kSurface, 0.0f, 0.0f, 0.0f, 0.0f};
        p.life = 1.4f + 1.6f * DrawHashUnit(id, 4, 0x57EA);
        p.rise = (14.0f + 30.0f * heat) * (0.7f + 0.6f * DrawHashUnit(id, 5, 0x57EA));
        p.size = 8.0f + 4.0f * DrawHashUnit(id, 6, 0x57EA);
    }
}

float SteamCloud::Opacity(const SteamPuff& p) {
    if (!(p.life > 0.0f)) return 0.0f;
    const float fadeIn = Clamp01(p.age / 0.5f);
    const float fadeAge = 1.0f - Clamp01(p.age / p.life);
    const float fadeHeight = 1.0f - Clamp01((p.z - kSurface) / (kCeiling - kSurface));
    return fadeIn * fadeAge * fadeHeight;
}

float SteamCloud::Size(const SteamPuff& p) {
    return p.size * (1.0f + 1.3f * Clamp01((p.z - kSurface) / (kCeiling - kSurface)));
}

UINT SteamCloud::WriteQuads(const Matrix4& cameraToWorld, SteamVertex* out, UINT maxPuffs) const {
    Matrix4 orientation = cameraToWorld;
    orientation.m[3][0] = orientation.m[3][1] = orientation.m[3][2] = 0.0f;
    UINT written = 0;
    for (int i = 0; i < count && written < maxPuffs; ++i) {
        const SteamPuff& p = puffs[i];
        const float opacity = Opacity(p);
        if (opacity <= 0.004f) continue;
        // Steam lit from the kitchen: a pale, slightly cool white; the sprite keeps it a veil.
        const DWORD alpha = static_cast<DWORD>(std::lround(opacity * 0.85f * 255.0f));
        const DWORD color = (alpha << 24) | 0x00E6ECF0u;
        // Only the middle of the sprite is drawn: outside kSpriteCrop of its half side it is all
        // but clear (under 3% of its alpha), and leaving that out spares the software device
        // nearly half the pixels that the steam would cost.
        BubbleVertex corners[4];
        BubbleQuad(corners, {p.x, p.y, p.z}, Size(p) * kSpriteCrop, orientation);
        for (int k = 0; k < 4; ++k) {
            const float u = 0.5f + (corners[k].u - 0.5f) * kSpriteCrop;
            const float v = 0.5f + (corners[k].v - 0.5f) * kSpriteCrop;
            out[4 * written + k] = {corners[k].x, corners[k].y, corners[k].z, color, u, v};
        }
        ++written;
    }
    return written;
}
