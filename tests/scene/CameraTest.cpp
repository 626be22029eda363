// Camera and orbit: the start position, the look-at basis, clamps, damping, the keys with
// their press latch, and the mouse's drag and wheel.
#include "scene/Camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/win/WinUser.h"

namespace {

constexpr float kFrame = 1.0f / 60.0f;
const BYTE kNoPresses[kKeyStateSize] = {};

// Lets the orbit glide until every velocity has come to rest.
void Settle(Camera& camera, OrbitState& orbit, float frame) {
    for (int i = 0; i < 2000 && (orbit.yawVelocity != 0.0f || orbit.pitchVelocity != 0.0f ||
                                 orbit.distanceVelocity != 0.0f);
         ++i)
        UpdateCamera(camera, orbit, frame);
}

void RunFrames(Camera& camera, OrbitState& orbit, BYTE* keys, int frames) {
    for (int i = 0; i < frames; ++i) {
        ApplyHeldKeys(keys, kNoPresses, orbit);
        UpdateCamera(camera, orbit, kFrame);
    }
}

}  // namespace

TEST(Camera, ConstructionProjectionAndBasis) {
    Camera camera;
    Matrix4 expected;
    D3DXMatrixPerspectiveFovLH(&expected, 1.5707964f, 1.3f, 10.0f, 1000.0f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(camera.projection.m[r][c], expected.m[r][c]);
    // Looking along +y with z up: right is -x (left-handed), forward +y.
    EXPECT_FLOAT_EQ(camera.cameraToWorld.m[0][0], -1.0f);
    EXPECT_FLOAT_EQ(camera.cameraToWorld.m[1][2], 1.0f);
    EXPECT_FLOAT_EQ(camera.cameraToWorld.m[2][1], 1.0f);
}

TEST(Camera, ResetPutsTheEyeOnTheStartOrbit) {
    Camera camera;
    OrbitState orbit;
    orbit.distance = 350.0f;
    orbit.yawVelocity = 1.0f;
    ResetCamera(camera, orbit, 640.0f / 480.0f, nullptr, kFrame);
    EXPECT_EQ(orbit.distance, 295.0f);
    EXPECT_EQ(orbit.yaw, 0.0f);
    EXPECT_EQ(orbit.pitch, 1.0f);
    EXPECT_EQ(orbit.yawVelocity, 0.0f);
    EXPECT_NEAR(camera.eye.x, 159.39f, 0.01f);
    EXPECT_NEAR(camera.eye.y, 0.0f, 1e-4f);
    EXPECT_NEAR(camera.eye.z, 283.23f, 0.01f);
    EXPECT_EQ(camera.target.z, 35.0f);
    // cameraToWorld's last row is the eye, its forward row points at the target, and view
    // undoes it.
    EXPECT_EQ(camera.cameraToWorld.m[3][0], camera.eye.x);
    EXPECT_EQ(camera.cameraToWorld.m[3][2], camera.eye.z);
    EXPECT_NEAR(camera.cameraToWorld.m[2][0], -std::cos(1.0f), 1e-5f);
    EXPECT_NEAR(camera.cameraToWorld.m[2][2], -std::sin(1.0f), 1e-5f);
    Matrix4 product;
    D3DXMatrixMultiply(&product, &camera.cameraToWorld, &camera.view);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-4f);
    // Projection: 72 degrees vertically, the back buffer's aspect, depth 10 to 600.
    float h = std::cos(0.62831855f) / std::sin(0.62831855f);
    EXPECT_NEAR(camera.projection.m[1][1], h, 1e-5f);
    EXPECT_NEAR(camera.projection.m[0][0], h / (4.0f / 3.0f), 1e-5f);
    EXPECT_NEAR(camera.projection.m[2][2], 600.0f / 590.0f, 1e-5f);
}

TEST(Camera, DistanceStopsAt190AndTheVelocityComesToRest) {
    Camera camera;
    OrbitState orbit;
    ResetCamera(camera, orbit, 4.0f / 3.0f, nullptr, kFrame);
    BYTE keys[kKeyStateSize] = {};
    keys[kKeyCloser] = 1;
    RunFrames(camera, orbit, keys, 300);
    EXPECT_EQ(orbit.distance, 190.0f);
    EXPECT_NEAR(orbit.distanceVelocity, -270.0f, 0.5f);   // v <- 0.9 (v - 30) tends to -270
    keys[kKeyCloser] = 0;
    int frames = 0;
    while (orbit.distanceVelocity != 0.0f && frames < 1000) {
        UpdateCamera(camera, orbit, kFrame);
        ++frames;
    }
    EXPECT_LT(frames, 1000);
    EXPECT_EQ(orbit.distanceVelocity, 0.0f);   // exactly, once below 0.001
    EXPECT_EQ(orbit.distance, 190.0f);

    keys[kKeyFarther] = 1;
    RunFrames(camera, orbit, keys, 400);
    EXPECT_EQ(orbit.distance, 400.0f);
}

