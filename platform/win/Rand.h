// The run-time library's random generator: one sequence per run (see RunState.h), 0..32767,
// never seeded.
// The fluid formulas assume exactly this range, so the C library's rand() must not be used.
#pragma once

namespace win {

constexpr int RAND_MAX_VALUE = 32767;

// Next value of the current run's sequence (first values: 41, 18467, 6334, 26500). A test
// or a deterministic tool that must start from the first value opens a RunScope.
int rand();

}  // namespace win
