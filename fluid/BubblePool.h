// Bubbles: born where the water is hotter than 80, carried by the flow and their buoyancy,
// riding on the surface, dying of age, size or cold. They live in blocks of 100 slots whose
// slot-index arrays keep the live slots first, so a bubble retires in constant time and
// iteration continues correctly after a retirement.
#pragma once

#include <cstdint>

#include "math/VectorMath.h"
#include "platform/win/WinTypes.h"

class FluidSolver;
class SurfaceGrid;

struct Bubble {
    float x, y, z;    // world units: x, y across the pot (axis at 0), z up from the bottom
    float size;       // half the side of the drawn square, world units
    float age;        // solver time units lived
    BYTE touched;     // has reached the surface and pushed the water (once in its life)
};

struct BubbleBlock {
    static constexpr int kCapacity = 100;
    Bubble slots[kCapacity];
    int32_t index[kCapacity];   // a permutation of 0..99; the first `live` name the used slots
    int32_t live;
    BubbleBlock* prev;
    BubbleBlock* next;
};

// A bubble-square vertex: position and sprite coordinate (D3DFVF_XYZ | D3DFVF_TEX1, 20 bytes).
struct BubbleVertex {
    float x, y, z;
    float u, v;
};
static_assert(sizeof(BubbleVertex) == 20);

class BubblePool {
public:
    static constexpr int kBlockCapacity = BubbleBlock::kCapacity;
    static constexpr int32_t kEmissionLimit = 2000;   // no births while count is at least this
    static constexpr int32_t kMaxDrawn = 2000;        // the size of the quad buffers

    // Where iteration stands: a block and a position in its slot-index array. A null block
    // is the end.
    struct Position {
        BubbleBlock* block;
        int32_t index;
    };

    BubblePool() = default;
    ~BubblePool();
    BubblePool(const BubblePool&) = delete;
    BubblePool& operator=(const BubblePool&) = delete;

    // Copies the record into the first free slot of the first block that has one, making a
    // new block at the end when all are full. Null (and nothing changes) when no block can
    // be allocated.
    Bubble* Allocate(const Bubble& record);

    // Retires the bubble at position j of the block (j < live) and says where iteration
    // continues: (block, j) when another bubble moved into position j, else the next block.
    // A block left empty is unlinked and released.
    Position Remove(BubbleBlock* block, int32_t j);

    // The first live bubble's position; {nullptr, 0} when there is none.
    Position First() const { return {first, 0}; }
    // The position after p.
    static Position Next(Position p);
    static Bubble& At(Position p) { return p.block->slots[p.block->index[p.index]]; }

    // Birth, motion, coupling with the water and the surface, and retirement for one step of
    // dt solver time units. Forces go into the solver's force arrays for its next step.
    void UpdateBubbles(FluidSolver& solver, float dt, SurfaceGrid& surface);

    // Writes the squares of the first maxBubbles bubbles in iteration order, four vertices
    // each, turned towards the viewer by cameraToWorld; returns how many were written.
    UINT WriteQuads(const Matrix4& cameraToWorld, BubbleVertex* out, UINT maxBubbles) const;

    // Releases every block.
    void Clear();

    int32_t count = 0;          // live bubbles in all blocks
    int32_t blockCount = 0;
    BubbleBlock* first = nullptr;
    BubbleBlock* last = nullptr;
};

// The four vertices of one bubble's square: position + TransformCoord(size * corner,
// orientation) for the corners (-1, 1), (1, 1), (1, -1), (-1, -1) with the sprite
// coordinates (0, 0), (1, 0), (1, 1), (0, 1). orientation is the camera's cameraToWorld with
// its translation (elements 41, 42, 43) set to 0.
void BubbleQuad(BubbleVertex out[4], const Vector3& position, float size, const Matrix4& orientation);

// The shared index pattern: (4b, 4b + 1, 4b + 2) and (4b, 4b + 2, 4b + 3) for b < bubbles.
// out needs room for 6 * bubbles indices; bubbles must not exceed 16384.
void WriteQuadIndices(WORD* out, UINT bubbles);
