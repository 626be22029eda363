// When a frame may be shown so that frames follow one another at a given period: the pacing of the
// copy path to the display's refresh, and of a window nobody can see. Pure arithmetic on times the
// caller reads, so that it can be checked without a clock.
#pragma once

namespace win {

class FramePacer {
public:
    // Seconds to wait, from `now`, before showing the next frame, frames being `period` seconds apart.
    // A frame that comes late shows at once; one more than a period late starts the rhythm afresh
    // instead of letting the following frames catch up.
    double Wait(double now, double period) {
        if (!started || now - due >= period) {
            due = now;
            started = true;
        }
        const double wait = due > now ? due - now : 0.0;
        due += period;
        return wait;
    }
    // The next frame starts a new rhythm (the pacing was off for a while).
    void Restart() { started = false; }

private:
    double due = 0.0;  // when the next frame may be shown
    bool started = false;
};

}  // namespace win
