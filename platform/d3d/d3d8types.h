// Direct3D 8 types and constants: enums, records and flag values with the platform's names and numbers.
// Enums have a DWORD underlying type so that any 32-bit value a caller passes is representable.
#pragma once

#include "platform/win/WinTypes.h"

// [SECTION] Basic records

typedef DWORD D3DCOLOR;

constexpr D3DCOLOR D3DCOLOR_ARGB(DWORD a, DWORD r, DWORD g, DWORD b) {
    return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
constexpr D3DCOLOR D3DCOLOR_RGBA(DWORD r, DWORD g, DWORD b, DWORD a) { return D3DCOLOR_ARGB(a, r, g, b); }
constexpr D3DCOLOR D3DCOLOR_XRGB(DWORD r, DWORD g, DWORD b) { return D3DCOLOR_ARGB(0xFF, r, g, b); }
constexpr D3DCOLOR D3DCOLOR_COLORVALUE(float r, float g, float b, float a) {
    return D3DCOLOR_RGBA(static_cast<DWORD>(r * 255.0f), static_cast<DWORD>(g * 255.0f),
                         static_cast<DWORD>(b * 255.0f), static_cast<DWORD>(a * 255.0f));
}

struct D3DVECTOR {
    float x, y, z;
};

struct D3DCOLORVALUE {
    float r, g, b, a;
};

struct D3DRECT {
    LONG x1, y1, x2, y2;
};

// Row-major 4x4 matrix used with row vectors (v' = v * M): _41.._43 hold the translation.
struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

struct D3DVIEWPORT8 {
    DWORD X, Y;          // top-left corner in render-target pixels
    DWORD Width, Height;
    float MinZ, MaxZ;    // depth range, 0..1
};

struct D3DMATERIAL8 {
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Ambient;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Emissive;
    float Power;  // specular exponent
};

enum D3DLIGHTTYPE : DWORD {
    D3DLIGHT_POINT = 1,
    D3DLIGHT_SPOT = 2,
    D3DLIGHT_DIRECTIONAL = 3,
    D3DLIGHT_FORCE_DWORD = 0x7fffffff
};

struct D3DLIGHT8 {
    D3DLIGHTTYPE Type;
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Ambient;
    D3DVECTOR Position;   // world space; point and spot lights
    D3DVECTOR Direction;  // world space; spot and directional lights
    float Range;          // beyond this distance a point or spot light contributes nothing
    float Falloff;        // spot: exponent between the inner and outer cone
    float Attenuation0;   // 1 / (a0 + a1 d + a2 d^2)
    float Attenuation1;
    float Attenuation2;
    float Theta;          // spot: inner cone angle, radians
    float Phi;            // spot: outer cone angle, radians
};

constexpr int D3DMAXUSERCLIPPLANES = 32;
constexpr DWORD D3DCLIPPLANE0 = 1u << 0;
constexpr DWORD D3DCLIPPLANE1 = 1u << 1;
constexpr DWORD D3DCLIPPLANE2 = 1u << 2;
constexpr DWORD D3DCLIPPLANE3 = 1u << 3;
constexpr DWORD D3DCLIPPLANE4 = 1u << 4;
constexpr DWORD D3DCLIPPLANE5 = 1u << 5;

// [SECTION] Render-state value enums

enum D3DSHADEMODE : DWORD {
    D3DSHADE_FLAT = 1,
    D3DSHADE_GOURAUD = 2,
    D3DSHADE_PHONG = 3,
    D3DSHADE_FORCE_DWORD = 0x7fffffff
};

enum D3DFILLMODE : DWORD {
    D3DFILL_POINT = 1,
    D3DFILL_WIREFRAME = 2,
    D3DFILL_SOLID = 3,
    D3DFILL_FORCE_DWORD = 0x7fffffff
};

struct D3DLINEPATTERN {
    WORD wRepeatFactor;
    WORD wLinePattern;
};

enum D3DBLEND : DWORD {
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
    D3DBLEND_DESTALPHA = 7,
    D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
    D3DBLEND_SRCALPHASAT = 11,
    D3DBLEND_BOTHSRCALPHA = 12,
    D3DBLEND_BOTHINVSRCALPHA = 13,
    D3DBLEND_FORCE_DWORD = 0x7fffffff
};

enum D3DBLENDOP : DWORD {
    D3DBLENDOP_ADD = 1,
    D3DBLENDOP_SUBTRACT = 2,
    D3DBLENDOP_REVSUBTRACT = 3,
    D3DBLENDOP_MIN = 4,
    D3DBLENDOP_MAX = 5,
    D3DBLENDOP_FORCE_DWORD = 0x7fffffff
};

enum D3DTEXTUREADDRESS : DWORD {
    D3DTADDRESS_WRAP = 1,
    D3DTADDRESS_MIRROR = 2,
    D3DTADDRESS_CLAMP = 3,
    D3DTADDRESS_BORDER = 4,
    D3DTADDRESS_MIRRORONCE = 5,
    D3DTADDRESS_FORCE_DWORD = 0x7fffffff
};

enum D3DCULL : DWORD {
    D3DCULL_NONE = 1,
    D3DCULL_CW = 2,
    D3DCULL_CCW = 3,
    D3DCULL_FORCE_DWORD = 0x7fffffff
};

enum D3DCMPFUNC : DWORD {
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
    D3DCMP_FORCE_DWORD = 0x7fffffff
};

enum D3DSTENCILOP : DWORD {
    D3DSTENCILOP_KEEP = 1,
    D3DSTENCILOP_ZERO = 2,
    D3DSTENCILOP_REPLACE = 3,
    D3DSTENCILOP_INCRSAT = 4,
    D3DSTENCILOP_DECRSAT = 5,
    D3DSTENCILOP_INVERT = 6,
    D3DSTENCILOP_INCR = 7,
    D3DSTENCILOP_DECR = 8,
    D3DSTENCILOP_FORCE_DWORD = 0x7fffffff
};

enum D3DFOGMODE : DWORD {
    D3DFOG_NONE = 0,
    D3DFOG_EXP = 1,
    D3DFOG_EXP2 = 2,
    D3DFOG_LINEAR = 3,
    D3DFOG_FORCE_DWORD = 0x7fffffff
};

enum D3DZBUFFERTYPE : DWORD {
    D3DZB_FALSE = 0,
    D3DZB_TRUE = 1,
    D3DZB_USEW = 2,
    D3DZB_FORCE_DWORD = 0x7fffffff
};

enum D3DPRIMITIVETYPE : DWORD {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
    D3DPT_FORCE_DWORD = 0x7fffffff
};

enum D3DTRANSFORMSTATETYPE : DWORD {
    D3DTS_VIEW = 2,
    D3DTS_PROJECTION = 3,
    D3DTS_TEXTURE0 = 16,
    D3DTS_TEXTURE1 = 17,
    D3DTS_TEXTURE2 = 18,
    D3DTS_TEXTURE3 = 19,
    D3DTS_TEXTURE4 = 20,
    D3DTS_TEXTURE5 = 21,
    D3DTS_TEXTURE6 = 22,
    D3DTS_TEXTURE7 = 23,
    D3DTS_FORCE_DWORD = 0x7fffffff
};
constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLDMATRIX(DWORD index) {
    return static_cast<D3DTRANSFORMSTATETYPE>(index + 256);
}
constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLD = D3DTS_WORLDMATRIX(0);
constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLD1 = D3DTS_WORLDMATRIX(1);
constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLD2 = D3DTS_WORLDMATRIX(2);
constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLD3 = D3DTS_WORLDMATRIX(3);

// [SECTION] Render states

// Every render state the device accepts, one row each:
//   X(name, number, documented default, effect type, effect value names)
// The default is the value a new or reset device holds (float states hold the bits of a float).
// The effect language's value type is DWORD or FLOAT, NOFX where an effect cannot assign the
// state; the value names are the name set an effect may write for it (NONE: numbers only).
// The enum, the device's defaults and the effect state table are all expanded from this list.
#define SG_RENDER_STATES(X)                                                      \
    X(ZENABLE,                  7,   D3DZB_FALSE,             DWORD, ZB)         \
    X(FILLMODE,                 8,   D3DFILL_SOLID,           DWORD, FILL)       \
    X(SHADEMODE,                9,   D3DSHADE_GOURAUD,        DWORD, SHADE)      \
    X(LINEPATTERN,              10,  0,                       DWORD, NONE)       \
    X(ZWRITEENABLE,             14,  TRUE,                    DWORD, BOOL)       \
    X(ALPHATESTENABLE,          15,  FALSE,                   DWORD, BOOL)       \
    X(LASTPIXEL,                16,  TRUE,                    DWORD, BOOL)       \
    X(SRCBLEND,                 19,  D3DBLEND_ONE,            DWORD, BLEND)      \
    X(DESTBLEND,                20,  D3DBLEND_ZERO,           DWORD, BLEND)      \
    X(CULLMODE,                 22,  D3DCULL_CCW,             DWORD, CULL)       \
    X(ZFUNC,                    23,  D3DCMP_LESSEQUAL,        DWORD, CMP)        \
    X(ALPHAREF,                 24,  0,                       DWORD, NONE)       \
    X(ALPHAFUNC,                25,  D3DCMP_ALWAYS,           DWORD, CMP)        \
    X(DITHERENABLE,             26,  FALSE,                   DWORD, BOOL)       \
    X(ALPHABLENDENABLE,         27,  FALSE,                   DWORD, BOOL)       \
    X(FOGENABLE,                28,  FALSE,                   DWORD, BOOL)       \
    X(SPECULARENABLE,           29,  FALSE,                   DWORD, BOOL)       \
    X(ZVISIBLE,                 30,  0,                       DWORD, BOOL)       \
    X(FOGCOLOR,                 34,  0,                       DWORD, NONE)       \
    X(FOGTABLEMODE,             35,  D3DFOG_NONE,             DWORD, FOG)        \
    X(FOGSTART,                 36,  0x00000000u /* 0.0f */,  FLOAT, NONE)       \
    X(FOGEND,                   37,  0x3F800000u /* 1.0f */,  FLOAT, NONE)       \
    X(FOGDENSITY,               38,  0x3F800000u /* 1.0f */,  FLOAT, NONE)       \
    X(EDGEANTIALIAS,            40,  FALSE,                   DWORD, BOOL)       \
    X(ZBIAS,                    47,  0,                       DWORD, NONE)       \
    X(RANGEFOGENABLE,           48,  FALSE,                   DWORD, NONE)       \
    X(STENCILENABLE,            52,  FALSE,                   DWORD, BOOL)       \
    X(STENCILFAIL,              53,  D3DSTENCILOP_KEEP,       DWORD, STENCILOP)  \
    X(STENCILZFAIL,             54,  D3DSTENCILOP_KEEP,       DWORD, STENCILOP)  \
    X(STENCILPASS,              55,  D3DSTENCILOP_KEEP,       DWORD, STENCILOP)  \
    X(STENCILFUNC,              56,  D3DCMP_ALWAYS,           DWORD, CMP)        \
    X(STENCILREF,               57,  0,                       DWORD, NONE)       \
    X(STENCILMASK,              58,  0xFFFFFFFFu,             DWORD, NONE)       \
    X(STENCILWRITEMASK,         59,  0xFFFFFFFFu,             DWORD, NONE)       \
    X(TEXTUREFACTOR,            60,  0xFFFFFFFFu,             DWORD, NONE)       \
    X(WRAP0,                    128, 0,                       DWORD, WRAP)       \
    X(WRAP1,                    129, 0,                       DWORD, WRAP)       \
    X(WRAP2,                    130, 0,                       DWORD, WRAP)       \
    X(WRAP3,                    131, 0,                       DWORD, WRAP)       \
    X(WRAP4,                    132, 0,                       DWORD, WRAP)       \
    X(WRAP5,                    133, 0,                       DWORD, WRAP)       \
    X(WRAP6,                    134, 0,                       DWORD, WRAP)       \
    X(WRAP7,                    135, 0,                       DWORD, WRAP)       \
    X(CLIPPING,                 136, TRUE,                    DWORD, BOOL)       \
    X(LIGHTING,                 137, TRUE,                    DWORD, BOOL)       \
    X(AMBIENT,                  139, 0,                       DWORD, NONE)       \
    X(FOGVERTEXMODE,            140, D3DFOG_NONE,             DWORD, FOG)        \
    X(COLORVERTEX,              141, TRUE,                    DWORD, BOOL)       \
    X(LOCALVIEWER,              142, TRUE,                    DWORD, BOOL)       \
    X(NORMALIZENORMALS,         143, FALSE,                   DWORD, BOOL)       \
    X(DIFFUSEMATERIALSOURCE,    145, D3DMCS_COLOR1,           DWORD, MCS)        \
    X(SPECULARMATERIALSOURCE,   146, D3DMCS_COLOR2,           DWORD, MCS)        \
    X(AMBIENTMATERIALSOURCE,    147, D3DMCS_MATERIAL,         DWORD, MCS)        \
    X(EMISSIVEMATERIALSOURCE,   148, D3DMCS_MATERIAL,         DWORD, MCS)        \
    X(VERTEXBLEND,              151, D3DVBF_DISABLE,          DWORD, VBF)        \
    X(CLIPPLANEENABLE,          152, 0,                       DWORD, CLIPPLANE)  \
    X(SOFTWAREVERTEXPROCESSING, 153, FALSE,                   NOFX,  NONE)       \
    X(POINTSIZE,                154, 0x3F800000u /* 1.0f */,  FLOAT, NONE)       \
    X(POINTSIZE_MIN,            155, 0x00000000u /* 0.0f */,  FLOAT, NONE)       \
    X(POINTSPRITEENABLE,        156, FALSE,                   DWORD, BOOL)       \
    X(POINTSCALEENABLE,         157, FALSE,                   DWORD, BOOL)       \
    X(POINTSCALE_A,             158, 0x3F800000u /* 1.0f */,  FLOAT, NONE)       \
    X(POINTSCALE_B,             159, 0,                       FLOAT, NONE)       \
    X(POINTSCALE_C,             160, 0,                       FLOAT, NONE)       \
    X(MULTISAMPLEANTIALIAS,     161, TRUE,                    DWORD, BOOL)       \
    X(MULTISAMPLEMASK,          162, 0xFFFFFFFFu,             DWORD, NONE)       \
    X(PATCHEDGESTYLE,           163, D3DPATCHEDGE_DISCRETE,   NOFX,  NONE)       \
    X(PATCHSEGMENTS,            164, 0x3F800000u /* 1.0f */,  DWORD, NONE)       \
    X(DEBUGMONITORTOKEN,        165, D3DDMT_ENABLE,           NOFX,  NONE)       \
    X(POINTSIZE_MAX,            166, 0x42800000u /* 64.0f */, FLOAT, NONE)       \
    X(INDEXEDVERTEXBLENDENABLE, 167, FALSE,                   DWORD, BOOL)       \
    X(COLORWRITEENABLE,         168, 0x0000000Fu,             DWORD, COLORWRITE) \
    X(TWEENFACTOR,              170, 0,                       FLOAT, NONE)       \
    X(BLENDOP,                  171, D3DBLENDOP_ADD,          DWORD, BLENDOP)    \
    X(POSITIONORDER,            172, D3DORDER_CUBIC,          NOFX,  NONE)       \
    X(NORMALORDER,              173, D3DORDER_LINEAR,         NOFX,  NONE)

enum D3DRENDERSTATETYPE : DWORD {
#define SG_RS_ENUM(name, number, def, type, names) D3DRS_##name = number,
    SG_RENDER_STATES(SG_RS_ENUM)
#undef SG_RS_ENUM
    D3DRS_FORCE_DWORD = 0x7fffffff
};
// One past the largest render-state number (size of a table indexed by D3DRENDERSTATETYPE).
constexpr DWORD D3DRS_COUNT = 174;

enum D3DMATERIALCOLORSOURCE : DWORD {
    D3DMCS_MATERIAL = 0,
    D3DMCS_COLOR1 = 1,
    D3DMCS_COLOR2 = 2,
    D3DMCS_FORCE_DWORD = 0x7fffffff
};

// D3DRS_WRAPn bits
constexpr DWORD D3DWRAP_U = 0x1;
constexpr DWORD D3DWRAP_V = 0x2;
constexpr DWORD D3DWRAP_W = 0x4;
constexpr DWORD D3DWRAPCOORD_0 = 0x1;
constexpr DWORD D3DWRAPCOORD_1 = 0x2;
constexpr DWORD D3DWRAPCOORD_2 = 0x4;
constexpr DWORD D3DWRAPCOORD_3 = 0x8;

// D3DRS_COLORWRITEENABLE bits
constexpr DWORD D3DCOLORWRITEENABLE_RED = 1u << 0;
constexpr DWORD D3DCOLORWRITEENABLE_GREEN = 1u << 1;
constexpr DWORD D3DCOLORWRITEENABLE_BLUE = 1u << 2;
constexpr DWORD D3DCOLORWRITEENABLE_ALPHA = 1u << 3;

enum D3DVERTEXBLENDFLAGS : DWORD {
    D3DVBF_DISABLE = 0,
    D3DVBF_1WEIGHTS = 1,
    D3DVBF_2WEIGHTS = 2,
    D3DVBF_3WEIGHTS = 3,
    D3DVBF_TWEENING = 255,
    D3DVBF_0WEIGHTS = 256,
    D3DVBF_FORCE_DWORD = 0x7fffffff
};

enum D3DPATCHEDGESTYLE : DWORD {
    D3DPATCHEDGE_DISCRETE = 0,
    D3DPATCHEDGE_CONTINUOUS = 1,
    D3DPATCHEDGE_FORCE_DWORD = 0x7fffffff
};

enum D3DDEBUGMONITORTOKENS : DWORD {
    D3DDMT_ENABLE = 0,
    D3DDMT_DISABLE = 1,
    D3DDMT_FORCE_DWORD = 0x7fffffff
};

enum D3DORDERTYPE : DWORD {
    D3DORDER_LINEAR = 1,
    D3DORDER_QUADRATIC = 2,
    D3DORDER_CUBIC = 3,
    D3DORDER_QUINTIC = 5,
    D3DORDER_FORCE_DWORD = 0x7fffffff
};

// [SECTION] Texture-stage states

// Every texture-stage state, one row each:
//   X(name, number, documented default at stage `stage`, effect type, effect value names)
// with the columns of SG_RENDER_STATES. The enum, the device's defaults and the effect state
// table are all expanded from this list.
#define SG_TEXTURE_STAGE_STATES(X)                                                                 \
    X(COLOROP,               1,  stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE,   DWORD, TOP)      \
    X(COLORARG1,             2,  D3DTA_TEXTURE,                                   DWORD, TA)       \
    X(COLORARG2,             3,  D3DTA_CURRENT,                                   DWORD, TA)       \
    X(ALPHAOP,               4,  stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE, DWORD, TOP)      \
    X(ALPHAARG1,             5,  D3DTA_TEXTURE,                                   DWORD, TA)       \
    X(ALPHAARG2,             6,  D3DTA_CURRENT,                                   DWORD, TA)       \
    X(BUMPENVMAT00,          7,  0,                                               DWORD, NONE)     \
    X(BUMPENVMAT01,          8,  0,                                               DWORD, NONE)     \
    X(BUMPENVMAT10,          9,  0,                                               DWORD, NONE)     \
    X(BUMPENVMAT11,          10, 0,                                               DWORD, NONE)     \
    X(TEXCOORDINDEX,         11, stage,                                           DWORD, TCI)      \
    X(ADDRESSU,              13, D3DTADDRESS_WRAP,                                DWORD, TADDRESS) \
    X(ADDRESSV,              14, D3DTADDRESS_WRAP,                                DWORD, TADDRESS) \
    X(BORDERCOLOR,           15, 0,                                               DWORD, NONE)     \
    X(MAGFILTER,             16, D3DTEXF_POINT,                                   DWORD, TEXF)     \
    X(MINFILTER,             17, D3DTEXF_POINT,                                   DWORD, TEXF)     \
    X(MIPFILTER,             18, D3DTEXF_NONE,                                    DWORD, TEXF)     \
    X(MIPMAPLODBIAS,         19, 0,                                               DWORD, NONE)     \
    X(MAXMIPLEVEL,           20, 0,                                               DWORD, NONE)     \
    X(MAXANISOTROPY,         21, 1,                                               DWORD, NONE)     \
    X(BUMPENVLSCALE,         22, 0,                                               FLOAT, NONE)     \
    X(BUMPENVLOFFSET,        23, 0,                                               FLOAT, NONE)     \
    X(TEXTURETRANSFORMFLAGS, 24, D3DTTFF_DISABLE,                                 DWORD, TTFF)     \
    X(ADDRESSW,              25, D3DTADDRESS_WRAP,                                DWORD, TADDRESS) \
    X(COLORARG0,             26, D3DTA_CURRENT,                                   DWORD, TA)       \
    X(ALPHAARG0,             27, D3DTA_CURRENT,                                   DWORD, TA)       \
    X(RESULTARG,             28, D3DTA_CURRENT,                                   DWORD, TA)

enum D3DTEXTURESTAGESTATETYPE : DWORD {
#define SG_TSS_ENUM(name, number, def, type, names) D3DTSS_##name = number,
    SG_TEXTURE_STAGE_STATES(SG_TSS_ENUM)
#undef SG_TSS_ENUM
    D3DTSS_FORCE_DWORD = 0x7fffffff
};
// One past the largest texture-stage-state number.
constexpr DWORD D3DTSS_COUNT = 29;

// D3DTSS_TEXCOORDINDEX: the low word is the coordinate set, the high word the generation mode.
constexpr DWORD D3DTSS_TCI_PASSTHRU = 0x00000;
constexpr DWORD D3DTSS_TCI_CAMERASPACENORMAL = 0x10000;
constexpr DWORD D3DTSS_TCI_CAMERASPACEPOSITION = 0x20000;
constexpr DWORD D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR = 0x30000;

enum D3DTEXTUREOP : DWORD {
    D3DTOP_DISABLE = 1,
    D3DTOP_SELECTARG1 = 2,
    D3DTOP_SELECTARG2 = 3,
    D3DTOP_MODULATE = 4,
    D3DTOP_MODULATE2X = 5,
    D3DTOP_MODULATE4X = 6,
    D3DTOP_ADD = 7,
    D3DTOP_ADDSIGNED = 8,
    D3DTOP_ADDSIGNED2X = 9,
    D3DTOP_SUBTRACT = 10,
    D3DTOP_ADDSMOOTH = 11,
    D3DTOP_BLENDDIFFUSEALPHA = 12,
    D3DTOP_BLENDTEXTUREALPHA = 13,
    D3DTOP_BLENDFACTORALPHA = 14,
    D3DTOP_BLENDTEXTUREALPHAPM = 15,
    D3DTOP_BLENDCURRENTALPHA = 16,
    D3DTOP_PREMODULATE = 17,
    D3DTOP_MODULATEALPHA_ADDCOLOR = 18,
    D3DTOP_MODULATECOLOR_ADDALPHA = 19,
    D3DTOP_MODULATEINVALPHA_ADDCOLOR = 20,
    D3DTOP_MODULATEINVCOLOR_ADDALPHA = 21,
    D3DTOP_BUMPENVMAP = 22,
    D3DTOP_BUMPENVMAPLUMINANCE = 23,
    D3DTOP_DOTPRODUCT3 = 24,
    D3DTOP_MULTIPLYADD = 25,
    D3DTOP_LERP = 26,
    D3DTOP_FORCE_DWORD = 0x7fffffff
};

// Texture-stage arguments (COLORARGn, ALPHAARGn, RESULTARG) and their modifier bits.
constexpr DWORD D3DTA_SELECTMASK = 0x0000000f;
constexpr DWORD D3DTA_DIFFUSE = 0x00000000;
constexpr DWORD D3DTA_CURRENT = 0x00000001;
constexpr DWORD D3DTA_TEXTURE = 0x00000002;
constexpr DWORD D3DTA_TFACTOR = 0x00000003;
constexpr DWORD D3DTA_SPECULAR = 0x00000004;
constexpr DWORD D3DTA_TEMP = 0x00000005;
constexpr DWORD D3DTA_COMPLEMENT = 0x00000010;
constexpr DWORD D3DTA_ALPHAREPLICATE = 0x00000020;

enum D3DTEXTUREFILTERTYPE : DWORD {
    D3DTEXF_NONE = 0,
    D3DTEXF_POINT = 1,
    D3DTEXF_LINEAR = 2,
    D3DTEXF_ANISOTROPIC = 3,
    D3DTEXF_FLATCUBIC = 4,
    D3DTEXF_GAUSSIANCUBIC = 5,
    D3DTEXF_FORCE_DWORD = 0x7fffffff
};

enum D3DTEXTURETRANSFORMFLAGS : DWORD {
    D3DTTFF_DISABLE = 0,
    D3DTTFF_COUNT1 = 1,
    D3DTTFF_COUNT2 = 2,
    D3DTTFF_COUNT3 = 3,
    D3DTTFF_COUNT4 = 4,
    D3DTTFF_PROJECTED = 256,
    D3DTTFF_FORCE_DWORD = 0x7fffffff
};

// [SECTION] Flexible vertex formats

constexpr DWORD D3DFVF_RESERVED0 = 0x001;
constexpr DWORD D3DFVF_POSITION_MASK = 0x00E;
constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_XYZB1 = 0x006;
constexpr DWORD D3DFVF_XYZB2 = 0x008;
constexpr DWORD D3DFVF_XYZB3 = 0x00a;
constexpr DWORD D3DFVF_XYZB4 = 0x00c;
constexpr DWORD D3DFVF_XYZB5 = 0x00e;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_PSIZE = 0x020;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEXCOUNT_MASK = 0xf00;
constexpr DWORD D3DFVF_TEXCOUNT_SHIFT = 8;
constexpr DWORD D3DFVF_TEX0 = 0x000;
constexpr DWORD D3DFVF_TEX1 = 0x100;
constexpr DWORD D3DFVF_TEX2 = 0x200;
constexpr DWORD D3DFVF_TEX3 = 0x300;
constexpr DWORD D3DFVF_TEX4 = 0x400;
constexpr DWORD D3DFVF_TEX5 = 0x500;
constexpr DWORD D3DFVF_TEX6 = 0x600;
constexpr DWORD D3DFVF_TEX7 = 0x700;
constexpr DWORD D3DFVF_TEX8 = 0x800;
constexpr DWORD D3DFVF_LASTBETA_UBYTE4 = 0x1000;
constexpr DWORD D3DFVF_RESERVED2 = 0xE000;

constexpr DWORD D3DFVF_TEXTUREFORMAT1 = 3;
constexpr DWORD D3DFVF_TEXTUREFORMAT2 = 0;
constexpr DWORD D3DFVF_TEXTUREFORMAT3 = 1;
constexpr DWORD D3DFVF_TEXTUREFORMAT4 = 2;
constexpr DWORD D3DFVF_TEXCOORDSIZE1(DWORD index) { return D3DFVF_TEXTUREFORMAT1 << (index * 2 + 16); }
constexpr DWORD D3DFVF_TEXCOORDSIZE2(DWORD index) { return D3DFVF_TEXTUREFORMAT2 << (index * 2 + 16); }
constexpr DWORD D3DFVF_TEXCOORDSIZE3(DWORD index) { return D3DFVF_TEXTUREFORMAT3 << (index * 2 + 16); }
constexpr DWORD D3DFVF_TEXCOORDSIZE4(DWORD index) { return D3DFVF_TEXTUREFORMAT4 << (index * 2 + 16); }

constexpr int D3DDP_MAXTEXCOORD = 8;

// [SECTION] Vertex-shader declaration tokens

constexpr DWORD D3DVSD_TOKENTYPESHIFT = 29;
constexpr DWORD D3DVSD_TOKENTYPEMASK = 7u << D3DVSD_TOKENTYPESHIFT;
constexpr DWORD D3DVSD_STREAMNUMBERSHIFT = 0;
constexpr DWORD D3DVSD_STREAMNUMBERMASK = 0xFu << D3DVSD_STREAMNUMBERSHIFT;
constexpr DWORD D3DVSD_DATALOADTYPESHIFT = 28;
constexpr DWORD D3DVSD_DATALOADTYPEMASK = 0x1u << D3DVSD_DATALOADTYPESHIFT;
constexpr DWORD D3DVSD_DATATYPESHIFT = 16;
constexpr DWORD D3DVSD_DATATYPEMASK = 0xFu << D3DVSD_DATATYPESHIFT;
constexpr DWORD D3DVSD_SKIPCOUNTSHIFT = 16;
constexpr DWORD D3DVSD_SKIPCOUNTMASK = 0xFu << D3DVSD_SKIPCOUNTSHIFT;
constexpr DWORD D3DVSD_VERTEXREGSHIFT = 0;
constexpr DWORD D3DVSD_VERTEXREGMASK = 0x1Fu << D3DVSD_VERTEXREGSHIFT;
constexpr DWORD D3DVSD_VERTEXREGINSHIFT = 20;
constexpr DWORD D3DVSD_VERTEXREGINMASK = 0xFu << D3DVSD_VERTEXREGINSHIFT;
constexpr DWORD D3DVSD_CONSTCOUNTSHIFT = 25;
constexpr DWORD D3DVSD_CONSTCOUNTMASK = 0xFu << D3DVSD_CONSTCOUNTSHIFT;
constexpr DWORD D3DVSD_CONSTADDRESSSHIFT = 0;
constexpr DWORD D3DVSD_CONSTADDRESSMASK = 0x7Fu << D3DVSD_CONSTADDRESSSHIFT;
constexpr DWORD D3DVSD_CONSTRSSHIFT = 16;
constexpr DWORD D3DVSD_CONSTRSMASK = 0x1FFFu << D3DVSD_CONSTRSSHIFT;
constexpr DWORD D3DVSD_EXTCOUNTSHIFT = 24;
constexpr DWORD D3DVSD_EXTCOUNTMASK = 0x1Fu << D3DVSD_EXTCOUNTSHIFT;
constexpr DWORD D3DVSD_EXTINFOSHIFT = 0;
constexpr DWORD D3DVSD_EXTINFOMASK = 0xFFFFFFu << D3DVSD_EXTINFOSHIFT;
constexpr DWORD D3DVSD_STREAMTESSSHIFT = 28;
constexpr DWORD D3DVSD_STREAMTESSMASK = 1u << D3DVSD_STREAMTESSSHIFT;

enum D3DVSD_TOKENTYPE : DWORD {
    D3DVSD_TOKEN_NOP = 0,
    D3DVSD_TOKEN_STREAM = 1,
    D3DVSD_TOKEN_STREAMDATA = 2,
    D3DVSD_TOKEN_TESSELLATOR = 3,
    D3DVSD_TOKEN_CONSTMEM = 4,
    D3DVSD_TOKEN_EXT = 5,
    D3DVSD_TOKEN_END = 7,
    D3DVSD_FORCE_DWORD = 0x7fffffff
};

constexpr DWORD D3DVSD_MAKETOKENTYPE(DWORD type) {
    return (type << D3DVSD_TOKENTYPESHIFT) & D3DVSD_TOKENTYPEMASK;
}
constexpr DWORD D3DVSD_STREAM(DWORD stream) { return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAM) | stream; }
constexpr DWORD D3DVSD_STREAM_TESS() {
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAM) | D3DVSD_STREAMTESSMASK;
}
constexpr DWORD D3DVSD_REG(DWORD vertexRegister, DWORD type) {
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAMDATA) | (type << D3DVSD_DATATYPESHIFT) | vertexRegister;
}
constexpr DWORD D3DVSD_SKIP(DWORD dwordCount) {
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAMDATA) | 0x10000000u | (dwordCount << D3DVSD_SKIPCOUNTSHIFT);
}
constexpr DWORD D3DVSD_CONST(DWORD constantAddress, DWORD count) {
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_CONSTMEM) | (count << D3DVSD_CONSTCOUNTSHIFT) | constantAddress;
}
constexpr DWORD D3DVSD_TESSNORMAL(DWORD vertexRegisterIn, DWORD vertexRegisterOut) {
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_TESSELLATOR) | (vertexRegisterIn << D3DVSD_VERTEXREGINSHIFT) |
           (0x02u << D3DVSD_DATATYPESHIFT) | vertexRegisterOut;
}
constexpr DWORD D3DVSD_TESSUV(DWORD vertexRegister) {
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_TESSELLATOR) | 0x10000000u | (0x01u << D3DVSD_DATATYPESHIFT) |
           vertexRegister;
}
constexpr DWORD D3DVSD_END() { return 0xFFFFFFFFu; }
constexpr DWORD D3DVSD_NOP() { return 0x00000000u; }

