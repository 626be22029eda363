// What the heat adds to the picture: steam, the floor's first bubbles, the surface shimmer and
// the floor's caustics, and the fluid reads they rest on. All of it is drawing only: the tests
// check its bounds, that it answers to heat and motion, and that it never touches the
// simulation (its fields or the rand() sequence the simulation draws from).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "fluid/FluidSolver.h"
#include "fluid/SurfaceGrid.h"
#include "platform/win/Rand.h"
#include "platform/win/RunState.h"
#include "scene/FloorBubbles.h"
#include "scene/FluidGeometry.h"
#include "scene/SteamCloud.h"
#include "scene/WaterShimmer.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

std::unique_ptr<FluidSolver> Solver(int n = 8) {
    std::unique_ptr<FluidSolver> s;
    EXPECT_EQ(FluidSolver::Create(n, &s), S_OK);
    return s;
}

void FillLayer(FluidSolver& s, int k, float* field, float value) {
    for (int p = 0; p < s.nSquared; ++p) field[s.nSquared * k + p] = value;
}

void FillAll(FluidSolver& s, float* field, float value) {
    for (int p = 0; p < s.nCubed; ++p) field[p] = value;
}

// Everything of the solver that the simulation owns, to compare before and after a read.
std::vector<float> Snapshot(const FluidSolver& s) {
    std::vector<float> all;
    for (const float* f : {s.u, s.v, s.w, s.temperature, s.temperatureSource}) all.insert(all.end(), f, f + s.nCubed);
    return all;
}

// The next few values of the simulation's rand() sequence, after `use` has run from a fresh start.
template <typename Use>
std::vector<int> RandAfter(Use use) {
    const win::RunScope fresh;  // a fresh sequence for this run alone
    use();
    std::vector<int> next;
    for (int i = 0; i < 4; ++i) next.push_back(win::rand());
    return next;
}

}  // namespace

// [SECTION] Reading the fluid

TEST(SampleLayer, CellCentresInterpolationWrappingAndBadCoordinates) {
    auto s = Solver();
    const float h = 170.0f / 8.0f;
    for (int p = 0; p < s->nCubed; ++p) s->temperature[p] = static_cast<float>(p);
    // At a cell centre: the cell itself (cell (2, 5) of layer 1 = 2 + 40 + 64).
    const float cx = -85.0f + 2.5f * h, cy = -85.0f + 5.5f * h;
    EXPECT_FLOAT_EQ(SampleLayer(*s, 1, cx, cy).temperature, 106.0f);
    // Half way to the next column and row: the mean of four cells.
    EXPECT_FLOAT_EQ(SampleLayer(*s, 1, cx + h / 2, cy + h / 2).temperature, (106.0f + 107.0f + 114.0f + 115.0f) / 4);
    // Between the last column and the first (periodic), and past the grid on both sides.
    FillAll(*s, s->temperature, 0.0f);
    s->temperature[7] = 80.0f;
    EXPECT_FLOAT_EQ(SampleLayer(*s, 0, 85.0f, -85.0f + 0.5f * h).temperature, 40.0f);
    EXPECT_FLOAT_EQ(SampleLayer(*s, 0, 85.0f - 170.0f, -85.0f + 0.5f * h).temperature, 40.0f);
    EXPECT_FLOAT_EQ(SampleLayer(*s, 0, 85.0f + 340.0f, -85.0f + 0.5f * h).temperature, 40.0f);
    // Layers out of range are taken at the ends; bad coordinates read the first cell.
    s->temperature[0] = 9.0f;
    EXPECT_FLOAT_EQ(SampleLayer(*s, -3, -85.0f + 0.5f * h, -85.0f + 0.5f * h).temperature, 9.0f);
    for (float bad : {kNaN, kInfinity, -kInfinity, 3e38f}) {
        const LayerSample sample = SampleLayer(*s, 0, bad, bad);
        EXPECT_TRUE(std::isfinite(sample.temperature)) << bad;
    }
    EXPECT_FLOAT_EQ(SampleLayer(*s, 0, kNaN, kNaN).temperature, 9.0f);
    EXPECT_TRUE(std::isfinite(SampleLayer(*s, 99, 0.0f, 0.0f).u));
}

