// FluidSolver: grid state, the periodic sampler, the FFT velocity step and temperature transport.
// The three force arrays double as in-place spectral arrays, so a step allocates nothing.
//
// Sections: [SECTION] Construction, [SECTION] Sampler, [SECTION] Velocity step,
//           [SECTION] Forces, [SECTION] Temperature
#include "fluid/FluidSolver.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <new>

#include "fluid/FluidSolverSampling.h"
#include "platform/win/Rand.h"

namespace {

// One sample point: wrapped cell indices, fractions and the eight corners' flat indices.
struct SamplePoint {
    int32_t x0, x1, y0, y1, z0, z1;
    float fx, fy, fz;
    int32_t corner[8];
};

// Wraps one grid coordinate c onto n cells: the low cell lo, the next cell hi (periodic) and
// the fraction f of the way from lo to hi. The base cell is t = trunc(c) for c >= 0 and t - 1
// below 0, counted in integers: the whole part t of a float is a float and c - t is exact, so
// f = c - t, or (c - t) + 1 below 0, lies in [0, 1] for every float (exactly 1 for negative
// whole numbers). Computing c - 1 in floats instead would round it onto another whole number
// where floats are 2 or more apart, and f would reach 2.
// Coordinates whose base does not fit an int (NaN, infinities, |c| >= 2^31) must not reach
// the integer conversion: NaN and infinities take cell 0; huge finite values are whole
// numbers and take the cell they wrap to, with f = 0.
inline void WrapAxis(float c, int32_t n, int32_t* lo, int32_t* hi, float* f) {
    constexpr float kIntLimit = 2147483648.0f;  // 2^31
    int32_t base;
    if (c > -kIntLimit && c < kIntLimit) {
        const int32_t whole = static_cast<int32_t>(c);
        if (c < 0.0f) {
            base = whole - 1;  // whole > -2^31, so this stays an int
            *f = (c - static_cast<float>(whole)) + 1.0f;
        } else {
            base = whole;
            *f = c - static_cast<float>(whole);
        }
    } else {
        *f = 0.0f;
        int32_t cell = 0;
        if (std::isfinite(c)) {
            double r = std::fmod(static_cast<double>(c), static_cast<double>(n));
            if (r < 0.0) r += n;
            cell = static_cast<int32_t>(r);
        }
        *lo = cell;
        *hi = cell + 1 == n ? 0 : cell + 1;
        return;
    }
    int32_t cell;
    if (base >= 0 && base < n) {
        cell = base;  // the usual case: no division needed
    } else {
        cell = base % n;
        if (cell < 0) cell += n;
    }
    *lo = cell;
    *hi = cell + 1 == n ? 0 : cell + 1;
}

inline void Locate(float gx, float gy, float gz, int32_t n, SamplePoint* s) {
    WrapAxis(gx, n, &s->x0, &s->x1, &s->fx);
    WrapAxis(gy, n, &s->y0, &s->y1, &s->fy);
    WrapAxis(gz, n, &s->z0, &s->z1, &s->fz);
    const int32_t n2 = n * n;
    const int32_t y0 = s->y0 * n, y1 = s->y1 * n, z0 = s->z0 * n2, z1 = s->z1 * n2;
    s->corner[0] = s->x0 + y0 + z0;
    s->corner[1] = s->x0 + y0 + z1;
    s->corner[2] = s->x0 + y1 + z0;
    s->corner[3] = s->x0 + y1 + z1;
    s->corner[4] = s->x1 + y0 + z0;
    s->corner[5] = s->x1 + y0 + z1;
    s->corner[6] = s->x1 + y1 + z0;
    s->corner[7] = s->x1 + y1 + z1;
}

inline float Interpolate(const float* F, const int32_t* c, float fx, float fy, float fz) {
    const float gx = 1.0f - fx, gy = 1.0f - fy, gz = 1.0f - fz;
    return gx * (gy * (gz * F[c[0]] + fz * F[c[1]]) + fy * (gz * F[c[2]] + fz * F[c[3]])) +
           fx * (gy * (gz * F[c[4]] + fz * F[c[5]]) + fy * (gz * F[c[6]] + fz * F[c[7]]));
}

// Largest K = kx^2 + ky^2 + kz^2 on an n grid: every wave number is at most n/2 in size.
inline int32_t MaxWaveNumberSquared(int32_t n) {
    return 3 * (n / 2) * (n / 2);
}

using fluid_sampling::RowTraces;
using fluid_sampling::SampleGridShape;

// The sampler's base and fraction of coordinate c (as WrapAxis makes them); *inside is 0
// unless the base lies in -1 ... n. Out-of-range values (NaN included) are replaced by 0 before
// the conversion to int.
inline float Base(float c, float highLimit, float* f, int32_t* inside) {
    const int32_t ok = (c > -1.0f) & (c < highLimit);  // 0 for NaN
    const float below = c < 0.0f ? 1.0f : 0.0f;
    const float whole = static_cast<float>(static_cast<int32_t>(ok ? c : 0.0f));  // trunc(c)
    *f = (c - whole) + below;
    *inside &= ok;
    return whole - below;
}

// Back-traces of one x row, without branches so that the loop vectorises: cells
// i0 ... i0 + count - 1 of the row whose centres lie at y and z, grid coordinate
// g = n * (centre - dt * velocity) - 0.5 on each axis. Each axis's low cell and fraction are
// exactly the sampler's; the periodic wrap is left to the ghost cells of the sampling grid.
// Returns false when some low cell falls outside -1 ... n (a back-trace of more than a cell
// beyond the grid, or a NaN, infinite or huge coordinate): the caller then redoes the chunk
// with the general wrap.
inline bool TraceRow(int32_t n, float dt, const float* __restrict centres, int32_t i0,
                     int32_t count, float y, float z, const float* __restrict ur,
                     const float* __restrict vr, const float* __restrict wr,
                     RowTraces* __restrict out) {
    const float nf = static_cast<float>(n);
    const float highLimit = nf + 1.0f;  // bases up to n
    // The row index (y + 1) + s (z + 1) is at most (n + 1)(n + 4): exact in a float for every
    // grid size the solver accepts.
    const float side = static_cast<float>(n + 3);
    const float* __restrict x = centres + i0;
    int32_t inside = 1;
    for (int32_t t = 0; t < count; ++t) {
        float fx, fy, fz;
        const float bx = Base(nf * (x[t] - dt * ur[t]) - 0.5f, highLimit, &fx, &inside);
        const float by = Base(nf * (y - dt * vr[t]) - 0.5f, highLimit, &fy, &inside);
        const float bz = Base(nf * (z - dt * wr[t]) - 0.5f, highLimit, &fz, &inside);
        out->lowX[t] = static_cast<int32_t>(bx);
        out->row[t] = static_cast<int32_t>((by + 1.0f) + side * (bz + 1.0f));
        out->fx[t] = fx;
        out->fy[t] = fy;
        out->fz[t] = fz;
    }
    return inside != 0;
}

// out[i] = in[i] * s for i < count.
inline void ScaleRow(int32_t count, float s, const float* __restrict in, float* __restrict out) {
    for (int32_t i = 0; i < count; ++i) out[i] = in[i] * s;
}

// out[i] = in[i] for i < count: short rows, where a library copy costs more than the loop.
inline void CopyRow(int32_t count, const float* __restrict in, float* __restrict out) {
    for (int32_t i = 0; i < count; ++i) out[i] = in[i];
}

// One row of the forces pass: velocity += dt * force, and the result into the sampling grid's
// (u, v, w, 0) cells.
inline void AddForcesRow(int32_t count, float dt, float* __restrict ur, float* __restrict vr,
                         float* __restrict wr, const float* __restrict fu,
                         const float* __restrict fv, const float* __restrict fw,
                         float* __restrict cells) {
    for (int32_t i = 0; i < count; ++i) {
        const float a = ur[i] + dt * fu[i];
        const float b = vr[i] + dt * fv[i];
        const float c = wr[i] + dt * fw[i];
        ur[i] = a;
        vr[i] = b;
        wr[i] = c;
        cells[4 * i] = a;
        cells[4 * i + 1] = b;
        cells[4 * i + 2] = c;
        cells[4 * i + 3] = 0.0f;
    }
}

// Viscosity and projection of the modes a = 0 ... count - 1 of one spectral row (wave numbers
// a, ky, kz; kyz = ky^2 + kz^2), real and imaginary parts alike. damping[K] is
// exp(-K viscosity dt). The mean mode (K = 0) must come out unchanged: it is computed with K
// taken as 1, where its zero wave numbers remove nothing and damping[0] = 1 keeps it whole.
inline void ProjectRow(int32_t count, int32_t kyz, float ky, float kz,
                       const float* __restrict damping, float* __restrict U, float* __restrict V,
                       float* __restrict W) {
    for (int32_t a = 0; a < count; ++a) {
        const int32_t K = a * a + kyz;
        const float f = damping[K];
        const float kx = static_cast<float>(a);
        const float divisor = static_cast<float>(K > 0 ? K : 1);
        for (int32_t part = 0; part < 2; ++part) {
            const int32_t q = 2 * a + part;
            const float u = U[q], v = V[q], w = W[q];
            const float d = (kx * u + ky * v + kz * w) / divisor;
            U[q] = f * (u - kx * d);
            V[q] = f * (v - ky * d);
            W[q] = f * (w - kz * d);
        }
    }
}

// Traces one chunk of a row: the vectorised trace, or, when it gives up on some coordinate, the
// sampler's general wrap for the whole chunk.
inline void TraceChunk(int32_t n, float dt, const float* centres, int32_t i0, int32_t count,
                       float y, float z, const float* ur, const float* vr, const float* wr,
                       RowTraces* out) {
    if (TraceRow(n, dt, centres, i0, count, y, z, ur, vr, wr, out)) return;
    const float nf = static_cast<float>(n);
    const int32_t side = n + 3;
    for (int32_t t = 0; t < count; ++t) {
        int32_t x0, x1, y0, y1, z0, z1;
        WrapAxis(nf * (centres[i0 + t] - dt * ur[t]) - 0.5f, n, &x0, &x1, &out->fx[t]);
        WrapAxis(nf * (y - dt * vr[t]) - 0.5f, n, &y0, &y1, &out->fy[t]);
        WrapAxis(nf * (z - dt * wr[t]) - 0.5f, n, &z0, &z1, &out->fz[t]);
        out->lowX[t] = x0;
        out->row[t] = (y0 + 1) + side * (z0 + 1);
    }
}

}  // namespace