// Data types of D3DVSD_REG.
constexpr DWORD D3DVSDT_FLOAT1 = 0x00;
constexpr DWORD D3DVSDT_FLOAT2 = 0x01;
constexpr DWORD D3DVSDT_FLOAT3 = 0x02;
constexpr DWORD D3DVSDT_FLOAT4 = 0x03;
constexpr DWORD D3DVSDT_D3DCOLOR = 0x04;  // 4 bytes ARGB, arrives as (r, g, b, a) in 0..1
constexpr DWORD D3DVSDT_UBYTE4 = 0x05;
constexpr DWORD D3DVSDT_SHORT2 = 0x06;
constexpr DWORD D3DVSDT_SHORT4 = 0x07;

// Input registers the fixed-function pipeline reads for each vertex element.
constexpr DWORD D3DVSDE_POSITION = 0;
constexpr DWORD D3DVSDE_BLENDWEIGHT = 1;
constexpr DWORD D3DVSDE_BLENDINDICES = 2;
constexpr DWORD D3DVSDE_NORMAL = 3;
constexpr DWORD D3DVSDE_PSIZE = 4;
constexpr DWORD D3DVSDE_DIFFUSE = 5;
constexpr DWORD D3DVSDE_SPECULAR = 6;
constexpr DWORD D3DVSDE_TEXCOORD0 = 7;
constexpr DWORD D3DVSDE_TEXCOORD1 = 8;
constexpr DWORD D3DVSDE_TEXCOORD2 = 9;
constexpr DWORD D3DVSDE_TEXCOORD3 = 10;
constexpr DWORD D3DVSDE_TEXCOORD4 = 11;
constexpr DWORD D3DVSDE_TEXCOORD5 = 12;
constexpr DWORD D3DVSDE_TEXCOORD6 = 13;
constexpr DWORD D3DVSDE_TEXCOORD7 = 14;
constexpr DWORD D3DVSDE_POSITION2 = 15;
constexpr DWORD D3DVSDE_NORMAL2 = 16;

