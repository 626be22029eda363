// SteamCloud: wisps of steam over hot water, drawn as soft camera-facing sprites. Pure drawing:
// it reads the solver's top water layer and never writes to the simulation; its random numbers
// come from a hash of its own counters, so a run with a fixed step draws the same steam.
#pragma once

#include <cstdint>

#include "scene/FluidGeometry.h"

class FluidSolver;

// A steam sprite's vertex: position, ARGB colour (alpha fades the wisp), sprite coordinate
// (D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 24 bytes).
struct SteamVertex {
    float x, y, z;
    DWORD color;
    float u, v;
};
static_assert(sizeof(SteamVertex) == 24);

struct SteamPuff {
    float x, y, z;    // world units; z from kSurface up to kCeiling
    float age;        // seconds lived
    float life;       // seconds it lives at most
    float rise;       // upward speed, world units per second
    float size;       // half the side of its square at birth, world units
};

class SteamCloud {
public:
    static constexpr int kMaxPuffs = 128;          // the most wisps alive at once
    static constexpr float kSurface = 70.0f;       // born on the water surface
    static constexpr float kRimHeight = 110.0f;    // the pot's rim
    static constexpr float kAboveRim = 80.0f;      // wisps vanish this far above the rim
    static constexpr float kCeiling = kRimHeight + kAboveRim;
    static constexpr float kWarmFrom = 60.0f;      // no steam below this surface temperature
    static constexpr float kBirthsPerSecond = 14.0f;   // offered births; the hotter, the more taken
    static constexpr float kMaxStep = 0.25f;       // longest step, seconds (a stall moves no more)
    static constexpr float kSpriteCrop = 0.75f;    // share of the sprite drawn, from its middle

    // Advances the wisps by elapsed seconds (NaN and negative count as 0, more than kMaxStep as
    // kMaxStep): births over water hotter than kWarmFrom, denser and faster towards 100, rising,
    // carried sideways by the top layer's velocity, dying at their age or at kCeiling.
    void Update(const FluidSolver& solver, float elapsed);
    void Clear() { count = 0; }

    // Opacity of a wisp (0 to 1): fades in after birth, out with age and with height.
    static float Opacity(const SteamPuff& puff);
    // Half side of a wisp's square: it spreads as it rises.
    static float Size(const SteamPuff& puff);

    // Writes up to maxPuffs squares turned towards the viewer by cameraToWorld (four vertices
    // each, corners and sprite coordinates as the bubbles'); returns how many were written.
    UINT WriteQuads(const Matrix4& cameraToWorld, SteamVertex* out, UINT maxPuffs) const;

    SteamPuff puffs[kMaxPuffs] = {};
    int count = 0;           // live puffs, the first count of puffs[]
    uint32_t births = 0;     // every birth ever offered: the random numbers' counter
    float birthBudget = 0;   // offered births not yet made, carried to the next step
};
