// One frame of the solver (velocity step, temperature step, clearing the forces) beside the
// six FFTW transforms it runs, alone: the floor that the step's own loops add to.
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstring>
#include <memory>

#include "fluid/FluidSolver.h"
#include "platform/win/Rand.h"
#include "platform/win/RunState.h"

namespace {

// A stirred, heated solver with the demo's parameters, a frame into its run.
std::unique_ptr<FluidSolver> StirredSolver(int n) {
    std::unique_ptr<FluidSolver> s;
    if (FAILED(FluidSolver::Create(n, &s))) return nullptr;
    s->SetParameters(0.001f, 0.01f, 0.0005f);
    s->dt = 5.0f / 60.0f;
    const win::RunScope run;  // rand from its first value
    s->RandomizeForces();
    s->InjectFaceJet();
    s->HeatBottomRing();
    s->StepVelocity();
    s->StepTemperature();
    s->ClearForces();
    return s;
}

// CPU seconds of the process (one thread here), for the ratio below.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The frame, and its cost over the six transforms it runs ("x_six_ffts"), both timed in this
// run on the solver's own plans and arrays, so that the machine's load affects both alike.
void BM_Frame(benchmark::State& state) {
    auto s = StirredSolver(static_cast<int>(state.range(0)));
    if (!s) return state.SkipWithError("no solver");
    const double frameStart = CpuSeconds();
    for (auto _ : state) {
        s->StepVelocity();
        s->StepTemperature();
        s->ClearForces();
        benchmark::DoNotOptimize(s->u[0]);
    }
    const double frameSeconds = CpuSeconds() - frameStart;
    state.SetItemsProcessed(state.iterations() * s->nCubed);

    // On zeros, as BM_SixTransforms: the transforms' cost does not depend on the data.
    s->ClearForces();
    const double transformsStart = CpuSeconds();
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i) {
        for (float* a : {s->forceU, s->forceV, s->forceW})
            fftwf_execute_dft_r2c(s->forwardPlan, a, reinterpret_cast<fftwf_complex*>(a));
        for (float* a : {s->forceU, s->forceV, s->forceW})
            fftwf_execute_dft_c2r(s->inversePlan, reinterpret_cast<fftwf_complex*>(a), a);
    }
    const double transformsSeconds = CpuSeconds() - transformsStart;
    if (transformsSeconds > 0.0) state.counters["x_six_ffts"] = frameSeconds / transformsSeconds;
}

void BM_StepVelocity(benchmark::State& state) {
    auto s = StirredSolver(static_cast<int>(state.range(0)));
    if (!s) return state.SkipWithError("no solver");
    for (auto _ : state) {
        s->StepVelocity();
        s->ClearForces();
        benchmark::DoNotOptimize(s->u[0]);
    }
    state.SetItemsProcessed(state.iterations() * s->nCubed);
}

void BM_StepTemperature(benchmark::State& state) {
    auto s = StirredSolver(static_cast<int>(state.range(0)));
    if (!s) return state.SkipWithError("no solver");
    for (auto _ : state) {
        s->StepTemperature();
        benchmark::DoNotOptimize(s->temperature[0]);
    }
    state.SetItemsProcessed(state.iterations() * s->nCubed);
}

// The floor: three in-place forward and three in-place inverse transforms on arrays laid out
// and planned as the solver's. The data are zeros: the transforms' cost does not depend on it.
// range(1): the planner's flags, FFTW_ESTIMATE (the solver's) or FFTW_MEASURE (which times
// candidate plans first; its planning is not counted). Measured plans ran the six transforms
// 5% faster at 32 and 10% at 64 (2-vCPU EPYC, loaded), a few percent of a step, for 0.6 s and
// 1.1 s of planning at start-up without wisdom; and a plan chosen by timing may differ between
// runs, and with it the rounding of a --fixed-step run. The solver keeps estimated plans.
void BM_SixTransforms(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const unsigned flags = static_cast<unsigned>(state.range(1));
    const size_t count = static_cast<size_t>(n) * n * (n + 2);
    float* arrays[3];
    for (float*& a : arrays) {
        a = fftwf_alloc_real(count);
        std::memset(a, 0, count * sizeof(float));
    }
    auto spectrum = [](float* a) { return reinterpret_cast<fftwf_complex*>(a); };
    fftwf_plan forward = fftwf_plan_dft_r2c_3d(n, n, n, arrays[0], spectrum(arrays[0]), flags);
    fftwf_plan inverse = fftwf_plan_dft_c2r_3d(n, n, n, spectrum(arrays[0]), arrays[0], flags);
    for (float* a : arrays) std::memset(a, 0, count * sizeof(float));  // measuring wrote them
    for (auto _ : state) {
        for (float* a : arrays) fftwf_execute_dft_r2c(forward, a, spectrum(a));
        for (float* a : arrays) fftwf_execute_dft_c2r(inverse, spectrum(a), a);
        benchmark::DoNotOptimize(arrays[0][0]);
    }
    state.SetItemsProcessed(state.iterations() * n * n * n);
    fftwf_destroy_plan(forward);
    fftwf_destroy_plan(inverse);
    for (float* a : arrays) fftwf_free(a);
}

}  // namespace

BENCHMARK(BM_Frame)->Arg(8)->Arg(16)->Arg(32)->Arg(64);
BENCHMARK(BM_SixTransforms)
    ->ArgsProduct({{8, 16, 32, 64}, {FFTW_ESTIMATE}})
    ->ArgsProduct({{32, 64}, {FFTW_MEASURE}});
BENCHMARK(BM_StepVelocity)->Arg(8)->Arg(16)->Arg(32)->Arg(64);
BENCHMARK(BM_StepTemperature)->Arg(8)->Arg(16)->Arg(32)->Arg(64);