constexpr DWORD D3DVS_VERSION(DWORD major, DWORD minor) { return 0xFFFE0000u | (major << 8) | minor; }
constexpr DWORD D3DPS_VERSION(DWORD major, DWORD minor) { return 0xFFFF0000u | (major << 8) | minor; }
constexpr DWORD D3DSHADER_VERSION_MAJOR(DWORD version) { return (version >> 8) & 0xFF; }
constexpr DWORD D3DSHADER_VERSION_MINOR(DWORD version) { return version & 0xFF; }

// [SECTION] Formats, resources and presentation

constexpr DWORD MAKEFOURCC(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<BYTE>(a)) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) | (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

enum D3DFORMAT : DWORD {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_R5G6B5 = 23,
    D3DFMT_X1R5G5B5 = 24,
    D3DFMT_A1R5G5B5 = 25,
    D3DFMT_A4R4G4B4 = 26,
    D3DFMT_R3G3B2 = 27,
    D3DFMT_A8 = 28,
    D3DFMT_A8R3G3B2 = 29,
    D3DFMT_X4R4G4B4 = 30,
    D3DFMT_A2B10G10R10 = 31,
    D3DFMT_G16R16 = 34,
    D3DFMT_A8P8 = 40,
    D3DFMT_P8 = 41,
    D3DFMT_L8 = 50,
    D3DFMT_A8L8 = 51,
    D3DFMT_A4L4 = 52,
    D3DFMT_V8U8 = 60,
    D3DFMT_L6V5U5 = 61,
    D3DFMT_X8L8V8U8 = 62,
    D3DFMT_Q8W8V8U8 = 63,
    D3DFMT_V16U16 = 64,
    D3DFMT_W11V11U10 = 65,
    D3DFMT_A2W10V10U10 = 67,
    D3DFMT_UYVY = MAKEFOURCC('U', 'Y', 'V', 'Y'),
    D3DFMT_YUY2 = MAKEFOURCC('Y', 'U', 'Y', '2'),
    D3DFMT_DXT1 = MAKEFOURCC('D', 'X', 'T', '1'),
    D3DFMT_DXT2 = MAKEFOURCC('D', 'X', 'T', '2'),
    D3DFMT_DXT3 = MAKEFOURCC('D', 'X', 'T', '3'),
    D3DFMT_DXT4 = MAKEFOURCC('D', 'X', 'T', '4'),
    D3DFMT_DXT5 = MAKEFOURCC('D', 'X', 'T', '5'),
    D3DFMT_D16_LOCKABLE = 70,
    D3DFMT_D32 = 71,
    D3DFMT_D15S1 = 73,
    D3DFMT_D24S8 = 75,
    D3DFMT_D16 = 80,
    D3DFMT_D24X8 = 77,
    D3DFMT_D24X4S4 = 79,
    D3DFMT_VERTEXDATA = 100,
    D3DFMT_INDEX16 = 101,
    D3DFMT_INDEX32 = 102,
    D3DFMT_FORCE_DWORD = 0x7fffffff
};

enum D3DRESOURCETYPE : DWORD {
    D3DRTYPE_SURFACE = 1,
    D3DRTYPE_VOLUME = 2,
    D3DRTYPE_TEXTURE = 3,
    D3DRTYPE_VOLUMETEXTURE = 4,
    D3DRTYPE_CUBETEXTURE = 5,
    D3DRTYPE_VERTEXBUFFER = 6,
    D3DRTYPE_INDEXBUFFER = 7,
    D3DRTYPE_FORCE_DWORD = 0x7fffffff
};

enum D3DPOOL : DWORD {
    D3DPOOL_DEFAULT = 0,    // device memory; lost on Reset (release before Reset)
    D3DPOOL_MANAGED = 1,    // system copy kept by the device; survives Reset
    D3DPOOL_SYSTEMMEM = 2,  // system memory; source of UpdateTexture
    D3DPOOL_SCRATCH = 3,    // system memory, any format, never drawn
    D3DPOOL_FORCE_DWORD = 0x7fffffff
};

constexpr DWORD D3DUSAGE_RENDERTARGET = 0x00000001;
constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x00000002;
constexpr DWORD D3DUSAGE_WRITEONLY = 0x00000008;
constexpr DWORD D3DUSAGE_SOFTWAREPROCESSING = 0x00000010;
constexpr DWORD D3DUSAGE_DONOTCLIP = 0x00000020;
constexpr DWORD D3DUSAGE_POINTS = 0x00000040;
constexpr DWORD D3DUSAGE_RTPATCHES = 0x00000080;
constexpr DWORD D3DUSAGE_NPATCHES = 0x00000100;
constexpr DWORD D3DUSAGE_DYNAMIC = 0x00000200;

constexpr DWORD D3DLOCK_READONLY = 0x00000010;
constexpr DWORD D3DLOCK_NOSYSLOCK = 0x00000800;
constexpr DWORD D3DLOCK_NOOVERWRITE = 0x00001000;
constexpr DWORD D3DLOCK_DISCARD = 0x00002000;
constexpr DWORD D3DLOCK_NO_DIRTY_UPDATE = 0x00008000;

enum D3DMULTISAMPLE_TYPE : DWORD {
    D3DMULTISAMPLE_NONE = 0,
    D3DMULTISAMPLE_2_SAMPLES = 2,
    D3DMULTISAMPLE_3_SAMPLES = 3,
    D3DMULTISAMPLE_4_SAMPLES = 4,
    D3DMULTISAMPLE_5_SAMPLES = 5,
    D3DMULTISAMPLE_6_SAMPLES = 6,
    D3DMULTISAMPLE_7_SAMPLES = 7,
    D3DMULTISAMPLE_8_SAMPLES = 8,
    D3DMULTISAMPLE_9_SAMPLES = 9,
    D3DMULTISAMPLE_10_SAMPLES = 10,
    D3DMULTISAMPLE_11_SAMPLES = 11,
    D3DMULTISAMPLE_12_SAMPLES = 12,
    D3DMULTISAMPLE_13_SAMPLES = 13,
    D3DMULTISAMPLE_14_SAMPLES = 14,
    D3DMULTISAMPLE_15_SAMPLES = 15,
    D3DMULTISAMPLE_16_SAMPLES = 16,
    D3DMULTISAMPLE_FORCE_DWORD = 0x7fffffff
};

enum D3DSWAPEFFECT : DWORD {
    D3DSWAPEFFECT_DISCARD = 1,
    D3DSWAPEFFECT_FLIP = 2,
    D3DSWAPEFFECT_COPY = 3,
    D3DSWAPEFFECT_COPY_VSYNC = 4,
    D3DSWAPEFFECT_FORCE_DWORD = 0x7fffffff
};

enum D3DBACKBUFFER_TYPE : DWORD {
    D3DBACKBUFFER_TYPE_MONO = 0,
    D3DBACKBUFFER_TYPE_LEFT = 1,
    D3DBACKBUFFER_TYPE_RIGHT = 2,
    D3DBACKBUFFER_TYPE_FORCE_DWORD = 0x7fffffff
};

enum D3DDEVTYPE : DWORD {
    D3DDEVTYPE_HAL = 1,
    D3DDEVTYPE_REF = 2,
    D3DDEVTYPE_SW = 3,
    D3DDEVTYPE_FORCE_DWORD = 0x7fffffff
};

struct D3DDISPLAYMODE {
    UINT Width;
    UINT Height;
    UINT RefreshRate;  // Hz; 0 = adapter default
    D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth;   // 0 in windowed mode = the window's client width
    UINT BackBufferHeight;  // 0 in windowed mode = the window's client height
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount;   // 0 is taken as 1
    D3DMULTISAMPLE_TYPE MultiSampleType;
    D3DSWAPEFFECT SwapEffect;
    HWND hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;  // D3DPRESENTFLAG_*
    UINT FullScreen_RefreshRateInHz;
    UINT FullScreen_PresentationInterval;
};

constexpr DWORD D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 0x00000001;
constexpr UINT D3DPRESENT_RATE_DEFAULT = 0x00000000;
constexpr UINT D3DPRESENT_INTERVAL_DEFAULT = 0x00000000;
constexpr UINT D3DPRESENT_INTERVAL_ONE = 0x00000001;
constexpr UINT D3DPRESENT_INTERVAL_TWO = 0x00000002;
constexpr UINT D3DPRESENT_INTERVAL_THREE = 0x00000004;
constexpr UINT D3DPRESENT_INTERVAL_FOUR = 0x00000008;
constexpr UINT D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000;

struct D3DSURFACE_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;  // bytes
    D3DMULTISAMPLE_TYPE MultiSampleType;
    UINT Width;
    UINT Height;
};

