// FluidSolver: grid state, the periodic sampler, the FFT velocity step and temperature transport.
// The three force arrays double as in-place spectral arrays, so a step allocates nothing.
//
// Sections: [SECTION] Construction, [SECTION] Sampler, [SECTION] Velocity step,
//           [SECTION] Forces, [SECTION] Temperature
#include "fluid/FluidSolver.h"

#include "platform/win/Rand.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// One sample point: wrapped cell indices, fractions and the eight corners' flat indices.
struct SamplePoint {
    int32_t x0, x1, y0, y1, z0, z1;
    float fx, fy, fz;
    int32_t corner[8];
};

// Wraps one grid coordinate c onto n cells: the low cell lo, the next cell hi (periodic) and
// the fraction f of the way from lo to hi. The base cell is trunc(c) for c >= 0 and
// trunc(c - 1) below 0, so f lies in [0, 1] (exactly 1 for negative whole numbers).
// Coordinates whose base does not fit an int (NaN, infinities, |c| >= 2^31) must not reach
// the integer conversion: NaN and infinities take cell 0; huge finite values are whole
// numbers and take the cell they wrap to, with f = 0.
inline void WrapAxis(float c, int32_t n, int32_t* lo, int32_t* hi, float* f) {
    constexpr float kIntLimit = 2147483648.0f;  // 2^31
    int32_t base;
    if (c >= 0.0f && c < kIntLimit) {
        base = static_cast<int32_t>(c);
        *f = c - static_cast<float>(base);
    } else if (c < 0.0f && c - 1.0f >= -kIntLimit) {
        base = static_cast<int32_t>(c - 1.0f);
        *f = c - static_cast<float>(base);
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
inline int32_t MaxWaveNumberSquared(int32_t n) { return 3 * (n / 2) * (n / 2); }

}  // namespace

// [SECTION] Construction

bool FluidSolver::IsValidSize(int size) { return SizeError(size)[0] == '\0'; }

const char* FluidSolver::SizeError(int size) {
    if (size < 2) return "grid size must be at least 2";
    if (size % 2 != 0) return "grid size must be even";
    if (size > kMaxSize) return "grid size must not exceed 1024";
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
    if (!dampingByK) return false;

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
    for (float* a : {u, forceU, v, forceV, w, forceW, temperature, temperatureSource, dampingByK}) {
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
    // Forces: a force held for one step adds dt * force to the velocity.
    for (int32_t p = 0; p < nCubed; ++p) {
        u[p] = u[p] + dt * forceU[p];
        v[p] = v[p] + dt * forceV[p];
        w[p] = w[p] + dt * forceW[p];
    }

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
        float* const ur = u + r * n;
        float* const vr = v + r * n;
        float* const wr = w + r * n;
        const float* const fu = forceU + r * row;
        const float* const fv = forceV + r * row;
        const float* const fw = forceW + r * row;
        for (int32_t i = 0; i < n; ++i) {
            ur[i] = s * fu[i];
            vr[i] = s * fv[i];
            wr[i] = s * fw[i];
        }
    }
}

// Semi-Lagrangian advection: each cell's centre is traced back along its own velocity and the
// velocity found there (periodic trilinear) becomes the cell's new velocity, written padded.
void FluidSolver::Advect() {
    const float nf = static_cast<float>(n);
    const float step = dt;
    const int32_t row = n + 2;
    SamplePoint s{};
    for (int32_t k = 0; k < n; ++k) {
        const float z = (static_cast<float>(k) + 0.5f) / nf;
        for (int32_t j = 0; j < n; ++j) {
            const float y = (static_cast<float>(j) + 0.5f) / nf;
            const int32_t flatRow = n * j + nSquared * k;
            const int32_t paddedRow = row * (j + n * k);
            for (int32_t i = 0; i < n; ++i) {
                const float x = (static_cast<float>(i) + 0.5f) / nf;
                const int32_t p = i + flatRow;
                const float gx = nf * (x - step * u[p]) - 0.5f;
                const float gy = nf * (y - step * v[p]) - 0.5f;
                const float gz = nf * (z - step * w[p]) - 0.5f;
                Locate(gx, gy, gz, n, &s);
                const int32_t q = i + paddedRow;
                forceU[q] = Interpolate(u, s.corner, s.fx, s.fy, s.fz);
                forceV[q] = Interpolate(v, s.corner, s.fx, s.fy, s.fz);
                forceW[q] = Interpolate(w, s.corner, s.fx, s.fy, s.fz);
            }
        }
    }
    // The sampler is left at the last cell's point, as after per-cell SetSamplePoint calls.
    x0 = s.x0, x1 = s.x1, y0 = s.y0, y1 = s.y1, z0 = s.z0, z1 = s.z1;
    fx = s.fx, fy = s.fy, fz = s.fz;
    std::memcpy(corner, s.corner, sizeof corner);
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
            float* const U = forceU + offset;
            float* const V = forceV + offset;
            float* const W = forceW + offset;
            const float fky = static_cast<float>(ky), fkz = static_cast<float>(kz);
            const int32_t kyz = ky * ky + kz * kz;
            for (int32_t a = 0; a <= half; ++a) {
                const int32_t K = a * a + kyz;
                if (K == 0) continue;
                const float f = dampingByK[K];
                const float fkx = static_cast<float>(a);
                const float fK = static_cast<float>(K);
                const int32_t q = 2 * a;
                const float ur = U[q], ui = U[q + 1];
                const float vr = V[q], vi = V[q + 1];
                const float wr = W[q], wi = W[q + 1];
                const float dR = (fkx * ur + fky * vr + fkz * wr) / fK;
                const float dI = (fkx * ui + fky * vi + fkz * wi) / fK;
                U[q] = f * (ur - fkx * dR);
                U[q + 1] = f * (ui - fkx * dI);
                V[q] = f * (vr - fky * dR);
                V[q + 1] = f * (vi - fky * dI);
                W[q] = f * (wr - fkz * dR);
                W[q + 1] = f * (wi - fkz * dI);
            }
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
    // Transport: the same back-trace as the velocity advection, along the new velocity.
    const float nf = static_cast<float>(n);
    const float step = dt;
    SamplePoint s{};
    for (int32_t k = 0; k < n; ++k) {
        const float z = (static_cast<float>(k) + 0.5f) / nf;
        for (int32_t j = 0; j < n; ++j) {
            const float y = (static_cast<float>(j) + 0.5f) / nf;
            const int32_t flatRow = n * j + nSquared * k;
            for (int32_t i = 0; i < n; ++i) {
                const float x = (static_cast<float>(i) + 0.5f) / nf;
                const int32_t p = i + flatRow;
                const float gx = nf * (x - step * u[p]) - 0.5f;
                const float gy = nf * (y - step * v[p]) - 0.5f;
                const float gz = nf * (z - step * w[p]) - 0.5f;
                Locate(gx, gy, gz, n, &s);
                temperature[p] = Interpolate(temperatureSource, s.corner, s.fx, s.fy, s.fz);
            }
        }
    }
    x0 = s.x0, x1 = s.x1, y0 = s.y0, y1 = s.y1, z0 = s.z0, z1 = s.z1;
    fx = s.fx, fy = s.fy, fz = s.fz;
    std::memcpy(corner, s.corner, sizeof corner);

    // Cooling, into the state the next step carries.
    const float c = 1.0f / (temperatureDecay * dt + 1.0f);
    for (int32_t p = 0; p < nCubed; ++p) temperatureSource[p] = temperature[p] * c;
}

// 3n points on a circle of radius 0.35 n cells about the bottom layer's central cell corner,
// a third of 2 pi / n apart; each point's cell is set to the heater temperature.
void FluidSolver::HeatBottomRing() {
    const float m = static_cast<float>(n);
    const int32_t half = n / 2;
    const float step = (6.2831855f / m) * 0.33333334f;
    float angle = 0.0f;
    for (int32_t t = 0; t < 3 * n; ++t) {
        const int32_t yi = static_cast<int32_t>(half + std::sin(angle) * m * 0.5f * 0.7f);
        const int32_t xi = static_cast<int32_t>(half + std::cos(angle) * m * 0.5f * 0.7f);
        assert(xi >= 0 && xi < n && yi >= 0 && yi < n);
        temperatureSource[yi * n + xi] = kHeaterTemperature;
        angle = angle + step;
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
