// FluidComponent: the scene component that draws the water scene (velocity lines, pot, bubbles,
// water) with the media's effects and then advances the simulation by one frame.
#pragma once

#include "fluid/BubblePool.h"
#include "fluid/SurfaceGrid.h"
#include "scene/FluidGeometry.h"
#include "scene/SceneComponent.h"

class Camera;
class FluidSolver;
class ID3DXMesh;
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
    void Tick(float elapsedSeconds) override;

    // The simulation half of Tick: solver, water surface and bubbles for one frame.
    void StepSimulation(float elapsedSeconds);
    // Rewrites the water draw copy from the rest copy and the surface grid, then relaxes the grid.
    void UpdateWaterMesh(float elapsedSeconds);

    SceneMedia* media;      // not owned
    FluidSolver* solver;    // not owned; null draws and steps nothing of the fluid
    const Camera* camera;   // not owned
    BYTE showVelocity = 0;  // F2
    BYTE wireframe = 0;     // F3
    // Simulation seconds per second of the frame (the demo's pause and speed keys); 0 holds the
    // simulation: Tick draws what the last step left and steps nothing.
    float speed = 1.0f;
    UINT velocityLinesDrawn = 0;  // lines the velocity display drew in the last frame; 0 while off
    SurfaceGrid surface;
    BubblePool bubbles;
    IDirect3DVertexBuffer8* lineBuffer = nullptr;
    IDirect3DIndexBuffer8* quadIndexBuffer = nullptr;
    IDirect3DVertexBuffer8* quadBuffer = nullptr;

private:
    void DrawVelocityLines();
    void DrawMeshWithEffect(int effect, ID3DXMesh* mesh);
    void DrawBubbles();
};
