// Frames of the demo on the software (REF) device with the bubble pool kept at 2000 or more, at
// 640 x 480 and 1280 x 720 with the velocity lines (F2) and the wireframe (F3) on and off, and
// the parts of a frame that run on the CPU outside drawing. Hot water keeps the bubbles alive
// and being born; each iteration tops the pool up before it runs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/AppFramework.h"
#include "app/HostSession.h"
#include "effect/runtime/EffectFile.h"
#include "scene/FluidComponent.h"
#include "fluid/FluidSolver.h"
#include "platform/d3d/D3DHost.h"
#include "platform/win/Rand.h"
#include "platform/win/WinTime.h"
#include "platform/win/WinUser.h"
#include "scene/Camera.h"
#include "scene/FluidDemoApp.h"
#include "scene/SceneMedia.h"

namespace {

constexpr int kBubbles = 2100;

// CPU seconds of the whole process, every thread (the software rasterizer renders on its own).
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

std::string MediaFolder() {
    const char* top = std::getenv("SIMMERGLASS_SOURCE_DIR");
    return std::string(top ? top : SG_SOURCE_DIR) + "/media";
}

// Hot water everywhere and at least kBubbles bubbles, spread over the pot at all heights.
void KeepBoiling(FluidSolver& solver, BubblePool& pool) {
    for (int i = 0; i < solver.nCubed; ++i) solver.temperatureSource[i] = 97.0f;
    while (pool.count < kBubbles) {
        Bubble b{};
        b.x = (win::rand() - 16383) * 0.0045f;  // within +-74
        b.y = (win::rand() - 16383) * 0.0045f;
        b.z = 3.5f + win::rand() * 0.002f;      // 3.5 ... 69
        b.size = 0.4f + win::rand() * 0.00005f;
        pool.Allocate(b);
    }
}

// [SECTION] The CPU half of a frame, without a device

struct Simulation {
    SceneMedia media;
    Camera camera;
    std::unique_ptr<FluidSolver> solver;
    std::unique_ptr<FluidComponent> fluid;
    explicit Simulation(int n = 8) {
        FluidSolver::Create(n, &solver);
        solver->SetParameters(0.001f, 0.01f, 0.0005f);
        fluid = std::make_unique<FluidComponent>(&media, solver.get(), &camera);
    }
};

// Solver step, temperature, bubble births, motion and retirements, surface relaxation, at the
// grid size range(0).
void BM_SimulationStep(benchmark::State& state) {
    Simulation s(static_cast<int>(state.range(0)));
    size_t live = 0;
    for (auto _ : state) {
        KeepBoiling(*s.solver, s.fluid->bubbles);
        live += s.fluid->bubbles.count;
        s.fluid->StepSimulation(1.0f / 60.0f);
    }
    state.counters["bubbles"] = benchmark::Counter(static_cast<double>(live), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SimulationStep)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

// The CPU work of a frame outside drawing at the grid size range(0): the simulation step, the
// water's 4225 vertices and 2000 bubble squares (the velocity display's lines, when shown, are
// BM_VelocityLines).
void BM_FrameCpuOutsideDrawing(benchmark::State& state) {
    Simulation s(static_cast<int>(state.range(0)));
    std::vector<Vector3> rest(4225);
    for (size_t i = 0; i < rest.size(); ++i)
        rest[i] = Vector3{static_cast<float>(i % 65) * 2.6f - 84.5f, static_cast<float>(i / 65) * 2.6f - 84.5f, 70.0f};
    std::vector<WaterVertex> water(rest.size());
    std::vector<BubbleVertex> quads(4 * FluidComponent::kMaxBubbleQuads);
    for (auto _ : state) {
        KeepBoiling(*s.solver, s.fluid->bubbles);
        s.fluid->StepSimulation(1.0f / 60.0f);
        WriteWaterVertices(s.fluid->surface, rest.data(), water.data(), static_cast<UINT>(rest.size()));
        WriteQuads(s.fluid->bubbles, s.camera.cameraToWorld, quads.data(), FluidComponent::kMaxBubbleQuads);
        benchmark::DoNotOptimize(quads.data());
    }
}
BENCHMARK(BM_FrameCpuOutsideDrawing)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

// The 4225 vertices of the water surface: positions copied, bent normals computed.
void BM_WaterVertices(benchmark::State& state) {
    SurfaceGrid surface;
    std::vector<Vector3> rest(4225);
    for (size_t i = 0; i < rest.size(); ++i)
        rest[i] = Vector3{static_cast<float>(i % 65) * 2.6f - 84.5f, static_cast<float>(i / 65) * 2.6f - 84.5f, 70.0f};
    for (int e = 0; e < 1024; ++e) surface.PushSurface(static_cast<float>(e % 32) * 5.3f - 85.0f,
                                                       static_cast<float>(e / 32) * 5.3f - 85.0f,
                                                       Vector3{0.3f, -0.2f, 0.1f}, 1.0f);
    std::vector<WaterVertex> draw(rest.size());
    for (auto _ : state) {
        WriteWaterVertices(surface, rest.data(), draw.data(), static_cast<UINT>(rest.size()));
        benchmark::DoNotOptimize(draw.data());
    }
}
BENCHMARK(BM_WaterVertices)->Unit(benchmark::kMicrosecond);

// 2000 camera-facing squares.
void BM_BubbleQuads(benchmark::State& state) {
    Simulation s;
    KeepBoiling(*s.solver, s.fluid->bubbles);
    std::vector<BubbleVertex> quads(4 * FluidComponent::kMaxBubbleQuads);
    Camera camera;
    camera.eye = Vector3{159.39f, 0.0f, 283.23f};
    camera.target = Vector3{0.0f, 0.0f, 35.0f};
    camera.UpdateView();
    for (auto _ : state) {
        WriteQuads(s.fluid->bubbles, camera.cameraToWorld, quads.data(), FluidComponent::kMaxBubbleQuads);
        benchmark::DoNotOptimize(quads.data());
    }
}
BENCHMARK(BM_BubbleQuads)->Unit(benchmark::kMicrosecond);

// The velocity display's lines at the grid size range(0) (156 at 8).
void BM_VelocityLines(benchmark::State& state) {
    Simulation s(static_cast<int>(state.range(0)));
    s.solver->RandomizeForces();
    s.fluid->StepSimulation(0.05f);
    std::vector<LineVertex> lines(2 * s.solver->nCubed);
    for (auto _ : state) benchmark::DoNotOptimize(FillVelocityLines(*s.solver, lines.data()));
}
BENCHMARK(BM_VelocityLines)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

// The heat's own drawing state for one frame at the boil: shimmer and caustics, steam, the
// floor's bubbles (what a frame adds on the CPU beside the simulation).
void BM_HeatVisuals(benchmark::State& state) {
    Simulation s(8);
    KeepBoiling(*s.solver, s.fluid->bubbles);
    s.solver->StepTemperature();
    for (int i = 0; i < 120; ++i) s.fluid->StepHeatVisuals(1.0f / 30.0f);  // a full cloud of steam
    for (auto _ : state) {
        s.fluid->shimmer.Update(*s.solver, s.fluid->surface, 1.0f / 30.0f);
        s.fluid->StepHeatVisuals(1.0f / 30.0f);
    }
    state.counters["steam"] = s.fluid->steam.count;
}
BENCHMARK(BM_HeatVisuals)->Unit(benchmark::kMicrosecond);

// [SECTION] On the software device

// The application, headless on REF, with its window's client area at the given size.
struct HeadlessDemo {
    static HostConfig Host(bool edgeFilter) {
        HostConfig config;
        config.device.headless = true;
        config.device.edgeFilter = edgeFilter;
        config.fixedStep = 1.0 / 60.0;
        return config;
    }
    bool displayOpen = win::InitDisplay(true);
    HostSession session;
    std::unique_ptr<FluidDemoApp> app;
    bool ok = false;
    explicit HeadlessDemo(DWORD width = 640, DWORD height = 480,
                          D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE, bool edgeFilter = false)
        : session(Host(edgeFilter)) {
        win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return 1; });
        app = std::make_unique<FluidDemoApp>(MediaFolder());
        app->SetInitialClientSize(width, height);
        app->SetMultiSampleType(samples);
        ok = SUCCEEDED(app->Create(nullptr)) && app->CurrentMultiSampleType() == samples;
    }
    ~HeadlessDemo() {
        if (ok) app->HandleMessage(app->MainWindow(), WM_CLOSE, 0, 0);
        app.reset();
        win::SetMessageBoxHook(nullptr);
        win::ShutdownDisplay();
    }
    FluidSolver& Solver() { return *const_cast<FluidSolver*>(app->Solver()); }
};

