// Clocks on CLOCK_MONOTONIC; the fixed-step clock replaces the reading with a frame count.
#include "platform/win/WinTime.h"

#include <cmath>
#include <ctime>

#include "platform/win/RunState.h"

namespace win {
namespace {

const TestClock* testClock = nullptr;
static_assert(RunState{}.fixedReading == kCounterFrequency);

LONGLONG MonotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<LONGLONG>(ts.tv_sec) * kCounterFrequency + ts.tv_nsec;
}

// The process's start, so that timeGetTime counts from about 0 like a freshly booted timer.
const LONGLONG processStart = MonotonicNanoseconds();

LONGLONG CurrentTicks() {
    if (const RunState& run = CurrentRunState(); run.fixedStep) return run.fixedReading;
    // Offset by one second: a reading of exactly 0 would look like an unset mark.
    return MonotonicNanoseconds() - processStart + kCounterFrequency;
}

}  // namespace

void UseFixedStepClock(double seconds) {
    RunState& run = CurrentRunState();
    if (!(seconds > 0.0) || !std::isfinite(seconds)) {
        run.fixedStep = false;
        return;
    }
    run.fixedStep = true;
    run.fixedStepTicks = static_cast<LONGLONG>(std::llround(seconds * static_cast<double>(kCounterFrequency)));
    if (run.fixedStepTicks < 1) run.fixedStepTicks = 1;
    run.fixedReading = kCounterFrequency;
}

bool IsFixedStepClock() { return CurrentRunState().fixedStep; }

void AdvanceFixedStepClock() {
    RunState& run = CurrentRunState();
    if (run.fixedStep) run.fixedReading += run.fixedStepTicks;
}

void SetTestClock(const TestClock* clock) { testClock = clock; }

}  // namespace win

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    LONGLONG f = win::kCounterFrequency;
    if (win::testClock && win::testClock->frequency) f = win::testClock->frequency();
    frequency->QuadPart = f;
    return f != 0 ? TRUE : FALSE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    if (win::testClock && win::testClock->counter)
        count->QuadPart = win::testClock->counter();
    else
        count->QuadPart = win::CurrentTicks();
    return TRUE;
}

DWORD timeGetTime() {
    if (win::testClock && win::testClock->milliseconds) return win::testClock->milliseconds();
    return static_cast<DWORD>(static_cast<ULONGLONG>(win::CurrentTicks()) / 1000000u);
}

void Sleep(DWORD milliseconds) {
    timespec ts{};
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
    }
}
