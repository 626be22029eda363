// Result codes of the platform's utility library, shared by texture creation, mesh loading and
// the effect framework.
#pragma once

#include "platform/win/WinTypes.h"

// The data given (a file's bytes, a compiled block) is not valid for what was asked.
constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);
