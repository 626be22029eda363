// The classic runtime linear congruential generator: x = x * 214013 + 2531011, state 1.
#include "platform/win/Rand.h"

#include "platform/win/RunState.h"

namespace win {

int rand() {
    uint32_t& state = CurrentRunState().randState;
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

}  // namespace win
