// FluidDemoApp: the demo's application. It writes the framework's settings, owns the scene
// (fonts, solver, components), and fills in the framework's hooks: device objects, the
// camera with its keys and mouse, and the frame with its heads-up text.
#pragma once

#include <memory>
#include <string>

#include "app/AppFramework.h"
#include "fluid/GridSize.h"
#include "scene/Camera.h"
#include "scene/SceneComponent.h"
#include "scene/SimulationClock.h"

class FluidComponent;
class FluidSolver;
class FontTexture;
class SceneMedia;

// The heads-up text's font size in points for a back buffer of width x height: the design's 9
// at 640x480 and below; above it in proportion to the smaller of the two ratios (so the text
// and the help table fit wherever they fit at 640x480), at most 48.
DWORD HeadsUpFontPoints(UINT width, UINT height);

// The help table (F1): keys and actions as two columns of lines. The design's rows come first,
// unchanged, then every other key and the mouse.
const char* HelpKeysColumn();
const char* HelpActionsColumn();

class FluidDemoApp : public AppFramework {
public:
    // mediaRoot: the folder the data files are read from ("" = the current directory);
    // gridSize: the solver's cells per axis, an even number from 2 to 512 (the command line
    // offers 4 to 64). When the solver cannot be made, InitScene fails with Create's result.
    explicit FluidDemoApp(const std::string& mediaRoot = "", int gridSize = grid_size::kDefault);
    ~FluidDemoApp();

    HRESULT InitScene() override;
    HRESULT CreateDeviceObjects() override;
    HRESULT ResetDeviceObjects() override;
    HRESULT UpdateFrame() override;
    HRESULT RenderFrame() override;
    HRESULT LoseDeviceObjects() override;
    HRESULT DestroyDeviceObjects() override;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    std::string FrameStatsText() override;

    // The heads-up temperature line, as drawn.
    std::string TemperatureLine() const;

    // Read access for tests and tools.
    const FluidSolver* Solver() const { return solver; }
    const FluidComponent* Fluid() const { return fluidComponent; }
    FluidComponent* Fluid() { return fluidComponent; }  // benchmarks fill the bubble pool
    const OrbitState& Orbit() const { return orbit; }
    const Camera& SceneCamera() const { return camera; }
    bool HelpShown() const { return helpShown; }
    const SimulationClock& Clock() const { return clock; }
    DWORD HeadsUpPoints() const { return smallFontPoints; }

private:
    float BackBufferAspect() const;
    void ResetCamera();
    void FitHeadsUpFont();

    // [SECTION] Members, in the order of the design
    ComponentList components;     // the media first, the fluid component second
    FontTexture* largeFont;       // Arial 12 bold; created with the small one, never drawn with
    FontTexture* smallFont;       // Arial 9 bold; every heads-up line
    SceneMedia* media;            // owned by components
    BYTE keyState[kKeyStateSize];
    BYTE keyPressed[kKeyStateSize];  // keys pressed since the last UpdateFrame
    MouseOrbit mouse;                // the drag and the wheel since the last UpdateFrame
    bool helpShown;
    Camera camera;
    OrbitState orbit;
    FluidComponent* fluidComponent;  // owned by components
    FluidSolver* solver;             // owned; null when it could not be made
    HRESULT solverResult;            // FluidSolver::Create's result
    bool reloadRequested = false;    // F5 since the last frame: reload every effect and texture
    SimulationClock clock;           // P, ".", "[" and "]": the simulation's pause and speed
    DWORD smallFontPoints;           // the small font's size, fitted to the back buffer
};
