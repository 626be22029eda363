// Compile entry points of the effect framework: effect text (or an already compiled "FX81"
// block) in, compiled block, effect object and message text out.
#pragma once

#include "platform/d3d/D3DXErrors.h"
#include "effect/DataBuffer.h"
#include "platform/d3d/d3d8types.h"
#include "platform/win/WinTypes.h"

class IDirect3DDevice8;
class EffectFile;

// The utility library's invalid-data result (bad files, failed value conversions).

// Compiles `source` (or takes an "FX81" block as it is) and, when `effect` is given, builds
// the effect on `device`. `fileName` (may be null) names the source in messages. The message
// buffer, when asked for, is always made: each message and "\n", then a zero byte.
// Results: D3DERR_INVALIDCALL (no source, length 0, or an effect asked for without a device),
// E_FAIL (the text has errors), E_NOTIMPL (no effect runtime registered), or the runtime's.
HRESULT CreateEffect(IDirect3DDevice8* device, const void* source, UINT length, const char* fileName,
                     EffectFile** effect, DataBuffer** messages);

// Reads the whole file and calls CreateEffect with its bytes; any success is reduced to S_OK.
// A file that cannot be read gives D3DXERR_INVALIDDATA.
HRESULT CreateEffectFromFile(IDirect3DDevice8* device, const char* fileName, EffectFile** effect,
                             DataBuffer** messages);

// Compiles without making an effect: `compiled` receives the serialized "FX81" block on
// success (a copy of the source when it already is one).
HRESULT CompileEffect(const void* source, UINT length, const char* fileName, DataBuffer** compiled,
                      DataBuffer** messages);

// The effect runtime builds an `EffectFile` from a compiled block through this hook; it
// registers its builder at start-up. Without one, asking for an effect gives E_NOTIMPL.
using EffectFileBuilder = HRESULT (*)(IDirect3DDevice8* device, DataBuffer* compiled, EffectFile** effect);
void SetEffectFileBuilder(EffectFileBuilder builder);
