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

void InterpolateRow(const RowTraces& __restrict r, int32_t count, const SampleGridShape& g,
                    const float* __restrict grid, float* __restrict out, float scale,
                    float* __restrict scaled) {
    // The low and high x corners are neighbours in memory: both are interpolated in y and z
    // together (two lanes), then blended along x.
    const size_t k0 = static_cast<size_t>(g.corner[0]), k1 = static_cast<size_t>(g.corner[1]);
    const size_t k2 = static_cast<size_t>(g.corner[2]), k3 = static_cast<size_t>(g.corner[3]);
    for (int32_t t = 0; t < count; ++t) {
        const float* __restrict c = grid + g.LowCorner(r, t);
        const float fx = r.fx[t], fy = r.fy[t], fz = r.fz[t];
        const float gx = 1.0f - fx, gy = 1.0f - fy, gz = 1.0f - fz;
        float yz[2];
        for (int32_t l = 0; l < 2; ++l) {
            yz[l] = gy * (gz * c[k0 + l] + fz * c[k1 + l]) + fy * (gz * c[k2 + l] + fz * c[k3 + l]);
        }
        const float value = gx * yz[0] + fx * yz[1];
        out[t] = value;
        scaled[t] = value * scale;
    }
}

// Interpolate of the three velocity components at once, on a sampling grid of cells that hold
// (u, v, w, 0): the four lanes share each corner's load and vectorise together.
void InterpolateVelocityRow(const RowTraces& __restrict r, int32_t count, const SampleGridShape& g,
                            const float* __restrict grid, float* __restrict ou,
                            float* __restrict ov, float* __restrict ow) {
    // Corner offsets in floats, held in locals so that each corner's load is one instruction.
    const size_t k0 = 4 * static_cast<size_t>(g.corner[0]),
                 k1 = 4 * static_cast<size_t>(g.corner[1]);
    const size_t k2 = 4 * static_cast<size_t>(g.corner[2]),
                 k3 = 4 * static_cast<size_t>(g.corner[3]);
    const size_t k4 = 4 * static_cast<size_t>(g.corner[4]),
                 k5 = 4 * static_cast<size_t>(g.corner[5]);
    const size_t k6 = 4 * static_cast<size_t>(g.corner[6]),
                 k7 = 4 * static_cast<size_t>(g.corner[7]);
    for (int32_t t = 0; t < count; ++t) {
        const float* __restrict c = grid + 4 * g.LowCorner(r, t);
        const float fx = r.fx[t], fy = r.fy[t], fz = r.fz[t];
        const float gx = 1.0f - fx, gy = 1.0f - fy, gz = 1.0f - fz;
        float result[4];
        for (int32_t l = 0; l < 4; ++l) {
            result[l] = gx * (gy * (gz * c[k0 + l] + fz * c[k1 + l]) +
                              fy * (gz * c[k2 + l] + fz * c[k3 + l])) +
                        fx * (gy * (gz * c[k4 + l] + fz * c[k5 + l]) +
                              fy * (gz * c[k6 + l] + fz * c[k7 + l]));
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
                r[c] = r[Lanes * n + c];                    // x = -1 from n - 1
                r[Lanes * (n + 1) + c] = r[Lanes + c];      // x = n from 0
                r[Lanes * (n + 2) + c] = r[2 * Lanes + c];  // x = n + 1 from 1
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
