// FluidSolver: construction and sizes, the periodic sampler (every float included), the
// velocity step's invariants (rest, uniform force, compression wave, divergence, energy,
// determinism) and temperature transport, heating and statistics.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "fluid/FluidSolver.h"
#include "platform/win/Rand.h"
#include "platform/win/RunState.h"

namespace {

constexpr float kFrameDt = 5.0f / 60.0f;

std::unique_ptr<FluidSolver> MakeSolver(int n) {
    std::unique_ptr<FluidSolver> solver;
    EXPECT_EQ(FluidSolver::Create(n, &solver), S_OK) << "n = " << n;
    return solver;
}

// The application's parameters and frame length.
std::unique_ptr<FluidSolver> MakeAppSolver(int n) {
    auto solver = MakeSolver(n);
    if (solver) {
        solver->SetParameters(0.001f, 0.01f, 0.0005f);
        solver->dt = kFrameDt;
    }
    return solver;
}

void Frame(FluidSolver& s) {
    s.StepVelocity();
    s.StepTemperature();
    s.ClearForces();
}

double KineticEnergy(const FluidSolver& s) {
    double e = 0;
    for (int p = 0; p < s.nCubed; ++p)
        e += 0.5 * (double(s.u[p]) * s.u[p] + double(s.v[p]) * s.v[p] + double(s.w[p]) * s.w[p]);
    return e;
}

bool AllZero(const float* a, int count) {
    return std::all_of(a, a + count, [](float x) { return x == 0.0f; });
}

}  // namespace

// [SECTION] Construction

TEST(FluidSolverCreate, RefusesBadSizes) {
    for (int n : {INT_MIN, -2, 0, 1, 3, 7, 9, 513, 514, 1024, 4096, INT_MAX}) {
        std::unique_ptr<FluidSolver> solver;
        EXPECT_EQ(FluidSolver::Create(n, &solver), E_INVALIDARG) << n;
        EXPECT_EQ(solver, nullptr);
        EXPECT_FALSE(FluidSolver::IsValidSize(n));
        EXPECT_STRNE(FluidSolver::SizeError(n), "");
    }
    EXPECT_STREQ(FluidSolver::SizeError(7), "grid size must be even");
}

TEST(FluidSolverCreate, StartsAtRestColdWithTheInitialCoefficients) {
    for (int n : {2, 6, 8}) {
        auto s = MakeSolver(n);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->nSquared, n * n);
        EXPECT_EQ(s->nCubed, n * n * n);
        EXPECT_EQ(s->dt, 0.4f);
        EXPECT_EQ(s->viscosity, 0.01f);
        EXPECT_EQ(s->velocityDecay, 0.001f);
        EXPECT_EQ(s->temperatureDecay, 0.05f);
        const int padded = n * n * (n + 2);
        for (const float* a : {s->u, s->v, s->w, s->forceU, s->forceV, s->forceW})
            EXPECT_TRUE(AllZero(a, padded));
        EXPECT_TRUE(AllZero(s->temperature, s->nCubed));
        EXPECT_TRUE(AllZero(s->temperatureSource, s->nCubed));
        s->SetParameters(0.001f, 0.01f, 0.0005f);
        EXPECT_EQ(s->viscosity, 0.001f);
        EXPECT_EQ(s->velocityDecay, 0.01f);
        EXPECT_EQ(s->temperatureDecay, 0.0005f);
    }
}

// [SECTION] Sampler

class Sampler : public ::testing::Test {
  protected:
    void SetUp() override {
        s = MakeSolver(n);
        ASSERT_TRUE(s);
        field.resize(n * n * n);
        for (int p = 0; p < n * n * n; ++p) field[p] = float(p % 97) * 0.5f + float(p / 97);
    }
    float At(int i, int j, int k) const { return field[i + n * j + n * n * k]; }
    const int n = 8;
    std::unique_ptr<FluidSolver> s;
    std::vector<float> field;
};

TEST_F(Sampler, CellCoordinatesReturnTheCell) {
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                s->SetSamplePoint(float(i), float(j), float(k));
                EXPECT_EQ(s->Sample(field.data()), At(i, j, k));
            }
}

