// The solver's sampling grid and the interpolations of its advection and heat transport: a
// field copied onto cells -1 ... n + 1 on each axis, so that no sample's corner needs wrapping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fluid_sampling {

constexpr int32_t kChunk = 64;  // cells traced and interpolated per call

// Where each traced cell's back-trace landed in a sampling grid of side s = n + 3: the low
// corner is cell (x, y, z) with x = lowX in -1 ... n and row = (y + 1) + s (z + 1); the high
// corner is one cell further on each axis; fx, fy, fz are the sampler's fractions towards it.
struct RowTraces {
    int32_t lowX[kChunk];
    int32_t row[kChunk];
    float fx[kChunk], fy[kChunk], fz[kChunk];
};

// Cell (i, j, k), i, j, k in -1 ... n + 1, lies at (i + 1) + s (j + 1) + s^2 (k + 1).
struct SampleGridShape {
    int32_t side;
    int32_t corner[8];  // offsets of the corners from the low one, in the sampler's order
    explicit SampleGridShape(int32_t n);
    size_t LowCorner(const RowTraces& r, int32_t t) const {
        return static_cast<size_t>(r.lowX[t] + 1) + static_cast<size_t>(side) * r.row[t];
    }
};

// Fills the cells of a sampling grid (`lanes` floats per cell) outside 0 ... n - 1 once the n^3
// inside are written: cell -1 repeats n - 1, cell n repeats 0, cell n + 1 repeats 1.
void FillGhosts(float* grid, int32_t n, int32_t lanes);

// out[t] = the periodic trilinear sample of a scalar field at trace t, t < count, with the
// sampler's formula, and scaled[t] = out[t] * scale.
void InterpolateRow(const RowTraces& traces, int32_t count, const SampleGridShape& shape,
                    const float* grid, float* out, float scale, float* scaled);

// The same for a grid whose cells hold (u, v, w, 0): the three components at once.
void InterpolateVelocityRow(const RowTraces& traces, int32_t count, const SampleGridShape& shape,
                            const float* grid, float* ou, float* ov, float* ow);

}  // namespace fluid_sampling
