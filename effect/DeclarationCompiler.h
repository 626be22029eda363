// The vertex-declaration compiler: the language of `decl` blocks to vertex-shader declaration
// tokens, ending with the end token 0xFFFFFFFF.
#pragma once

#include "effect/CompilerSupport.h"
#include "effect/DataBuffer.h"

#include <string_view>
#include <vector>

// Results: S_OK, D3DERR_INVALIDCALL (null text), or E_FAIL when any message was reported (the
// token buffer is then not made). Messages end with a zero byte.
// `diagnostics`, when given, receives each message once more with its line and column.
HRESULT CompileDeclaration(const char* text, UINT length, const char* fileName, UINT firstLine,
                           DataBuffer** tokens, DataBuffer** messages,
                           std::vector<fxc::Diagnostic>* diagnostics = nullptr);

namespace fxc {
HRESULT CompileDeclarationTokens(std::string_view text, const char* fileName, uint32_t firstLine,
                                 std::vector<uint32_t>* tokens, MessageList* messages);
}  // namespace fxc