// [SECTION] Construction

bool FluidSolver::IsValidSize(int size) {
    return SizeError(size)[0] == '\0';
}

const char* FluidSolver::SizeError(int size) {
    if (size < 2) return "grid size must be at least 2";
    if (size % 2 != 0) return "grid size must be even";
    if (size > kMaxSize) return "grid size must not exceed 512";
    return "";
}

HRESULT FluidSolver::Create(int size, std::unique_ptr<FluidSolver>* out) {
    assert(out);
    out->reset();
    if (!IsValidSize(size)) return E_INVALIDARG;
    std::unique_ptr<FluidSolver> solver(new (std::nothrow) FluidSolver(size));
    if (!solver || !solver->Allocate()) return E_OUTOFMEMORY;
    *out = std::move(solver);
    return S_OK;
}

FluidSolver::FluidSolver(int size) : n(size), nSquared(size * size), nCubed(size * size * size) {}

bool FluidSolver::Allocate() {
    const size_t padded = static_cast<size_t>(nSquared) * static_cast<size_t>(n + 2);
    const size_t cells = static_cast<size_t>(nCubed);
    float** const paddedArrays[] = {&u, &forceU, &v, &forceV, &w, &forceW};
    for (float** a : paddedArrays) {
        *a = static_cast<float*>(fftwf_malloc(padded * sizeof(float)));
        if (!*a) return false;
        std::memset(*a, 0, padded * sizeof(float));
    }
    for (float** a : {&temperature, &temperatureSource}) {
        *a = static_cast<float*>(fftwf_malloc(cells * sizeof(float)));
        if (!*a) return false;
        std::memset(*a, 0, cells * sizeof(float));
    }
    const size_t dampingCount = static_cast<size_t>(MaxWaveNumberSquared(n)) + 1;
    dampingByK = static_cast<float*>(fftwf_malloc(dampingCount * sizeof(float)));
    cellCentre = static_cast<float*>(fftwf_malloc(static_cast<size_t>(n) * sizeof(float)));
    const size_t side = static_cast<size_t>(n) + 3;
    sampleGrid = static_cast<float*>(fftwf_malloc(4 * side * side * side * sizeof(float)));
    if (!dampingByK || !cellCentre || !sampleGrid) return false;
    for (int32_t i = 0; i < n; ++i)
        cellCentre[i] = (static_cast<float>(i) + 0.5f) / static_cast<float>(n);

    // The plans are made on forceU and run on all three force arrays (same alignment, all in
    // place). The slowest-varying dimension comes first: (k, j, i), x contiguous. Estimating
    // planners leave the arrays alone. In place, the inverse transform's overwriting of its
    // input is expected: the spectrum is not needed after it.
    fftwf_complex* spectrum = reinterpret_cast<fftwf_complex*>(forceU);
    forwardPlan = fftwf_plan_dft_r2c_3d(n, n, n, forceU, spectrum, FFTW_ESTIMATE);
    inversePlan = fftwf_plan_dft_c2r_3d(n, n, n, spectrum, forceU, FFTW_ESTIMATE);
    return forwardPlan && inversePlan;
}

