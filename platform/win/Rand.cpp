// The classic runtime linear congruential generator: x = x * 214013 + 2531011, state 1.
#include "platform/win/Rand.h"

#include <cstdint>

namespace win {
namespace {
uint32_t randState = 1;
}

int rand() {
    randState = randState * 214013u + 2531011u;
    return static_cast<int>((randState >> 16) & 0x7FFF);
}

void ResetRandForTesting() { randState = 1; }

}  // namespace win