TEST(DrawNoise, StaysInRangeIsSmoothAndRepeatable) {
    float previous = DrawNoise(0.0f, 0.3f, 0.7f, 5u);
    float spread = 0.0f;
    for (int i = 1; i < 2000; ++i) {
        const float v = DrawNoise(i * 0.01f, 0.3f, 0.7f, 5u);
        ASSERT_GE(v, -1.0f);
        ASSERT_LE(v, 1.0f);
        EXPECT_LT(std::fabs(v - previous), 0.05f) << i;   // no jumps between close points
        spread = std::max(spread, std::fabs(v));
        previous = v;
    }
    EXPECT_GT(spread, 0.3f);
    EXPECT_EQ(DrawNoise(1.3f, 2.7f, 9.1f, 5u), DrawNoise(1.3f, 2.7f, 9.1f, 5u));
    EXPECT_NE(DrawNoise(1.3f, 2.7f, 9.1f, 5u), DrawNoise(1.3f, 2.7f, 9.1f, 6u));
    EXPECT_EQ(DrawNoise(kNaN, 0.0f, 0.0f, 1u), 0.0f);
    EXPECT_TRUE(std::isfinite(DrawNoise(-3e9f, 5e12f, 1e30f, 1u)));
}

// [SECTION] Steam

TEST(Steam, StaysBetweenTheSurfaceAndAboveTheRimAndIsBounded) {
    auto s = Solver();
    FillAll(*s, s->temperature, 100.0f);
    // A strong sideways and upward flow: the wisps drift but never leave their band.
    FillAll(*s, s->u, 0.3f);
    FillAll(*s, s->w, -0.5f);
    SteamCloud steam;
    int most = 0;
    const float steps[] = {1.0f / 30, 0.1f, 0.0f, -1.0f, kNaN, 1e9f, kInfinity, 0.25f};
    for (int f = 0; f < 600; ++f) {
        steam.Update(*s, steps[f % 8]);
        ASSERT_LE(steam.count, SteamCloud::kMaxPuffs);
        for (int i = 0; i < steam.count; ++i) {
            const SteamPuff& p = steam.puffs[i];
            ASSERT_GE(p.z, SteamCloud::kSurface) << f;
            ASSERT_LT(p.z, SteamCloud::kRimHeight + SteamCloud::kAboveRim) << f;
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << f;
            const float opacity = SteamCloud::Opacity(p);
            ASSERT_GE(opacity, 0.0f);
            ASSERT_LE(opacity, 1.0f);
        }
        most = std::max(most, steam.count);
    }
    EXPECT_GT(most, 20);
    // Quads: never more than asked for, each wisp translucent (the sprite thins it further).
    std::vector<SteamVertex> quads(4 * SteamCloud::kMaxPuffs);
    const Matrix4 identity = Matrix4::Identity();
    const UINT written = steam.WriteQuads(identity, quads.data(), 10);
    EXPECT_LE(written, 10u);
    for (UINT v = 0; v < 4 * written; ++v) EXPECT_LT(quads[v].color >> 24, 0xE0u);
}

TEST(Steam, NoneOverCoolWaterDenserAndFasterTowardsTheBoil) {
    auto s = Solver();
    const int top = s->WaterLayers() - 1;
    auto run = [&](float surface) {
        FillLayer(*s, top, s->temperature, surface);
        SteamCloud steam;
        float rise = 0.0f;
        for (int f = 0; f < 90; ++f) steam.Update(*s, 1.0f / 30);
        for (int i = 0; i < steam.count; ++i) rise += steam.puffs[i].rise;
        return std::make_pair(steam.count, steam.count ? rise / steam.count : 0.0f);
    };
    EXPECT_EQ(run(0.0f).first, 0);
    EXPECT_EQ(run(59.0f).first, 0);
    const auto warm = run(75.0f), boiling = run(100.0f);
    EXPECT_GT(warm.first, 0);
    EXPECT_GT(boiling.first, 2 * warm.first);
    EXPECT_GT(boiling.second, warm.second);
    // Only the top water layer counts: hot water below a cold top makes no steam.
    FillAll(*s, s->temperature, 100.0f);
    FillLayer(*s, top, s->temperature, 20.0f);
    SteamCloud steam;
    for (int f = 0; f < 90; ++f) steam.Update(*s, 1.0f / 30);
    EXPECT_EQ(steam.count, 0);
}

