// The simulation's own pace, apart from the frame clock: paused or running, at a speed from 1/8
// to 4, with single steps while paused. The camera and the drawing never read it.
#pragma once

#include <string>

class SimulationClock {
public:
    static constexpr float kMinSpeed = 0.125f;
    static constexpr float kMaxSpeed = 4.0f;

    void TogglePause() {
        paused = !paused;
        stepPending = false;
    }
    // While paused, the next frame advances the simulation once; running, it changes nothing.
    void RequestStep() { stepPending = paused; }
    // Halves or doubles the speed; at a limit the speed stays.
    void Slower() { speed = speed * 0.5f < kMinSpeed ? kMinSpeed : speed * 0.5f; }
    void Faster() { speed = speed * 2.0f > kMaxSpeed ? kMaxSpeed : speed * 2.0f; }

    // Simulation seconds per real second for the coming frame: 0 while paused (a pending step
    // is taken here, once, at the current speed).
    float TakeFrameSpeed() {
        if (!paused) return speed;
        if (!stepPending) return 0.0f;
        stepPending = false;
        return speed;
    }

    bool Paused() const { return paused; }
    float Speed() const { return speed; }
    // "paused", "speed 1/2", "paused, speed 4"; "" while running at speed 1.
    std::string StateText() const;

private:
    bool paused = false;
    bool stepPending = false;
    float speed = 1.0f;  // a power of two from kMinSpeed to kMaxSpeed
};
