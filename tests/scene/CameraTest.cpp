// Camera and orbit: the start position, the look-at basis, clamps, damping and the keys.
#include "scene/Camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kFrame = 1.0f / 60.0f;

void RunFrames(Camera& camera, OrbitState& orbit, BYTE* keys, int frames) {
    for (int i = 0; i < frames; ++i) {
        ApplyHeldKeys(keys, orbit);
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
    ApplyHeldKeys(keys, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.2f);
    keys[kKeyRight] = 1;   // both held: they cancel
    ApplyHeldKeys(keys, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.2f);
    keys[kKeyLeft] = 0;
    ApplyHeldKeys(keys, orbit);
    EXPECT_FLOAT_EQ(orbit.yawVelocity, 0.0f);
    keys[kKeyRight] = 0;
    keys[kKeyFarther] = 1;
    ApplyHeldKeys(keys, orbit);
    EXPECT_EQ(orbit.distanceVelocity, 30.0f);
    keys[kKeyReset] = 1;   // R is the caller's: no push
    keys[kKeyFarther] = 0;
    ApplyHeldKeys(keys, orbit);
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
    EXPECT_EQ(HandleKeyMessage(keys, 0x0100, kKeyVelocity), KeyAction::None);
    EXPECT_EQ(keys[kKeyVelocity], 1);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0100, kKeyVelocity), KeyAction::None);   // auto-repeat
    EXPECT_EQ(HandleKeyMessage(keys, 0x0101, kKeyVelocity), KeyAction::ToggleVelocity);
    EXPECT_EQ(keys[kKeyVelocity], 0);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0101, kKeyHelp), KeyAction::ToggleHelp);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0101, kKeyWireframe), KeyAction::ToggleWireframe);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0101, kKeyUp), KeyAction::None);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0102, ' '), KeyAction::HeatBottom);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0102, '1'), KeyAction::RandomizeForces);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0102, '3'), KeyAction::InjectFaceJet);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0102, '2'), KeyAction::None);
    // The key-down of F1 is not a toggle, and characters do not touch the key state.
    EXPECT_EQ(HandleKeyMessage(keys, 0x0100, kKeyHelp), KeyAction::None);
    EXPECT_EQ(keys[' '], 0);
    // A code beyond the state is ignored rather than written past its end.
    EXPECT_EQ(HandleKeyMessage(keys, 0x0100, 300), KeyAction::None);
    EXPECT_EQ(HandleKeyMessage(keys, 0x0101, 0x170), KeyAction::None);
}
