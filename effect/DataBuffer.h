// DataBuffer: a reference-counted block of bytes that carries compiled effects, shader tokens
// and message texts between the compilers, the effect runtime and their callers.
#pragma once

#include "platform/win/WinTypes.h"

class DataBuffer {
public:
    // Makes a zero-filled buffer of `size` bytes with one reference; E_OUTOFMEMORY when the
    // bytes cannot be allocated. A size of 0 is allowed (the address is then still valid).
    static HRESULT Create(DWORD size, DataBuffer** out);
    // Makes a buffer holding a copy of `size` bytes from `bytes`.
    static HRESULT CreateCopy(const void* bytes, DWORD size, DataBuffer** out);

    ULONG AddRef();
    ULONG Release();
    void* GetBufferPointer() { return bytes; }
    const void* GetBufferPointer() const { return bytes; }
    DWORD GetBufferSize() const { return size; }

    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;

private:
    DataBuffer() = default;
    ~DataBuffer();
    ULONG refCount = 1;
    DWORD size = 0;
    BYTE* bytes = nullptr;  // owned; at least one byte even for an empty buffer
};