// Whole boiling frames: clear, pot, the floor's light, 2000 bubbles, water, steam, text, present
// (headless: nobody asks for the picture, so it is not read back). Arguments: width, height,
// velocity lines (F2) on, wireframe (F3) on, samples per pixel (--msaa), edge filter (--aa edge),
// the heat's drawing (shimmer, caustics, steam, floor bubbles) on. The rows form the table of
// frame rates; fps is the wall-clock rate.
void BM_Frame(benchmark::State& state) {
    HeadlessDemo demo(static_cast<DWORD>(state.range(0)), static_cast<DWORD>(state.range(1)),
                      static_cast<D3DMULTISAMPLE_TYPE>(state.range(4)), state.range(5) != 0);
    if (!demo.ok) {
        state.SkipWithError("the demo could not start on the software device");
        return;
    }
    demo.app->Fluid()->showVelocity = state.range(2) != 0;
    demo.app->Fluid()->wireframe = state.range(3) != 0;
    demo.app->Fluid()->heatVisuals = state.range(6) != 0;
    // Programs are built and buffers made on the first frames; they are not what is measured.
    // The water starts at the boil and runs four seconds first, so that the steam over it has
    // risen to its full cloud.
    FluidSolver& solver = demo.Solver();
    for (int i = 0; i < solver.nCubed; ++i) solver.temperature[i] = 97.0f;
    for (int i = 0; i < 240; ++i) {
        KeepBoiling(demo.Solver(), demo.app->Fluid()->bubbles);
        win::AdvanceFixedStepClock();
        demo.app->ProcessFrame();
    }
    const double cpuBefore = ProcessCpuSeconds();
    for (auto _ : state) {
        KeepBoiling(demo.Solver(), demo.app->Fluid()->bubbles);
        win::AdvanceFixedStepClock();
        demo.app->ProcessFrame();
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["steam"] = demo.app->Fluid()->steam.count;
    // On a loaded machine the wall-clock rate says little; the process's CPU per frame, all
    // threads together, bounds what an idle machine reaches.
    state.counters["process_cpu_ms_per_frame"] =
        benchmark::Counter((ProcessCpuSeconds() - cpuBefore) * 1000.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Frame)
    ->ArgNames({"width", "height", "velocity", "wireframe", "msaa", "aa", "heat"})
    ->ArgsProduct({{640}, {480}, {0, 1}, {0, 1}, {0}, {0}, {1}})
    ->ArgsProduct({{1280}, {720}, {0, 1}, {0, 1}, {0}, {0}, {1}})
    ->Args({640, 480, 0, 0, 0, 0, 0})
    ->Args({1920, 1080, 0, 0, 0, 0, 0})
    ->Args({1920, 1080, 0, 0, 0, 0, 1})
    ->Args({640, 480, 0, 0, 4, 0, 1})
    ->Args({1280, 720, 0, 0, 4, 0, 1})
    ->Args({640, 480, 0, 0, 0, 1, 1})
    ->Args({1280, 720, 0, 0, 0, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

// The effects' state changes: Begin, each pass and End of every effect, without drawing.
void BM_EffectStates(benchmark::State& state) {
    HeadlessDemo demo;
    if (!demo.ok) {
        state.SkipWithError("the demo could not start on the software device");
        return;
    }
    // The media is the component list's first member; reach it through a fresh one instead.
    SceneMedia media;
    media.SetMediaRoot(MediaFolder());
    media.CreateResources(demo.app->Device());
    media.RestoreResources();
    for (auto _ : state) {
        for (EffectFile* effect : media.effects) {
            if (!effect) continue;
            UINT passes = 0;
            effect->Begin(&passes, 0);
            for (UINT p = 0; p < passes; ++p) effect->Pass(p);
            effect->End();
        }
    }
    media.LoseResources();
    media.ReleaseResources();
}
BENCHMARK(BM_EffectStates)->Unit(benchmark::kMicrosecond);

}  // namespace
