// Which way things turn: each orbit key and mouse gesture moves the eye the way the user sees it
// (Left orbits to the camera's left, Up lifts the eye, A comes closer, a drag to the left turns as
// Left does), the view matrix puts the camera's right, up and forward on +x, +y and +z, and the
// mouse's accumulations stop at their limit in both directions.
#include "scene/Camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/win/WinUser.h"

namespace {

constexpr float kFrame = 1.0f / 60.0f;

Vector3 Sub(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Length(const Vector3& a) { return std::sqrt(Dot(a, a)); }
Vector3 Row(const Matrix4& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2]}; }

// The point p in the camera's space (row vector times view).
Vector3 InView(const Camera& camera, const Vector3& p) {
    Vector3 out;
    D3DXVec3TransformCoord(&out, &p, &camera.view);
    return out;
}

struct Started {
    Camera camera;
    OrbitState orbit;
    Started() { ResetCamera(camera, orbit, 4.0f / 3.0f, nullptr, kFrame); }
};

// Holds the key for a few frames through the key messages and lets the glide finish.
void HoldKey(Started& s, BYTE key, int frames = 10) {
    BYTE state[kKeyStateSize] = {}, pressed[kKeyStateSize] = {};
    HandleKeyMessage(state, pressed, WM_KEYDOWN, key);
    for (int i = 0; i < frames; ++i) {
        ApplyHeldKeys(state, pressed, s.orbit);
        std::fill(std::begin(pressed), std::end(pressed), BYTE{0});
        UpdateCamera(s.camera, s.orbit, kFrame);
    }
    HandleKeyMessage(state, pressed, WM_KEYUP, key);
    for (int i = 0; i < 500; ++i) UpdateCamera(s.camera, s.orbit, kFrame);
}

TEST(CameraDirections, EachOrbitKeyMovesTheEyeTheWayItSays) {
    struct KeyRow {
        BYTE key;
        const char* name;
        // The eye's movement against the start camera's right, up and towards the target, and the
        // change of its distance to the target: the sign each must have (0: unchanged).
        int right, height, closer;
    };
    const KeyRow rows[] = {
        {kKeyLeft, "Left", -1, 0, 0},  {kKeyRight, "Right", +1, 0, 0}, {kKeyUp, "Up", 0, +1, 0},
        {kKeyDown, "Down", 0, -1, 0},  {kKeyCloser, "A", 0, 0, +1},    {kKeyFarther, "Z", 0, 0, -1},
    };
    for (const KeyRow& row : rows) {
        Started s;
        const Vector3 eye = s.camera.eye, right = Row(s.camera.cameraToWorld, 0);
        const float distance = Length(Sub(s.camera.target, eye));
        HoldKey(s, row.key);
        const Vector3 moved = Sub(s.camera.eye, eye);
        const float sideways = Dot(moved, right), rise = s.camera.eye.z - eye.z;
        const float approach = distance - Length(Sub(s.camera.target, s.camera.eye));
        auto sign = [](float v, float dead) { return v > dead ? 1 : (v < -dead ? -1 : 0); };
        EXPECT_EQ(sign(sideways, 0.5f), row.right) << row.name << " sideways " << sideways;
        EXPECT_EQ(sign(approach, 0.5f), row.closer) << row.name << " approach " << approach;
        // Orbiting sideways keeps the height; pitching changes it.
        if (row.height != 0) {
            EXPECT_EQ(sign(rise, 0.5f), row.height) << row.name << " rise " << rise;
        }
        if (row.right != 0) {
            EXPECT_NEAR(rise, 0.0f, 1e-3f) << row.name;
        }
    }
}

TEST(CameraDirections, YawTurnsAboutUpwardZAndPitchLiftsTheEye) {
    // Yaw 0 puts the eye on +x of the target; a quarter turn of yaw takes it to +y, as a turn
    // about +z does; more pitch puts it higher and closer to the axis.
    Started s;
    EXPECT_GT(s.camera.eye.x - s.camera.target.x, 100.0f);
    EXPECT_NEAR(s.camera.eye.y - s.camera.target.y, 0.0f, 1e-3f);
    s.orbit.yaw = 1.5707964f;
    UpdateCamera(s.camera, s.orbit, 0.0f);
    EXPECT_NEAR(s.camera.eye.x - s.camera.target.x, 0.0f, 1e-3f);
    EXPECT_GT(s.camera.eye.y - s.camera.target.y, 100.0f);
    const float lowZ = s.camera.eye.z;
    s.orbit.pitch = 1.2f;
    UpdateCamera(s.camera, s.orbit, 0.0f);
    EXPECT_GT(s.camera.eye.z, lowZ);
}

