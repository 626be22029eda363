// Bubble pool: blocks and their release, removal during iteration, and one step of birth and
// motion against a real solver.
#include "fluid/BubblePool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "fluid/FluidSolver.h"
#include "fluid/SurfaceGrid.h"
#include "platform/win/Rand.h"
#include "platform/win/RunState.h"

namespace {

Bubble Aged(float age) { return {0.0f, 0.0f, 10.0f, 1.0f, age, 0}; }

std::vector<float> AgesInOrder(const BubblePool& pool) {
    std::vector<float> ages;
    for (auto p = pool.First(); p.block; p = BubblePool::Next(p)) ages.push_back(BubblePool::At(p).age);
    return ages;
}

std::unique_ptr<FluidSolver> MakeSolver(float temperature, int n = 8) {
    std::unique_ptr<FluidSolver> s;
    EXPECT_EQ(FluidSolver::Create(n, &s), S_OK);
    for (int i = 0; i < s->nCubed; ++i) s->temperature[i] = temperature;
    return s;
}

float ForceSum(const FluidSolver& s) {
    float sum = 0.0f;
    for (int i = 0; i < s.nCubed; ++i) sum += std::fabs(s.forceU[i]) + std::fabs(s.forceV[i]) + std::fabs(s.forceW[i]);
    return sum;
}

}  // namespace

TEST(BubblePool, BlocksAreMadeOnDemandAndReleasedWhenEmpty) {
    BubblePool pool;
    EXPECT_EQ(pool.First().block, nullptr);
    for (int i = 0; i < 250; ++i) ASSERT_NE(pool.Allocate(Aged(static_cast<float>(i))), nullptr);
    EXPECT_EQ(pool.count, 250);
    ASSERT_EQ(pool.blockCount, 3);
    BubbleBlock* a = pool.first;
    BubbleBlock* b = a->next;
    BubbleBlock* c = b->next;
    EXPECT_EQ(a->live, 100);
    EXPECT_EQ(b->live, 100);
    EXPECT_EQ(c->live, 50);
    EXPECT_EQ(pool.last, c);

    // Emptying the middle block unlinks it; iteration then continues in the last block.
    BubblePool::Position at{b, 0};
    for (int i = 0; i < 100; ++i) at = pool.Remove(at.block, at.index);
    EXPECT_EQ(at.block, c);
    EXPECT_EQ(at.index, 0);
    EXPECT_EQ(pool.blockCount, 2);
    EXPECT_EQ(a->next, c);
    EXPECT_EQ(c->prev, a);
    EXPECT_EQ(pool.count, 150);

    // A free slot in an earlier block is used before a new block is made.
    pool.Remove(a, 7);
    Bubble* slot = pool.Allocate(Aged(1000.0f));
    EXPECT_GE(slot, &a->slots[0]);
    EXPECT_LE(slot, &a->slots[99]);
    EXPECT_EQ(pool.blockCount, 2);

    // Emptying the first and the last block leaves an empty list.
    while (pool.first) pool.Remove(pool.first, 0);
    EXPECT_EQ(pool.count, 0);
    EXPECT_EQ(pool.blockCount, 0);
    EXPECT_EQ(pool.last, nullptr);
}

TEST(BubblePool, RemovalDuringIterationVisitsEveryBubbleOnce) {
    BubblePool pool;
    for (int i = 0; i < 230; ++i) pool.Allocate(Aged(static_cast<float>(i)));
    std::multiset<float> visited;
    for (auto at = pool.First(); at.block;) {
        float age = BubblePool::At(at).age;
        visited.insert(age);
        // Retire every bubble of the second block and every third one elsewhere.
        bool retire = (age >= 100 && age < 200) || static_cast<int>(age) % 3 == 0;
        at = retire ? pool.Remove(at.block, at.index) : BubblePool::Next(at);
    }
    ASSERT_EQ(visited.size(), 230u);
    for (int i = 0; i < 230; ++i) EXPECT_EQ(visited.count(static_cast<float>(i)), 1u) << i;
    std::vector<float> left = AgesInOrder(pool);
    EXPECT_EQ(static_cast<int>(left.size()), pool.count);
    EXPECT_EQ(pool.blockCount, 2);
    for (float age : left) {
        EXPECT_NE(static_cast<int>(age) % 3, 0);
        EXPECT_FALSE(age >= 100 && age < 200);
    }
}