TEST_F(Sampler, CornersFollowTheTableOrder) {
    s->SetSamplePoint(2.25f, 5.5f, 7.75f);  // z wraps from 7 to 0
    EXPECT_EQ(s->x0, 2);
    EXPECT_EQ(s->x1, 3);
    EXPECT_EQ(s->y0, 5);
    EXPECT_EQ(s->y1, 6);
    EXPECT_EQ(s->z0, 7);
    EXPECT_EQ(s->z1, 0);
    EXPECT_EQ(s->fx, 0.25f);
    EXPECT_EQ(s->fy, 0.5f);
    EXPECT_EQ(s->fz, 0.75f);
    const int expected[8][3] = {{2, 5, 7}, {2, 5, 0}, {2, 6, 7}, {2, 6, 0},
                                {3, 5, 7}, {3, 5, 0}, {3, 6, 7}, {3, 6, 0}};
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(s->corner[c], expected[c][0] + n * expected[c][1] + n * n * expected[c][2]);
    // One point serves several arrays; a linear field interpolates exactly along each axis.
    std::vector<float> ramp(n * n * n);
    for (int p = 0; p < n * n * n; ++p) ramp[p] = float(p % n);
    EXPECT_FLOAT_EQ(s->Sample(ramp.data()), 2.25f);
}

TEST_F(Sampler, WrapsAroundThePeriodicDomain) {
    s->SetSamplePoint(-0.5f, 3, 4);  // halfway between cells n - 1 and 0
    EXPECT_EQ(s->x0, n - 1);
    EXPECT_EQ(s->x1, 0);
    EXPECT_FLOAT_EQ(s->Sample(field.data()), 0.5f * (At(n - 1, 3, 4) + At(0, 3, 4)));

    s->SetSamplePoint(0.25f, 1.5f, 2);
    const float inside = s->Sample(field.data());
    s->SetSamplePoint(n + 0.25f, 1.5f - 3 * n, 2 + 5 * n);
    EXPECT_EQ(s->Sample(field.data()), inside);

    s->SetSamplePoint(-1, 0, 0);  // a negative whole number: fraction 1 onto the upper cell
    EXPECT_EQ(s->x0, n - 2);
    EXPECT_EQ(s->x1, n - 1);
    EXPECT_EQ(s->fx, 1.0f);
    EXPECT_EQ(s->Sample(field.data()), At(n - 1, 0, 0));
}

TEST_F(Sampler, EveryFloatGivesCellsInsideTheGrid) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float odd[] = {nan,
                         -nan,
                         inf,
                         -inf,
                         1e30f,
                         -1e30f,
                         3.0e9f,
                         -3.0e9f,
                         std::numeric_limits<float>::max(),
                         -std::numeric_limits<float>::max(),
                         2147483520.0f,
                         -2147483520.0f,
                         -2147483648.0f,
                         2147483648.0f,
                         std::numeric_limits<float>::denorm_min(),
                         -1e-30f};
    for (float a : odd)
        for (float b : {0.5f, a})
            for (float c : {-3.25f, a}) {
                s->SetSamplePoint(a, b, c);
                for (int k = 0; k < 8; ++k) {
                    ASSERT_GE(s->corner[k], 0) << a;
                    ASSERT_LT(s->corner[k], n * n * n) << a;
                }
                for (float f : {s->fx, s->fy, s->fz}) {
                    EXPECT_GE(f, 0.0f) << a;
                    EXPECT_LE(f, 1.0f) << a;
                }
                EXPECT_TRUE(std::isfinite(s->Sample(field.data()))) << a;
            }
    // NaN and infinities take cell 0.
    s->SetSamplePoint(nan, inf, -inf);
    EXPECT_EQ(s->corner[0], 0);
    EXPECT_EQ(s->Sample(field.data()), At(0, 0, 0));
}