struct D3DVERTEXBUFFER_DESC {
    D3DFORMAT Format;  // D3DFMT_VERTEXDATA
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;  // bytes
    DWORD FVF;
};

struct D3DINDEXBUFFER_DESC {
    D3DFORMAT Format;  // D3DFMT_INDEX16 or D3DFMT_INDEX32
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;  // bytes
};

struct D3DLOCKED_RECT {
    INT Pitch;    // bytes from one row to the next, top row first
    void* pBits;
};

struct D3DDEVICE_CREATION_PARAMETERS {
    UINT AdapterOrdinal;
    D3DDEVTYPE DeviceType;
    HWND hFocusWindow;
    DWORD BehaviorFlags;
};

constexpr int MAX_DEVICE_IDENTIFIER_STRING = 512;

struct D3DADAPTER_IDENTIFIER8 {
    char Driver[MAX_DEVICE_IDENTIFIER_STRING];
    char Description[MAX_DEVICE_IDENTIFIER_STRING];
    LARGE_INTEGER DriverVersion;
    DWORD VendorId;
    DWORD DeviceId;
    DWORD SubSysId;
    DWORD Revision;
    GUID DeviceIdentifier;
    DWORD WHQLLevel;
};

// [SECTION] Call flags

constexpr DWORD D3DCLEAR_TARGET = 0x00000001;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x00000002;
constexpr DWORD D3DCLEAR_STENCIL = 0x00000004;

