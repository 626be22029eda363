// The demo's own objects on the software device, in process: the fluid component's cap on a
// stalled frame, what the media binds to which effect parameter and what it says about missing
// files, and a lost device that the application resets without losing the scene's state.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/AppFramework.h"
#include "app/HostSession.h"
#include "effect/runtime/EffectFile.h"
#include "scene/FluidComponent.h"
#include "fluid/FluidSolver.h"
#include "platform/d3d/D3DHost.h"
#include "platform/d3d/d3d8.h"
#include "platform/win/Rand.h"
#include "platform/win/RunState.h"
#include "platform/win/WinTime.h"
#include "platform/win/WinUser.h"
#include "scene/Camera.h"
#include "scene/FluidDemoApp.h"
#include "scene/SceneMedia.h"
#include "tests/support/RefDeviceTest.h"
#include "tests/texture/ImageFiles.h"

namespace {

std::string MediaFolder() {
    const char* top = std::getenv("SIMMERGLASS_SOURCE_DIR");
    return std::string(top ? top : SG_SOURCE_DIR) + "/media";
}

// [SECTION] The component list

// Records every call it gets, with its name, into a shared log.
class LoggingComponent : public SceneComponent {
public:
    LoggingComponent(const char* name, std::vector<std::string>* log) : name(name), log(log) {}
    ~LoggingComponent() override { log->push_back(std::string("delete ") + name); }
    HRESULT CreateResources(IDirect3DDevice8* d) override {
        SceneComponent::CreateResources(d);
        log->push_back(std::string("create ") + name);
        return E_FAIL;
    }
    HRESULT LoseResources() override { return Note("lose", E_FAIL); }
    HRESULT RestoreResources() override { return Note("restore", E_OUTOFMEMORY); }
    HRESULT ReleaseResources() override { return Note("release", E_FAIL); }
    void Tick(float elapsed) override { Note(elapsed == 0.5f ? "tick" : "tick?", S_OK); }

private:
    HRESULT Note(const char* what, HRESULT result) {
        log->push_back(std::string(what) + " " + name);
        return result;
    }
    const char* name;
    std::vector<std::string>* log;
};

TEST(ComponentList, BroadcastsInInsertionOrderAndReportsSuccess) {
    std::vector<std::string> log;
    {
        ComponentList empty;
        EXPECT_EQ(empty.CreateResources(nullptr), S_OK);
        EXPECT_EQ(empty.RestoreResources(), S_OK);
        empty.Tick(1.0f);
    }
    {
        ComponentList list;
        list.Add(new LoggingComponent("media", &log));
        list.Add(new LoggingComponent("fluid", &log));
        EXPECT_EQ(list.CreateResources(nullptr), S_OK);
        EXPECT_EQ(list.RestoreResources(), S_OK);
        list.Tick(0.5f);
        EXPECT_EQ(list.LoseResources(), S_OK);
        EXPECT_EQ(list.ReleaseResources(), S_OK);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"create media", "create fluid", "restore media", "restore fluid",
                                             "tick media", "tick fluid", "lose media", "lose fluid",
                                             "release media", "release fluid", "delete media",
                                             "delete fluid"}));
}

// [SECTION] The elapsed-time cap

// A solver and a fluid component without a device: the simulation half of a frame only.
struct Simulation {
    SceneMedia media;
    Camera camera;
    std::unique_ptr<FluidSolver> solver;
    std::unique_ptr<FluidComponent> fluid;

    Simulation() {
        FluidSolver::Create(8, &solver);
        solver->SetParameters(0.001f, 0.01f, 0.0005f);
        fluid = std::make_unique<FluidComponent>(&media, solver.get(), &camera);
    }
    // Heats until bubbles are being born, always from the same generator state.
    void Heat() {
        const win::RunScope run;  // rand from its first value
        for (int i = 0; i < 40; ++i) {
            solver->HeatBottomRing();
            fluid->StepSimulation(0.0333f);
        }
    }
    std::vector<float> State() const {
        std::vector<float> s;
        for (const float* field : {solver->u, solver->v, solver->w, solver->temperature})
            s.insert(s.end(), field, field + solver->nCubed);
        return s;
    }
};

