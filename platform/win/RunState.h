// What one run of the program keeps in the platform layer: the run-time library's random
// sequence and the fixed-step clock. win::rand and the clocks of WinTime.h reach the state of
// the innermost open RunScope, or the process's own when none is open.
#pragma once

#include <cstdint>

#include "platform/win/WinTypes.h"

namespace win {

struct RunState {
    uint32_t randState = 1;  // the generator's state; 1 gives the classic first values
    // The fixed-step clock: on, its step and its reading, in counter ticks. The reading starts
    // one second in, so that no reading is ever 0 (a timer treats a zero mark as "not set").
    bool fixedStep = false;
    LONGLONG fixedStepTicks = 0;
    LONGLONG fixedReading = 1000000000;
};

RunState& CurrentRunState();

// A fresh RunState (rand from its first value, the real clock) for its lifetime; the one it
// found comes back when it ends. Scopes nest and end in the reverse order of their start.
class RunScope {
public:
    RunScope();
    ~RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    friend RunState& CurrentRunState();
    RunState state;
    RunScope* previous;
};

}  // namespace win