TEST(Camera, PitchStopsShortOfStraightAboveAndAboveTheHorizon) {
    Camera camera;
    OrbitState orbit;
    ResetCamera(camera, orbit, 4.0f / 3.0f, nullptr, kFrame);
    BYTE keys[kKeyStateSize] = {};
    keys[kKeyUp] = 1;
    RunFrames(camera, orbit, keys, 600);
    EXPECT_EQ(orbit.pitch, 1.5079645f);
    EXPECT_NEAR(orbit.pitchVelocity, 1.8f, 1e-3f);   // v <- 0.9 (v + 0.2)
    float across = std::hypot(camera.eye.x - camera.target.x, camera.eye.y - camera.target.y);
    EXPECT_GT(across, 10.0f);   // never the point straight above the target
    keys[kKeyUp] = 0;
    keys[kKeyDown] = 1;
    RunFrames(camera, orbit, keys, 600);
    EXPECT_EQ(orbit.pitch, 0.3f);
    EXPECT_GT(camera.eye.z, 70.0f);   // always above the water
}

TEST(Camera, YawHasNoLimitAndKeysPushInTheirDirections) {
    OrbitState orbit;
    BYTE keys[kKeyStateSize] = {};
    keys[kKeyLeft] = 1;
    ApplyHeldKeys(keys, kNoPresses, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.2f);
    keys[kKeyRight] = 1;   // both held: they cancel
    ApplyHeldKeys(keys, kNoPresses, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.2f);
    keys[kKeyLeft] = 0;
    ApplyHeldKeys(keys, kNoPresses, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.0f);
    keys[kKeyRight] = 0;
    keys[kKeyFarther] = 1;
    ApplyHeldKeys(keys, kNoPresses, orbit);
    EXPECT_EQ(orbit.distanceVelocity, 30.0f);
    keys[kKeyReset] = 1;   // R is the caller's: no push
    keys[kKeyFarther] = 0;
    ApplyHeldKeys(keys, kNoPresses, orbit);
    EXPECT_EQ(orbit.distanceVelocity, 30.0f);

    Camera camera;
    OrbitState spin;
    ResetCamera(camera, spin, 1.0f, nullptr, kFrame);
    BYTE left[kKeyStateSize] = {};
    left[kKeyLeft] = 1;
    RunFrames(camera, spin, left, 600);
    EXPECT_GT(spin.yaw, 6.2832f);   // more than a full turn
}

TEST(Camera, LookingStraightDownFallsBackToYAsUp) {
    Camera camera;
    camera.eye = {0.0f, 0.0f, 10.0f};
    camera.target = {0.0f, 0.0f, 0.0f};
    camera.UpdateView();
    const float expected[3][3] = {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}};   // right, up, forward
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(camera.cameraToWorld.m[r][c], expected[r][c]);
    EXPECT_EQ(camera.cameraToWorld.m[3][2], 10.0f);
    EXPECT_FLOAT_EQ(camera.view.m[3][2], 10.0f);   // the eye at view depth -10 reversed

    // A roll turns the basis about the viewing axis: a quarter turn makes up the old right.
    camera.roll = 1.5707964f;
    camera.UpdateView();
    EXPECT_NEAR(camera.cameraToWorld.m[1][0], 1.0f, 1e-6f);
    EXPECT_NEAR(camera.cameraToWorld.m[2][2], -1.0f, 1e-6f);
}

TEST(Keys, MessagesKeepTheKeyStateAndToggleOnRelease) {
    BYTE keys[kKeyStateSize] = {};
    BYTE pressed[kKeyStateSize] = {};
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0100, kKeyVelocity), KeyAction::None);
    EXPECT_EQ(keys[kKeyVelocity], 1);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0100, kKeyVelocity), KeyAction::None);   // auto-repeat
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0101, kKeyVelocity), KeyAction::ToggleVelocity);
    EXPECT_EQ(keys[kKeyVelocity], 0);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0101, kKeyHelp), KeyAction::ToggleHelp);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0101, kKeyWireframe), KeyAction::ToggleWireframe);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0101, kKeyUp), KeyAction::None);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0102, ' '), KeyAction::HeatBottom);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0102, '1'), KeyAction::RandomizeForces);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0102, '3'), KeyAction::InjectFaceJet);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0102, '2'), KeyAction::None);
    // The key-down of F1 is not a toggle, and characters do not touch the key state.
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0100, kKeyHelp), KeyAction::None);
    EXPECT_EQ(keys[' '], 0);
    // A code beyond the state is ignored rather than written past its end.
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0100, 300), KeyAction::None);
    EXPECT_EQ(HandleKeyMessage(keys, pressed, 0x0101, 0x170), KeyAction::None);
}

