// FrameClock: application time on the performance counter or the millisecond timer.
#include "app/FrameTimer.h"

#include "app/HostSession.h"
#include "platform/win/WinTime.h"

double FrameClock::HighResolution(int command) {
    LONGLONG now;
    if (stopTicks != 0 && command != TimerCommand::Start && command != TimerCommand::AbsoluteTime) {
        now = stopTicks;
    } else {
        LARGE_INTEGER c{};
        QueryPerformanceCounter(&c);
        now = c.QuadPart;
    }
    const double f = static_cast<double>(frequency);
    switch (command) {
        case TimerCommand::ElapsedTime: {
            double r = static_cast<double>(now - lastElapsedTicks) / f;
            lastElapsedTicks = now;
            return r;
        }
        case TimerCommand::AppTime: return static_cast<double>(now - baseTicks) / f;
        case TimerCommand::Reset:
            baseTicks = now;
            lastElapsedTicks = now;
            return 0.0;
        case TimerCommand::Start:
            // A Start while the timer already runs must not move the base mark: adding the
            // whole reading would throw application time far into the negative.
            if (stopTicks != 0 || baseTicks == 0) baseTicks += now - stopTicks;
            stopTicks = 0;
            lastElapsedTicks = now;
            return 0.0;
        case TimerCommand::Stop:
            stopTicks = now;
            lastElapsedTicks = now;
            return 0.0;
        case TimerCommand::Advance: stopTicks += frequency / 10; return 0.0;
        case TimerCommand::AbsoluteTime: return static_cast<double>(now) / f;
        default: return -1.0;
    }
}

double FrameClock::Milliseconds(int command) {
    double now;
    if (stopSeconds != 0.0 && command != TimerCommand::Start && command != TimerCommand::AbsoluteTime)
        now = stopSeconds;
    else
        now = static_cast<double>(static_cast<DWORD>(timeGetTime())) * 0.001;
    switch (command) {
        case TimerCommand::ElapsedTime: {
            double r = now - lastElapsedSeconds;
            lastElapsedSeconds = now;
            return r;
        }
        case TimerCommand::AppTime: return now - baseSeconds;
        case TimerCommand::Reset:
            baseSeconds = now;
            lastElapsedSeconds = now;
            return 0.0;
        case TimerCommand::Start:
            if (stopSeconds != 0.0 || baseSeconds == 0.0) baseSeconds += now - stopSeconds;
            stopSeconds = 0.0;
            lastElapsedSeconds = now;
            return 0.0;
        case TimerCommand::Stop:
            // The millisecond clock leaves the last-elapsed mark where it was.
            stopSeconds = now;
            return 0.0;
        case TimerCommand::Advance: stopSeconds += static_cast<double>(0.1f); return 0.0;
        case TimerCommand::AbsoluteTime: return now;
        default: return -1.0;
    }
}

double FrameClock::Command(int command) {
    if (command < TimerCommand::Reset || command > TimerCommand::ElapsedTime) return -1.0;
    if (!initialised) {
        initialised = true;
        LARGE_INTEGER f{};
        if (QueryPerformanceFrequency(&f) && f.QuadPart > 0) {
            highResolution = true;
            frequency = f.QuadPart;
        }
    }
    return highResolution ? HighResolution(command) : Milliseconds(command);
}

double FrameTimer(int command) { return CurrentFrameworkState().timer.Command(command); }