// Around every power of two up to 2^31 on both sides, where floats are whole numbers 1, 2, 4 ...
// apart: the fraction stays in [0, 1] and the sample is the one computed in doubles. (A base
// found as trunc(c - 1) in floats rounds onto the next whole number below -2^24, and the
// sample then extrapolates: -16777218 gave a fraction of 2.)
TEST_F(Sampler, FractionStaysWithinOneAroundEveryPowerOfTwo) {
    auto expected = [&](float c) {
        const double low = std::floor(double(c)), fraction = double(c) - low;
        const long long cell = ((static_cast<long long>(low) % n) + n) % n;
        return At(int(cell), 0, 0) * (1.0 - fraction) + At(int((cell + 1) % n), 0, 0) * fraction;
    };
    int checked = 0;
    for (int k = 0; k <= 31; ++k) {
        for (double sign : {1.0, -1.0}) {
            const float centre = float(sign * std::ldexp(1.0, k));
            std::vector<float> around;
            for (float offset : {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 5.0f}) {
                around.push_back(centre + offset);
                around.push_back(centre - offset);
            }
            float up = centre, down = centre;
            for (int step = 0; step < 4; ++step) {
                up = std::nextafter(up, std::numeric_limits<float>::infinity());
                down = std::nextafter(down, -std::numeric_limits<float>::infinity());
                around.push_back(up);
                around.push_back(down);
            }
            for (float c : around) {
                if (c >= 2147483648.0f || c < -2147483648.0f) continue;  // beyond an int: the wrap test
                s->SetSamplePoint(c, 0, 0);
                EXPECT_GE(s->fx, 0.0f) << c;
                EXPECT_LE(s->fx, 1.0f) << c;
                const double want = expected(c);
                EXPECT_NEAR(s->Sample(field.data()), want, 1e-4 * (1.0 + std::fabs(want))) << c;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 1000);
    // The case that was found: a whole number whose half is odd, between -2^25 and -2^24.
    s->SetSamplePoint(-16777218.0f, 0, 0);
    EXPECT_EQ(s->fx, 1.0f);
    EXPECT_EQ(s->x0, int(((-16777219LL % n) + n) % n));
    EXPECT_EQ(s->Sample(field.data()), At(int(((-16777218LL % n) + n) % n), 0, 0));
}

TEST(SamplerWrap, HugeCoordinatesWrapLikeTheirWholeNumbers) {
    auto s = MakeSolver(6);  // not a power of two: the wrap is a true modulo
    ASSERT_TRUE(s);
    auto wrap = [](long long c) { return int(((c % 6) + 6) % 6); };
    // Largest coordinates that still convert to an int, and the first ones beyond.
    const float cases[] = {2147483520.0f, -2147483520.0f, -2147483648.0f, 2147483648.0f,
                           3000000256.0f, -3000000256.0f, 1e20f};
    for (float c : cases) {
        s->SetSamplePoint(c, 0, 0);
        const long long whole = c >= 1e18f ? 0 : (long long)c;  // 1e20 is a multiple of 6 below
        int expected = c >= 1e18f ? int(std::fmod(double(c), 6.0)) : wrap(whole);
        // A negative whole number that still converts to an int is, like -1, the upper cell
        // of the one below it, with fraction 1.
        const bool below = c < 0.0f && c > -2147483648.0f;
        if (below) expected = wrap(whole - 1);
        EXPECT_EQ(s->x0, expected) << c;
        EXPECT_EQ(s->x1, (expected + 1) % 6) << c;
        EXPECT_EQ(s->fx, below ? 1.0f : 0.0f) << c;
    }
}

// [SECTION] Velocity step

TEST(StepVelocity, RestStaysExactlyZero) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    for (int f = 0; f < 50; ++f) Frame(*s);
    for (const float* a : {s->u, s->v, s->w, s->temperature, s->temperatureSource})
        EXPECT_TRUE(AllZero(a, s->nCubed));
    float avg = -1, bottom = -1, top = -1;
    s->TemperatureStats(&avg, &bottom, &top);
    EXPECT_EQ(avg, 0.0f);
    EXPECT_EQ(bottom, 0.0f);
    EXPECT_EQ(top, 0.0f);
}

TEST(StepVelocity, UniformForceGivesUniformDecayedVelocity) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    const float force = 0.3f;
    std::fill(s->forceU, s->forceU + s->nCubed, force);
    s->StepVelocity();
    const float expected = s->dt * force * (1 - s->velocityDecay * s->dt);
    for (int p = 0; p < s->nCubed; ++p) {
        ASSERT_NEAR(s->u[p], expected, 1e-6f * expected);
        ASSERT_NEAR(s->v[p], 0.0f, 1e-9f);
        ASSERT_NEAR(s->w[p], 0.0f, 1e-9f);
    }
}

TEST(StepVelocity, FullDecayStopsEverything) {
    auto s = MakeSolver(8);
    ASSERT_TRUE(s);
    const win::RunScope run;  // rand from its first value
    s->RandomizeForces();
    s->dt = 0.5f;
    s->velocityDecay = 2.0f;  // velocityDecay * dt = 1
    s->StepVelocity();
    for (const float* a : {s->u, s->v, s->w}) EXPECT_TRUE(AllZero(a, s->nCubed));
}

