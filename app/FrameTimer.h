// The framework's one clock: application time that can be stopped, started and stepped while
// the absolute clock runs on. One per run (the HostSession's), entered through one operation
// taking a command.
#pragma once

// The commands FrameTimer takes.
namespace TimerCommand {
enum : int {
    Reset = 0,         // application time restarts at 0
    Start = 1,         // the timer runs (again)
    Stop = 2,          // the timer holds
    Advance = 3,       // a held timer moves on by one tenth of a second
    AbsoluteTime = 4,  // seconds of the underlying clock
    AppTime = 5,       // seconds of application time
    ElapsedTime = 6,   // seconds since the previous ElapsedTime, Start or Stop
};
}  // namespace TimerCommand

#include "platform/win/WinTypes.h"

// FrameTimer's state: the performance counter (64-bit tick marks) or, when the counter is
// missing, the millisecond timer (double-precision second marks). A mark of 0 means "not set".
// The first command decides which clock it uses.
class FrameClock {
public:
    // Result in seconds; 0.0 for Reset, Start, Stop and Advance; -1.0 for an unknown command.
    double Command(int command);

private:
    double HighResolution(int command);
    double Milliseconds(int command);

    bool initialised = false;
    bool highResolution = false;
    LONGLONG frequency = 0;  // ticks per second
    // High-resolution marks, in ticks.
    LONGLONG baseTicks = 0, stopTicks = 0, lastElapsedTicks = 0;
    // Millisecond-clock marks, in seconds.
    double baseSeconds = 0.0, stopSeconds = 0.0, lastElapsedSeconds = 0.0;
};

// The current run's clock (HostSession.h): Command of its FrameClock.
double FrameTimer(int command);
