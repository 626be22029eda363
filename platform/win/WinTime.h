// Win32 clocks: the performance counter on the monotonic clock and the millisecond timer.
// A fixed-step mode makes both advance by an exact amount per frame, for deterministic runs.
#pragma once

#include "platform/win/WinTypes.h"

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
// Milliseconds since the process started, wrapping at 2^32 like the platform's timer.
DWORD timeGetTime();
void Sleep(DWORD milliseconds);

namespace win {

// Counter ticks per second (the counter counts nanoseconds).
constexpr LONGLONG kCounterFrequency = 1000000000;

// The fixed-step clock belongs to the current run (RunState.h).
// From now on the clocks stand still except for AdvanceFixedStepClock, which moves them on
// by exactly `seconds` (rounded to the counter's nanosecond ticks). seconds <= 0 returns to
// the real clock.
void UseFixedStepClock(double seconds);
bool IsFixedStepClock();
// One step of the fixed-step clock; does nothing on the real clock.
void AdvanceFixedStepClock();

// A replacement clock for tests: frequency() returns 0 to make QueryPerformanceFrequency
// fail (the millisecond clock is then used); counter() gives the tick count and
// milliseconds() the value of timeGetTime. Null members keep the normal source.
struct TestClock {
    LONGLONG (*frequency)();
    LONGLONG (*counter)();
    DWORD (*milliseconds)();
};
void SetTestClock(const TestClock* clock);

}  // namespace win