TEST(StepVelocity, CompressionWaveLeavesOnlyTheMean) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    const int n = s->n;
    for (int p = 0; p < s->nCubed; ++p) s->u[p] = 0.2f + 0.5f * std::sin(6.2831853f * (p % n) / n);
    s->StepVelocity();
    for (int p = 0; p < s->nCubed; ++p) {
        ASSERT_NEAR(s->u[p], s->u[0], 1e-6f);
        ASSERT_NEAR(s->v[p], 0.0f, 1e-6f);
        ASSERT_NEAR(s->w[p], 0.0f, 1e-6f);
    }
    EXPECT_NEAR(s->u[0], 0.2f * (1 - s->velocityDecay * s->dt), 0.02f);
}

// The spectral divergence, with the step's own wave numbers, of the velocity a stirred step
// leaves: zero up to rounding, for power-of-two and other even sizes. Modes at the Nyquist
// frequency of any axis are left out: a real grid cannot tell +n/2 from -n/2 there, so their
// divergence has no meaning (central differences do not see them at all).
TEST(StepVelocity, ResultIsDivergenceFree) {
    for (int n : {4, 6, 8, 16}) {
        auto s = MakeAppSolver(n);
        ASSERT_TRUE(s);
        const win::RunScope run;  // rand from its first value
        s->RandomizeForces();
        s->dt = 2.0f;  // a long step: strong forces and a far back-trace
        s->StepVelocity();

        const int row = n + 2, half = n / 2;
        std::vector<float*> spectra;
        for (const float* vel : {s->u, s->v, s->w}) {
            float* a = fftwf_alloc_real(size_t(n) * n * row);
            for (int r = 0; r < n * n; ++r) std::copy(vel + r * n, vel + r * n + n, a + r * row);
            fftwf_plan plan = fftwf_plan_dft_r2c_3d(n, n, n, a, (fftwf_complex*)a, FFTW_ESTIMATE);
            fftwf_execute(plan);
            fftwf_destroy_plan(plan);
            spectra.push_back(a);
        }
        double worst = 0, largest = 0;
        for (int k = 0; k < n; ++k)
            for (int j = 0; j < n; ++j)
                for (int a = 0; a <= half; ++a) {
                    if (a == half || j == half || k == half) continue;
                    const double kx = a, ky = j <= half ? j : j - n, kz = k <= half ? k : k - n;
                    const int q = 2 * a + row * (j + n * k);
                    for (int part = 0; part < 2; ++part) {
                        const double U = spectra[0][q + part], V = spectra[1][q + part],
                                     W = spectra[2][q + part];
                        const double norm = std::sqrt(kx * kx + ky * ky + kz * kz);
                        worst = std::max(worst, std::fabs(kx * U + ky * V + kz * W));
                        largest = std::max(largest, norm * std::sqrt(U * U + V * V + W * W));
                    }
                }
        for (float* a : spectra) fftwf_free(a);
        EXPECT_GT(largest, 0.0) << n;
        EXPECT_LT(worst, 1e-6 * largest) << n;
    }
}

TEST(StepVelocity, KineticEnergyNeverGrowsWithoutForces) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    const win::RunScope run;  // rand from its first value
    s->RandomizeForces();
    s->InjectFaceJet();
    s->dt = 1.0f;
    Frame(*s);
    s->dt = kFrameDt;
    double previous = KineticEnergy(*s);
    ASSERT_GT(previous, 0.0);
    for (int f = 0; f < 300; ++f) {
        Frame(*s);
        const double e = KineticEnergy(*s);
        ASSERT_LE(e, previous * (1 + 1e-6)) << "frame " << f;
        previous = e;
    }
}

TEST(StepVelocity, SameInputsGiveBitIdenticalResults) {
    std::vector<float> first;
    for (int run = 0; run < 2; ++run) {
        auto s = MakeAppSolver(8);
        ASSERT_TRUE(s);
        const win::RunScope fresh;  // rand from its first value
        std::vector<float> state;
        for (int f = 0; f < 40; ++f) {
            if (f % 10 == 0) s->RandomizeForces();
            if (f % 15 == 0) s->InjectFaceJet();
            if (f < 20) s->HeatBottomRing();
            Frame(*s);
        }
        for (const float* a : {s->u, s->v, s->w, s->temperature, s->temperatureSource})
            state.insert(state.end(), a, a + s->nCubed);
        if (run == 0) {
            first = state;
        } else {
            ASSERT_EQ(state.size(), first.size());
            EXPECT_EQ(std::memcmp(state.data(), first.data(), state.size() * sizeof(float)), 0);
        }
    }
}