TEST(FluidComponentStep, AStalledFrameStepsLikeTheCapAndStaysBounded) {
    Simulation stalled, capped;
    stalled.Heat();
    capped.Heat();
    ASSERT_GT(stalled.fluid->bubbles.count, 0);
    ASSERT_EQ(stalled.State(), capped.State());

    // Ten minutes in one frame (a suspended machine) steps exactly like a quarter second:
    // the same births from the same random numbers, the same water.
    const int before = stalled.fluid->bubbles.count;
    {
        const win::RunScope run;
        stalled.fluid->StepSimulation(600.0f);
    }
    {
        const win::RunScope run;
        capped.fluid->StepSimulation(FluidComponent::kMaxStepSeconds);
    }
    EXPECT_FLOAT_EQ(stalled.solver->dt, 1.25f);
    EXPECT_EQ(stalled.fluid->bubbles.count, capped.fluid->bubbles.count);
    EXPECT_LE(stalled.fluid->bubbles.count, before + 751);  // m = trunc(1.25 * 600 + 1)
    EXPECT_EQ(stalled.State(), capped.State());
    for (float value : stalled.State()) ASSERT_TRUE(std::isfinite(value));

    // Nonsense elapsed times step by nothing.
    for (float bad : {-5.0f, std::nanf("")}) {
        stalled.fluid->StepSimulation(bad);
        EXPECT_EQ(stalled.solver->dt, 0.0f);
    }
}

TEST(FluidComponentStep, FramesBelowTheCapAreUnchanged) {
    Simulation s;
    s.fluid->StepSimulation(0.1f);
    EXPECT_EQ(s.solver->dt, 0.5f);
    s.fluid->StepSimulation(0.25f);
    EXPECT_EQ(s.solver->dt, 1.25f);
    s.fluid->StepSimulation(0.0f);
    EXPECT_EQ(s.solver->dt, 0.0f);
}

// [SECTION] Media on the software device

class MediaOnDevice : public RefDeviceTest {
protected:
    MediaOnDevice() { params = Params(D3DFMT_X8R8G8B8, D3DFMT_D16); }

    static IDirect3DBaseTexture8* Bound(EffectFile* effect, const char* parameter) {
        IDirect3DBaseTexture8* texture = nullptr;
        if (FAILED(effect->GetTexture(parameter, &texture))) return reinterpret_cast<IDirect3DBaseTexture8*>(-1);
        if (texture) texture->Release();
        return texture;
    }
};

TEST_F(MediaOnDevice, EachEffectGetsItsTexturesAndTheMaterialsTheirWhiteAmbient) {
    SceneMedia media;
    media.SetMediaRoot(MediaFolder());
    testing::internal::CaptureStderr();
    media.CreateResources(device);
    media.RestoreResources();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(media.environmentTexture && media.potTexture && media.bubbleTexture && media.steamTexture);
    for (EffectFile* effect : media.effects) ASSERT_TRUE(effect);
    ASSERT_TRUE(media.potMesh && media.waterMesh && media.waterRestCopy && media.waterDrawCopy);
    for (int i = 0; i < SceneEffectCount; ++i) EXPECT_TRUE(media.IsEffectUsable(static_cast<SceneEffect>(i)));

    EXPECT_EQ(Bound(media.effects[EffectVelocityLines], "texParticle"), media.bubbleTexture);
    EXPECT_EQ(Bound(media.effects[EffectBubbles], "texBase"), media.bubbleTexture);
    EXPECT_EQ(Bound(media.effects[EffectPot], "texBase"), media.potTexture);
    EXPECT_EQ(Bound(media.effects[EffectPot], "texEnvi"), media.environmentTexture);
    EXPECT_EQ(Bound(media.effects[EffectWater], "texEnvi"), media.environmentTexture);
    EXPECT_EQ(Bound(media.effects[EffectSteam], "texSteam"), media.steamTexture);

    // The files' first materials with the ambient colour made white.
    for (const D3DMATERIAL8* m : {&media.potMaterial, &media.waterMaterial}) {
        EXPECT_EQ(m->Ambient.r, 1.0f);
        EXPECT_EQ(m->Ambient.g, 1.0f);
        EXPECT_EQ(m->Ambient.b, 1.0f);
        EXPECT_EQ(m->Ambient.a, 1.0f);
    }
    EXPECT_FLOAT_EQ(media.potMaterial.Diffuse.r, 0.76f);
    EXPECT_FLOAT_EQ(media.waterMaterial.Diffuse.b, 0.17f);
    EXPECT_EQ(media.waterRestCopy->GetNumVertices(), media.waterDrawCopy->GetNumVertices());

    // A reset keeps every loaded object; only the draw copy is made anew.
    IDirect3DTexture8* environment = media.environmentTexture;
    EffectFile* water = media.effects[EffectWater];
    media.LoseResources();
    EXPECT_EQ(media.waterDrawCopy, nullptr);
    media.RestoreResources();
    EXPECT_EQ(media.environmentTexture, environment);
    EXPECT_EQ(media.effects[EffectWater], water);
    EXPECT_NE(media.waterDrawCopy, nullptr);
    EXPECT_EQ(Bound(media.effects[EffectWater], "texEnvi"), media.environmentTexture);

    media.LoseResources();
    media.ReleaseResources();
    EXPECT_EQ(media.environmentTexture, nullptr);
    EXPECT_EQ(media.effects[EffectPot], nullptr);
    EXPECT_EQ(media.waterRestCopy, nullptr);
}