FluidSolver::~FluidSolver() {
    if (forwardPlan) fftwf_destroy_plan(forwardPlan);
    if (inversePlan) fftwf_destroy_plan(inversePlan);
    for (float* a : {u, forceU, v, forceV, w, forceW, temperature, temperatureSource, dampingByK,
                     cellCentre, sampleGrid}) {
        if (a) fftwf_free(a);
    }
}

void FluidSolver::SetParameters(float newViscosity, float newVelocityDecay,
                                float newTemperatureDecay) {
    viscosity = newViscosity;
    velocityDecay = newVelocityDecay;
    temperatureDecay = newTemperatureDecay;
}

// [SECTION] Sampler

void FluidSolver::SetSamplePoint(float gx, float gy, float gz) {
    SamplePoint s;
    Locate(gx, gy, gz, n, &s);
    x0 = s.x0;
    x1 = s.x1;
    y0 = s.y0;
    y1 = s.y1;
    z0 = s.z0;
    z1 = s.z1;
    fx = s.fx;
    fy = s.fy;
    fz = s.fz;
    std::memcpy(corner, s.corner, sizeof corner);
}

float FluidSolver::Sample(const float* field) const {
    return Interpolate(field, corner, fx, fy, fz);
}

// [SECTION] Velocity step
//
// The step keeps the forced velocity in u, v, w while it advects, and writes the advected
// velocity straight into the force arrays in the padded layout: the same values as copying the
// velocity into the force arrays, advecting back into u, v, w and packing, in one pass less.