// Infinite and NaN forces or a NaN time step make the velocity NaN; the back-traces then land
// on NaN coordinates, which must still sample cells of the grid (the sanitizers watch the
// reads) and carry finite temperatures.
TEST(StepVelocity, NonFiniteInputStaysInsideTheArrays) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    s->forceU[5] = std::numeric_limits<float>::infinity();
    s->forceV[9] = std::numeric_limits<float>::quiet_NaN();
    s->forceW[77] = -3e38f;
    s->HeatBottomRing();
    for (float dt : {kFrameDt, std::numeric_limits<float>::quiet_NaN()}) {
        s->dt = dt;
        Frame(*s);
        for (int c = 0; c < 8; ++c) {
            EXPECT_GE(s->corner[c], 0);
            EXPECT_LT(s->corner[c], s->nCubed);
        }
        for (int p = 0; p < s->nCubed; ++p) {
            ASSERT_GE(s->temperature[p], 0.0f) << p;  // false for NaN
            ASSERT_LE(s->temperature[p], 100.0f) << p;
        }
    }
}

// [SECTION] Forces

TEST(Forces, FaceJetTouchesOnlyTheFaceWithinItsRanges) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    const win::RunScope run;  // rand from its first value
    s->InjectFaceJet();
    const int n = s->n;
    int touched = 0;
    for (int p = 0; p < s->nCubed; ++p) {
        if (p % n != 0) {
            ASSERT_EQ(s->forceU[p], 0.0f);
            ASSERT_EQ(s->forceV[p], 0.0f);
            ASSERT_EQ(s->forceW[p], 0.0f);
            continue;
        }
        ++touched;
        EXPECT_GE(s->forceU[p], 0.2f);
        EXPECT_LE(s->forceU[p], 0.5f);
        EXPECT_LE(std::fabs(s->forceV[p]), 0.4001f);
        EXPECT_LE(std::fabs(s->forceW[p]), 0.4001f);
    }
    EXPECT_EQ(touched, n * n);

    // Three draws per cell in the order x, y, z; the layer (z) varies fastest.
    const win::RunScope again;  // rand from its first value
    const int r0 = win::rand(), r1 = win::rand(), r2 = win::rand(), r3 = win::rand();
    EXPECT_EQ(s->forceU[0], float(r0) * 9.15555302e-6f + 0.2f);
    EXPECT_EQ(s->forceV[0], float(r1 - 16383) * 2.44155526e-5f);
    EXPECT_EQ(s->forceW[0], float(r2 - 16383) * 2.44155526e-5f);
    EXPECT_EQ(s->forceU[n * n], float(r3) * 9.15555302e-6f + 0.2f);
}

TEST(Forces, RandomizeFillsEveryCellInOrderAndClearEmpties) {
    auto s = MakeSolver(8);
    ASSERT_TRUE(s);
    const win::RunScope run;  // rand from its first value
    s->RandomizeForces();
    const win::RunScope again;  // rand from its first value
    for (int p = 0; p < s->nCubed; ++p) {
        ASSERT_EQ(s->forceU[p], float(win::rand() - 16383) * 3.05194408e-5f);
        ASSERT_EQ(s->forceV[p], float(win::rand() - 16383) * 3.05194408e-5f);
        ASSERT_EQ(s->forceW[p], float(win::rand() - 16383) * 3.05194408e-5f);
        ASSERT_LE(std::fabs(s->forceU[p]), 0.5f);
    }
    s->StepVelocity();  // leaves scratch data in the padded arrays
    s->ClearForces();
    const int padded = s->nSquared * (s->n + 2);
    for (const float* a : {s->forceU, s->forceV, s->forceW}) EXPECT_TRUE(AllZero(a, padded));
}

// [SECTION] Temperature