TEST(UpdateBubbles, ColdWaterGivesNoBubblesAndNoForces) {
    const win::RunScope run;  // rand from its first value
    auto s = MakeSolver(80.0f);   // at most 80: no birth
    BubblePool pool;
    SurfaceGrid surface;
    for (int i = 0; i < 50; ++i) pool.UpdateBubbles(*s, 0.1f, surface);
    EXPECT_EQ(pool.count, 0);
    EXPECT_EQ(ForceSum(*s), 0.0f);
}

TEST(UpdateBubbles, HotWaterGivesBubblesInsideThePot) {
    const win::RunScope run;  // rand from its first value
    auto s = MakeSolver(100.0f);
    BubblePool pool;
    SurfaceGrid surface;
    pool.UpdateBubbles(*s, 0.1f, surface);   // m = 61 tries, about pi/4 of them inside
    EXPECT_GT(pool.count, 30);
    EXPECT_LE(pool.count, 61);
    EXPECT_GT(ForceSum(*s), 0.0f);
    for (int step = 0; step < 20; ++step) pool.UpdateBubbles(*s, 0.1f, surface);
    for (auto p = pool.First(); p.block; p = BubblePool::Next(p)) {
        const Bubble& b = BubblePool::At(p);
        EXPECT_LE(std::sqrt(b.x * b.x + b.y * b.y) + b.size, 85.001f);
        EXPECT_GE(b.z, 3.5f);
        EXPECT_LE(b.z, 70.0f);
    }
}

TEST(UpdateBubbles, EmissionStopsAtTheLimitButNotJustBelowIt) {
    for (int start : {1999, 2000}) {
        const win::RunScope run;  // rand from its first value
        auto s = MakeSolver(100.0f);
        BubblePool pool;
        SurfaceGrid surface;
        for (int i = 0; i < start; ++i) pool.Allocate({0.0f, 0.0f, 30.0f, 1.0f, 1.0f, 0});
        pool.UpdateBubbles(*s, 0.1f, surface);
        int newborn = 0;
        for (auto p = pool.First(); p.block; p = BubblePool::Next(p)) {
            if (BubblePool::At(p).age < 0.5f) ++newborn;
        }
        if (start == 2000) {
            EXPECT_EQ(newborn, 0);
        } else {
            EXPECT_GT(newborn, 1);   // one frame may take the count past the limit
            EXPECT_GT(pool.count, 2000);
        }
    }
}

TEST(UpdateBubbles, SurfaceContactPushesTheWaterOnceAndRipplesEveryTime) {
    const win::RunScope run;  // rand from its first value
    auto s = MakeSolver(79.0f);   // no births, and warm enough not to retire
    BubblePool pool;
    SurfaceGrid surface;
    pool.Allocate({5.0f, -5.0f, 69.9f, 1.4f, 0.0f, 0});
    pool.UpdateBubbles(*s, 0.1f, surface);
    ASSERT_EQ(pool.count, 1);
    const Bubble& b = BubblePool::At(pool.First());
    EXPECT_EQ(b.z, 70.0f);
    EXPECT_EQ(b.touched, 1);
    int pushed = 0;
    for (int i = 0; i < s->nCubed; ++i) {
        if (s->forceW[i] != 0.0f) {
            ++pushed;
            EXPECT_LT(s->forceW[i], 0.0f);   // the push is downward
        }
    }
    EXPECT_EQ(pushed, 1);
    const Vector3 first = surface.cell[SurfaceGrid::CellOf(b.x, b.y)];
    EXPECT_NE(first.z, 0.0f);

    s->ClearForces();
    pool.UpdateBubbles(*s, 0.1f, surface);
    EXPECT_EQ(ForceSum(*s), 0.0f);
    EXPECT_NE(surface.cell[SurfaceGrid::CellOf(b.x, b.y)].z, first.z);
}