TEST_F(MediaOnDevice, MissingFilesLeaveEmptySlotsWithOneWarningEach) {
    const std::filesystem::path empty = std::filesystem::path(testing::TempDir()) / "sg_scene_no_media";
    std::filesystem::create_directories(empty);
    SceneMedia media;
    media.SetMediaRoot(empty.string());
    testing::internal::CaptureStderr();
    media.CreateResources(device);
    media.RestoreResources();
    media.LoseResources();
    media.RestoreResources();
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char* file : {"tex/Environment.png", "tex/WaterPoint.png", "tex/Puodas.jpg", "tex/Steam.png",
                             "efx/Water.sha", "efx/Particle.sha", "efx/BaseTexEnvi.sha", "efx/BlendEnvi.sha",
                             "efx/Steam.sha", "efx/Caustics.sha", "mesh/Puodas.x", "mesh/Vanduo.x"}) {
        const std::string line = "warning: " + (empty / file).string() + ": no such file\n";
        const size_t at = err.find(line);
        EXPECT_NE(at, std::string::npos) << line << err;
        if (at != std::string::npos) {
            EXPECT_EQ(err.find(line, at + 1), std::string::npos) << line;
        }
    }
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 12) << err;
    EXPECT_FALSE(media.environmentTexture || media.potTexture || media.bubbleTexture || media.steamTexture);
    for (EffectFile* effect : media.effects) EXPECT_FALSE(effect);
    EXPECT_FALSE(media.potMesh || media.waterMesh || media.waterRestCopy || media.waterDrawCopy);
    // The materials stay as constructed.
    EXPECT_EQ(media.potMaterial.Ambient.r, 0.0f);

    // The fluid component draws nothing and still steps.
    std::unique_ptr<FluidSolver> solver;
    FluidSolver::Create(8, &solver);
    Camera camera;
    FluidComponent fluid(&media, solver.get(), &camera);
    fluid.CreateResources(device);
    fluid.RestoreResources();
    device->BeginScene();
    solver->HeatBottomRing();
    fluid.Tick(0.0333f);
    device->EndScene();
    fluid.LoseResources();
    media.LoseResources();
    media.ReleaseResources();
}

