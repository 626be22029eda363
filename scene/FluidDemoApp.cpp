// FluidDemoApp: construction order, device hooks forwarded to the components and fonts, the
// key handling, and RenderFrame with its heads-up lines.
#include "scene/FluidDemoApp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "scene/FluidComponent.h"
#include "fluid/FluidSolver.h"
#include "scene/FontTexture.h"
#include "scene/SceneMedia.h"

namespace {

// [SECTION] Heads-up text
constexpr DWORD kStatsColour = 0xFFFFFF00;
constexpr DWORD kTextColour = 0xA0FFFFFF;
constexpr DWORD kKeysColour = 0xA0FF4040;
constexpr DWORD kReloadErrorColour = 0xFFFF3030;  // a data file that fails to reload
const char* const kHint = "Press F1 for help";
const char* const kHelpKeys = "Key\nSpace\nF1\nF2\nF3\nUp/Down\nLeft/Right\nA/Z";
const char* const kHelpActions =
    "action\n- heat bottom\n- toggles help\n- toggles fluid velocity display\n"
    "- toggles wireframe display\n- orbit camera vertically\n- orbit camera horizontally\n"
    "- move camera forward/backward\n";
const char* const kTemperatureFormat = "Temperatures: avg %.0f top %.0f bottom %.0f";
// The rows after the design's: every other key, then the mouse.
const char* const kMoreHelpKeys = "R\n1\n3\nP\n.\n[ / ]\nF5\nF11\nEscape\nLeft drag\nWheel";
const char* const kMoreHelpActions =
    "- reset camera\n- stir with random forces\n- push a jet from one side\n"
    "- pause/resume the simulation\n- one step while paused\n- slower/faster simulation\n"
    "- reload effects and textures\n- toggles full screen (also Alt+Enter)\n- quit\n- orbit camera\n"
    "- move camera forward/backward\n";
const std::string kAllHelpKeys = std::string(kHelpKeys) + "\n" + kMoreHelpKeys;
const std::string kAllHelpActions = std::string(kHelpActions) + kMoreHelpActions;

constexpr DWORD kDesignPoints = 9;  // the small font at 640x480 and below
constexpr DWORD kMaxPoints = 48;

}  // namespace

const char* HelpKeysColumn() { return kAllHelpKeys.c_str(); }
const char* HelpActionsColumn() { return kAllHelpActions.c_str(); }

DWORD HeadsUpFontPoints(UINT width, UINT height) {
    const double scale = std::min(width / 640.0, height / 480.0);
    const double points = std::round(kDesignPoints * scale);
    if (!(points >= kDesignPoints)) return kDesignPoints;
    return points > kMaxPoints ? kMaxPoints : static_cast<DWORD>(points);
}

FluidDemoApp::FluidDemoApp(const std::string& mediaRoot, int gridSize) {
    windowTitle = "Velkor - Simmerglass";
    initialWidth = 640;
    initialHeight = 480;
    useDepthBuffer = TRUE;
    minDepthBits = 16;
    minStencilBits = 0;
    windowed = TRUE;
    helpShown = false;
    std::memset(keyState, 0, sizeof keyState);
    std::memset(keyPressed, 0, sizeof keyPressed);
    largeFont = new FontTexture("Arial", 12, FontTexture::Bold);
    smallFont = new FontTexture("Arial", kDesignPoints, FontTexture::Bold);
    smallFontPoints = kDesignPoints;
    media = new SceneMedia();
    media->SetMediaRoot(mediaRoot);
    components.Add(media);
    std::unique_ptr<FluidSolver> made;
    solverResult = FluidSolver::Create(gridSize, &made);
    solver = made.release();
    fluidComponent = new FluidComponent(media, solver, &camera);
    components.Add(fluidComponent);
}

FluidDemoApp::~FluidDemoApp() {
    delete solver;
    solver = nullptr;
    // Then the components (the media, then the fluid component), then the fonts, whose device
    // objects the device hooks released before.
    components.DeleteAll();
    media = nullptr;
    fluidComponent = nullptr;
    delete largeFont;
    delete smallFont;
}

float FluidDemoApp::BackBufferAspect() const {
    return backBufferDesc.Height ? static_cast<float>(backBufferDesc.Width) /
                                       static_cast<float>(backBufferDesc.Height)
                                 : 1.0f;
}

void FluidDemoApp::ResetCamera() {
    ::ResetCamera(camera, orbit, BackBufferAspect(), device, elapsedTime);
}

// [SECTION] Hooks

HRESULT FluidDemoApp::InitScene() {
    if (!solver) return solverResult;
    std::memset(keyState, 0, sizeof keyState);
    std::memset(keyPressed, 0, sizeof keyPressed);
    mouse = MouseOrbit{};
    solver->SetParameters(0.001f, 0.01f, 0.0005f);
    return S_OK;
}

HRESULT FluidDemoApp::CreateDeviceObjects() {
    ResetCamera();
    components.CreateResources(device);
    // In a window the effect and texture files are watched: a saved change shows by itself.
    if (win::HasDisplay() && !win::IsHeadless()) media->WatchMediaFolders();
    largeFont->CreateResources(device);
    smallFont->CreateResources(device);
    return S_OK;
}

HRESULT FluidDemoApp::ResetDeviceObjects() {
    camera.SetProjection(kCameraFieldOfView, BackBufferAspect(), kCameraNear, kCameraFar);
    camera.UpdateView();
    camera.ApplyTransforms(device, false, true);
    components.RestoreResources();
    largeFont->RestoreResources();
    FitHeadsUpFont();
    smallFont->RestoreResources();
    return S_OK;
}