TEST(Temperature, OneHeatingAtRest) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    s->HeatBottomRing();
    std::vector<int> marked;
    for (int p = 0; p < s->nCubed; ++p) {
        if (s->temperatureSource[p] != 0.0f) {
            ASSERT_EQ(s->temperatureSource[p], 100.0f);
            ASSERT_LT(p, s->nSquared) << "heating reaches above the bottom layer";
            marked.push_back(p);
        }
    }
    EXPECT_GE(marked.size(), 18u);
    EXPECT_LE(marked.size(), 22u);
    EXPECT_TRUE(AllZero(s->temperature, s->nCubed));  // only the next step shows the heat

    s->StepTemperature();
    const float kept = 100.0f * (1.0f / (s->temperatureDecay * s->dt + 1.0f));
    for (int p = 0; p < s->nCubed; ++p) {
        const bool hot = std::find(marked.begin(), marked.end(), p) != marked.end();
        ASSERT_EQ(s->temperature[p], hot ? 100.0f : 0.0f) << p;
        ASSERT_FLOAT_EQ(s->temperatureSource[p], hot ? kept : 0.0f) << p;
    }

    float avg, bottom, top;
    s->TemperatureStats(&avg, &bottom, &top);
    EXPECT_FLOAT_EQ(bottom, 100.0f * marked.size() / 64.0f);
    EXPECT_FLOAT_EQ(avg, bottom / 3.0f);  // three water layers, heat only in the lowest
    EXPECT_EQ(top, 0.0f);
    EXPECT_NEAR(bottom, 31, 3.5);
    EXPECT_NEAR(avg, 10, 1.2);
}

// Finer grids heat the part of the pot a grid of 8 heats: n / 8 layers, each with the same
// band of cells, as far from the axis as the ring of the grid of 8 (radius 2.8 of its 8 cells,
// 0.35 of the span), about one coarse cell wide. A grid of 12 still heats one ring in one layer.
TEST(Temperature, FinerGridsHeatTheSameBandOfThePot) {
    for (int n : {12, 16, 32, 64}) {
        auto s = MakeAppSolver(n);
        ASSERT_TRUE(s);
        s->HeatBottomRing();
        const int layers = s->PatchSide();
        EXPECT_EQ(layers, n < 16 ? 1 : n / 8);
        int hot = 0;
        double nearest = 1.0, farthest = 0.0;  // distances from the axis, fractions of the span
        for (int p = 0; p < s->nCubed; ++p) {
            const float t = s->temperatureSource[p];
            if (t == 0.0f) continue;
            ASSERT_EQ(t, 100.0f);
            const int k = p / s->nSquared, j = (p / n) % n, i = p % n;
            ASSERT_LT(k, layers) << n;
            ASSERT_EQ(s->temperatureSource[p % s->nSquared], 100.0f) << "layers differ at " << n;
            if (k > 0) continue;
            ++hot;
            const double x = (i + 0.5) / n - 0.5, y = (j + 0.5) / n - 0.5;
            nearest = std::min(nearest, std::sqrt(x * x + y * y));
            farthest = std::max(farthest, std::sqrt(x * x + y * y));
        }
        // The band covers a ring of one coarse cell's width (1/8 of the span) at radius 0.35.
        const double area = 2 * 3.14159265 * 0.35 * (layers / static_cast<double>(n));
        EXPECT_GT(hot, 0.8 * area * n * n) << n;
        EXPECT_LT(hot, 1.6 * area * n * n) << n;
        EXPECT_GT(nearest, 0.35 - 0.5 * layers / n - 1.5 / n) << n;
        EXPECT_LT(farthest, 0.35 + 0.5 * layers / n + 1.5 / n) << n;
    }
}

// The transport against the sampler itself, cell by cell, bit for bit: back-traces within a
// cell of the grid, far outside it (several wraps) and through NaN velocities, on grids of
// every shape of wrap (2, 6, 8, 16).
TEST(Temperature, TransportEqualsTheSamplerAtEveryCell) {
    for (int n : {2, 6, 8, 16}) {
        auto s = MakeAppSolver(n);
        ASSERT_TRUE(s);
        const win::RunScope run;  // rand from its first value
        auto unit = [] { return float(win::rand()) / 32767.0f; };
        for (int p = 0; p < s->nCubed; ++p) {
            const float scale = p % 7 == 0 ? 40.0f : 0.4f;  // some traces leave the grid far
            s->u[p] = (unit() - 0.5f) * scale;
            s->v[p] = (unit() - 0.5f) * scale;
            s->w[p] = (unit() - 0.5f) * scale;
            s->temperatureSource[p] = 100.0f * unit();
        }
        s->v[s->nCubed / 2] = std::numeric_limits<float>::quiet_NaN();
        std::vector<float> source(s->temperatureSource, s->temperatureSource + s->nCubed);
        s->dt = 0.7f;
        s->StepTemperature();

        const float c = 1.0f / (s->temperatureDecay * s->dt + 1.0f);
        for (int k = 0; k < n; ++k)
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    const int p = i + n * j + n * n * k;
                    const float x = (i + 0.5f) / n, y = (j + 0.5f) / n, z = (k + 0.5f) / n;
                    s->SetSamplePoint(n * (x - s->dt * s->u[p]) - 0.5f,
                                      n * (y - s->dt * s->v[p]) - 0.5f,
                                      n * (z - s->dt * s->w[p]) - 0.5f);
                    const float expected = s->Sample(source.data());
                    ASSERT_EQ(s->temperature[p], expected) << "n " << n << " cell " << p;
                    ASSERT_EQ(s->temperatureSource[p], expected * c) << "n " << n << " cell " << p;
                }
    }
}