// Files that exist but do not load: one warning each with the reason, and an empty slot.
TEST_F(MediaOnDevice, BrokenFilesWarnWithTheirReason) {
    const std::filesystem::path root = std::filesystem::path(testing::TempDir()) / "sg_scene_broken_media";
    std::filesystem::remove_all(root);
    for (const char* folder : {"efx", "tex", "mesh"}) std::filesystem::create_directories(root / folder);
    std::ofstream(root / "tex/Environment.png") << "not an image";
    std::ofstream(root / "efx/Particle.sha") << "technique {";
    std::ofstream(root / "mesh/Vanduo.x") << "xof 0303txt 0032\nMesh {";
    SceneMedia media;
    media.SetMediaRoot(root.string());
    testing::internal::CaptureStderr();
    media.CreateResources(device);
    media.RestoreResources();
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char* file : {"tex/Environment.png", "efx/Particle.sha", "mesh/Vanduo.x"}) {
        const std::string start = "warning: " + (root / file).string() + ": ";
        const size_t at = err.find(start);
        ASSERT_NE(at, std::string::npos) << err;
        const std::string reason = err.substr(at + start.size(), err.find('\n', at) - at - start.size());
        EXPECT_FALSE(reason.empty());
        EXPECT_NE(reason, "no such file");
        EXPECT_EQ(err.find(start, at + 1), std::string::npos) << err;
    }
    EXPECT_FALSE(media.environmentTexture);
    EXPECT_FALSE(media.effects[EffectBubbles]);
    EXPECT_FALSE(media.waterMesh || media.waterRestCopy || media.waterDrawCopy);
    media.LoseResources();
    media.ReleaseResources();
}

// Things that are not data files of a sane size: a folder, a pipe without a writer, an endless
// device, files beyond their loader's limit and a picture beyond the pixel budget. Each gets one
// warning naming it and saying what it is; none makes the start wait or read without end.
TEST_F(MediaOnDevice, FilesThatCannotBeLoadedSayWhatTheyAre) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(testing::TempDir()) / "sg_scene_odd_media";
    fs::remove_all(root);
    for (const char* folder : {"efx", "tex", "mesh"}) fs::create_directories(root / folder);
    fs::create_directories(root / "tex/Environment.png");
    ASSERT_EQ(mkfifo((root / "efx/Water.sha").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root / "efx/Particle.sha");
    for (const char* file : {"efx/BaseTexEnvi.sha", "mesh/Puodas.x"}) {
        std::ofstream(root / file) << "x";
        fs::resize_file(root / file, (size_t(64) << 20) + 1);  // sparse: nothing is written
    }
    std::vector<uint8_t> png = testimg::Png(4, 4, std::vector<uint8_t>(64, 255), 3);
    testimg::SetPngSize(&png, 16384, 16384);
    std::ofstream(root / "tex/WaterPoint.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()),
                                                                         static_cast<std::streamsize>(png.size()));
    SceneMedia media;
    media.SetMediaRoot(root.string());
    testing::internal::CaptureStderr();
    media.CreateResources(device);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::pair<const char*, const char*> expected[] = {
        {"tex/Environment.png", "a folder, not a file"},
        {"efx/Water.sha", "not a regular file"},
        {"efx/Particle.sha", "not a regular file"},
        {"efx/BaseTexEnvi.sha", "larger than 64 MiB"},
        {"mesh/Puodas.x", "larger than 64 MiB"},
        {"tex/WaterPoint.png", "too large to load into memory (0x8007000E)"},
    };
    for (const auto& [file, reason] : expected) {
        const std::string line = "warning: " + (root / file).string() + ": " + reason + "\n";
        EXPECT_NE(err.find(line), std::string::npos) << line << err;
    }
    EXPECT_FALSE(media.environmentTexture || media.bubbleTexture || media.potMesh);
    EXPECT_FALSE(media.effects[EffectVelocityLines] || media.effects[EffectBubbles] || media.effects[EffectPot]);
    media.ReleaseResources();
    fs::remove_all(root);
}

// An effect whose only technique needs shaders, on a device without them: one warning, however
// often the device is restored, and the effect is not drawn.
TEST_F(MediaOnDevice, AnEffectWithNoValidTechniqueWarnsOnceAndIsNotUsed) {
    device->Release();
    device = nullptr;
    d3dhost::SetCapsEditor(D3DDEVTYPE_REF, [](D3DCAPS8& caps) {
        caps.VertexShaderVersion = 0;
        caps.PixelShaderVersion = 0;
    });
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 64;
    params.BackBufferHeight = 64;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    ASSERT_EQ(S_OK, d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, nullptr,
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device));

    const std::filesystem::path root = std::filesystem::path(testing::TempDir()) / "sg_scene_shader_only";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "efx");
    {
        std::ofstream effect(root / "efx/Water.sha");
        effect << "texture texParticle;\n"
                  "technique OnlyShaders { pass P0 {\n"
                  "  VertexShader = decl { stream 0; float v0[3]; } asm { vs.1.1\n mov oPos, v0 };\n"
                  "} }\n";
    }
    SceneMedia media;
    media.SetMediaRoot(root.string());
    testing::internal::CaptureStderr();
    media.CreateResources(device);
    media.RestoreResources();
    media.LoseResources();
    media.RestoreResources();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(media.effects[EffectVelocityLines]);
    EXPECT_FALSE(media.IsEffectUsable(EffectVelocityLines));
    const std::string line = "warning: " + (root / "efx/Water.sha").string() +
                             ": no technique validates on this device; not drawn\n";
    const size_t at = err.find(line);
    EXPECT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find(line, at + 1), std::string::npos) << err;
    media.LoseResources();
    media.ReleaseResources();
}

