// The run-time library's random generator: one process-wide sequence, 0..32767, never seeded.
// The fluid formulas assume exactly this range, so the C library's rand() must not be used.
#pragma once

namespace win {

constexpr int RAND_MAX_VALUE = 32767;

// Next value of the process-wide sequence (first values: 41, 18467, 6334, 26500).
int rand();

// Restarts the sequence at its initial state. The program never calls this; tests and
// deterministic tools do, so that each starts from the same point.
void ResetRandForTesting();

}  // namespace win