void FluidSolver::StepVelocity() {
    // Forces: a force held for one step adds dt * force to the velocity. The forced velocity
    // also goes into the sampling grid, cell by cell, for the advection.
    const size_t side = static_cast<size_t>(n) + 3;
    const float step = dt;
    for (int32_t k = 0; k < n; ++k) {
        for (int32_t j = 0; j < n; ++j) {
            const int32_t p0 = n * j + nSquared * k;
            AddForcesRow(n, step, u + p0, v + p0, w + p0, forceU + p0, forceV + p0, forceW + p0,
                         sampleGrid + 4 * (1 + side * (j + 1) + side * side * (k + 1)));
        }
    }
    fluid_sampling::FillGhosts(sampleGrid, n, 4);

    Advect();

    fftwf_execute_dft_r2c(forwardPlan, forceU, reinterpret_cast<fftwf_complex*>(forceU));
    fftwf_execute_dft_r2c(forwardPlan, forceV, reinterpret_cast<fftwf_complex*>(forceV));
    fftwf_execute_dft_r2c(forwardPlan, forceW, reinterpret_cast<fftwf_complex*>(forceW));

    Project();

    fftwf_execute_dft_c2r(inversePlan, reinterpret_cast<fftwf_complex*>(forceU), forceU);
    fftwf_execute_dft_c2r(inversePlan, reinterpret_cast<fftwf_complex*>(forceV), forceV);
    fftwf_execute_dft_c2r(inversePlan, reinterpret_cast<fftwf_complex*>(forceW), forceW);

    // Unpack, undo the transforms' factor of n^3 and apply the velocity decay.
    const float s = (1.0f - velocityDecay * dt) / static_cast<float>(nCubed);
    const int32_t row = n + 2;
    for (int32_t r = 0; r < nSquared; ++r) {
        ScaleRow(n, s, forceU + r * row, u + r * n);
        ScaleRow(n, s, forceV + r * row, v + r * n);
        ScaleRow(n, s, forceW + r * row, w + r * n);
    }
}

