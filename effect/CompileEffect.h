// The effect compiler's entry point: effect text (or an already compiled "FX81" block) in,
// compiled block and message text out. Making the effect on a device is the runtime's
// (effect/runtime/CreateEffect.h).
#pragma once

#include "effect/CompilerSupport.h"
#include "effect/DataBuffer.h"
#include "platform/d3d/D3DXErrors.h"
#include "platform/d3d/d3d8types.h"
#include "platform/win/WinTypes.h"

// Compiles without making an effect: `compiled` receives the serialized "FX81" block on
// success (a copy of the source when it already is one). `diagnostics`, when given, receives
// each message once more with its place: line, column and source line.
HRESULT CompileEffect(const void* source, UINT length, const char* fileName, DataBuffer** compiled,
                      DataBuffer** messages, std::vector<fxc::Diagnostic>* diagnostics = nullptr);
