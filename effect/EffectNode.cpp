// Serialization of effect nodes: measured once, then written into a buffer of exactly that size.
#include "effect/EffectNode.h"

#include <cassert>
#include <cstring>

size_t SerializedWords(EffectNode& node) {
    size_t words = 3 + node.data.size();
    for (EffectNode* child : node.children)
        if (child) words += SerializedWords(*child);
    node.serializedWords = words;
    return words;
}

uint32_t* SerializeNode(const EffectNode& node, uint32_t* out) {
    size_t children = node.serializedWords - 3 - node.data.size();
    assert(node.serializedWords >= 3 + node.data.size());
    assert(node.data.size() <= 0xFFFFFFFFu && children <= 0xFFFFFFFFu);
    *out++ = node.tag;
    *out++ = static_cast<uint32_t>(node.data.size());
    *out++ = static_cast<uint32_t>(children);
    if (!node.data.empty()) std::memcpy(out, node.data.data(), node.data.size() * 4);
    out += node.data.size();
    for (const EffectNode* child : node.children)
        if (child) out = SerializeNode(*child, out);
    return out;
}