TEST(Steam, DriftsWithTheSurfaceFlow) {
    auto meanX = [](float u) {
        auto s = Solver();
        FillAll(*s, s->temperature, 100.0f);
        FillLayer(*s, s->WaterLayers() - 1, s->u, u);
        SteamCloud steam;
        for (int f = 0; f < 60; ++f) steam.Update(*s, 1.0f / 30);
        float sum = 0.0f;
        for (int i = 0; i < steam.count; ++i) sum += steam.puffs[i].x;
        return sum / std::max(steam.count, 1);
    };
    EXPECT_GT(meanX(0.03f), meanX(0.0f) + 10.0f);
    EXPECT_LT(meanX(-0.03f), meanX(0.0f) - 10.0f);
}

// [SECTION] The floor's first bubbles

TEST(FloorBubbles, GrowOnlyWhereTheBottomIsHotAndSomeLetGo) {
    auto s = Solver();
    FloorBubbles floor;
    const Matrix4 identity = Matrix4::Identity();
    std::vector<BubbleVertex> quads(4 * FloorBubbles::kSites);
    // Cold water, and water hot only at the top: nothing clings to the floor.
    for (int f = 0; f < 60; ++f) floor.Update(*s, 1.0f / 30);
    EXPECT_EQ(floor.WriteQuads(identity, quads.data(), FloorBubbles::kSites), 0u);
    FillLayer(*s, s->WaterLayers() - 1, s->temperature, 100.0f);
    for (int f = 0; f < 60; ++f) floor.Update(*s, 1.0f / 30);
    EXPECT_EQ(floor.WriteQuads(identity, quads.data(), FloorBubbles::kSites), 0u);

    // The bottom layer hot in the half x > 0 only (cells 4 ... 7 of each row).
    for (int j = 0; j < 8; ++j)
        for (int i = 4; i < 8; ++i) s->temperature[i + 8 * j] = 80.0f;
    bool letGo = false;
    for (int f = 0; f < 240; ++f) {
        floor.Update(*s, 1.0f / 30);
        for (const FloorSite& site : floor.sites) {
            letGo = letGo || site.height > 0.0f;
            ASSERT_LE(site.height, FloorBubbles::kRiseTo);
            ASSERT_GE(site.size, 0.0f);
            ASSERT_LE(site.size, site.letGo + 0.1f);
            // Nothing where the floor is cold: west of the hot half's first cell centre.
            if (site.x < -10.0f) {
                ASSERT_EQ(site.size, 0.0f) << site.x;
            }
        }
    }
    EXPECT_TRUE(letGo);
    const UINT written = floor.WriteQuads(identity, quads.data(), FloorBubbles::kSites);
    EXPECT_GT(written, 20u);
    for (UINT v = 0; v < 4 * written; ++v) {
        EXPECT_GT(quads[v].z, 0.0f);
        EXPECT_LT(quads[v].z, FloorBubbles::kRiseTo + 3.0f);
    }
    EXPECT_EQ(floor.WriteQuads(identity, quads.data(), 3), 3u);

    // At the boil the simulation's bubbles take over: the floor's dissolve.
    {
        FloorBubbles boiling = floor;
        FillLayer(*s, 0, s->temperature, 99.0f);
        for (int f = 0; f < 300; ++f) boiling.Update(*s, 1.0f / 30);
        EXPECT_EQ(boiling.WriteQuads(identity, quads.data(), FloorBubbles::kSites), 0u);
    }
    // Cooled again, the clinging bubbles dissolve.
    FillAll(*s, s->temperature, 0.0f);
    for (int f = 0; f < 300; ++f) floor.Update(*s, 1.0f / 30);
    EXPECT_EQ(floor.WriteQuads(identity, quads.data(), FloorBubbles::kSites), 0u);
    // Bad steps move nothing.
    const FloorBubbles before = floor;
    for (float bad : {kNaN, -1.0f, 0.0f}) floor.Update(*s, bad);
    EXPECT_EQ(std::memcmp(&before, &floor, sizeof floor), 0);
}

// [SECTION] Shimmer and caustics

TEST(Shimmer, StillColdWaterIsLeftAsItWas) {
    auto s = Solver();
    SurfaceGrid surface;
    WaterShimmer shimmer;
    for (int f = 0; f < 30; ++f) shimmer.Update(*s, surface, 1.0f / 30);
    for (float h : shimmer.heights) ASSERT_EQ(h, 0.0f);
    for (uint8_t c : shimmer.caustics) ASSERT_EQ(c, 0);
}