// R or an arrow pressed and released between two frames: the held state is already clear
// when the frame reads it, the latch still makes the press act once.
TEST(Keys, APressBetweenTwoFramesActsOnce) {
    BYTE keys[kKeyStateSize] = {};
    BYTE pressed[kKeyStateSize] = {};
    HandleKeyMessage(keys, pressed, WM_KEYDOWN, kKeyLeft);
    HandleKeyMessage(keys, pressed, WM_KEYUP, kKeyLeft);
    HandleKeyMessage(keys, pressed, WM_KEYDOWN, kKeyReset);
    HandleKeyMessage(keys, pressed, WM_KEYUP, kKeyReset);
    EXPECT_EQ(keys[kKeyLeft], 0);
    EXPECT_TRUE(KeyActive(keys, pressed, kKeyReset));
    OrbitState orbit;
    ApplyHeldKeys(keys, pressed, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.2f);
    // Held and latched in the same frame: one push, not two.
    HandleKeyMessage(keys, pressed, WM_KEYDOWN, kKeyUp);
    ApplyHeldKeys(keys, pressed, orbit);
    EXPECT_FLOAT_EQ(orbit.pitchVelocity, 0.2f);
    // Once the frame has cleared the latch, only held keys act.
    std::fill(std::begin(pressed), std::end(pressed), BYTE{0});
    EXPECT_FALSE(KeyActive(keys, pressed, kKeyReset));
    ApplyHeldKeys(keys, pressed, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.4f);
    EXPECT_FLOAT_EQ(orbit.pitchVelocity, 0.4f);
    // Releases and characters latch nothing; codes past the state are ignored.
    BYTE none[kKeyStateSize] = {};
    HandleKeyMessage(keys, none, WM_KEYUP, kKeyDown);
    HandleKeyMessage(keys, none, WM_CHAR, ' ');
    HandleKeyMessage(keys, none, WM_KEYDOWN, 0x1A0);
    for (BYTE b : none) EXPECT_EQ(b, 0);
}

// [SECTION] Mouse

namespace {
LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x)), static_cast<WORD>(static_cast<SHORT>(y))); }
WPARAM Wheel(int delta) { return static_cast<WPARAM>(static_cast<WORD>(static_cast<SHORT>(delta))) << 16; }

// A left-button drag from (x, y) by (dx, dy) in two moves, as the window delivers it.
void DragBy(MouseOrbit& mouse, int x, int y, int dx, int dy) {
    EXPECT_EQ(HandleMouseMessage(mouse, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y)), MouseCapture::Take);
    EXPECT_EQ(HandleMouseMessage(mouse, WM_MOUSEMOVE, MK_LBUTTON, At(x + dx / 2, y + dy / 2)), MouseCapture::Keep);
    EXPECT_EQ(HandleMouseMessage(mouse, WM_LBUTTONUP, 0, At(x + dx, y + dy)), MouseCapture::Release);
}
}  // namespace

// A drag turns the orbit the way the arrow keys do, by the distance it asked for once the
// glide has come to rest, whatever the frame time.
TEST(Mouse, DragOrbitsLikeTheArrowKeysAndGlidesToItsDistance) {
    for (float frame : {1.0f / 60.0f, 1.0f / 8.0f}) {
        Camera camera;
        OrbitState orbit;
        ResetCamera(camera, orbit, 1.0f, nullptr, frame);
        MouseOrbit mouse;
        DragBy(mouse, 300, 200, -40, -20);  // left and up: as Left and Up
        EXPECT_FALSE(mouse.dragging);
        EXPECT_EQ(mouse.dragX, -40);
        EXPECT_EQ(mouse.dragY, -20);
        ApplyMouseInput(mouse, orbit, frame);
        EXPECT_GT(orbit.yawVelocity, 0.0f);
        EXPECT_GT(orbit.pitchVelocity, 0.0f);
        EXPECT_EQ(mouse.dragX, 0);
        Settle(camera, orbit, frame);
        EXPECT_NEAR(orbit.yaw, 40 * MouseOrbit::kRadiansPerPixel, 2e-3f) << frame;
        EXPECT_NEAR(orbit.pitch, 1.0f + 20 * MouseOrbit::kRadiansPerPixel, 2e-3f) << frame;
        // The opposite drag comes back.
        DragBy(mouse, 260, 180, 40, 20);
        ApplyMouseInput(mouse, orbit, frame);
        Settle(camera, orbit, frame);
        EXPECT_NEAR(orbit.yaw, 0.0f, 2e-3f);
        EXPECT_NEAR(orbit.pitch, 1.0f, 2e-3f);
    }
}

