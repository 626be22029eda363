// Sampling-grid interpolation. Built with the project's usual optimisation: the corner loads
// and the per-cell arithmetic vectorise across the lanes of one cell (superword), which beats
// vectorising across cells with emulated gathers.
#include "fluid/FluidSolverSampling.h"

#include <cassert>
#include <cstring>

namespace fluid_sampling {

SampleGridShape::SampleGridShape(int32_t n) : side(n + 3) {
    for (int32_t c = 0; c < 8; ++c)
        corner[c] = (c & 4 ? 1 : 0) + (c & 2 ? side : 0) + (c & 1 ? side * side : 0);
}

// Interpolate, for the traces of one row, on the sampling grid of a scalar field.
void InterpolateRow(const RowTraces& __restrict r, int32_t count, const SampleGridShape& g,
                           const float* __restrict grid, float* __restrict out) {
    // The low and high x corners are neighbours in memory: both are interpolated in y and z
    // together (two lanes), then blended along x.
    const int32_t* const k = g.corner;
    for (int32_t t = 0; t < count; ++t) {
        const float* __restrict c = grid + g.LowCorner(r, t);
        const float fx = r.fx[t], fy = r.fy[t], fz = r.fz[t];
        const float gx = 1.0f - fx, gy = 1.0f - fy, gz = 1.0f - fz;
        float yz[2];
        for (int32_t l = 0; l < 2; ++l) {
            yz[l] = gy * (gz * c[k[0] + l] + fz * c[k[1] + l]) + fy * (gz * c[k[2] + l] + fz * c[k[3] + l]);
        }
        out[t] = gx * yz[0] + fx * yz[1];
    }
}

// Interpolate of the three velocity components at once, on a sampling grid of cells that hold
// (u, v, w, 0): the four lanes share each corner's load and vectorise together.
void InterpolateVelocityRow(const RowTraces& __restrict r, int32_t count,
                                   const SampleGridShape& g, const float* __restrict grid,
                                   float* __restrict ou, float* __restrict ov,
                                   float* __restrict ow) {
    const int32_t* const k = g.corner;
    for (int32_t t = 0; t < count; ++t) {
        const float* __restrict c = grid + 4 * g.LowCorner(r, t);
        const float* __restrict c0 = c + 4 * k[0];
        const float* __restrict c1 = c + 4 * k[1];
        const float* __restrict c2 = c + 4 * k[2];
        const float* __restrict c3 = c + 4 * k[3];
        const float* __restrict c4 = c + 4 * k[4];
        const float* __restrict c5 = c + 4 * k[5];
        const float* __restrict c6 = c + 4 * k[6];
        const float* __restrict c7 = c + 4 * k[7];
        const float fx = r.fx[t], fy = r.fy[t], fz = r.fz[t];
        const float gx = 1.0f - fx, gy = 1.0f - fy, gz = 1.0f - fz;
        float result[4];
        for (int32_t l = 0; l < 4; ++l) {
            result[l] = gx * (gy * (gz * c0[l] + fz * c1[l]) + fy * (gz * c2[l] + fz * c3[l])) +
                        fx * (gy * (gz * c4[l] + fz * c5[l]) + fy * (gz * c6[l] + fz * c7[l]));
        }
        ou[t] = result[0];
        ov[t] = result[1];
        ow[t] = result[2];
    }
}

namespace {

template <int32_t Lanes>
void FillGhostsOf(float* grid, int32_t n) {
    const size_t row = static_cast<size_t>(Lanes) * (n + 3), layer = row * (n + 3);
    for (int32_t k = 1; k <= n; ++k) {
        float* const l = grid + layer * k;
        for (int32_t j = 1; j <= n; ++j) {
            float* const r = l + row * j;
            for (int32_t c = 0; c < Lanes; ++c) {
                r[c] = r[Lanes * n + c];                               // x = -1 from n - 1
                r[Lanes * (n + 1) + c] = r[Lanes + c];                 // x = n from 0
                r[Lanes * (n + 2) + c] = r[2 * Lanes + c];             // x = n + 1 from 1
            }
        }
        std::memcpy(l, l + row * n, row * sizeof(float));                  // y = -1 from n - 1
        std::memcpy(l + row * (n + 1), l + row, 2 * row * sizeof(float));  // y = n, n + 1
    }
    std::memcpy(grid, grid + layer * n, layer * sizeof(float));                    // z = -1
    std::memcpy(grid + layer * (n + 1), grid + layer, 2 * layer * sizeof(float));  // z = n, n + 1
}

}  // namespace

void FillGhosts(float* grid, int32_t n, int32_t lanes) {
    if (lanes == 4) {
        FillGhostsOf<4>(grid, n);
    } else {
        assert(lanes == 1);
        FillGhostsOf<1>(grid, n);
    }
}

}  // namespace fluid_sampling
