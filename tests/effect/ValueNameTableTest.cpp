// The value names an effect may write for a state, row by row against the platform's own
// constants: every render and texture-stage state whose names the effect tables spell as numbers
// must give each name the value the device reads for it, and must offer every name of the set.
#include "effect/EffectStates.h"
#include "platform/d3d/d3d8types.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using Names = std::map<std::string, DWORD>;

#define N(prefix, name) {#name, prefix##name}
// The named sets whose values the effect tables write as plain numbers.
const std::map<std::string, Names> kPlatformSets = {
    {"ZB", {N(D3DZB_, TRUE), N(D3DZB_, FALSE), N(D3DZB_, USEW)}},
    {"FILL", {N(D3DFILL_, POINT), N(D3DFILL_, WIREFRAME), N(D3DFILL_, SOLID)}},
    {"SHADE", {N(D3DSHADE_, FLAT), N(D3DSHADE_, GOURAUD), N(D3DSHADE_, PHONG)}},
    {"BOOL", {{"FALSE", FALSE}, {"TRUE", TRUE}}},
    {"BLEND",
     {N(D3DBLEND_, ZERO), N(D3DBLEND_, ONE), N(D3DBLEND_, SRCCOLOR), N(D3DBLEND_, INVSRCCOLOR),
      N(D3DBLEND_, SRCALPHA), N(D3DBLEND_, INVSRCALPHA), N(D3DBLEND_, DESTALPHA), N(D3DBLEND_, INVDESTALPHA),
      N(D3DBLEND_, DESTCOLOR), N(D3DBLEND_, INVDESTCOLOR), N(D3DBLEND_, SRCALPHASAT), N(D3DBLEND_, BOTHSRCALPHA),
      N(D3DBLEND_, BOTHINVSRCALPHA)}},
    {"CULL", {N(D3DCULL_, NONE), N(D3DCULL_, CW), N(D3DCULL_, CCW)}},
    {"CMP",
     {N(D3DCMP_, NEVER), N(D3DCMP_, LESS), N(D3DCMP_, EQUAL), N(D3DCMP_, LESSEQUAL), N(D3DCMP_, GREATER),
      N(D3DCMP_, NOTEQUAL), N(D3DCMP_, GREATEREQUAL), N(D3DCMP_, ALWAYS)}},
    {"FOG", {N(D3DFOG_, NONE), N(D3DFOG_, EXP), N(D3DFOG_, EXP2), N(D3DFOG_, LINEAR)}},
    {"STENCILOP",
     {N(D3DSTENCILOP_, KEEP), N(D3DSTENCILOP_, ZERO), N(D3DSTENCILOP_, REPLACE), N(D3DSTENCILOP_, INCRSAT),
      N(D3DSTENCILOP_, DECRSAT), N(D3DSTENCILOP_, INVERT), N(D3DSTENCILOP_, INCR), N(D3DSTENCILOP_, DECR)}},
    {"CLIPPLANE",
     {N(D3D, CLIPPLANE0), N(D3D, CLIPPLANE1), N(D3D, CLIPPLANE2), N(D3D, CLIPPLANE3), N(D3D, CLIPPLANE4),
      N(D3D, CLIPPLANE5)}},
    {"BLENDOP",
     {N(D3DBLENDOP_, ADD), N(D3DBLENDOP_, SUBTRACT), N(D3DBLENDOP_, REVSUBTRACT), N(D3DBLENDOP_, MIN),
      N(D3DBLENDOP_, MAX)}},
    {"TADDRESS",
     {N(D3DTADDRESS_, WRAP), N(D3DTADDRESS_, MIRROR), N(D3DTADDRESS_, CLAMP), N(D3DTADDRESS_, BORDER),
      N(D3DTADDRESS_, MIRRORONCE)}},
};
#undef N

struct StateRow {
    const char* name;
    DWORD code;
    const char* set;
};

#define RENDER_ROW(name, number, def, type, names) {#name, 0x01000000u | number, #names},
#define STAGE_ROW(name, number, def, type, names) {#name, 0x02000000u | number, #names},
const StateRow kRows[] = {SG_RENDER_STATES(RENDER_ROW) SG_TEXTURE_STAGE_STATES(STAGE_ROW)};
#undef RENDER_ROW
#undef STAGE_ROW

TEST(ValueNames, EveryStateGivesEachNameThePlatformsValue) {
    int compared = 0;
    for (const StateRow& row : kRows) {
        auto set = kPlatformSets.find(row.set);
        if (set == kPlatformSets.end()) continue;
        const EffectStateInfo* info = FindStateByCode(row.code);
        if (!info) continue;  // states an effect cannot assign
        ASSERT_NE(info->values, nullptr) << row.name;
        Names offered;
        for (size_t i = 0; i < info->valueCount; ++i) offered[info->values[i].name] = info->values[i].value;
        EXPECT_EQ(offered, set->second) << row.name << " (" << row.set << ")";
        ++compared;
    }
    // Every set above belongs to at least one state an effect can assign.
    EXPECT_GE(compared, static_cast<int>(kPlatformSets.size()));

    // The light type is a state of each light, not a device state row.
    const EffectStateInfo* light = FindStateByName("LIGHTTYPE");
    ASSERT_NE(light, nullptr);
    Names offered;
    for (size_t i = 0; i < light->valueCount; ++i) offered[light->values[i].name] = light->values[i].value;
    EXPECT_EQ(offered, (Names{{"POINT", D3DLIGHT_POINT}, {"SPOT", D3DLIGHT_SPOT}, {"DIRECTIONAL", D3DLIGHT_DIRECTIONAL}}));
}

}  // namespace
