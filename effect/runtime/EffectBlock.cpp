// Reader of the compiled effect block: a bounds-checked walk over the serialized node tree.
// Every node is tag, data count, children size, data words, then its children; nothing is
// trusted until its extent has been checked against the extent of its parent.
#include "effect/runtime/EffectBlock.h"

#include <cassert>
#include <cstring>
#include <new>

#include "effect/runtime/EffectTypes.h"

namespace {

// One node's extent inside the block, in words.
struct NodeView {
    DWORD tag = 0;
    const DWORD* data = nullptr;
    DWORD dataCount = 0;
    const DWORD* children = nullptr;  // first word of the serialized children
    DWORD childrenSize = 0;           // words the children take together
};

// Reads the node at words[pos] (pos < end); advances pos past it. Fails when the header or the
// extent it declares does not fit.
bool ReadNode(const DWORD* words, size_t& pos, size_t end, NodeView& node) {
    if (end - pos < 3) return false;
    node.tag = words[pos];
    node.dataCount = words[pos + 1];
    node.childrenSize = words[pos + 2];
    uint64_t extent = 3ull + node.dataCount + node.childrenSize;
    if (extent > end - pos) return false;
    node.data = words + pos + 3;
    node.children = node.data + node.dataCount;
    pos += static_cast<size_t>(extent);
    return true;
}

// Walks the children of `parent` one at a time.
class ChildCursor {
public:
    explicit ChildCursor(const NodeView& parent) : words(parent.children), end(parent.childrenSize) {}
    bool AtEnd() const { return pos == end; }
    bool Next(NodeView& child) { return ReadNode(words, pos, end, child); }

private:
    const DWORD* words;
    size_t pos = 0;
    size_t end;
};

// A name stored in `count` words starting at `words`: it must end with a zero byte inside them.
// No words at all is taken as the empty name.
bool ReadName(const DWORD* words, DWORD count, const char*& name) {
    if (count == 0) {
        name = "";
        return true;
    }
    const char* text = reinterpret_cast<const char*>(words);
    if (!std::memchr(text, 0, static_cast<size_t>(count) * 4)) return false;
    name = text;
    return true;
}

bool ReadValue(const NodeView& node, BlockValue& value) {
    if (node.tag != kTagValue || node.dataCount < 1 || node.childrenSize != 0) return false;
    value.kind = node.data[0];
    if (!IsKnownType(value.kind)) return false;
    value.payload = node.data + 1;
    value.count = node.dataCount - 1;
    return true;
}

bool ReadAssignment(const NodeView& node, size_t parameterCount, BlockAssignment& out) {
    if (node.tag != kTagAssignment || node.dataCount != 3) return false;
    out.valueType = node.data[0];
    out.stateCode = node.data[1];
    out.index = node.data[2];
    if (!IsKnownAssignmentTarget(out.valueType, out.stateCode, out.index)) return false;
    ChildCursor cursor(node);
    NodeView child;
    if (!cursor.Next(child) || !cursor.AtEnd()) return false;
    if (child.tag == kTagReference) {
        if (child.dataCount != 2 || child.childrenSize != 0) return false;
        out.isReference = true;
        out.parameter = child.data[1] & 0xFFFF;
        return out.parameter < parameterCount;
    }
    return ReadValue(child, out.value);
}

bool ReadPass(const NodeView& node, size_t parameterCount, BlockPass& out) {
    if (node.tag != kTagPass || !ReadName(node.data, node.dataCount, out.name)) return false;
    ChildCursor cursor(node);
    while (!cursor.AtEnd()) {
        NodeView child;
        if (!cursor.Next(child)) return false;
        out.assignments.emplace_back();
        if (!ReadAssignment(child, parameterCount, out.assignments.back())) return false;
    }
    return true;
}

bool ReadTechnique(const NodeView& node, size_t parameterCount, BlockTechnique& out) {
    if (node.tag != kTagTechnique || !ReadName(node.data, node.dataCount, out.name)) return false;
    ChildCursor cursor(node);
    while (!cursor.AtEnd()) {
        NodeView child;
        if (!cursor.Next(child)) return false;
        out.passes.emplace_back();
        if (!ReadPass(child, parameterCount, out.passes.back())) return false;
    }
    return true;
}

bool ReadParameter(const NodeView& node, BlockParameter& out) {
    if (node.tag != kTagParameter || node.dataCount < 2) return false;
    out.type = node.data[0];
    if (!IsParameterType(out.type)) return false;
    if (!ReadName(node.data + 1, node.dataCount - 1, out.name)) return false;
    ChildCursor cursor(node);
    if (cursor.AtEnd()) return true;
    NodeView child;
    if (!cursor.Next(child) || !cursor.AtEnd()) return false;
    out.hasValue = true;
    return ReadValue(child, out.value);
}

HRESULT Read(const void* data, size_t size, EffectBlock* out) {
    if (!data || size < 12 || size % 4 != 0) return kEffectInvalidData;
    assert(reinterpret_cast<uintptr_t>(data) % alignof(DWORD) == 0);
    const DWORD* words = static_cast<const DWORD*>(data);
    size_t wordCount = size / 4;
    size_t pos = 0;
    NodeView root;
    if (!ReadNode(words, pos, wordCount, root) || root.tag != kTagRoot || pos != wordCount) {
        return kEffectInvalidData;
    }

    // First pass: count the parameters, so references can be checked against the full list.
    size_t parameterCount = 0;
    ChildCursor counter(root);
    while (!counter.AtEnd()) {
        NodeView child;
        if (!counter.Next(child)) return kEffectInvalidData;
        if (child.tag == kTagParameter) {
            ++parameterCount;
        } else if (child.tag != kTagTechnique) {
            return kEffectInvalidData;
        }
    }
    out->parameters.reserve(parameterCount);

    ChildCursor cursor(root);
    while (!cursor.AtEnd()) {
        NodeView child;
        cursor.Next(child);
        bool ok;
        if (child.tag == kTagParameter) {
            out->parameters.emplace_back();
            ok = ReadParameter(child, out->parameters.back());
        } else {
            out->techniques.emplace_back();
            ok = ReadTechnique(child, parameterCount, out->techniques.back());
        }
        if (!ok) return kEffectInvalidData;
    }
    return S_OK;
}

}  // namespace

HRESULT ReadEffectBlock(const void* data, size_t size, EffectBlock* out) {
    assert(out);
    *out = EffectBlock();
    HRESULT hr;
    try {
        hr = Read(data, size, out);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) *out = EffectBlock();
    return hr;
}
