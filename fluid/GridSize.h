// The grid sizes offered to users on the command line (--grid of the program and of fluidrun):
// the solver itself takes any even n up to 512, but a frame can afford only so much.
#pragma once

namespace grid_size {

constexpr int kDefault = 8;  // the demo's grid: 512 cells
constexpr int kMin = 4;      // the smallest grid with whole water layers under the surface
constexpr int kMax = 64;     // a step at 64 costs a few milliseconds; at 128 it outgrows a frame

// Why n cannot be offered as --grid ("" when it can): it must be even and within kMin ... kMax.
constexpr const char* Error(long long n) {
    if (n < kMin) return "the grid needs at least 4 cells per axis";
    if (n > kMax) return "the grid allows at most 64 cells per axis";
    if (n % 2 != 0) return "the number of cells per axis must be even";
    return "";
}

}  // namespace grid_size
