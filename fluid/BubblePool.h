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
    // dt solver time units. Forces go into the solver's force arrays for its next step; each
    // push covers solver.PatchSide() cells on each axis, one cell of a grid of 8.
    void UpdateBubbles(FluidSolver& solver, float dt, SurfaceGrid& surface);

    // Releases every block.
    void Clear();

    int32_t count = 0;          // live bubbles in all blocks
    int32_t blockCount = 0;
    BubbleBlock* first = nullptr;
    BubbleBlock* last = nullptr;
};
