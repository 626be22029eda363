// The state table and value-name tables as data; every lookup and check reads these tables.
//
// Index: [SECTION] Types  [SECTION] Value names  [SECTION] State table  [SECTION] Lookups
#include "effect/EffectStates.h"

#include "effect/CompilerSupport.h"
#include "platform/d3d/d3d8types.h"

#include <iterator>

// [SECTION] Types

namespace {

const char* const kTypeNames[EFFECT_TYPE_COUNT] = {
    "DWORD", "FLOAT", "VECTOR", "MATRIX", "TEXTURE", "VERTEXSHADER", "PIXELSHADER", "CONSTANT", "STRING",
};

// Rows: target type; columns: source kind (same order as the type codes).
const bool kAssignable[EFFECT_TYPE_COUNT][EFFECT_TYPE_COUNT] = {
    /* DWORD        */ {1, 1, 1, 0, 0, 0, 0, 0, 0},
    /* FLOAT        */ {1, 1, 0, 0, 0, 0, 0, 0, 0},
    /* VECTOR       */ {1, 1, 1, 0, 0, 0, 0, 0, 0},
    /* MATRIX       */ {0, 0, 0, 1, 0, 0, 0, 0, 0},
    /* TEXTURE      */ {1, 0, 0, 0, 1, 0, 0, 0, 0},
    /* VERTEXSHADER */ {1, 0, 0, 0, 0, 1, 0, 0, 0},
    /* PIXELSHADER  */ {1, 0, 0, 0, 0, 0, 1, 0, 0},
    /* CONSTANT     */ {1, 1, 1, 1, 0, 0, 0, 0, 0},
    /* STRING       */ {0, 0, 0, 0, 0, 0, 0, 0, 1},
};

// [SECTION] Value names (searched in order, first match wins)

#define VN(name, value) {name, value}
const EffectValueName kNamesZB[] = {VN("TRUE", 1), VN("FALSE", 0), VN("USEW", 2)};
const EffectValueName kNamesFILL[] = {VN("POINT", 1), VN("WIREFRAME", 2), VN("SOLID", 3)};
const EffectValueName kNamesSHADE[] = {VN("FLAT", 1), VN("GOURAUD", 2), VN("PHONG", 3)};
const EffectValueName kNamesBOOL[] = {VN("FALSE", 0), VN("TRUE", 1)};
const EffectValueName kNamesBLEND[] = {
    VN("ZERO", 1), VN("ONE", 2), VN("SRCCOLOR", 3), VN("INVSRCCOLOR", 4), VN("SRCALPHA", 5),
    VN("INVSRCALPHA", 6), VN("DESTALPHA", 7), VN("INVDESTALPHA", 8), VN("DESTCOLOR", 9),
    VN("INVDESTCOLOR", 10), VN("SRCALPHASAT", 11), VN("BOTHSRCALPHA", 12), VN("BOTHINVSRCALPHA", 13)};
const EffectValueName kNamesCULL[] = {VN("NONE", 1), VN("CW", 2), VN("CCW", 3)};
const EffectValueName kNamesCMP[] = {VN("NEVER", 1),   VN("LESS", 2),     VN("EQUAL", 3),
                                   VN("LESSEQUAL", 4), VN("GREATER", 5), VN("NOTEQUAL", 6),
                                   VN("GREATEREQUAL", 7), VN("ALWAYS", 8)};
const EffectValueName kNamesFOG[] = {VN("NONE", 0), VN("EXP", 1), VN("EXP2", 2), VN("LINEAR", 3)};
const EffectValueName kNamesSTENCILOP[] = {VN("KEEP", 1),    VN("ZERO", 2),   VN("REPLACE", 3), VN("INCRSAT", 4),
                                   VN("DECRSAT", 5), VN("INVERT", 6), VN("INCR", 7),    VN("DECR", 8)};
const EffectValueName kNamesWRAP[] = {VN("U", D3DWRAP_U),           VN("V", D3DWRAP_V),
                                   VN("W", D3DWRAP_W),           VN("COORD0", D3DWRAPCOORD_0),
                                   VN("COORD1", D3DWRAPCOORD_1), VN("COORD2", D3DWRAPCOORD_2),
                                   VN("COORD3", D3DWRAPCOORD_3)};
const EffectValueName kNamesMCS[] = {VN("MATERIAL", D3DMCS_MATERIAL), VN("COLOR1", D3DMCS_COLOR1),
                                   VN("COLOR2", D3DMCS_COLOR2)};
const EffectValueName kNamesVBF[] = {VN("DISABLE", D3DVBF_DISABLE), VN("0WEIGHTS", D3DVBF_0WEIGHTS),
                                   VN("1WEIGHTS", D3DVBF_1WEIGHTS), VN("2WEIGHTS", D3DVBF_2WEIGHTS),
                                   VN("3WEIGHTS", D3DVBF_3WEIGHTS)};
const EffectValueName kNamesCLIPPLANE[] = {VN("CLIPPLANE0", 1), VN("CLIPPLANE1", 2), VN("CLIPPLANE2", 4),
                                   VN("CLIPPLANE3", 8), VN("CLIPPLANE4", 16), VN("CLIPPLANE5", 32)};
const EffectValueName kNamesCOLORWRITE[] = {
    VN("RED", D3DCOLORWRITEENABLE_RED), VN("GREEN", D3DCOLORWRITEENABLE_GREEN),
    VN("BLUE", D3DCOLORWRITEENABLE_BLUE), VN("ALPHA", D3DCOLORWRITEENABLE_ALPHA)};
const EffectValueName kNamesBLENDOP[] = {VN("ADD", 1), VN("SUBTRACT", 2), VN("REVSUBTRACT", 3), VN("MIN", 4),
                                   VN("MAX", 5)};
const EffectValueName kNamesTOP[] = {
    VN("DISABLE", D3DTOP_DISABLE),
    VN("SELECTARG1", D3DTOP_SELECTARG1),
    VN("SELECTARG2", D3DTOP_SELECTARG2),
    VN("MODULATE", D3DTOP_MODULATE),
    VN("MODULATE2X", D3DTOP_MODULATE2X),
    VN("MODULATE4X", D3DTOP_MODULATE4X),
    VN("ADD", D3DTOP_ADD),
    VN("ADDSIGNED", D3DTOP_ADDSIGNED),
    VN("ADDSIGNED2X", D3DTOP_ADDSIGNED2X),
    VN("SUBTRACT", D3DTOP_SUBTRACT),
    VN("ADDSMOOTH", D3DTOP_ADDSMOOTH),
    VN("BLENDDIFFUSEALPHA", D3DTOP_BLENDDIFFUSEALPHA),
    VN("BLENDTEXTUREALPHA", D3DTOP_BLENDTEXTUREALPHA),
    VN("BLENDFACTORALPHA", D3DTOP_BLENDFACTORALPHA),
    VN("BLENDTEXTUREALPHAPM", D3DTOP_BLENDTEXTUREALPHAPM),
    VN("BLENDCURRENTALPHA", D3DTOP_BLENDCURRENTALPHA),
    VN("PREMODULATE", D3DTOP_PREMODULATE),
    VN("MODULATEALPHA_ADDCOLOR", D3DTOP_MODULATEALPHA_ADDCOLOR),
    VN("MODULATECOLOR_ADDALPHA", D3DTOP_MODULATECOLOR_ADDALPHA),
    VN("MODULATEINVALPHA_ADDCOLOR", D3DTOP_MODULATEINVALPHA_ADDCOLOR),
    VN("MODULATEINVCOLOR_ADDALPHA", D3DTOP_MODULATEINVCOLOR_ADDALPHA),
    VN("BUMPENVMAP", D3DTOP_BUMPENVMAP),
    VN("BUMPENVMAPLUMINANCE", D3DTOP_BUMPENVMAPLUMINANCE),
    VN("DOTPRODUCT3", D3DTOP_DOTPRODUCT3),
    VN("MULTIPLYADD", D3DTOP_MULTIPLYADD),
    VN("LERP", D3DTOP_LERP)};
const EffectValueName kNamesTA[] = {VN("SELECTMASK", D3DTA_SELECTMASK), VN("DIFFUSE", D3DTA_DIFFUSE),
                                   VN("CURRENT", D3DTA_CURRENT),       VN("TEXTURE", D3DTA_TEXTURE),
                                   VN("TFACTOR", D3DTA_TFACTOR),       VN("SPECULAR", D3DTA_SPECULAR),
                                   VN("TEMP", D3DTA_TEMP),             VN("COMPLEMENT", D3DTA_COMPLEMENT),
                                   VN("ALPHAREPLICATE", D3DTA_ALPHAREPLICATE)};
const EffectValueName kNamesTCI[] = {VN("PASSTHRU", D3DTSS_TCI_PASSTHRU),
                                   VN("CAMERASPACENORMAL", D3DTSS_TCI_CAMERASPACENORMAL),
                                   VN("CAMERASPACEPOSITION", D3DTSS_TCI_CAMERASPACEPOSITION),
                                   VN("CAMERASPACEREFLECTIONVECTOR", D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR)};
const EffectValueName kNamesTADDRESS[] = {VN("WRAP", 1), VN("MIRROR", 2), VN("CLAMP", 3), VN("BORDER", 4),
                                   VN("MIRRORONCE", 5)};
const EffectValueName kNamesTEXF[] = {VN("NONE", D3DTEXF_NONE),           VN("POINT", D3DTEXF_POINT),
                                   VN("LINEAR", D3DTEXF_LINEAR),       VN("ANISOTROPIC", D3DTEXF_ANISOTROPIC),
                                   VN("FLATCUBIC", D3DTEXF_FLATCUBIC), VN("GAUSSIANCUBIC", D3DTEXF_GAUSSIANCUBIC)};
const EffectValueName kNamesTTFF[] = {VN("FALSE", 0),
                                   VN("DISABLE", D3DTTFF_DISABLE),
                                   VN("COUNT1", D3DTTFF_COUNT1),
                                   VN("COUNT2", D3DTTFF_COUNT2),
                                   VN("COUNT3", D3DTTFF_COUNT3),
                                   VN("COUNT4", D3DTTFF_COUNT4),
                                   VN("PROJECTED", D3DTTFF_PROJECTED)};
const EffectValueName kNamesLIGHTTYPE[] = {VN("POINT", 1), VN("SPOT", 2), VN("DIRECTIONAL", 3)};
#define TEXSIZE(k, fn)                                                                        \
    VN("TEXCOORDSIZE" #k "_0", fn(0)), VN("TEXCOORDSIZE" #k "_1", fn(1)),                     \
        VN("TEXCOORDSIZE" #k "_2", fn(2)), VN("TEXCOORDSIZE" #k "_3", fn(3)),                 \
        VN("TEXCOORDSIZE" #k "_4", fn(4)), VN("TEXCOORDSIZE" #k "_5", fn(5)),                 \
        VN("TEXCOORDSIZE" #k "_6", fn(6)), VN("TEXCOORDSIZE" #k "_7", fn(7))
const EffectValueName kNamesFVF[] = {
    VN("XYZ", D3DFVF_XYZ),       VN("XYZRHW", D3DFVF_XYZRHW),     VN("XYZB1", D3DFVF_XYZB1),
    VN("XYZB2", D3DFVF_XYZB2),   VN("XYZB3", D3DFVF_XYZB3),       VN("XYZB4", D3DFVF_XYZB4),
    VN("XYZB5", D3DFVF_XYZB5),   VN("LASTBETA_UBYTE4", D3DFVF_LASTBETA_UBYTE4),
    VN("NORMAL", D3DFVF_NORMAL), VN("PSIZE", D3DFVF_PSIZE),       VN("DIFFUSE", D3DFVF_DIFFUSE),
    VN("SPECULAR", D3DFVF_SPECULAR), VN("TEX0", D3DFVF_TEX0),     VN("TEX1", D3DFVF_TEX1),
    VN("TEX2", D3DFVF_TEX2),     VN("TEX3", D3DFVF_TEX3),         VN("TEX4", D3DFVF_TEX4),
    VN("TEX5", D3DFVF_TEX5),     VN("TEX6", D3DFVF_TEX6),         VN("TEX7", D3DFVF_TEX7),
    VN("TEX8", D3DFVF_TEX8),     TEXSIZE(1, D3DFVF_TEXCOORDSIZE1), TEXSIZE(2, D3DFVF_TEXCOORDSIZE2),
    TEXSIZE(3, D3DFVF_TEXCOORDSIZE3), TEXSIZE(4, D3DFVF_TEXCOORDSIZE4)};
#undef TEXSIZE
const EffectValueName kNamesNULL[] = {VN("NULL", 0)};
#undef VN

// [SECTION] State table

#define T(set) kNames##set, std::size(kNames##set)
#define NONE nullptr, 0
// Render-state and texture-stage-state rows come from the device's lists; states an effect
// cannot assign (NOFX) get none.
constexpr std::nullptr_t kNamesNONE = nullptr;  // value names NONE: numbers only
template <size_t N>
constexpr size_t NameCount(const EffectValueName (&)[N]) { return N; }
constexpr size_t NameCount(std::nullptr_t) { return 0; }
#define RS(name, number, def, type, names) RS_##type(name, kNames##names)
#define RS_DWORD(name, names) {#name, EFFECT_DWORD, 1, 0x01000000u | D3DRS_##name, names, NameCount(names)},
#define RS_FLOAT(name, names) {#name, EFFECT_FLOAT, 1, 0x01000000u | D3DRS_##name, names, NameCount(names)},
#define RS_NOFX(name, names)
#define TSS(name, number, def, type, names) TSS_ROW(name, EFFECT_##type, kNames##names)
#define TSS_ROW(name, type, names) {#name, type, 8, 0x02000000u | D3DTSS_##name, names, NameCount(names)},
#define LIGHT(name, type, member, names) {#name, type, kAnyIndex, 0x03000000u | member, names}
const EffectStateInfo kStates[] = {
    SG_RENDER_STATES(RS)

    SG_TEXTURE_STAGE_STATES(TSS)

    LIGHT(LIGHTTYPE, EFFECT_DWORD, 0, T(LIGHTTYPE)),
    LIGHT(LIGHTDIFFUSE, EFFECT_VECTOR, 1, NONE),
    LIGHT(LIGHTSPECULAR, EFFECT_VECTOR, 2, NONE),
    LIGHT(LIGHTAMBIENT, EFFECT_VECTOR, 3, NONE),
    LIGHT(LIGHTPOSITION, EFFECT_VECTOR, 4, NONE),
    LIGHT(LIGHTDIRECTION, EFFECT_VECTOR, 5, NONE),
    LIGHT(LIGHTRANGE, EFFECT_FLOAT, 6, NONE),
    LIGHT(LIGHTFALLOFF, EFFECT_FLOAT, 7, NONE),
    LIGHT(LIGHTATTENUATION0, EFFECT_FLOAT, 8, NONE),
    LIGHT(LIGHTATTENUATION1, EFFECT_FLOAT, 9, NONE),
    LIGHT(LIGHTATTENUATION2, EFFECT_FLOAT, 10, NONE),
    LIGHT(LIGHTTHETA, EFFECT_FLOAT, 11, NONE),
    LIGHT(LIGHTPHI, EFFECT_FLOAT, 12, NONE),
    LIGHT(LIGHTENABLE, EFFECT_DWORD, 13, T(BOOL)),

    {"MATERIALDIFFUSE", EFFECT_VECTOR, 1, 0x04000000, NONE},
    {"MATERIALAMBIENT", EFFECT_VECTOR, 1, 0x04000001, NONE},
    {"MATERIALSPECULAR", EFFECT_VECTOR, 1, 0x04000002, NONE},
    {"MATERIALEMISSIVE", EFFECT_VECTOR, 1, 0x04000003, NONE},
    {"MATERIALPOWER", EFFECT_FLOAT, 1, 0x04000004, NONE},

    {"TEXTURE", EFFECT_TEXTURE, 8, 0x05000000, T(NULL)},

    {"VERTEXSHADER", EFFECT_VERTEXSHADER, 1, 0x06000000, T(FVF)},
    {"PIXELSHADER", EFFECT_PIXELSHADER, 1, 0x06000001, T(NULL)},
    {"VERTEXSHADERCONSTANT", EFFECT_CONSTANT, kAnyIndex, 0x06000002, NONE},
    {"VERTEXSHADERCONSTANT1", EFFECT_CONSTANT, kAnyIndex, 0x06000102, NONE},
    {"VERTEXSHADERCONSTANT2", EFFECT_CONSTANT, kAnyIndex, 0x06000202, NONE},
    {"VERTEXSHADERCONSTANT3", EFFECT_CONSTANT, kAnyIndex, 0x06000302, NONE},
    {"VERTEXSHADERCONSTANT4", EFFECT_CONSTANT, kAnyIndex, 0x06000402, NONE},
    {"PIXELSHADERCONSTANT", EFFECT_CONSTANT, kAnyIndex, 0x06000003, NONE},
    {"PIXELSHADERCONSTANT1", EFFECT_CONSTANT, kAnyIndex, 0x06000103, NONE},
    {"PIXELSHADERCONSTANT2", EFFECT_CONSTANT, kAnyIndex, 0x06000203, NONE},
    {"PIXELSHADERCONSTANT3", EFFECT_CONSTANT, kAnyIndex, 0x06000303, NONE},
    {"PIXELSHADERCONSTANT4", EFFECT_CONSTANT, kAnyIndex, 0x06000403, NONE},

    {"PROJECTIONTRANSFORM", EFFECT_MATRIX, 1, 0x07000000, NONE},
    {"VIEWTRANSFORM", EFFECT_MATRIX, 1, 0x07000001, NONE},
    {"WORLDTRANSFORM", EFFECT_MATRIX, 256, 0x07000002, NONE},
    {"TEXTURETRANSFORM", EFFECT_MATRIX, 8, 0x07000003, NONE},
};
#undef T
#undef NONE
#undef RS
#undef RS_DWORD
#undef RS_FLOAT
#undef RS_NOFX
#undef TSS
#undef TSS_ROW
#undef LIGHT

}  // namespace

// [SECTION] Lookups

const char* EffectTypeName(DWORD type) { return type < EFFECT_TYPE_COUNT ? kTypeNames[type] : "?"; }

bool LookupParameterType(std::string_view word, EffectType* type) {
    for (DWORD t = 0; t < EFFECT_TYPE_COUNT; ++t) {
        if (t == EFFECT_CONSTANT) continue;
        if (fxc::EqualsNoCase(word, kTypeNames[t])) {
            *type = static_cast<EffectType>(t);
            return true;
        }
    }
    return false;
}

bool IsAssignable(DWORD target, DWORD source) {
    return target < EFFECT_TYPE_COUNT && source < EFFECT_TYPE_COUNT && kAssignable[target][source];
}

const EffectStateInfo* StateTable(size_t* count) {
    *count = std::size(kStates);
    return kStates;
}

const EffectStateInfo* FindStateByName(std::string_view name) {
    if (name.empty()) return nullptr;
    const unsigned char first = static_cast<unsigned char>(name[0]) | 0x20;
    for (const EffectStateInfo& s : kStates) {
        // Every state name starts with a letter: a cheap first-letter test skips most entries.
        if ((static_cast<unsigned char>(s.name[0]) | 0x20) != first) continue;
        if (fxc::EqualsNoCase(name, s.name)) return &s;
    }
    return nullptr;
}

const EffectStateInfo* FindStateByCode(DWORD code) {
    for (const EffectStateInfo& s : kStates)
        if (s.code == code) return &s;
    return nullptr;
}

const EffectValueName* FindValueName(const EffectStateInfo& state, std::string_view name) {
    for (size_t i = 0; i < state.valueCount; ++i)
        if (fxc::EqualsNoCase(name, state.values[i].name)) return &state.values[i];
    return nullptr;
}

const EffectValueName* FindVertexFormatName(std::string_view name) {
    for (const EffectValueName& v : kNamesFVF)
        if (fxc::EqualsNoCase(name, v.name)) return &v;
    return nullptr;
}

namespace {
DWORD ColorByte(float c) {
    if (c >= 1.0f) return 255;
    if (c <= 0.0f) return 0;
    return static_cast<DWORD>(c * 255.0f + 0.5f);
}
}  // namespace

DWORD ColorFromVector(const float v[4]) {
    // NaN fails both comparisons above; treat it as 0 rather than convert it.
    auto byte = [](float c) { return c == c ? ColorByte(c) : 0u; };
    return byte(v[3]) << 24 | byte(v[0]) << 16 | byte(v[1]) << 8 | byte(v[2]);
}

void VectorFromColor(DWORD color, float v[4]) {
    const float scale = 1.0f / 255.0f;
    v[0] = float((color >> 16) & 0xFF) * scale;
    v[1] = float((color >> 8) & 0xFF) * scale;
    v[2] = float(color & 0xFF) * scale;
    v[3] = float(color >> 24) * scale;
}
