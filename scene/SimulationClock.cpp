// The heads-up text of the simulation's pace.
#include "scene/SimulationClock.h"

std::string SimulationClock::StateText() const {
    std::string speedText;
    if (speed < 1.0f)
        speedText = "speed 1/" + std::to_string(static_cast<int>(1.0f / speed + 0.5f));
    else if (speed > 1.0f)
        speedText = "speed " + std::to_string(static_cast<int>(speed + 0.5f));
    if (!paused) return speedText;
    return speedText.empty() ? "paused" : "paused, " + speedText;
}