// [SECTION] The application through a lost device

// Counts the reset hooks and records the scene's state as each reset finishes.
class CountingDemo : public FluidDemoApp {
public:
    using FluidDemoApp::FluidDemoApp;
    HRESULT ResetDeviceObjects() override {
        HRESULT hr = FluidDemoApp::ResetDeviceObjects();
        ++resets;
        bubblesAtReset = Fluid()->bubbles.count;
        orbitAtReset = Orbit();
        return hr;
    }
    HRESULT LoseDeviceObjects() override {
        ++losses;
        return FluidDemoApp::LoseDeviceObjects();
    }
    int resets = 0, losses = 0, bubblesAtReset = -1;
    OrbitState orbitAtReset;
};

TEST(DemoApplication, ALostDeviceIsResetKeepingBubblesOrbitAndHelp) {
    ASSERT_TRUE(win::InitDisplay(true));
    HostConfig config;
    config.device.headless = true;
    config.fixedStep = 0.0333;
    const HostSession session(config);
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return 1; });
    {
        CountingDemo app(MediaFolder());
        app.SetInitialClientSize(64, 48);
        ASSERT_EQ(app.Create(nullptr), S_OK);
        ASSERT_EQ(app.resets, 1);
        const HWND window = app.MainWindow();
        auto frame = [&app]() {
            win::AdvanceFixedStepClock();
            app.ProcessFrame();
        };
        app.HandleMessage(window, WM_KEYDOWN, VK_F1, 0);
        app.HandleMessage(window, WM_KEYUP, VK_F1, 0);
        app.HandleMessage(window, WM_KEYDOWN, VK_LEFT, 0);
        // The session's random sequence starts afresh, whatever ran before; a few bubbles, so
        // that some outlive the next frame (one born at the surface pops at once).
        for (int i = 0; i < 300 && app.Fluid()->bubbles.count < 5; ++i) {
            app.HandleMessage(window, WM_CHAR, ' ', 0);
            frame();
        }
        app.HandleMessage(window, WM_KEYUP, VK_LEFT, 0);
        frame();
        ASSERT_GT(app.Fluid()->bubbles.count, 0);
        ASSERT_TRUE(app.HelpShown());
        const OrbitState orbit = app.Orbit();
        const int bubbles = app.Fluid()->bubbles.count;
        EXPECT_NE(orbit.yaw, 0.0f);

        ASSERT_EQ(d3dhost::ForceDeviceLoss(app.Device(), 2), S_OK);
        for (int i = 0; i < 4; ++i) frame();
        EXPECT_EQ(app.losses, 1);
        ASSERT_EQ(app.resets, 2);
        EXPECT_EQ(app.bubblesAtReset, bubbles);
        EXPECT_EQ(app.orbitAtReset.yaw, orbit.yaw);
        EXPECT_EQ(app.orbitAtReset.pitch, orbit.pitch);
        EXPECT_EQ(app.orbitAtReset.distance, orbit.distance);
        EXPECT_EQ(app.orbitAtReset.yawVelocity, orbit.yawVelocity);
        EXPECT_TRUE(app.HelpShown());
        // Frames go on after the reset: the water was drawn again and stepped.
        EXPECT_GT(app.Fluid()->bubbles.count, 0);
        EXPECT_NE(app.Fluid()->quadBuffer, nullptr);
        app.HandleMessage(window, WM_CLOSE, 0, 0);
    }
    win::SetMessageBoxHook(nullptr);
    win::ShutdownDisplay();
}

}  // namespace