// Semi-Lagrangian advection: each cell's centre is traced back along its own velocity and the
// velocity found there (periodic trilinear) becomes the cell's new velocity, written padded.
// The velocity is sampled from the sampling grid (forced velocity, ghost layers filled).
void FluidSolver::Advect() {
    const SampleGridShape shape(n);
    const int32_t row = n + 2;
    RowTraces traces;
    for (int32_t k = 0; k < n; ++k) {
        for (int32_t j = 0; j < n; ++j) {
            for (int32_t i0 = 0; i0 < n; i0 += fluid_sampling::kChunk) {
                const int32_t count =
                    n - i0 < fluid_sampling::kChunk ? n - i0 : fluid_sampling::kChunk;
                const int32_t p0 = i0 + n * j + nSquared * k;
                const int32_t q0 = i0 + row * (j + n * k);
                TraceChunk(n, dt, cellCentre, i0, count, cellCentre[j], cellCentre[k], u + p0,
                           v + p0, w + p0, &traces);
                fluid_sampling::InterpolateVelocityRow(traces, count, shape, sampleGrid,
                                                       forceU + q0, forceV + q0, forceW + q0);
            }
        }
    }
    SetSamplePointOfLastCell();
}

// Leaves the sampler where per-cell SetSamplePoint calls would have left it: at the back-trace
// of the last cell along the current u, v, w.
void FluidSolver::SetSamplePointOfLastCell() {
    const float nf = static_cast<float>(n);
    const float c = (static_cast<float>(n - 1) + 0.5f) / nf;
    const int32_t p = nCubed - 1;
    SetSamplePoint(nf * (c - dt * u[p]) - 0.5f, nf * (c - dt * v[p]) - 0.5f,
                   nf * (c - dt * w[p]) - 0.5f);
}

// Viscosity and projection on every stored mode. Wave numbers are plain integers: kx = a
// (0 ... n/2), ky and kz fold above n/2 to negative values, and the Nyquist rows keep +n/2.
// The mean mode (K = 0) is left alone; every other mode is damped by exp(-K viscosity dt) and
// loses its component along (kx, ky, kz), which makes the velocity divergence-free.
void FluidSolver::Project() {
    const int32_t half = n / 2;
    const int32_t row = n + 2;
    const int32_t maxK = MaxWaveNumberSquared(n);
    for (int32_t K = 0; K <= maxK; ++K) {
        dampingByK[K] = std::exp(-static_cast<float>(K) * viscosity * dt);
    }
    for (int32_t k = 0; k < n; ++k) {
        const int32_t kz = k <= half ? k : k - n;
        for (int32_t j = 0; j < n; ++j) {
            const int32_t ky = j <= half ? j : j - n;
            const int32_t offset = row * (j + n * k);
            ProjectRow(half + 1, ky * ky + kz * kz, static_cast<float>(ky), static_cast<float>(kz),
                       dampingByK, forceU + offset, forceV + offset, forceW + offset);
        }
    }
}

// [SECTION] Forces

void FluidSolver::ClearForces() {
    const size_t bytes = static_cast<size_t>(nSquared) * static_cast<size_t>(n + 2) * sizeof(float);
    std::memset(forceU, 0, bytes);
    std::memset(forceV, 0, bytes);
    std::memset(forceW, 0, bytes);
}

void FluidSolver::RandomizeForces() {
    for (int32_t p = 0; p < nCubed; ++p) {
        forceU[p] = static_cast<float>(win::rand() - 16383) * 3.05194408e-5f;
        forceV[p] = static_cast<float>(win::rand() - 16383) * 3.05194408e-5f;
        forceW[p] = static_cast<float>(win::rand() - 16383) * 3.05194408e-5f;
    }
}

void FluidSolver::InjectFaceJet() {
    for (int32_t a = 0; a < n; ++a) {
        for (int32_t b = 0; b < n; ++b) {
            const int32_t p = a * n + b * nSquared;  // x = 0, y = a, z = b
            forceU[p] = static_cast<float>(win::rand()) * 9.15555302e-6f + 0.2f;
            forceV[p] = static_cast<float>(win::rand() - 16383) * 2.44155526e-5f;
            forceW[p] = static_cast<float>(win::rand() - 16383) * 2.44155526e-5f;
        }
    }
}

// [SECTION] Temperature

