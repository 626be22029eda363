// Bubble pool: blocks, birth, motion and retirement.
#include "fluid/BubblePool.h"

#include <cassert>
#include <cmath>
#include <limits>
#include <new>

#include "fluid/FluidSolver.h"
#include "fluid/SurfaceGrid.h"
#include "platform/win/Rand.h"

namespace {

constexpr float kPotRadius = 85.0f;
constexpr float kPotRadiusSquared = 7225.0f;
constexpr float kSurfaceHeight = 70.0f;
constexpr float kFloorHeight = 3.5f;             // 70 * 0.05
constexpr float kBirthTemperature = 80.0f;
constexpr double kColdTemperature = 80.0 * static_cast<double>(0.7f);   // 55.999999
constexpr float kMaxAge = 4.0f;                  // solver time units (0.8 s)
constexpr float kMaxSize = 15.0f;

// trunc(v) as an int, for the birth count; NaN gives 0 and the result stays in int range.
int TruncToInt(float v) {
    if (!(v > 0.0f)) return v < 0.0f && v > -2147483520.0f ? static_cast<int>(v) : 0;
    if (v >= 2147483520.0f) return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

// A random push across, centred on zero: (rand() - 16383) * scale.
float Centred(float scale) { return static_cast<float>(win::rand() - 16383) * scale; }

// A bubble pushes the water of one cell of a grid of 8 at every grid size: side = PatchSide().
// Adds (fu, fv, fw) to the forces of the side^3 cells from cell p on, wrapping at the edges.
void Push(FluidSolver& s, int p, int side, float fu, float fv, float fw) {
    const int n = s.n;
    const int i0 = p % n, j0 = (p / n) % n, k0 = p / s.nSquared;
    for (int k = 0; k < side; ++k) {
        const int kk = (k0 + k) % n;
        for (int j = 0; j < side; ++j) {
            const int jj = (j0 + j) % n;
            for (int i = 0; i < side; ++i) {
                const int c = (i0 + i) % n + n * jj + s.nSquared * kk;
                s.forceU[c] += fu;
                s.forceV[c] += fv;
                s.forceW[c] += fw;
            }
        }
    }
}

}  // namespace

// [SECTION] Pool

BubblePool::~BubblePool() { Clear(); }

void BubblePool::Clear() {
    BubbleBlock* b = first;
    while (b) {
        BubbleBlock* next = b->next;
        delete b;
        b = next;
    }
    first = last = nullptr;
    blockCount = 0;
    count = 0;
}

Bubble* BubblePool::Allocate(const Bubble& record) {
    BubbleBlock* block = first;
    while (block && block->live >= kBlockCapacity) block = block->next;
    if (!block) {
        block = new (std::nothrow) BubbleBlock{};
        if (!block) return nullptr;
        for (int i = 0; i < kBlockCapacity; ++i) block->index[i] = i;
        block->prev = last;
        if (last) {
            last->next = block;
        } else {
            first = block;
        }
        last = block;
        ++blockCount;
    }
    Bubble* slot = &block->slots[block->index[block->live]];
    *slot = record;
    ++block->live;
    ++count;
    return slot;
}

BubblePool::Position BubblePool::Remove(BubbleBlock* block, int32_t j) {
    assert(block && j >= 0 && j < block->live);
    int32_t end = block->live - 1;
    int32_t moved = block->index[j];
    block->index[j] = block->index[end];
    block->index[end] = moved;
    block->live = end;
    --count;
    if (j < block->live) return {block, j};
    BubbleBlock* next = block->next;
    if (block->live == 0) {
        if (block->prev) {
            block->prev->next = next;
        } else {
            first = next;
        }
        if (next) {
            next->prev = block->prev;
        } else {
            last = block->prev;
        }
        delete block;
        --blockCount;
    }
    return {next, 0};
}

BubblePool::Position BubblePool::Next(Position p) {
    if (p.index + 1 < p.block->live) return {p.block, p.index + 1};
    return {p.block->next, 0};
}

// [SECTION] Birth and motion

void BubblePool::UpdateBubbles(FluidSolver& s, float dt, SurfaceGrid& surface) {
    const int n = s.n, half = n / 2, side = s.PatchSide();
    const float g = static_cast<float>(half) / kPotRadius;   // grid cells per world unit
    const float invdt = 1.0f / (dt + 0.0001f);

    // Birth: the test is made once, so one step may take count past the limit.
    if (count < kEmissionLimit) {
        const int m = TruncToInt(dt * 600.0f + 1.0f);
        for (int i = 0; i < m; ++i) {
            float x = static_cast<float>(win::rand() - 16383) * 85.0f * 6.10388815e-5f;
            float y = static_cast<float>(win::rand() - 16383) * 85.0f * 6.10388815e-5f;
            if (x * x + y * y >= kPotRadiusSquared) continue;
            float z = static_cast<float>(win::rand()) * 63.0f * 3.05185094e-5f + 3.5f;
            int p = (static_cast<int>(g * x) + half) + n * (static_cast<int>(g * y) + half) +
                    s.nSquared * static_cast<int>(g * z);
            assert(p >= 0 && p < s.nCubed);
            float t = s.temperature[p];
            if (!(t > kBirthTemperature)) continue;
            if (!Allocate({x, y, z, (t - 80.0f) * 0.05f + 0.4f, 0.0f, 0})) continue;
            const float fu = Centred(invdt * 1.22077756e-6f);
            const float fv = Centred(invdt * 1.22077756e-6f);
            const float fw = static_cast<float>(win::rand()) * invdt * 3.05185097e-7f;
            Push(s, p, side, fu, fv, fw);
        }
    }

    // Motion, coupling and retirement of every bubble, new ones included.
    Position at = First();
    while (at.block) {
        Bubble& b = At(at);
        // The bubble samples the grid without the centring offset used at birth.
        s.SetSamplePoint(g * b.x, g * b.y, g * b.z);
        float du = s.Sample(s.u) * dt, dv = s.Sample(s.v) * dt, dw = s.Sample(s.w) * dt;
        float tb = s.Sample(s.temperature);
        // The water's motion, six times stronger across than up, plus a rise that grows with
        // the bubble's volume.
        Vector3 d{85.0f * du * 6.0f, 85.0f * dv * 6.0f,
                  85.0f * dw + b.size * b.size * 2.0f * dt * b.size * 3.14f};
        b.x += d.x;
        b.y += d.y;
        b.z += d.z;
        if (tb > 96.0f && b.touched) b.size += (tb - 96.0f) * 0.05f;
        if (b.z - kSurfaceHeight > 0.0f) {
            float kx = static_cast<float>(win::rand() - 16383) * invdt * 4.27272198e-7f;
            float ky = static_cast<float>(win::rand() - 16383) * invdt * 4.27272198e-7f;
            float kz = static_cast<float>(win::rand()) * invdt * -3.6622211e-7f;
            if (!b.touched) {
                Push(s, s.corner[win::rand() & 7], side, kx, ky, kz);
                b.touched = 1;
            }
            d.x += kx;
            d.y += ky;
            d.z += kz;
            b.z = kSurfaceHeight;
        }
        surface.PushSurface(b.x, b.y, d, 1.0f);
        float r = std::sqrt(b.x * b.x + b.y * b.y);
        if (r + b.size > kPotRadius && r > 0.0f) {
            float k = (kPotRadius - b.size) / r;
            b.x *= k;
            b.y *= k;
        }
        if (b.z < kFloorHeight) b.z = kFloorHeight;
        b.age += dt;
        bool retire = b.age > kMaxAge || b.size > kMaxSize ||
                      static_cast<double>(tb) < kColdTemperature;
        at = retire ? Remove(at.block, at.index) : Next(at);
    }
}