TEST(Shimmer, WarmthAndStirringMoveTheSurfaceAndLightTheFloor) {
    auto activity = [](auto prepare) {
        auto s = Solver();
        prepare(*s);
        SurfaceGrid surface;
        WaterShimmer shimmer;
        for (int f = 0; f < 30; ++f) shimmer.Update(*s, surface, 1.0f / 30);
        float most = 0.0f;
        for (float h : shimmer.heights) most = std::max(most, std::fabs(h));
        int lit = 0;
        for (uint8_t c : shimmer.caustics) lit += c > 0;
        return std::make_pair(most, lit);
    };
    // Warm at the top (40 degrees, still), and cold but stirred: both move the surface and
    // throw light on the floor.
    const auto warm = activity([](FluidSolver& s) { FillLayer(s, s.WaterLayers() - 1, s.temperature, 40.0f); });
    const auto stirred = activity([](FluidSolver& s) {
        FillAll(s, s.u, 0.02f);
        FillAll(s, s.v, -0.01f);
    });
    EXPECT_GT(warm.first, 0.1f);
    EXPECT_GT(stirred.first, 0.1f);
    EXPECT_GT(warm.second, 50);
    EXPECT_GT(stirred.second, 50);
    // Gentle: the shimmer never tilts the surface like the bubbles do.
    const auto boiling = activity([](FluidSolver& s) {
        FillAll(s, s.temperature, 100.0f);
        FillAll(s, s.w, 1.0f);
    });
    EXPECT_LE(boiling.first, 1.0f);
    // Rising heat from a hot floor under a cold top bends the floor's light on its own.
    const auto plume = activity([](FluidSolver& s) { FillLayer(s, 0, s.temperature, 100.0f); });
    EXPECT_EQ(plume.first, 0.0f);
    EXPECT_GT(plume.second, 20);
}

TEST(Shimmer, RipplesFocusLightOnTheFloorAndBadFieldsStayDark) {
    auto s = Solver();
    SurfaceGrid surface;
    // One bump pushed into the surface: a lens over the middle of the floor.
    for (int e = 0; e < SurfaceGrid::kCells; ++e) {
        const int row = e / SurfaceGrid::kSide, column = e % SurfaceGrid::kSide;
        const float dx = column - 16.0f, dy = row - 16.0f;
        const float bump = 3.0f * std::exp(-(dx * dx + dy * dy) / 8.0f);
        surface.cell[e] = {bump, bump, 0.0f};
    }
    WaterShimmer shimmer;
    shimmer.Update(*s, surface, 1.0f / 30);
    int lit = 0;
    for (uint8_t c : shimmer.caustics) lit += c > 0;
    EXPECT_GT(lit, 10);
    // Texels are written as opaque warm factors for the floor, rows pitch bytes apart: the more
    // light, the brighter, from below mid grey (the shade between lines) to above it.
    std::vector<uint32_t> texels(WaterShimmer::kCausticSide * (WaterShimmer::kCausticSide + 2), 0xDEADBEEFu);
    shimmer.WriteCaustics(reinterpret_cast<uint8_t*>(texels.data()), (WaterShimmer::kCausticSide + 2) * 4);
    int redOf[256];
    std::fill(std::begin(redOf), std::end(redOf), -1);
    for (int j = 0; j < WaterShimmer::kCausticSide; ++j) {
        const uint32_t* row = &texels[j * (WaterShimmer::kCausticSide + 2)];
        EXPECT_EQ(row[WaterShimmer::kCausticSide], 0xDEADBEEFu);   // the pitch's padding is left alone
        for (int i = 0; i < WaterShimmer::kCausticSide; ++i) {
            const uint32_t c = row[i];
            ASSERT_EQ(c >> 24, 0xFFu);
            ASSERT_GE((c >> 16) & 0xFF, c & 0xFF);
            const int light = shimmer.caustics[j * WaterShimmer::kCausticSide + i];
            ASSERT_TRUE(redOf[light] < 0 || redOf[light] == static_cast<int>((c >> 16) & 0xFF));
            redOf[light] = static_cast<int>((c >> 16) & 0xFF);
        }
    }
    ASSERT_GE(redOf[0], 0);
    EXPECT_LT(redOf[0], 128);
    int last = -1, brightest = 0;
    for (int light = 0; light < 256; ++light) {
        if (redOf[light] < 0) continue;
        EXPECT_GE(redOf[light], last) << light;
        last = redOf[light];
        brightest = light;
    }
    if (brightest > 128) {
        EXPECT_GT(redOf[brightest], 128);
    }
    // NaN and infinite fields: everything stays finite and in range.
    FillAll(*s, s->temperature, kNaN);
    FillAll(*s, s->u, kInfinity);
    surface.cell[5] = {kNaN, kInfinity, 0.0f};
    for (float step : {kNaN, -1.0f, 1e30f}) shimmer.Update(*s, surface, step);
    for (float h : shimmer.heights) ASSERT_TRUE(std::isfinite(h));
    EXPECT_TRUE(std::isfinite(shimmer.clock));
}

