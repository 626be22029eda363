// FloorBubbles: the tiny bubbles that cling to a pot's floor where it is hot, long before the
// boil. Pure drawing: fixed sites on the floor read the solver's bottom layer, grow a bubble
// while the water over them is warm (not yet boiling), and let it go to rise a little and
// dissolve. The simulation's bubbles and statistics know nothing of them.
#pragma once

#include "scene/FluidGeometry.h"

class FluidSolver;

struct FloorSite {
    float x, y;       // world units on the floor
    float size;       // radius of the clinging bubble, world units; 0 = none
    float rate;       // how fast this site grows, relative (0.5 to 1.5)
    float letGo;      // radius at which its bubble lets go
    float height;     // of a bubble that let go above the floor; 0 while it clings
};

class FloorBubbles {
public:
    static constexpr int kSites = 96; 
    static constexpr float kWarmFrom = 30.0f;     // no bubbles on water cooler than this
    static constexpr float kBoilFrom = 90.0f;     // ... nor hotter: the boil's own bubbles take over
    static constexpr float kRiseTo = 14.0f;       // a bubble that let go is gone by this height
    static constexpr float kLift = 0.8f;          // a clinging bubble's centre over the floor

    FloorBubbles();

    // Grows, releases and dissolves for elapsed seconds (NaN and negative count as 0, more
    // than a quarter second as a quarter second).
    void Update(const FluidSolver& solver, float elapsed);

    // Writes the squares of the visible bubbles (four vertices each, as the simulation's
    // bubbles are drawn); returns how many were written, at most maxQuads.
    UINT WriteQuads(const Matrix4& cameraToWorld, BubbleVertex* out, UINT maxQuads) const;

    FloorSite sites[kSites];
};
