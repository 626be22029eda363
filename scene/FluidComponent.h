// FluidComponent: the scene component that draws the water scene (velocity lines, pot, bubbles,
// water) with the media's effects and then advances the simulation by one frame.
#pragma once

#include "fluid/BubblePool.h"
#include "fluid/SurfaceGrid.h"
#include "scene/BackgroundTask.h"
#include "scene/FloorBubbles.h"
#include "scene/FluidGeometry.h"
#include "scene/SceneComponent.h"
#include "scene/SteamCloud.h"
#include "scene/WaterShimmer.h"

class Camera;
class FluidSolver;
class ID3DXMesh;
class EffectFile;
class SceneMedia;

class FluidComponent : public SceneComponent {
public:
    // The longest elapsed time one frame's simulation step uses, seconds. A stall (a minimised
    // window, a debugger, a suspended machine) must not turn the velocity damping negative or
    // run the bubble births hundreds of thousands of times in one frame.
    static constexpr float kMaxStepSeconds = 0.25f;
    static constexpr UINT kMaxBubbleQuads = 2000;

    FluidComponent(SceneMedia* media, FluidSolver* solver, const Camera* camera);
    ~FluidComponent() override = default;

    HRESULT CreateResources(IDirect3DDevice8* newDevice) override;
    HRESULT LoseResources() override;
    HRESULT RestoreResources() override;
    HRESULT ReleaseResources() override;
    // One frame: DrawScene, then StepSimulation, then StepHeatVisuals. The picture shows the
    // state the previous frame's steps left; this frame's steps are seen in the next frame.
    void Tick(float elapsedSeconds) override;

    // The drawing half of Tick: velocity lines (F2), pot, the floor's caustics, the bubbles
    // clinging to the floor, the simulation's bubbles, water, steam, in that order.
    void DrawScene();
    // The simulation half of Tick: solver, water surface and bubbles for one frame.
    void StepSimulation(float elapsedSeconds);
    // Simulation seconds a step over elapsedSeconds of the frame advances: capped at
    // kMaxStepSeconds, NaN and negative as 0, times the speed.
    float StepSeconds(float elapsedSeconds) const;
    // Rewrites the water draw copy from the rest copy, the surface grid and the shimmer, then
    // relaxes the grid. The shimmer (unless Tick has just worked it out) and the floor's
    // caustics are brought up to date first.
    void UpdateWaterMesh(float elapsedSeconds);
    // What is drawn of the heat beyond the simulation: steam and the floor's bubbles. Reads the
    // solver, changes nothing of it.
    void StepHeatVisuals(float elapsedSeconds);

    SceneMedia* media;      // not owned
    FluidSolver* solver;    // not owned; null draws and steps nothing of the fluid
    const Camera* camera;   // not owned
    BYTE showVelocity = 0;  // F2
    BYTE wireframe = 0;     // F3
    // Simulation seconds per second of the frame (the demo's pause and speed keys); 0 holds the
    // simulation: Tick draws what the last step left and steps nothing.
    float speed = 1.0f;
    // The heat's drawing (shimmer, caustics, steam, the floor's bubbles); off, none of it is
    // updated or drawn, which is the frame the benchmarks weigh it against.
    bool heatVisuals = true;
    UINT velocityLinesDrawn = 0;  // lines the velocity display drew in the last frame; 0 while off
    SurfaceGrid surface;
    BubblePool bubbles;
    IDirect3DVertexBuffer8* lineBuffer = nullptr;
    IDirect3DIndexBuffer8* quadIndexBuffer = nullptr;
    IDirect3DVertexBuffer8* quadBuffer = nullptr;
    // Drawing only, never fed back into the simulation or its statistics:
    WaterShimmer shimmer;        // convection shimmer of the surface, caustics on the floor
    SteamCloud steam;            // wisps over hot water
    FloorBubbles floorBubbles;   // the first bubbles, clinging to the hot floor
    IDirect3DVertexBuffer8* steamBuffer = nullptr;      // SteamCloud::kMaxPuffs squares
    IDirect3DVertexBuffer8* floorBubbleBuffer = nullptr;  // FloorBubbles::kSites squares
    IDirect3DTexture8* causticsTexture = nullptr;       // the shimmer's caustics, refilled per step
    IDirect3DVertexBuffer8* floorLightBuffer = nullptr;  // the disc the caustics are drawn on
    // Works the shimmer out while the frame is drawn (declared after what it writes, so that it
    // stops first).
    BackgroundTask shimmerTask;
    bool shimmerStepped = false;  // Tick has stepped the shimmer for the coming UpdateWaterMesh

private:
    void DrawVelocityLines();
    void DrawMeshWithEffect(int effect, ID3DXMesh* mesh);
    void DrawBubbles();
    void DrawFloorBubbles();
    void DrawSteam();
    void DrawFloorLight();
    // Draws quads squares from the stream with the effect, one indexed draw per pass.
    void DrawQuadsWithEffect(EffectFile* effect, IDirect3DVertexBuffer8* buffer, UINT stride, UINT quads);
    // Fills buffer by write(vertices) -> squares written, then draws them with the effect.
    template <typename Vertex, typename Write>
    void DrawSprites(int effect, IDirect3DVertexBuffer8* buffer, Write write);
    void UploadCaustics();
};
