// The demo's look-at camera, the orbit the user steers it on, and the keyboard and mouse
// handling that pushes the orbit and toggles the views. The orbit glides: keys and the mouse
// push velocities that decay once per frame, and only the integration uses the elapsed time.
#pragma once

#include "math/VectorMath.h"
#include "platform/win/WinTypes.h"

class IDirect3DDevice8;

// Look-at camera about z-up, left-handed. cameraToWorld has the rows right, up, forward and
// eye; view is its inverse. Nothing here touches the device except ApplyTransforms.
class Camera {
public:
    Camera();

    // projection = D3DXMatrixPerspectiveFovLH(fovY, aspect, nearZ, farZ).
    void SetProjection(float fovY, float aspect, float nearZ, float farZ);

    // Recomputes cameraToWorld (look-at from eye to target, then the roll about the viewing
    // axis) and view. When eye and target give no usable basis, cameraToWorld stays as it was.
    void UpdateView();

    // Sets D3DTS_VIEW and/or D3DTS_PROJECTION on the device; results are not examined.
    void ApplyTransforms(IDirect3DDevice8* device, bool setView, bool setProjection) const;

    Vector3 eye{0.0f, 0.0f, 0.0f};
    Vector3 target{0.0f, 1.0f, 0.0f};
    float roll = 0.0f;           // radians about the viewing axis
    Matrix4 projection;
    Matrix4 cameraToWorld;       // rows: right, up, forward, eye
    Matrix4 view;                // inverse of cameraToWorld
};

// The user's orbit around the target: distance in world units, angles in radians, their
// velocities per second.
struct OrbitState {
    float distance = 295.0f;          // clamped to [kMinDistance, kMaxDistance]
    float yaw = 0.0f;                 // about the z axis, unlimited
    float pitch = 1.0f;               // above the xy plane, clamped to [kMinPitch, kMaxPitch]
    float distanceVelocity = 0.0f;
    float yawVelocity = 0.0f;
    float pitchVelocity = 0.0f;

    static constexpr float kStartDistance = 295.0f;
    static constexpr float kStartPitch = 1.0f;
    static constexpr float kMinDistance = 190.0f;
    static constexpr float kMaxDistance = 400.0f;
    static constexpr float kMinPitch = 0.3f;
    static constexpr float kMaxPitch = 1.5079645f;   // 0.48 pi: never straight above
    static constexpr float kDamping = 0.9f;          // per frame
    static constexpr float kRestSpeed = 0.001f;      // slower than this stops exactly
};

// Vertical field of view (72 degrees) and depth range of the demo's projection.
constexpr float kCameraFieldOfView = 1.2566371f;
constexpr float kCameraNear = 10.0f;
constexpr float kCameraFar = 600.0f;

// The orbit's centre: on the pot's axis, halfway up the water.
constexpr Vector3 kOrbitTarget{0.0f, 0.0f, 35.0f};

// Start orbit: projection for the back buffer's aspect (width / height), set on the device
// when there is one; distance 295, yaw 0, pitch 1, no motion; target (0, 0, 35); then
// UpdateCamera.
void ResetCamera(Camera& camera, OrbitState& orbit, float aspect, IDirect3DDevice8* device,
                 float elapsedTime);

// One frame of the orbit: damp the velocities, integrate them over elapsedTime, clamp
// distance and pitch, place the eye around the target and update the view.
void UpdateCamera(Camera& camera, OrbitState& orbit, float elapsedTime);

// [Keys] Virtual-key codes the demo reads.
constexpr BYTE kKeyReset = 0x52;       // R
constexpr BYTE kKeyLeft = 0x25;
constexpr BYTE kKeyUp = 0x26;
constexpr BYTE kKeyRight = 0x27;
constexpr BYTE kKeyDown = 0x28;
constexpr BYTE kKeyCloser = 0x41;      // A
constexpr BYTE kKeyFarther = 0x5A;     // Z
constexpr BYTE kKeyHelp = 0x70;        // F1
constexpr BYTE kKeyVelocity = 0x71;    // F2
constexpr BYTE kKeyWireframe = 0x72;   // F3
constexpr BYTE kKeyPause = 0x50;       // P

// The 256-byte key state: 1 while a key is down. Beside it, the same size, the keys pressed
// since the last frame: a key pressed and released between two frames still acts once.
constexpr int kKeyStateSize = 256;

// Whether the frame acts on a key: held now, or pressed since the last frame.
inline bool KeyActive(const BYTE keyState[kKeyStateSize], const BYTE keyPressed[kKeyStateSize], BYTE key) {
    return keyState[key] != 0 || keyPressed[key] != 0;
}

// Pushes of the active orbit keys for one frame (arrows: 0.2 rad/s, A and Z: 30 units/s).
// R is the caller's: it resets the camera before these pushes. The caller clears keyPressed
// once the frame has read it.
void ApplyHeldKeys(const BYTE keyState[kKeyStateSize], const BYTE keyPressed[kKeyStateSize], OrbitState& orbit);

// What a keyboard message asks of the demo beyond the key state.
enum class KeyAction {
    None,
    ToggleHelp,        // F1 released
    ToggleVelocity,    // F2 released
    ToggleWireframe,   // F3 released
    HeatBottom,        // character Space
    RandomizeForces,   // character "1"
    InjectFaceJet,     // character "3"
    TogglePause,       // P released
    StepFrame,         // character "."
    Slower,            // character "["
    Faster,            // character "]"
};

// Keeps the key state for WM_KEYDOWN and WM_KEYUP, latches each key-down in keyPressed, and
// says what the message asks for. A key code outside the 256 entries changes nothing.
KeyAction HandleKeyMessage(BYTE keyState[kKeyStateSize], BYTE keyPressed[kKeyStateSize], UINT message,
                           WPARAM wParam);

// [Mouse] A left-button drag orbits as the arrow keys do (a horizontal drag as Left/Right, a
// vertical one as Up/Down) and the wheel moves the camera as A/Z do (forward = closer). Both
// push the orbit's velocities, so the damping and the limits above apply to them unchanged.
// Each push is sized so that the glide that follows covers the distance the mouse asked for.
struct MouseOrbit {
    bool dragging = false;      // the left button went down in the window and is still down
    int lastX = 0, lastY = 0;   // client position of the previous message of the drag
    int dragX = 0, dragY = 0;   // pixels dragged since the last frame, right and down positive
    int wheel = 0;              // wheel rotation since the last frame, WHEEL_DELTA (120) a notch

    static constexpr float kRadiansPerPixel = 0.005f;  // orbit turn for one dragged pixel
    static constexpr float kUnitsPerNotch = 20.0f;     // distance for one wheel notch
    static constexpr int kWheelDelta = 120;
    static constexpr int kLimit = 1 << 20;             // accumulations stop growing here
};

// What the window must do with the mouse capture after a mouse message.
enum class MouseCapture { Keep, Take, Release };

// Gathers the drag and the wheel from WM_LBUTTONDOWN/UP, WM_MOUSEMOVE, WM_MOUSEWHEEL and
// WM_CAPTURECHANGED; every other message (the right and middle buttons included) is ignored.
MouseCapture HandleMouseMessage(MouseOrbit& mouse, UINT message, WPARAM wParam, LPARAM lParam);

// Turns what was gathered since the last frame into velocity pushes and clears it. With no
// elapsed time (a stopped clock) nothing can glide: the input waits for the next frame.
void ApplyMouseInput(MouseOrbit& mouse, OrbitState& orbit, float elapsedTime);