constexpr DWORD D3DCREATE_FPU_PRESERVE = 0x00000002;
constexpr DWORD D3DCREATE_MULTITHREADED = 0x00000004;
constexpr DWORD D3DCREATE_PUREDEVICE = 0x00000010;
constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x00000020;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x00000040;
constexpr DWORD D3DCREATE_MIXED_VERTEXPROCESSING = 0x00000080;

constexpr DWORD D3DCURSOR_IMMEDIATE_UPDATE = 0x00000001;
constexpr DWORD D3DENUM_NO_WHQL_LEVEL = 0x00000002;

constexpr UINT D3DADAPTER_DEFAULT = 0;
constexpr UINT D3D_SDK_VERSION = 220;

// [SECTION] Result codes

constexpr DWORD _FACD3D = 0x876;
constexpr HRESULT MAKE_D3DHRESULT(DWORD code) { return MAKE_HRESULT(1, _FACD3D, code); }

constexpr HRESULT D3D_OK = S_OK;
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = MAKE_D3DHRESULT(2072);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = MAKE_D3DHRESULT(2073);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = MAKE_D3DHRESULT(2074);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = MAKE_D3DHRESULT(2075);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = MAKE_D3DHRESULT(2076);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = MAKE_D3DHRESULT(2077);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = MAKE_D3DHRESULT(2078);
constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = MAKE_D3DHRESULT(2079);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = MAKE_D3DHRESULT(2081);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = MAKE_D3DHRESULT(2082);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = MAKE_D3DHRESULT(2086);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = MAKE_D3DHRESULT(2087);
constexpr HRESULT D3DERR_NOTFOUND = MAKE_D3DHRESULT(2150);
constexpr HRESULT D3DERR_MOREDATA = MAKE_D3DHRESULT(2151);
constexpr HRESULT D3DERR_DEVICELOST = MAKE_D3DHRESULT(2152);
constexpr HRESULT D3DERR_DEVICENOTRESET = MAKE_D3DHRESULT(2153);
constexpr HRESULT D3DERR_NOTAVAILABLE = MAKE_D3DHRESULT(2154);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = MAKE_D3DHRESULT(380);
constexpr HRESULT D3DERR_INVALIDDEVICE = MAKE_D3DHRESULT(2155);
constexpr HRESULT D3DERR_INVALIDCALL = MAKE_D3DHRESULT(2156);
constexpr HRESULT D3DERR_DRIVERINVALIDCALL = MAKE_D3DHRESULT(2157);
static_assert(D3DERR_INVALIDCALL == static_cast<HRESULT>(0x8876086Cu));
