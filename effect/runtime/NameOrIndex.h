// The name-or-index argument of the effect operations: a technique, pass or parameter is named
// either by its text or by its position. A pointer-sized value below 0x10000 is an index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win/WinTypes.h"

// Callers write effect->SetTexture("texBase", t) or effect->SetTechnique(1). Raw pointer values
// below 0x10000 (null included, which is index 0) are indexes, as the platform's effect calls
// define them; an integer is always an index, however large, so it can never be mistaken for
// a pointer and read.
class NameOrIndex {
public:
    static constexpr uintptr_t kIndexLimit = 0x10000;

    NameOrIndex(const char* nameOrSmallNumber) {
        uintptr_t raw = reinterpret_cast<uintptr_t>(nameOrSmallNumber);
        if (raw < kIndexLimit) {
            index = static_cast<UINT>(raw);
        } else {
            name = nameOrSmallNumber;
        }
    }
    NameOrIndex(std::nullptr_t) : index(0) {}
    NameOrIndex(int index) : index(index < 0 ? UINT32_MAX : static_cast<UINT>(index)) {}
    NameOrIndex(unsigned index) : index(index) {}
    NameOrIndex(unsigned long index) : index(index > UINT32_MAX ? UINT32_MAX : static_cast<UINT>(index)) {}

    bool IsName() const { return name != nullptr; }
    const char* Name() const { return name; }
    UINT Index() const { return index; }

    // Resolves against a list of `count` items whose names `nameAt(i)` gives; returns the
    // position, or `count` when nothing matches (names compare byte for byte).
    template <typename NameAt>
    size_t Find(size_t count, NameAt nameAt) const {
        if (!name) return index < count ? index : count;
        for (size_t i = 0; i < count; ++i) {
            const char* n = nameAt(i);
            if (n && std::strcmp(n, name) == 0) return i;
        }
        return count;
    }

private:
    const char* name = nullptr;  // set when the argument names its target
    UINT index = 0;              // used when name is null
};
