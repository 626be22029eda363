// The water's state and its stable-fluids step: a periodic n x n x n grid whose velocity is
// advected and projected in frequency space (in-place FFTW transforms in the force arrays),
// with a temperature carried along by that velocity.
#pragma once

#include <fftw3.h>

#include <cstdint>
#include <memory>

#include "platform/win/WinTypes.h"

// Layouts used by the arrays below:
// - flat: cell (i, j, k) at i + n*j + n*n*k; i along x (fastest), j along y, k along z
//   (vertical, k = 0 is the bottom of the pot);
// - padded (spectral): cell (i, j, k) at i + (n + 2)*(j + n*k); each x row of n reals has two
//   spare floats so that it can hold the n/2 + 1 complex x-frequencies after the forward
//   transform (real part of frequency a at 2a, imaginary part at 2a + 1).
//
// The domain is the unit cube [0, 1)^3, periodic on every axis; cell (i, j, k) is centred at
// ((i + 0.5)/n, (j + 0.5)/n, (k + 0.5)/n). Velocities are domain lengths per solver time unit
// (one fifth of a second). Temperatures are on a 0 to 100 scale; the heater writes 100.
//
// World placement (bubbles, surface): the pot's inner radius is 85 world units, the grid spans
// 170 units on each axis with the pot's axis at its centre, z runs up from the bottom at 0 and
// the water surface is at height 70.
class FluidSolver {
  public:
    static constexpr float kPotRadius = 85.0f;
    static constexpr float kPotRadiusSquared = 7225.0f;
    static constexpr float kGridSpan = 170.0f;
    static constexpr float kWaterHeight = 70.0f;
    static constexpr float kHeaterTemperature = 100.0f;
    // Largest grid accepted: every index into the step's arrays, including its sampling grid
    // of 4 (n + 3)^3 floats, stays within 32 bits.
    static constexpr int kMaxSize = 512;

    // True when n can make a solver: an even number from 2 to kMaxSize.
    static bool IsValidSize(int n);
    // Why n cannot make a solver ("" when it can).
    static const char* SizeError(int n);

    // Makes a solver at rest and cold with grid size n. S_OK and *out set on success;
    // E_INVALIDARG for a bad n (see SizeError), E_OUTOFMEMORY when the arrays or transform
    // plans cannot be made; *out is null on failure. This is the only way to make a solver.
    static HRESULT Create(int n, std::unique_ptr<FluidSolver>* out);

    ~FluidSolver();
    FluidSolver(const FluidSolver&) = delete;
    FluidSolver& operator=(const FluidSolver&) = delete;

    // Plain assignment of the three coefficients (the constructor's are 0.01, 0.001, 0.05).
    void SetParameters(float viscosity, float velocityDecay, float temperatureDecay);

    // [Sampler] Periodic trilinear interpolation at grid coordinates (cell i's centre is at
    // coordinate i). SetSamplePoint stores the wrapped cells and fractions (x0 ... corner[]);
    // Sample(F) interpolates any flat-layout array at that point, as often as needed.
    // Every float is accepted: NaN and infinite coordinates sample cell 0 along their axis,
    // coordinates beyond the 32-bit range sample the cell they wrap to.
    void SetSamplePoint(float gx, float gy, float gz);
    float Sample(const float* field) const;

    // [Velocity] One stable-fluids step with the current dt: forces are added, the velocity is
    // advected along itself, each Fourier mode is damped by viscosity and made divergence-free,
    // and the result is scaled down by velocityDecay. On return the force arrays hold scratch
    // data (padded layout): call ClearForces before adding new forces.
    void StepVelocity();
    // Zeroes all n*n*(n + 2) floats of the three force arrays.
    void ClearForces();
    // Overwrites every cell's force with random values in about [-0.5, 0.5] (the "1" key).
    void RandomizeForces();
    // Overwrites the forces of the face x = 0 with a jet along +x: x force in [0.2, 0.5],
    // y and z within about +-0.4 (the "3" key). Other cells are untouched.
    void InjectFaceJet();

    // [Temperature] Carries temperatureSource along the current velocity into temperature, then
    // stores a cooled copy of the result in temperatureSource for the next step.
    void StepTemperature();
    // Sets the cells of a ring at the bottom of temperatureSource to 100 (the heater): 3n
    // points of a circle in the bottom layer, a band n / 8 cells wide and high above n = 15.
    void HeatBottomRing();
    // Means of temperature over the water layers, the bottom layer and the top water layer.
    void TemperatureStats(float* average, float* bottom, float* top) const;
    // Number of grid layers below the water surface (at least 1).
    int WaterLayers() const;
    // Cells per axis that make up one cell of a grid of 8 (1 up to n = 15): the heater and the
    // bubbles' pushes act on that much water at every grid size.
    int PatchSide() const { return n / 8 > 1 ? n / 8 : 1; }

    // Fields, in the design's order. Readers may use them directly; only forceU/V/W (flat
    // layout, between steps) and temperatureSource are written from outside.
    const int32_t n;                     // cells per axis, even
    const int32_t nSquared;              // n^2
    const int32_t nCubed;                // n^3, the number of cells
    float dt = 0.4f;                     // solver time units of the next step; set every frame
    float viscosity = 0.01f;             // spectral viscosity coefficient
    float velocityDecay = 0.001f;        // velocity damping per time unit
    float temperatureDecay = 0.05f;      // temperature damping per time unit
    float* u = nullptr;                  // x velocity, flat
    float* forceU = nullptr;             // x force (flat) between steps; spectral scratch in a step
    float* v = nullptr;                  // y velocity, flat
    float* forceV = nullptr;             // y force / scratch
    float* w = nullptr;                  // z (vertical) velocity, flat
    float* forceW = nullptr;             // z force / scratch
    float* temperature = nullptr;        // n^3: result of the last temperature step
    float* temperatureSource = nullptr;  // n^3: carried into the next step; heating writes here
    fftwf_plan forwardPlan = nullptr;    // in-place real-to-complex 3-D transform
    fftwf_plan inversePlan = nullptr;    // in-place complex-to-real 3-D transform
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0, z0 = 0, z1 = 0;  // sampler: wrapped cell indices
    float fx = 0, fy = 0, fz = 0;  // sampler: fractions along each axis, 0 to 1
    int32_t corner[8] = {};        // sampler: flat indices, bit 2 = x1, bit 1 = y1, bit 0 = z1

  private:
    explicit FluidSolver(int n);
    bool Allocate();
    void Advect();
    void SetSamplePointOfLastCell();
    void Project();

    // exp(-K * viscosity * dt) for every K = kx^2 + ky^2 + kz^2 that the grid has; refilled each
    // step so that the spectral pass calls exp once per distinct K instead of once per mode.
    float* dampingByK = nullptr;
    // Centre of cell i along any axis, (i + 0.5) / n.
    float* cellCentre = nullptr;
    // Scratch for sampling during a step: the field being sampled copied onto (n + 3)^3 cells,
    // -1 ... n + 1 on each axis, the outer ones repeating their periodic images, so that a
    // sample's eight corners lie at fixed offsets from its low corner without wrapping. The
    // velocity step stores (u, v, w, 0) per cell, the temperature step one float per cell.
    float* sampleGrid = nullptr;
};
