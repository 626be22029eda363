// FrameTimer on the performance counter (64-bit tick marks) or, when the counter is missing,
// on the millisecond timer (double-precision second marks). A mark of 0 means "not set".
#include "app/FrameTimer.h"

#include "platform/win/WinTime.h"

namespace {

struct TimerState {
    bool initialised = false;
    bool highResolution = false;
    LONGLONG frequency = 0;  // ticks per second
    // High-resolution marks, in ticks.
    LONGLONG baseTicks = 0, stopTicks = 0, lastElapsedTicks = 0;
    // Millisecond-clock marks, in seconds.
    double baseSeconds = 0.0, stopSeconds = 0.0, lastElapsedSeconds = 0.0;
};

TimerState timer;

double HighResolution(int command) {
    LONGLONG now;
    if (timer.stopTicks != 0 && command != TimerCommand::Start && command != TimerCommand::AbsoluteTime) {
        now = timer.stopTicks;
    } else {
        LARGE_INTEGER c{};
        QueryPerformanceCounter(&c);
        now = c.QuadPart;
    }
    const double f = static_cast<double>(timer.frequency);
    switch (command) {
        case TimerCommand::ElapsedTime: {
            double r = static_cast<double>(now - timer.lastElapsedTicks) / f;
            timer.lastElapsedTicks = now;
            return r;
        }
        case TimerCommand::AppTime: return static_cast<double>(now - timer.baseTicks) / f;
        case TimerCommand::Reset:
            timer.baseTicks = now;
            timer.lastElapsedTicks = now;
            return 0.0;
        case TimerCommand::Start:
            // A Start while the timer already runs must not move the base mark: adding the
            // whole reading would throw application time far into the negative.
            if (timer.stopTicks != 0 || timer.baseTicks == 0) timer.baseTicks += now - timer.stopTicks;
            timer.stopTicks = 0;
            timer.lastElapsedTicks = now;
            return 0.0;
        case TimerCommand::Stop:
            timer.stopTicks = now;
            timer.lastElapsedTicks = now;
            return 0.0;
        case TimerCommand::Advance: timer.stopTicks += timer.frequency / 10; return 0.0;
        case TimerCommand::AbsoluteTime: return static_cast<double>(now) / f;
        default: return -1.0;
    }
}

double Milliseconds(int command) {
    double now;
    if (timer.stopSeconds != 0.0 && command != TimerCommand::Start && command != TimerCommand::AbsoluteTime)
        now = timer.stopSeconds;
    else
        now = static_cast<double>(static_cast<DWORD>(timeGetTime())) * 0.001;
    switch (command) {
        case TimerCommand::ElapsedTime: {
            double r = now - timer.lastElapsedSeconds;
            timer.lastElapsedSeconds = now;
            return r;
        }
        case TimerCommand::AppTime: return now - timer.baseSeconds;
        case TimerCommand::Reset:
            timer.baseSeconds = now;
            timer.lastElapsedSeconds = now;
            return 0.0;
        case TimerCommand::Start:
            if (timer.stopSeconds != 0.0 || timer.baseSeconds == 0.0) timer.baseSeconds += now - timer.stopSeconds;
            timer.stopSeconds = 0.0;
            timer.lastElapsedSeconds = now;
            return 0.0;
        case TimerCommand::Stop:
            // The millisecond clock leaves the last-elapsed mark where it was.
            timer.stopSeconds = now;
            return 0.0;
        case TimerCommand::Advance: timer.stopSeconds += static_cast<double>(0.1f); return 0.0;
        case TimerCommand::AbsoluteTime: return now;
        default: return -1.0;
    }
}

}  // namespace

double FrameTimer(int command) {
    if (command < TimerCommand::Reset || command > TimerCommand::ElapsedTime) return -1.0;
    if (!timer.initialised) {
        timer.initialised = true;
        LARGE_INTEGER f{};
        if (QueryPerformanceFrequency(&f) && f.QuadPart > 0) {
            timer.highResolution = true;
            timer.frequency = f.QuadPart;
        }
    }
    return timer.highResolution ? HighResolution(command) : Milliseconds(command);
}

void ResetFrameTimerForTesting() { timer = TimerState{}; }
