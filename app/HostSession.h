// One run's host settings as one value, and the guard that applies them for the run's length:
// the device's host options, the clock, message boxes and accelerators, with the framework's
// state that belongs to the run (the frame timer, the application, the Direct3D factory).
#pragma once

#include <vector>

#include "app/AppFramework.h"
#include "app/FrameTimer.h"
#include "platform/d3d/D3DHost.h"
#include "platform/win/RunState.h"
#include "platform/win/WinUser.h"

// The resource id of the framework's accelerator table (Run loads it).
constexpr WORD kAcceleratorResource = 113;

struct HostConfig {
    // Headless, displays, presenter, device restriction, windowed vsync, read-back at each Present.
    d3dhost::HostOptions device;
    // Seconds per frame of the fixed-step clock; 0 keeps the real clock.
    double fixedStep = 0.0;
    // Message boxes write to standard error even with a display.
    bool messageBoxesToStandardError = false;
    // The accelerator table under kAcceleratorResource; empty registers none.
    std::vector<ACCEL> accelerators;
    // Makes the Direct3D object for AppFramework::Create; null keeps the enclosing run's
    // (Direct3DCreate8 outside every session).
    Direct3DFactory direct3dFactory = nullptr;
};

// The framework's state that belongs to one run.
struct FrameworkState {
    FrameClock timer;
    AppFramework* application = nullptr;  // the application made last, while it lives
    Direct3DFactory direct3dFactory = nullptr;
};

// The state of the innermost open HostSession, or the process's own when none is open.
FrameworkState& CurrentFrameworkState();

// Applies a HostConfig for its lifetime with a fresh run state (the frame timer and the random
// sequence from their start, no application); everything it found comes back when it ends.
// Sessions nest and end in the reverse order of their start.
class HostSession {
public:
    explicit HostSession(const HostConfig& config = HostConfig{});
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

private:
    friend FrameworkState& CurrentFrameworkState();
    win::RunScope platformRun;
    d3dhost::ScopedHostOptions deviceOptions;
    FrameworkState state;
    bool registeredAccelerators;
    bool savedMessageBoxesToStandardError;
    HostSession* previous;
};
