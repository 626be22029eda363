// The framework's one clock: application time that can be stopped, started and stepped while
// the absolute clock runs on. Process-wide, entered through one operation taking a command.
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

// Result in seconds; 0.0 for Reset, Start, Stop and Advance; -1.0 for an unknown command.
double FrameTimer(int command);

// Forgets the timer's state, so that the next call is a first use again (tests).
void ResetFrameTimerForTesting();
