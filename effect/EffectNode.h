// EffectNode: the tagged node of a compiled effect's tree, and its serialized form (tag, data
// count, children size, data, children). Nodes of one compile live in one arena.
#pragma once

#include "effect/CompilerSupport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct EffectNode {
    uint32_t tag = 0;                  // four-character code, bytes in memory order
    std::vector<uint32_t> data;        // data words
    std::vector<EffectNode*> children; // slots; a slot may be empty (null)
    size_t serializedWords = 0;        // filled by SerializedWords, used by SerializeNode
    fxc::SourcePlace place;            // where its text starts, for messages (when known)
};

// Owns every node made during one compile; all of them go when the arena goes.
class EffectNodeArena {
public:
    EffectNode* Make(uint32_t tag) {
        nodes.push_back(std::make_unique<EffectNode>());
        nodes.back()->tag = tag;
        return nodes.back().get();
    }

private:
    std::vector<std::unique_ptr<EffectNode>> nodes;
};

// Words the serialized node takes: 3 + data count + the words of its non-empty children
// (the measuring pass; it remembers the size of every node below).
size_t SerializedWords(EffectNode& node);
// Writes the node, measured just before, into `out`, which holds exactly
// SerializedWords(node) words; returns the position after it.
uint32_t* SerializeNode(const EffectNode& node, uint32_t* out);