TEST(Shimmer, WaterVerticesTakeTheShimmerAndCallRandAsOften) {
    SurfaceGrid grid;
    float heights[SurfaceGrid::kCells] = {};
    const Vector3 rest[2] = {{-85.0f, -85.0f, 70.0f}, {0.0f, 0.0f, 70.0f}};
    const int e = SurfaceGrid::CellOf(rest[0].x, rest[0].y);
    heights[e] = 0.5f;
    heights[e + 1] = -0.25f;   // next column
    WaterVertex plain[2], shimmered[2];
    const auto randPlain = RandAfter([&] { WriteWaterVertices(grid, rest, plain, 2); });
    const auto randShimmer = RandAfter([&] { WriteWaterVertices(grid, rest, shimmered, 2, heights); });
    EXPECT_EQ(randPlain, randShimmer);
    EXPECT_FLOAT_EQ(shimmered[0].z, 70.5f);
    EXPECT_NEAR(shimmered[0].nx - plain[0].nx, std::atan(0.75f), 1e-5f);   // 0.5 - (-0.25)
    EXPECT_NEAR(shimmered[0].ny - plain[0].ny, std::atan(0.5f), 1e-5f);    // next row is 0
    EXPECT_FLOAT_EQ(shimmered[1].z, 70.0f);
    EXPECT_EQ(shimmered[1].nx, plain[1].nx);
}

// [SECTION] Drawing only

TEST(HeatVisuals, NeverChangeTheSimulationOrItsRandomNumbers) {
    auto s = Solver();
    for (int p = 0; p < s->nCubed; ++p) {
        s->temperature[p] = static_cast<float>(p % 101);
        s->u[p] = 0.01f * static_cast<float>(p % 7) - 0.03f;
        s->w[p] = 0.02f;
    }
    SurfaceGrid surface;
    surface.cell[100] = {1.0f, -2.0f, 0.5f};
    const SurfaceGrid surfaceBefore = surface;
    const std::vector<float> before = Snapshot(*s);
    const auto untouched = RandAfter([] {});
    const auto afterVisuals = RandAfter([&] {
        SteamCloud steam;
        FloorBubbles floor;
        WaterShimmer shimmer;
        for (int f = 0; f < 50; ++f) {
            steam.Update(*s, 1.0f / 30);
            floor.Update(*s, 1.0f / 30);
            shimmer.Update(*s, surface, 1.0f / 30);
        }
    });
    EXPECT_EQ(untouched, afterVisuals);
    EXPECT_EQ(Snapshot(*s), before);
    EXPECT_EQ(std::memcmp(&surface, &surfaceBefore, sizeof surface), 0);
}

// The disc the floor's light is drawn on stays inside the pot: over the floor, under the wall's
// start, its map coordinates those of the light map, full light in the middle, none at its edge.
TEST(Shimmer, FloorLightDiscLiesOnThePotsFloor) {
    std::vector<FloorLightVertex> disc(WaterShimmer::kFloorLightVertices);
    WaterShimmer::WriteFloorLight(disc.data());
    float outermost = 0.0f;
    for (const FloorLightVertex& v : disc) {
        const float r = std::hypot(v.x, v.y);
        outermost = std::max(outermost, r);
        EXPECT_LE(r, 85.0f);                 // the inside wall
        EXPECT_GE(v.z, 0.0f);                // never under the floor
        EXPECT_LE(v.z, 6.0f);                // nor higher than the rounded corner
        EXPECT_NEAR(v.u, v.x / 170.0f + 0.5f, 1e-6f);
        EXPECT_NEAR(v.v, v.y / 170.0f + 0.5f, 1e-6f);
        EXPECT_EQ(v.color & 0xFFFFFFu, 0x808080u);
        if (r < 79.5f) {
            EXPECT_EQ(v.color >> 24, 0xFFu);
        }
        if (r > 84.0f) {
            EXPECT_EQ(v.color >> 24, 0u);
        }
    }
    EXPECT_GT(outermost, 84.0f);
}