// The wheel goes through the same limits as A and Z; right and middle buttons, moves without
// a drag and a lost capture do nothing to the orbit.
TEST(Mouse, WheelZoomsWithinTheLimitsAndOtherButtonsDoNothing) {
    Camera camera;
    OrbitState orbit;
    ResetCamera(camera, orbit, 1.0f, nullptr, kFrame);
    MouseOrbit mouse;
    HandleMouseMessage(mouse, WM_MOUSEWHEEL, Wheel(120), At(0, 0));
    ApplyMouseInput(mouse, orbit, kFrame);
    EXPECT_LT(orbit.distanceVelocity, 0.0f);  // forward: closer, as A
    Settle(camera, orbit, kFrame);
    EXPECT_NEAR(orbit.distance, 295.0f - MouseOrbit::kUnitsPerNotch, 0.05f);
    for (int i = 0; i < 40; ++i) HandleMouseMessage(mouse, WM_MOUSEWHEEL, Wheel(-120), At(0, 0));
    ApplyMouseInput(mouse, orbit, kFrame);
    Settle(camera, orbit, kFrame);
    EXPECT_EQ(orbit.distance, OrbitState::kMaxDistance);
    HandleMouseMessage(mouse, WM_MOUSEWHEEL, Wheel(32767), At(0, 0));
    HandleMouseMessage(mouse, WM_MOUSEWHEEL, Wheel(32767), At(0, 0));
    ApplyMouseInput(mouse, orbit, kFrame);
    Settle(camera, orbit, kFrame);
    EXPECT_EQ(orbit.distance, OrbitState::kMinDistance);

    const OrbitState before = orbit;
    EXPECT_EQ(HandleMouseMessage(mouse, WM_RBUTTONDOWN, MK_RBUTTON, At(10, 10)), MouseCapture::Keep);
    HandleMouseMessage(mouse, WM_MOUSEMOVE, MK_RBUTTON, At(200, 90));
    HandleMouseMessage(mouse, WM_RBUTTONUP, 0, At(200, 90));
    HandleMouseMessage(mouse, WM_MBUTTONDOWN, MK_MBUTTON, At(200, 90));
    HandleMouseMessage(mouse, WM_MBUTTONUP, 0, At(200, 90));
    HandleMouseMessage(mouse, WM_MOUSEMOVE, 0, At(5, 5));
    // A drag whose capture is taken away stops there; so does one whose release went elsewhere.
    HandleMouseMessage(mouse, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    HandleMouseMessage(mouse, WM_CAPTURECHANGED, 0, 0);
    HandleMouseMessage(mouse, WM_MOUSEMOVE, MK_LBUTTON, At(300, 300));
    HandleMouseMessage(mouse, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    EXPECT_EQ(HandleMouseMessage(mouse, WM_MOUSEMOVE, 0, At(300, 300)), MouseCapture::Release);
    EXPECT_FALSE(mouse.dragging);
    ApplyMouseInput(mouse, orbit, kFrame);
    EXPECT_EQ(orbit.yawVelocity, before.yawVelocity);
    EXPECT_EQ(orbit.pitchVelocity, before.pitchVelocity);
    EXPECT_EQ(orbit.distanceVelocity, before.distanceVelocity);
}

// Positions left of or above the window (a captured drag) are negative, not 65000; a stopped
// clock keeps the input for the next frame instead of dividing by zero.
TEST(Mouse, CapturedPositionsAreSignedAndAStoppedClockWaits) {
    MouseOrbit mouse;
    HandleMouseMessage(mouse, WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    HandleMouseMessage(mouse, WM_MOUSEMOVE, MK_LBUTTON, At(-30, -5));
    EXPECT_EQ(mouse.dragX, -40);
    EXPECT_EQ(mouse.dragY, -15);
    OrbitState orbit;
    ApplyMouseInput(mouse, orbit, 0.0f);
    EXPECT_EQ(orbit.yawVelocity, 0.0f);
    EXPECT_EQ(mouse.dragX, -40);
    ApplyMouseInput(mouse, orbit, kFrame);
    EXPECT_TRUE(std::isfinite(orbit.yawVelocity));
    EXPECT_GT(orbit.yawVelocity, 0.0f);
}
