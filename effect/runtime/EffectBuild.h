// The effect builder's entry used by the runtime itself, its tests and its fuzz target: unlike
// the public calls it accepts a null device, which builds the parameter and technique model
// only (values, conversions and lookups work; every call that needs the device is refused).
#pragma once

#include "effect/runtime/EffectFile.h"

// Builds an effect from `compiled` on `device`, starting from `source`'s current parameter
// values when `source` is not null (a clone).
HRESULT BuildEffect(IDirect3DDevice8* device, DataBuffer* compiled, EffectFile* source, EffectFile** effect);
