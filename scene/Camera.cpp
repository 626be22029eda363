// Camera, orbit and keys: the look-at construction, the damped orbit and the key table.
#include "scene/Camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d/d3d8.h"
#include "platform/win/WinUser.h"

namespace {

// Below this squared length a candidate up vector is too close to the viewing axis.
constexpr float kDegenerateUp = 1e-6f;

Vector3 Minus(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// up - (up . f) f: the part of up perpendicular to the unit forward vector f.
Vector3 Perpendicular(const Vector3& up, const Vector3& f) {
    float d = Dot(up, f);
    return {up.x - d * f.x, up.y - d * f.y, up.z - d * f.z};
}

void ToDeviceMatrix(const Matrix4& m, D3DMATRIX* out) {
    static_assert(sizeof(Matrix4) == sizeof(D3DMATRIX), "both are 16 floats, row by row");
    std::memcpy(out, &m, sizeof(D3DMATRIX));
}

}  // namespace

// [SECTION] Camera

Camera::Camera() : projection(Matrix4::Identity()), cameraToWorld(Matrix4::Identity()),
                   view(Matrix4::Identity()) {
    SetProjection(1.5707964f, 1.3f, 10.0f, 1000.0f);
    UpdateView();
}

void Camera::SetProjection(float fovY, float aspect, float nearZ, float farZ) {
    D3DXMatrixPerspectiveFovLH(&projection, fovY, aspect, nearZ, farZ);
}

void Camera::UpdateView() {
    Vector3 d = Minus(target, eye);
    Vector3 f;
    D3DXVec3Normalize(&f, &d);
    Vector3 up = Perpendicular({0.0f, 0.0f, 1.0f}, f);
    if (Dot(up, up) < kDegenerateUp) up = Perpendicular({0.0f, 1.0f, 0.0f}, f);
    if (Dot(up, up) < kDegenerateUp) up = Perpendicular({0.0f, 0.0f, 1.0f}, f);
    if (Dot(up, up) >= kDegenerateUp) {
        D3DXVec3Normalize(&up, &up);
        Vector3 r{up.y * f.z - up.z * f.y, up.z * f.x - up.x * f.z, up.x * f.y - up.y * f.x};
        cameraToWorld = Matrix4{{{r.x, r.y, r.z, 0.0f},
                                 {up.x, up.y, up.z, 0.0f},
                                 {f.x, f.y, f.z, 0.0f},
                                 {eye.x, eye.y, eye.z, 1.0f}}};
    }
    Matrix4 rollMatrix;
    D3DXMatrixRotationZ(&rollMatrix, roll);
    D3DXMatrixMultiply(&cameraToWorld, &rollMatrix, &cameraToWorld);
    D3DXMatrixInverse(&view, nullptr, &cameraToWorld);
}

void Camera::ApplyTransforms(IDirect3DDevice8* device, bool setView, bool setProjection) const {
    if (!device) return;
    D3DMATRIX m;
    if (setView) {
        ToDeviceMatrix(view, &m);
        device->SetTransform(D3DTS_VIEW, &m);
    }
    if (setProjection) {
        ToDeviceMatrix(projection, &m);
        device->SetTransform(D3DTS_PROJECTION, &m);
    }
}

// [SECTION] Orbit

void ResetCamera(Camera& camera, OrbitState& orbit, float aspect, IDirect3DDevice8* device,
                 float elapsedTime) {
    camera.SetProjection(kCameraFieldOfView, aspect, kCameraNear, kCameraFar);
    camera.ApplyTransforms(device, false, true);
    orbit = OrbitState{};
    camera.target = kOrbitTarget;
    UpdateCamera(camera, orbit, elapsedTime);
}

void UpdateCamera(Camera& camera, OrbitState& orbit, float t) {
    for (float* velocity : {&orbit.distanceVelocity, &orbit.yawVelocity, &orbit.pitchVelocity}) {
        *velocity *= OrbitState::kDamping;
        if (std::fabs(*velocity) < OrbitState::kRestSpeed) *velocity = 0.0f;
    }
    orbit.distance += t * orbit.distanceVelocity;
    orbit.yaw += t * orbit.yawVelocity;
    orbit.pitch += t * orbit.pitchVelocity;
    if (orbit.distance < OrbitState::kMinDistance) {
        orbit.distance = OrbitState::kMinDistance;
    } else if (orbit.distance > OrbitState::kMaxDistance) {
        orbit.distance = OrbitState::kMaxDistance;
    }
    if (orbit.pitch < OrbitState::kMinPitch) {
        orbit.pitch = OrbitState::kMinPitch;
    } else if (orbit.pitch > OrbitState::kMaxPitch) {
        orbit.pitch = OrbitState::kMaxPitch;
    }
    Vector3 p{orbit.distance, 0.0f, 0.0f};
    Matrix4 rotation;
    D3DXVec3TransformCoord(&p, &p, D3DXMatrixRotationY(&rotation, -orbit.pitch));
    D3DXVec3TransformCoord(&p, &p, D3DXMatrixRotationZ(&rotation, orbit.yaw));
    camera.eye = {camera.target.x + p.x, camera.target.y + p.y, camera.target.z + p.z};
    camera.UpdateView();
}

// [SECTION] Keys

namespace {

// The held keys and their pushes, in the order they are applied.
struct HeldKey {
    BYTE key;
    float OrbitState::*velocity;
    float push;
};

constexpr HeldKey kHeldKeys[] = {
    {kKeyUp, &OrbitState::pitchVelocity, 0.2f},
    {kKeyDown, &OrbitState::pitchVelocity, -0.2f},
    {kKeyLeft, &OrbitState::yawVelocity, 0.2f},
    {kKeyRight, &OrbitState::yawVelocity, -0.2f},
    {kKeyCloser, &OrbitState::distanceVelocity, -30.0f},
    {kKeyFarther, &OrbitState::distanceVelocity, 30.0f},
};

// Keys that toggle a view (or the pause) when released, and characters passed on to the solver
// or the simulation's clock; those repeat while held.
struct KeyBinding {
    WPARAM code;
    KeyAction action;
};

constexpr KeyBinding kReleaseToggles[] = {
    {kKeyHelp, KeyAction::ToggleHelp},
    {kKeyVelocity, KeyAction::ToggleVelocity},
    {kKeyWireframe, KeyAction::ToggleWireframe},
    {kKeyPause, KeyAction::TogglePause},
};

constexpr KeyBinding kCharacters[] = {
    {'1', KeyAction::RandomizeForces},
    {'3', KeyAction::InjectFaceJet},
    {' ', KeyAction::HeatBottom},
    {'.', KeyAction::StepFrame},
    {'[', KeyAction::Slower},
    {']', KeyAction::Faster},
};

template <size_t N>
KeyAction Find(const KeyBinding (&table)[N], WPARAM code) {
    for (const KeyBinding& b : table) {
        if (b.code == code) return b.action;
    }
    return KeyAction::None;
}

}  // namespace

void ApplyHeldKeys(const BYTE keyState[kKeyStateSize], const BYTE keyPressed[kKeyStateSize], OrbitState& orbit) {
    for (const HeldKey& k : kHeldKeys) {
        if (KeyActive(keyState, keyPressed, k.key)) orbit.*k.velocity += k.push;
    }
}

KeyAction HandleKeyMessage(BYTE keyState[kKeyStateSize], BYTE keyPressed[kKeyStateSize], UINT message,
                           WPARAM wParam) {
    switch (message) {
    case WM_KEYDOWN:
        if (wParam < kKeyStateSize) {
            keyState[wParam] = 1;
            keyPressed[wParam] = 1;
        }
        return KeyAction::None;
    case WM_KEYUP:
        if (wParam >= kKeyStateSize) return KeyAction::None;
        keyState[wParam] = 0;
        return Find(kReleaseToggles, wParam);
    case WM_CHAR:
        return Find(kCharacters, wParam);
    default:
        return KeyAction::None;
    }
}

// [SECTION] Mouse

namespace {

int Accumulate(int total, int change) {
    return std::clamp(total + change, -MouseOrbit::kLimit, MouseOrbit::kLimit);
}

// Adds the movement from the previous position of the drag to (x, y).
void Drag(MouseOrbit& mouse, LPARAM lParam) {
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    mouse.dragX = Accumulate(mouse.dragX, x - mouse.lastX);
    mouse.dragY = Accumulate(mouse.dragY, y - mouse.lastY);
    mouse.lastX = x;
    mouse.lastY = y;
}

// The velocity push whose damped glide covers `distance` over the following frames: after
// the push v, UpdateCamera moves t (d v + d^2 v + ...) = t v d / (1 - d), with d the damping.
float GlidePush(float distance, float t) {
    return distance * (1.0f - OrbitState::kDamping) / (OrbitState::kDamping * t);
}

}  // namespace

MouseCapture HandleMouseMessage(MouseOrbit& mouse, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
        mouse.dragging = true;
        mouse.lastX = GET_X_LPARAM(lParam);
        mouse.lastY = GET_Y_LPARAM(lParam);
        return MouseCapture::Take;
    case WM_MOUSEMOVE:
        if (!mouse.dragging) return MouseCapture::Keep;
        // A move without the left button: its release went elsewhere; the drag is over.
        if (!(wParam & MK_LBUTTON)) {
            mouse.dragging = false;
            return MouseCapture::Release;
        }
        Drag(mouse, lParam);
        return MouseCapture::Keep;
    case WM_LBUTTONUP:
        if (!mouse.dragging) return MouseCapture::Keep;
        Drag(mouse, lParam);
        mouse.dragging = false;
        return MouseCapture::Release;
    case WM_CAPTURECHANGED:
        mouse.dragging = false;
        return MouseCapture::Keep;
    case WM_MOUSEWHEEL:
        mouse.wheel = Accumulate(mouse.wheel, GET_WHEEL_DELTA_WPARAM(wParam));
        return MouseCapture::Keep;
    default:
        return MouseCapture::Keep;
    }
}

void ApplyMouseInput(MouseOrbit& mouse, OrbitState& orbit, float t) {
    if (!(t > 0.0f)) return;
    // Dragging left turns as Left does (yaw up), dragging up as Up does (pitch up); a wheel
    // turned forward comes closer as A does.
    orbit.yawVelocity += GlidePush(-static_cast<float>(mouse.dragX) * MouseOrbit::kRadiansPerPixel, t);
    orbit.pitchVelocity += GlidePush(-static_cast<float>(mouse.dragY) * MouseOrbit::kRadiansPerPixel, t);
    orbit.distanceVelocity += GlidePush(-static_cast<float>(mouse.wheel) / MouseOrbit::kWheelDelta *
                                            MouseOrbit::kUnitsPerNotch, t);
    mouse.dragX = 0;
    mouse.dragY = 0;
    mouse.wheel = 0;
}