// The ring stays in the bottom layer up to n = 15 and in the bottom n / 8 layers above.
TEST(Temperature, RingStaysInTheBottomLayersForEverySize) {
    for (int n : {2, 4, 6, 8, 14, 16, 64}) {
        auto s = MakeSolver(n);
        ASSERT_TRUE(s);
        s->HeatBottomRing();
        int hot = 0;
        for (int p = 0; p < s->nCubed; ++p) hot += s->temperatureSource[p] == 100.0f;
        EXPECT_GT(hot, 0) << n;
        const int layers = n < 16 ? 1 : n / 8;
        EXPECT_TRUE(AllZero(s->temperatureSource + layers * s->nSquared,
                            s->nCubed - layers * s->nSquared))
            << n;
    }
}

TEST(Temperature, StaysWithinZeroToHundredWhileStirredAndHeated) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    const win::RunScope run;  // rand from its first value
    for (int f = 0; f < 300; ++f) {
        if (f % 3 == 0) s->HeatBottomRing();
        if (f % 20 == 0) s->RandomizeForces();
        if (f % 50 == 7) s->InjectFaceJet();
        Frame(*s);
        for (const float* a : {s->temperature, s->temperatureSource}) {
            const auto [lo, hi] = std::minmax_element(a, a + s->nCubed);
            ASSERT_GE(*lo, 0.0f) << f;
            ASSERT_LE(*hi, 100.0f) << f;
        }
    }
    // Repeated heating of hot water sets, never adds.
    s->HeatBottomRing();
    s->HeatBottomRing();
    EXPECT_EQ(*std::max_element(s->temperatureSource, s->temperatureSource + s->nCubed), 100.0f);
}

TEST(Temperature, StatisticsCountOnlyTheWaterLayers) {
    auto s = MakeAppSolver(8);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->WaterLayers(), 3);
    const int n2 = s->nSquared;
    std::fill(s->temperature, s->temperature + n2, 30.0f);                   // layer 0
    std::fill(s->temperature + n2, s->temperature + 2 * n2, 60.0f);          // layer 1
    std::fill(s->temperature + 2 * n2, s->temperature + 3 * n2, 90.0f);      // layer 2, the top
    std::fill(s->temperature + 3 * n2, s->temperature + s->nCubed, 100.0f);  // air: ignored
    float avg, bottom, top;
    s->TemperatureStats(&avg, &bottom, &top);
    EXPECT_FLOAT_EQ(avg, 60.0f);
    EXPECT_EQ(bottom, 30.0f);
    EXPECT_EQ(top, 90.0f);
}

// A grid of 2 has no whole layer below the surface (70 / 170 of 2 layers); its statistics use
// the bottom layer instead of dividing by zero and reading the layer below the array.
TEST(Temperature, SmallestGridReportsItsBottomLayer) {
    auto s = MakeAppSolver(2);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->WaterLayers(), 1);
    EXPECT_EQ(MakeSolver(4)->WaterLayers(), 1);
    EXPECT_EQ(MakeSolver(6)->WaterLayers(), 2);
    s->HeatBottomRing();
    s->StepTemperature();
    float avg, bottom, top;
    s->TemperatureStats(&avg, &bottom, &top);
    EXPECT_TRUE(std::isfinite(avg));
    EXPECT_GT(bottom, 0.0f);
    EXPECT_EQ(avg, bottom);
    EXPECT_EQ(top, bottom);
}