void FluidSolver::StepTemperature() {
    // Transport: the same back-trace as the velocity advection, along the new velocity, sampling
    // a ghost-padded copy of temperatureSource. Cooling: the result, times c, becomes the state
    // the next step carries; the copy makes it safe to write while the transport still reads.
    const float c = 1.0f / (temperatureDecay * dt + 1.0f);
    const size_t side = static_cast<size_t>(n) + 3;
    for (int32_t k = 0; k < n; ++k) {
        for (int32_t j = 0; j < n; ++j) {
            CopyRow(n, temperatureSource + n * j + nSquared * k,
                    sampleGrid + 1 + side * (j + 1) + side * side * (k + 1));
        }
    }
    fluid_sampling::FillGhosts(sampleGrid, n, 1);
    const SampleGridShape shape(n);
    RowTraces traces;
    for (int32_t k = 0; k < n; ++k) {
        for (int32_t j = 0; j < n; ++j) {
            for (int32_t i0 = 0; i0 < n; i0 += fluid_sampling::kChunk) {
                const int32_t count =
                    n - i0 < fluid_sampling::kChunk ? n - i0 : fluid_sampling::kChunk;
                const int32_t p0 = i0 + n * j + nSquared * k;
                TraceChunk(n, dt, cellCentre, i0, count, cellCentre[j], cellCentre[k], u + p0,
                           v + p0, w + p0, &traces);
                fluid_sampling::InterpolateRow(traces, count, shape, sampleGrid, temperature + p0,
                                               c, temperatureSource + p0);
            }
        }
    }
    SetSamplePointOfLastCell();
}

// 3n points on a circle of radius 0.35 n cells about the bottom layer's central cell corner,
// a third of 2 pi / n apart; each point's cell is set to the heater temperature. A grid finer
// than 8 heats the same part of the pot as a grid of 8 does: its cells are n / 8 times smaller
// on each axis, so the circle becomes a band of n / 8 circles one cell apart, in each of the
// bottom n / 8 layers. Grids up to 15 heat the one circle in the bottom layer.
void FluidSolver::HeatBottomRing() {
    const float m = static_cast<float>(n);
    const int32_t half = n / 2;
    const int32_t thickness = PatchSide();
    const float step = (6.2831855f / m) * 0.33333334f;
    for (int32_t circle = 0; circle < thickness; ++circle) {
        // Distance of this circle from the middle one, cells; 0 when there is one circle, which
        // then leaves every cell index exactly as the plain radius gives it.
        const float offset = static_cast<float>(circle) - 0.5f * static_cast<float>(thickness - 1);
        float angle = 0.0f;
        for (int32_t t = 0; t < 3 * n; ++t) {
            const float sine = std::sin(angle), cosine = std::cos(angle);
            const int32_t yi = static_cast<int32_t>(half + (sine * m * 0.5f * 0.7f + sine * offset));
            const int32_t xi =
                static_cast<int32_t>(half + (cosine * m * 0.5f * 0.7f + cosine * offset));
            assert(xi >= 0 && xi < n && yi >= 0 && yi < n);
            for (int32_t k = 0; k < thickness; ++k)
                temperatureSource[k * nSquared + yi * n + xi] = kHeaterTemperature;
            angle = angle + step;
        }
    }
}

// The water fills the layers below height 70 of the grid's 170: trunc(70 n / 170), which is
// 3 for n = 8. A grid of 2 has no whole layer below the surface; it counts its bottom layer,
// so that the statistics never divide by zero or read below the array.
int FluidSolver::WaterLayers() const {
    const int32_t layers = n * 70 / 170;
    return layers < 1 ? 1 : layers;
}

void FluidSolver::TemperatureStats(float* average, float* bottom, float* top) const {
    assert(average && bottom && top);
    const int32_t layers = WaterLayers();
    float sum = 0.0f;
    for (int32_t p = 0; p < layers * nSquared; ++p) sum += temperature[p];
    *average = sum / static_cast<float>(layers * nSquared);

    sum = 0.0f;
    for (int32_t p = 0; p < nSquared; ++p) sum += temperature[p];
    *bottom = sum / static_cast<float>(nSquared);

    sum = 0.0f;
    const float* const topLayer = temperature + (layers - 1) * nSquared;
    for (int32_t p = 0; p < nSquared; ++p) sum += topLayer[p];
    *top = sum / static_cast<float>(nSquared);
}