// A back buffer of a new size gets the small font at its size: drawn at its own size, the
// glyphs stay sharp, where stretching the 9-point ones would blur them.
void FluidDemoApp::FitHeadsUpFont() {
    const DWORD points = HeadsUpFontPoints(backBufferDesc.Width, backBufferDesc.Height);
    if (points == smallFontPoints) return;
    smallFont->LoseResources();
    smallFont->ReleaseResources();
    delete smallFont;
    smallFont = new FontTexture("Arial", points, FontTexture::Bold);
    smallFontPoints = points;
    smallFont->CreateResources(device);
}

HRESULT FluidDemoApp::UpdateFrame() {
    if (KeyActive(keyState, keyPressed, kKeyReset)) ResetCamera();
    ApplyHeldKeys(keyState, keyPressed, orbit);
    std::memset(keyPressed, 0, sizeof keyPressed);
    ApplyMouseInput(mouse, orbit, elapsedTime);
    return S_OK;
}

HRESULT FluidDemoApp::LoseDeviceObjects() {
    components.LoseResources();
    largeFont->LoseResources();
    smallFont->LoseResources();
    return S_OK;
}

HRESULT FluidDemoApp::DestroyDeviceObjects() {
    components.ReleaseResources();
    largeFont->ReleaseResources();
    smallFont->ReleaseResources();
    return S_OK;
}

LRESULT FluidDemoApp::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_F5) reloadRequested = true;
    switch (HandleMouseMessage(mouse, message, wParam, lParam)) {
        case MouseCapture::Take: SetCapture(hwnd); break;
        case MouseCapture::Release: ReleaseCapture(); break;
        case MouseCapture::Keep: break;
    }
    switch (HandleKeyMessage(keyState, keyPressed, message, wParam)) {
        case KeyAction::ToggleHelp: helpShown = !helpShown; break;
        case KeyAction::ToggleVelocity: fluidComponent->showVelocity = !fluidComponent->showVelocity; break;
        case KeyAction::ToggleWireframe: fluidComponent->wireframe = !fluidComponent->wireframe; break;
        // While paused the water takes no heat nor pushes: everything of it stands still.
        case KeyAction::HeatBottom:
            if (!clock.Paused()) solver->HeatBottomRing();
            break;
        case KeyAction::RandomizeForces:
            if (!clock.Paused()) solver->RandomizeForces();
            break;
        case KeyAction::InjectFaceJet:
            if (!clock.Paused()) solver->InjectFaceJet();
            break;
        case KeyAction::TogglePause: clock.TogglePause(); break;
        case KeyAction::StepFrame: clock.RequestStep(); break;
        case KeyAction::Slower: clock.Slower(); break;
        case KeyAction::Faster: clock.Faster(); break;
        case KeyAction::None: break;
    }
    return AppFramework::HandleMessage(hwnd, message, wParam, lParam);
}

// [SECTION] Frame

std::string FluidDemoApp::TemperatureLine() const {
    float average = 0.0f, bottom = 0.0f, top = 0.0f;
    solver->TemperatureStats(&average, &bottom, &top);
    // Room for three numbers of any magnitude (a float prints at most 39 digits before the point).
    char line[200];
    std::snprintf(line, sizeof line, kTemperatureFormat, average, top, bottom);
    return line;
}

// The frame at a glance: clear; move the camera; the fluid component draws (velocity lines if
// F2, pot, bubbles, water) and only then steps the simulation, so the picture always shows
// the state of the previous frame's step (one frame behind); heads-up text on top; the
// framework presents afterwards.
HRESULT FluidDemoApp::RenderFrame() {
    // Between frames (also while paused): effects and textures changed on disk, or all on F5.
    media->ReloadChangedFiles(reloadRequested);
    reloadRequested = false;
    HRESULT hr = device->BeginScene();
    if (FAILED(hr)) return hr;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    UpdateCamera(camera, orbit, elapsedTime);
    camera.ApplyTransforms(device, true, false);
    fluidComponent->speed = clock.TakeFrameSpeed();
    components.Tick(elapsedTime);
    // The design's places at 640x480, spread in proportion to the font's size.
    const float s = static_cast<float>(smallFontPoints) / static_cast<float>(kDesignPoints);
    const std::string pace = clock.StateText();
    const std::string firstLine = pace.empty() ? std::string(frameRateText) : std::string(frameRateText) + "   " + pace;
    smallFont->DrawText(4 * s, 2 * s, kStatsColour, firstLine.c_str(), 0);
    if (helpShown) {
        smallFont->DrawText(20 * s, 40 * s, kKeysColour, HelpKeysColumn(), 0);
        smallFont->DrawText(100 * s, 40 * s, kTextColour, HelpActionsColumn(), 0);
    } else {
        smallFont->DrawText(20 * s, 40 * s, kTextColour, kHint, 0);
    }
    smallFont->DrawText(4 * s, 20 * s, kTextColour, TemperatureLine().c_str(), 0);
    // Files that fail to reload, at the bottom, until they load again.
    const std::vector<std::string> reloadErrors = media->ReloadErrors();
    for (size_t i = 0; i < reloadErrors.size(); ++i) {
        const float y =
            static_cast<float>(backBufferDesc.Height) - 16.0f * s * static_cast<float>(reloadErrors.size() - i);
        smallFont->DrawText(4 * s, y, kReloadErrorColour, reloadErrors[i].c_str(), 0);
    }
    hr = device->EndScene();
    return FAILED(hr) ? hr : S_OK;
}

std::string FluidDemoApp::FrameStatsText() {
    return TemperatureLine() + " | bubbles " + std::to_string(fluidComponent->bubbles.count);
}
