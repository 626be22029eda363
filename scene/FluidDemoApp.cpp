// FluidDemoApp: construction order, device hooks forwarded to the components and fonts, the
// key handling, and RenderFrame with its heads-up lines.
#include "scene/FluidDemoApp.h"

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
const char* const kHint = "Press F1 for help";
const char* const kHelpKeys = "Key\nSpace\nF1\nF2\nF3\nUp/Down\nLeft/Right\nA/Z";
const char* const kHelpActions =
    "action\n- heat bottom\n- toggles help\n- toggles fluid velocity display\n"
    "- toggles wireframe display\n- orbit camera vertically\n- orbit camera horizontally\n"
    "- move camera forward/backward\n";
const char* const kTemperatureFormat = "Temperatures: avg %.0f top %.0f bottom %.0f";

}  // namespace

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
    smallFont = new FontTexture("Arial", 9, FontTexture::Bold);
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
    smallFont->RestoreResources();
    return S_OK;
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
    switch (HandleMouseMessage(mouse, message, wParam, lParam)) {
        case MouseCapture::Take: SetCapture(hwnd); break;
        case MouseCapture::Release: ReleaseCapture(); break;
        case MouseCapture::Keep: break;
    }
    switch (HandleKeyMessage(keyState, keyPressed, message, wParam)) {
        case KeyAction::ToggleHelp: helpShown = !helpShown; break;
        case KeyAction::ToggleVelocity: fluidComponent->showVelocity = !fluidComponent->showVelocity; break;
        case KeyAction::ToggleWireframe: fluidComponent->wireframe = !fluidComponent->wireframe; break;
        case KeyAction::HeatBottom: solver->HeatBottomRing(); break;
        case KeyAction::RandomizeForces: solver->RandomizeForces(); break;
        case KeyAction::InjectFaceJet: solver->InjectFaceJet(); break;
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
    HRESULT hr = device->BeginScene();
    if (FAILED(hr)) return hr;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    UpdateCamera(camera, orbit, elapsedTime);
    camera.ApplyTransforms(device, true, false);
    components.Tick(elapsedTime);
    smallFont->DrawText(4, 2, kStatsColour, frameRateText, 0);
    if (helpShown) {
        smallFont->DrawText(20, 40, kKeysColour, kHelpKeys, 0);
        smallFont->DrawText(100, 40, kTextColour, kHelpActions, 0);
    } else {
        smallFont->DrawText(20, 40, kTextColour, kHint, 0);
    }
    smallFont->DrawText(4, 20, kTextColour, TemperatureLine().c_str(), 0);
    hr = device->EndScene();
    return FAILED(hr) ? hr : S_OK;
}

std::string FluidDemoApp::FrameStatsText() {
    return TemperatureLine() + " | bubbles " + std::to_string(fluidComponent->bubbles.count);
}
