// Camera, orbit and keys: the look-at construction, the damped orbit and the key table.
#include "scene/Camera.h"

#include <cmath>
#include <cstring>

#include "platform/d3d/d3d8.h"

namespace {

constexpr UINT kMessageKeyDown = 0x0100;   // WM_KEYDOWN
constexpr UINT kMessageKeyUp = 0x0101;     // WM_KEYUP
constexpr UINT kMessageChar = 0x0102;      // WM_CHAR

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

// Keys that toggle a view when released, and characters passed on to the solver.
struct KeyBinding {
    WPARAM code;
    KeyAction action;
};

constexpr KeyBinding kReleaseToggles[] = {
    {kKeyHelp, KeyAction::ToggleHelp},
    {kKeyVelocity, KeyAction::ToggleVelocity},
    {kKeyWireframe, KeyAction::ToggleWireframe},
};

constexpr KeyBinding kCharacters[] = {
    {'1', KeyAction::RandomizeForces},
    {'3', KeyAction::InjectFaceJet},
    {' ', KeyAction::HeatBottom},
};

template <size_t N>
KeyAction Find(const KeyBinding (&table)[N], WPARAM code) {
    for (const KeyBinding& b : table) {
        if (b.code == code) return b.action;
    }
    return KeyAction::None;
}

}  // namespace

void ApplyHeldKeys(const BYTE keyState[kKeyStateSize], OrbitState& orbit) {
    for (const HeldKey& k : kHeldKeys) {
        if (keyState[k.key]) orbit.*k.velocity += k.push;
    }
}

KeyAction HandleKeyMessage(BYTE keyState[kKeyStateSize], UINT message, WPARAM wParam) {
    switch (message) {
    case kMessageKeyDown:
        if (wParam < kKeyStateSize) keyState[wParam] = 1;
        return KeyAction::None;
    case kMessageKeyUp:
        if (wParam >= kKeyStateSize) return KeyAction::None;
        keyState[wParam] = 0;
        return Find(kReleaseToggles, wParam);
    case kMessageChar:
        return Find(kCharacters, wParam);
    default:
        return KeyAction::None;
    }
}
