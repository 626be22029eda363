// The demo at finer grids. The program's entry runner runs it in process, headless on the
// software device with a fixed step and scripted keys, so that every frame can be watched: the
// grid the command line chose, the velocity display's line count, the heat and the bubbles.
// The simulation half of the frame then runs 2000 frames alone, checked for non-finite values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/RunApplication.h"
#include "fluid/FluidSolver.h"
#include "scene/Camera.h"
#include "scene/FluidComponent.h"
#include "scene/FluidDemoApp.h"
#include "scene/SceneMedia.h"

namespace {

std::string MediaFolder() {
    const char* top = std::getenv("SIMMERGLASS_SOURCE_DIR");
    return std::string(top ? top : SG_SOURCE_DIR) + "/media";
}

// Velocity-display lines at each grid size: the water cells whose centres lie inside the
// pot's wall, counted from the cell centres (see the geometry test).
UINT ExpectedLines(int n) { return n == 16 ? 1456u : n == 32 ? 10556u : 0u; }

bool AllFinite(const FluidSolver& s) {
    for (const float* field : {s.u, s.v, s.w, s.temperature, s.temperatureSource})
        for (int p = 0; p < s.nCubed; ++p)
            if (!std::isfinite(field[p])) return false;
    return true;
}

bool BubblesFinite(const BubblePool& pool) {
    for (auto p = pool.First(); p.block; p = BubblePool::Next(p)) {
        const Bubble& b = BubblePool::At(p);
        if (!std::isfinite(b.x) || !std::isfinite(b.y) || !std::isfinite(b.z) || !std::isfinite(b.size)) return false;
    }
    return true;
}

// What each drawn frame left.
struct Watch {
    int grid = 0;
    std::vector<UINT> lines;
    std::vector<float> average;
    std::vector<int> bubbles;
    bool finite = true;
};

class WatchedDemo : public FluidDemoApp {
public:
    WatchedDemo(int grid, Watch* watch) : FluidDemoApp(MediaFolder(), grid), watch(watch) {}
    HRESULT RenderFrame() override {
        const HRESULT hr = FluidDemoApp::RenderFrame();
        float average = 0.0f, bottom = 0.0f, top = 0.0f;
        Solver()->TemperatureStats(&average, &bottom, &top);
        watch->grid = Solver()->n;
        watch->lines.push_back(Fluid()->velocityLinesDrawn);
        watch->average.push_back(average);
        watch->bubbles.push_back(Fluid()->bubbles.count);
        watch->finite = watch->finite && AllFinite(*Solver()) && BubblesFinite(Fluid()->bubbles);
        return hr;
    }

private:
    Watch* watch;
};

int RunWatched(const std::vector<std::string>& args, Watch* watch) {
    std::vector<char*> argv;
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    return RunApplication(static_cast<int>(argv.size()), argv.data(), [watch](const ApplicationOptions& o) {
        return std::unique_ptr<AppFramework>(new WatchedDemo(static_cast<int>(o.grid), watch));
    });
}

// [SECTION] Tests

// Space held from the start (the keyboard's repeats heat the ring three times a frame at this
// step); F2 shows the velocity display for frames 101 and 102 only.
TEST(GridRun, FinerGridsWarmMakeBubblesAndDrawALinePerWaterCell) {
    for (int n : {16, 32}) {
        Watch watch;
        const int frames = 200;
        ASSERT_EQ(RunWatched({"simmerglass", "--headless", "--grid", std::to_string(n), "--frames", std::to_string(frames),
                       "--fixed-step", "0.1", "--size", "64x48", "--keys", "0:down:SPACE,100:press:F2,102:press:F2"},
                      &watch),
                  0)
            << n;
        ASSERT_EQ(watch.grid, n);
        ASSERT_EQ(watch.lines.size(), static_cast<size_t>(frames));
        for (int f = 0; f < frames; ++f) {
            const bool shown = f == 100 || f == 101;
            ASSERT_EQ(watch.lines[f], shown ? ExpectedLines(n) : 0u) << "grid " << n << " frame " << f + 1;
        }
        EXPECT_TRUE(watch.finite) << n;
        // The water warms from the bottom: a few degrees early on, tens of degrees later.
        EXPECT_GT(watch.average[9], 0.5f) << n;
        EXPECT_GT(watch.average.back(), watch.average[9] + 15.0f) << n;
        EXPECT_GT(*std::max_element(watch.bubbles.begin(), watch.bubbles.end()), 50) << n;
    }
}

// A grid the solver refuses, handed to the application past the command line: the start fails
// (status 1) before any frame, instead of a scene without a solver.
TEST(GridRun, AnApplicationWithoutASolverDoesNotStart) {
    Watch watch;
    std::vector<std::string> args = {"simmerglass", "--headless", "--frames", "3"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStderr();
    const int status = RunApplication(static_cast<int>(argv.size()), argv.data(),
                                      [&watch] { return std::unique_ptr<AppFramework>(new WatchedDemo(7, &watch)); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(watch.lines.empty());
}

// The simulation half of 2000 frames at a fast step, heated all along: the water ends hot,
// bubbles keep being born, and nothing in the solver or the bubbles becomes NaN or infinite.
TEST(GridRun, TwoThousandHeatedFramesStayFinite) {
    for (int n : {16, 32}) {
        SceneMedia media;
        Camera camera;
        std::unique_ptr<FluidSolver> solver;
        ASSERT_EQ(FluidSolver::Create(n, &solver), S_OK);
        solver->SetParameters(0.001f, 0.01f, 0.0005f);
        FluidComponent fluid(&media, solver.get(), &camera);
        int most = 0;
        for (int f = 0; f < 2000; ++f) {
            solver->HeatBottomRing();
            fluid.StepSimulation(0.1f);
            most = std::max(most, fluid.bubbles.count);
            ASSERT_TRUE(AllFinite(*solver)) << "grid " << n << " frame " << f + 1;
            ASSERT_TRUE(BubblesFinite(fluid.bubbles)) << "grid " << n << " frame " << f + 1;
        }
        float average = 0.0f, bottom = 0.0f, top = 0.0f;
        solver->TemperatureStats(&average, &bottom, &top);
        EXPECT_GT(average, 60.0f) << n;
        EXPECT_GT(most, 1000) << n;
        EXPECT_GT(fluid.bubbles.count, 0) << n;
    }
}

}  // namespace
