// DataBuffer: reference-counted byte block; allocation failure is a result code, not a throw.
#include "effect/DataBuffer.h"

#include <cassert>
#include <cstring>
#include <new>

HRESULT DataBuffer::Create(DWORD size, DataBuffer** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    DataBuffer* buffer = new (std::nothrow) DataBuffer;
    if (!buffer) return E_OUTOFMEMORY;
    buffer->bytes = new (std::nothrow) BYTE[size ? size : 1]();
    if (!buffer->bytes) {
        delete buffer;
        return E_OUTOFMEMORY;
    }
    buffer->size = size;
    *out = buffer;
    return S_OK;
}

HRESULT DataBuffer::CreateCopy(const void* bytes, DWORD size, DataBuffer** out) {
    HRESULT hr = Create(size, out);
    if (FAILED(hr)) return hr;
    if (size) std::memcpy((*out)->bytes, bytes, size);
    return S_OK;
}

ULONG DataBuffer::AddRef() { return ++refCount; }

ULONG DataBuffer::Release() {
    assert(refCount > 0);
    ULONG count = --refCount;
    if (count == 0) delete this;
    return count;
}

DataBuffer::~DataBuffer() { delete[] bytes; }
