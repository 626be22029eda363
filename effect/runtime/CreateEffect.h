// Effect creation: effect text (or an already compiled "FX81" block) compiled and made into an
// EffectFile on a device, with the compiler's messages.
#pragma once

#include "effect/CompileEffect.h"
#include "effect/DataBuffer.h"
#include "effect/runtime/EffectFile.h"
#include "platform/d3d/d3d8.h"

// Compiles `source` (or takes an "FX81" block as it is) and, when `effect` is given, builds
// the effect on `device`. `fileName` (may be null) names the source in messages. The message
// buffer, when asked for, is always made: each message and "\n", then a zero byte.
// Results: D3DERR_INVALIDCALL (no source, length 0, or an effect asked for without a device),
// E_FAIL (the text has errors), or CreateEffectFromCompiledBuffer's.
HRESULT CreateEffect(IDirect3DDevice8* device, const void* source, UINT length, const char* fileName,
                     EffectFile** effect, DataBuffer** messages);

// Reads the whole file and calls CreateEffect with its bytes; any success is reduced to S_OK.
// A file that cannot be read gives D3DXERR_INVALIDDATA.
HRESULT CreateEffectFromFile(IDirect3DDevice8* device, const char* fileName, EffectFile** effect,
                             DataBuffer** messages);

