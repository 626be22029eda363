// The grid sizes offered to users on the command line (--grid of the program and of fluidrun):
// the solver itself takes any even n up to 512, but a frame can afford only so much.
#pragma once

namespace grid_size {

constexpr int kDefault = 8;  // the demo's grid: 512 cells
constexpr int kMin = 4;      // the smallest grid with a whole layer of water under the surface
// At 64 a frame's simulation costs about 9 ms of CPU with 2000 bubbles on a 2-core machine;
// at 128 it would cost eight times as much, more than a frame.
constexpr int kMax = 64;

// Why n cannot be offered as --grid ("" when it can): it must be even and within kMin ... kMax.
constexpr const char* Error(long long n) {
    if (n < kMin) return "the grid needs at least 4 cells per axis";
    if (n > kMax) return "the grid allows at most 64 cells per axis";
    if (n % 2 != 0) return "the number of cells per axis must be even";
    return "";
}

}  // namespace grid_size
