// Writes compiled effect blocks word by word for the runtime's tests and fuzz seeds: a node is
// tag, data count, children size, data, children, exactly as the compiler serializes its tree.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "effect/EffectStates.h"
#include "effect/runtime/EffectBlock.h"

namespace blockwriter {

struct Node {
    DWORD tag = 0;
    std::vector<DWORD> data;
    std::vector<Node> children;
};

// A name as the block stores it: bytes, a zero byte, zero padding to whole words.
inline std::vector<DWORD> NameWords(const std::string& name) {
    std::vector<DWORD> words(name.size() / 4 + 1, 0);
    std::memcpy(words.data(), name.data(), name.size());
    return words;
}

inline void Append(std::vector<DWORD>& out, const std::vector<DWORD>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

inline void Serialize(const Node& node, std::vector<DWORD>& out) {
    std::vector<DWORD> children;
    for (const Node& child : node.children) Serialize(child, children);
    out.push_back(node.tag);
    out.push_back(static_cast<DWORD>(node.data.size()));
    out.push_back(static_cast<DWORD>(children.size()));
    Append(out, node.data);
    Append(out, children);
}

inline std::vector<DWORD> Serialize(const Node& root) {
    std::vector<DWORD> out;
    Serialize(root, out);
    return out;
}

inline DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

inline Node Value(DWORD kind, std::vector<DWORD> payload) {
    Node n{kTagValue, {kind}, {}};
    Append(n.data, payload);
    return n;
}
inline Node DwordValue(DWORD v) { return Value(0, {v}); }
inline Node FloatValue(float f) { return Value(1, {FloatBits(f)}); }
inline Node VectorValue(float x, float y, float z, float w) {
    return Value(2, {FloatBits(x), FloatBits(y), FloatBits(z), FloatBits(w)});
}
inline Node MatrixValue(const float* m) {
    std::vector<DWORD> words;
    for (int i = 0; i < 16; ++i) words.push_back(FloatBits(m[i]));
    return Value(3, words);
}
inline Node StringValue(const std::string& s) { return Value(8, NameWords(s)); }
inline Node Reference(DWORD type, DWORD index) { return Node{kTagReference, {type, index}, {}}; }

inline Node Parameter(DWORD type, const std::string& name) {
    Node n{kTagParameter, {type}, {}};
    Append(n.data, NameWords(name));
    return n;
}
inline Node Parameter(DWORD type, const std::string& name, Node value) {
    Node n = Parameter(type, name);
    n.children.push_back(std::move(value));
    return n;
}
inline Node Assignment(DWORD valueType, DWORD code, DWORD index, Node child) {
    return Node{kTagAssignment, {valueType, code, index}, {std::move(child)}};
}
inline Node Pass(const std::string& name, std::vector<Node> assignments) {
    return Node{kTagPass, NameWords(name), std::move(assignments)};
}
inline Node Technique(const std::string& name, std::vector<Node> passes) {
    return Node{kTagTechnique, NameWords(name), std::move(passes)};
}
inline Node Root(std::vector<Node> definitions) { return Node{kTagRoot, {}, std::move(definitions)}; }

}  // namespace blockwriter
