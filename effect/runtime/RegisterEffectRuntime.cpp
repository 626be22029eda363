// Connects the runtime to the compiler's CreateEffect, kept apart so that programs which only
// build effects from blocks do not pull the compiler in.
#include "effect/EffectCompiler.h"
#include "effect/runtime/EffectFile.h"

void RegisterEffectRuntime() { SetEffectFileBuilder(CreateEffectFromCompiledBuffer); }