TEST(CameraDirections, ViewPutsRightUpAndForwardOnPositiveAxes) {
    Started s;
    const Vector3 t = s.camera.target;
    const Vector3 right = Row(s.camera.cameraToWorld, 0), up = Row(s.camera.cameraToWorld, 1);
    const Vector3 target = InView(s.camera, t);
    EXPECT_NEAR(target.x, 0.0f, 1e-3f);
    EXPECT_NEAR(target.y, 0.0f, 1e-3f);
    EXPECT_GT(target.z, 0.0f);  // in front: left-handed, looking along +z
    Vector3 r = InView(s.camera, {t.x + 10 * right.x, t.y + 10 * right.y, t.z + 10 * right.z});
    EXPECT_NEAR(r.x - target.x, 10.0f, 1e-3f);
    Vector3 u = InView(s.camera, {t.x + 10 * up.x, t.y + 10 * up.y, t.z + 10 * up.z});
    EXPECT_NEAR(u.y - target.y, 10.0f, 1e-3f);
    // World up is up on the screen, and right, up and forward form a left-handed basis.
    Vector3 above = InView(s.camera, {t.x, t.y, t.z + 10});
    EXPECT_GT(above.y - target.y, 0.0f);
    const Vector3 f = Row(s.camera.cameraToWorld, 2);
    Vector3 cross{up.y * f.z - up.z * f.y, up.z * f.x - up.x * f.z, up.x * f.y - up.y * f.x};
    EXPECT_NEAR(Dot(cross, right), 1.0f, 1e-4f);
}

TEST(CameraDirections, DragsTurnAsTheArrowKeysAndTheWheelZoomsAsAAndZ) {
    auto lParam = [](int x, int y) {
        return static_cast<LPARAM>((static_cast<unsigned>(y & 0xFFFF) << 16) | static_cast<unsigned>(x & 0xFFFF));
    };
    struct Gesture {
        int dx, dy, notches;
        BYTE sameAs;
    };
    const Gesture gestures[] = {{-40, 0, 0, kKeyLeft}, {40, 0, 0, kKeyRight}, {0, -40, 0, kKeyUp},
                                {0, 40, 0, kKeyDown},  {0, 0, 1, kKeyCloser}, {0, 0, -1, kKeyFarther}};
    for (const Gesture& g : gestures) {
        OrbitState byMouse, byKey;
        MouseOrbit mouse;
        if (g.notches) {
            HandleMouseMessage(mouse, WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(g.notches * 120)) << 16, 0);
        } else {
            HandleMouseMessage(mouse, WM_LBUTTONDOWN, MK_LBUTTON, lParam(100, 100));
            HandleMouseMessage(mouse, WM_MOUSEMOVE, MK_LBUTTON, lParam(100 + g.dx, 100 + g.dy));
        }
        ApplyMouseInput(mouse, byMouse, kFrame);
        BYTE state[kKeyStateSize] = {}, pressed[kKeyStateSize] = {};
        state[g.sameAs] = 1;
        ApplyHeldKeys(state, pressed, byKey);
        for (float OrbitState::*v : {&OrbitState::yawVelocity, &OrbitState::pitchVelocity, &OrbitState::distanceVelocity}) {
            const float a = byMouse.*v, b = byKey.*v;
            EXPECT_TRUE((a > 0) == (b > 0) && (a < 0) == (b < 0)) << "key " << int(g.sameAs) << ": " << a << " vs " << b;
        }
    }
}

TEST(CameraDirections, MouseAccumulationsStopAtTheLimitBothWays) {
    for (int direction : {+1, -1}) {
        MouseOrbit mouse;
        for (int i = 0; i < 100; ++i)
            HandleMouseMessage(mouse, WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(direction * 30000)) << 16, 0);
        EXPECT_EQ(mouse.wheel, direction * MouseOrbit::kLimit);
    }
}

}  // namespace