// On finer grids a bubble pushes the water of one cell of a grid of 8: a block of n / 8 cells
// on each axis, wrapping at the grid's edges, with the same force in each cell as the one cell
// of a grid of 8 gets from the same random numbers.
TEST(UpdateBubbles, PushesCoverOneCoarseCellAtEveryGridSize) {
    for (int n : {16, 32}) {
        const int side = n / 8;
        // At the surface, near the pot's edge: the sample point's corners lie at the grid's
        // edge, so some blocks wrap.
        for (float x : {5.0f, -84.0f}) {
            const win::RunScope run;  // rand from its first value
            auto coarse = MakeSolver(79.0f);
            BubblePool coarsePool;
            SurfaceGrid coarseSurface;
            coarsePool.Allocate({x, -5.0f, 69.9f, 1.4f, 0.0f, 0});
            coarsePool.UpdateBubbles(*coarse, 0.1f, coarseSurface);
            float pushW = 0.0f;
            for (int i = 0; i < coarse->nCubed; ++i) pushW += coarse->forceW[i];
            ASSERT_LT(pushW, 0.0f);

            const win::RunScope again;  // the same numbers again
            auto fine = MakeSolver(79.0f, n);
            BubblePool pool;
            SurfaceGrid surface;
            pool.Allocate({x, -5.0f, 69.9f, 1.4f, 0.0f, 0});
            pool.UpdateBubbles(*fine, 0.1f, surface);
            std::set<int> is, js, ks;
            int pushed = 0;
            for (int p = 0; p < fine->nCubed; ++p) {
                if (fine->forceW[p] == 0.0f) continue;
                ++pushed;
                EXPECT_EQ(fine->forceW[p], pushW) << n << " " << x;
                is.insert(p % n);
                js.insert((p / n) % n);
                ks.insert(p / fine->nSquared);
            }
            EXPECT_EQ(pushed, side * side * side) << n << " " << x;
            EXPECT_EQ(is.size() * js.size() * ks.size(), static_cast<size_t>(pushed)) << n << " " << x;
        }
    }

    // Births push blocks as well: hot water everywhere, one step.
    const win::RunScope run;  // rand from its first value
    auto s = MakeSolver(100.0f, 16);
    BubblePool pool;
    SurfaceGrid surface;
    pool.UpdateBubbles(*s, 0.1f, surface);
    ASSERT_GT(pool.count, 0);
    int pushed = 0;
    for (int p = 0; p < s->nCubed; ++p) pushed += s->forceW[p] != 0.0f;
    EXPECT_GE(pushed, 8);
    EXPECT_LE(pushed, 8 * pool.count);
}

TEST(UpdateBubbles, RetirementByAgeSizeAndCold) {
    const win::RunScope run;  // rand from its first value
    auto s = MakeSolver(79.0f);
    BubblePool pool;
    SurfaceGrid surface;
    pool.Allocate({0.0f, 0.0f, 20.0f, 0.1f, 0.0f, 0});
    for (int step = 1; step <= 4; ++step) {
        pool.UpdateBubbles(*s, 1.0f, surface);
        EXPECT_EQ(pool.count, 1) << "age " << step << " is not past 4";
    }
    pool.UpdateBubbles(*s, 1.0f, surface);
    EXPECT_EQ(pool.count, 0);
    EXPECT_EQ(pool.blockCount, 0);

    pool.Allocate({0.0f, 0.0f, 20.0f, 15.5f, 0.0f, 0});   // too big
    pool.UpdateBubbles(*s, 0.01f, surface);
    EXPECT_EQ(pool.count, 0);

    for (int i = 0; i < s->nCubed; ++i) s->temperature[i] = 55.9f;   // below 80 * 0.7
    pool.Allocate({0.0f, 0.0f, 20.0f, 0.5f, 0.0f, 0});
    pool.UpdateBubbles(*s, 0.01f, surface);
    EXPECT_EQ(pool.count, 0);
    for (int i = 0; i < s->nCubed; ++i) s->temperature[i] = 56.0f;
    pool.Allocate({0.0f, 0.0f, 20.0f, 0.5f, 0.0f, 0});
    pool.UpdateBubbles(*s, 0.01f, surface);
    EXPECT_EQ(pool.count, 1);
}
