// fluidrun: runs the water simulation on its own, with no window and no drawing, at the
// demo's parameters and a fixed frame length, and prints its temperatures and kinetic energy.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fluid/FluidSolver.h"
#include "fluid/GridSize.h"

namespace {

constexpr float kFrameSeconds = 1.0f / 60.0f;
constexpr long kMaxFrames = 100000000;

const char kUsage[] =
    "Usage: fluidrun [options]\n"
    "\n"
    "Runs Simmerglass's fluid solver alone, headless: no window, no graphics, no bubbles or\n"
    "surface. This is not the interactive demo; it is the simulation underneath it, with the\n"
    "demo's parameters (viscosity 0.001, velocity decay 0.01, temperature decay 0.0005) and a\n"
    "fixed step of 5 x 1/60 solver time units per frame. Every K frames it prints the mean\n"
    "temperature of the water layers, of the top water layer and of the bottom layer (0 to\n"
    "100), and the kinetic energy (mean of |velocity|^2 / 2 over the cells).\n"
    "\n"
    "Options:\n"
    "  --frames N       frames to run (default 600)\n"
    "  --heat-frames N  heat the ring at the bottom before each of the first N frames, as\n"
    "                   holding Space does (default 0)\n"
    "  --stir           before the first frame, random forces everywhere and a jet from the\n"
    "                   side x = 0, as the keys 1 and 3 do\n"
    "  --every K        print one line every K frames (default 60)\n"
    "  --grid N         cells per axis, an even number from 4 to 64, as the demo offers\n"
    "                   (default 8)\n"
    "  --size N         cells per axis beyond the demo's range, an even number from 2 to 512\n"
    "  --help           this text\n";

// Parses a whole decimal number in [low, high]; false for anything else.
bool ParseCount(const char* text, long low, long high, long* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    *out = value;
    return true;
}

double KineticEnergy(const FluidSolver& s) {
    double sum = 0;
    for (int p = 0; p < s.nCubed; ++p) {
        const double u = s.u[p], v = s.v[p], w = s.w[p];
        sum += 0.5 * (u * u + v * v + w * w);
    }
    return sum / s.nCubed;
}

}  // namespace

int main(int argc, char** argv) {
    long frames = 600, heatFrames = 0, every = 60, size = 8;
    bool stir = false;
    for (int a = 1; a < argc; ++a) {
        const char* arg = argv[a];
        const char* value = a + 1 < argc ? argv[a + 1] : nullptr;
        long* target = nullptr;
        long low = 0, high = kMaxFrames;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(arg, "--stir") == 0) {
            stir = true;
            continue;
        } else if (std::strcmp(arg, "--frames") == 0) {
            target = &frames;
        } else if (std::strcmp(arg, "--heat-frames") == 0) {
            target = &heatFrames;
        } else if (std::strcmp(arg, "--every") == 0) {
            target = &every, low = 1;
        } else if (std::strcmp(arg, "--grid") == 0) {
            long grid = 0;
            const char* why = ParseCount(value, 0, kMaxFrames, &grid)
                                  ? grid_size::Error(grid)
                                  : "needs an even number of cells per axis from 4 to 64";
            if (*why) {
                std::fprintf(stderr, "fluidrun: --grid %s: %s\n", value ? value : "", why);
                return 2;
            }
            size = grid;
            ++a;
            continue;
        } else if (std::strcmp(arg, "--size") == 0) {
            target = &size, low = 2, high = FluidSolver::kMaxSize;
        } else {
            std::fprintf(stderr, "fluidrun: unknown option '%s' (try --help)\n", arg);
            return 2;
        }
        if (!ParseCount(value, low, high, target)) {
            std::fprintf(stderr, "fluidrun: %s needs a whole number from %ld to %ld\n", arg, low,
                         high);
            return 2;
        }
        ++a;
    }

    std::unique_ptr<FluidSolver> solver;
    const HRESULT hr = FluidSolver::Create(static_cast<int>(size), &solver);
    if (hr == E_INVALIDARG) {
        std::fprintf(stderr, "fluidrun: --size %ld: %s\n", size,
                     FluidSolver::SizeError(static_cast<int>(size)));
        return 2;
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "fluidrun: not enough memory for a grid of %ld cells per axis\n",
                     size);
        return 1;
    }
    solver->SetParameters(0.001f, 0.01f, 0.0005f);

    std::printf(
        "fluidrun: fluid solver alone, headless (not the interactive demo): n = %ld, "
        "%ld frames of dt = 5 x 1/60, heating for %ld, %s\n",
        size, frames, heatFrames, stir ? "stirred once" : "not stirred");
    std::printf("%8s %8s %8s %8s %14s\n", "frame", "avg", "top", "bottom", "energy");
    if (stir) {
        solver->RandomizeForces();
        solver->InjectFaceJet();
    }
    for (long frame = 1; frame <= frames; ++frame) {
        if (frame <= heatFrames) solver->HeatBottomRing();
        solver->dt = 5.0f * kFrameSeconds;
        solver->StepVelocity();
        solver->StepTemperature();
        solver->ClearForces();
        if (frame % every == 0 || frame == frames) {
            float average, bottom, top;
            solver->TemperatureStats(&average, &bottom, &top);
            std::printf("%8ld %8.2f %8.2f %8.2f %14.6e\n", frame, average, top, bottom,
                        KineticEnergy(*solver));
        }
    }
    return 0;
}
