// Version 1.x shader token streams: the opcode table (one X-macro list) and a length-checked
// reader that decodes a stream into instructions shared by the validator and the translator.
#pragma once

#include "platform/win/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shader {

// Shader models this library knows, as bits, so that the table can say where an entry is valid.
enum ShaderModel : uint8_t {
    VS10 = 1u << 0, VS11 = 1u << 1,
    PS10 = 1u << 2, PS11 = 1u << 3, PS12 = 1u << 4, PS13 = 1u << 5, PS14 = 1u << 6,
};
constexpr uint8_t VS_ALL = VS10 | VS11;
constexpr uint8_t PS_13 = PS10 | PS11 | PS12 | PS13;  // the texture-address generation
constexpr uint8_t PS_ALL = PS_13 | PS14;
constexpr uint8_t PS_12UP = PS12 | PS13 | PS14;

// How an instruction takes part in the pipeline.
enum class OpClass : uint8_t {
    Arith,    // arithmetic (vertex instructions and the pixel colour/alpha pipes)
    Texture,  // texture-address instruction (ps 1.0-1.3) or texld/texcrd/texkill/texdepth (ps 1.4)
    Special,  // nop, def, phase
};

// X(Enum, mnemonic, opcode, destinations, sources, models, class, instruction slots)
// The same opcode may appear twice when its operands differ between shader models
// (tex/texld, texcoord/texcrd).
#define SG_SHADER_OPCODES(X)                                                   \
    X(Nop,          "nop",          0,  0, 0, VS_ALL | PS_ALL, Special, 1)     \
    X(Mov,          "mov",          1,  1, 1, VS_ALL | PS_ALL, Arith, 1)       \
    X(Add,          "add",          2,  1, 2, VS_ALL | PS_ALL, Arith, 1)       \
    X(Sub,          "sub",          3,  1, 2, VS_ALL | PS_ALL, Arith, 1)       \
    X(Mad,          "mad",          4,  1, 3, VS_ALL | PS_ALL, Arith, 1)       \
    X(Mul,          "mul",          5,  1, 2, VS_ALL | PS_ALL, Arith, 1)       \
    X(Rcp,          "rcp",          6,  1, 1, VS_ALL, Arith, 1)                \
    X(Rsq,          "rsq",          7,  1, 1, VS_ALL, Arith, 1)                \
    X(Dp3,          "dp3",          8,  1, 2, VS_ALL | PS_ALL, Arith, 1)       \
    X(Dp4,          "dp4",          9,  1, 2, VS_ALL | PS_12UP, Arith, 1)      \
    X(Min,          "min",          10, 1, 2, VS_ALL, Arith, 1)                \
    X(Max,          "max",          11, 1, 2, VS_ALL, Arith, 1)                \
    X(Slt,          "slt",          12, 1, 2, VS_ALL, Arith, 1)                \
    X(Sge,          "sge",          13, 1, 2, VS_ALL, Arith, 1)                \
    X(Exp,          "exp",          14, 1, 1, VS_ALL, Arith, 1)                \
    X(Log,          "log",          15, 1, 1, VS_ALL, Arith, 1)                \
    X(Lit,          "lit",          16, 1, 1, VS_ALL, Arith, 1)                \
    X(Dst,          "dst",          17, 1, 2, VS_ALL, Arith, 1)                \
    X(Lrp,          "lrp",          18, 1, 3, PS_ALL, Arith, 1)                \
    X(Frc,          "frc",          19, 1, 1, VS_ALL, Arith, 1)                \
    X(M4x4,         "m4x4",         20, 1, 2, VS_ALL, Arith, 4)                \
    X(M4x3,         "m4x3",         21, 1, 2, VS_ALL, Arith, 3)                \
    X(M3x4,         "m3x4",         22, 1, 2, VS_ALL, Arith, 4)                \
    X(M3x3,         "m3x3",         23, 1, 2, VS_ALL, Arith, 3)                \
    X(M3x2,         "m3x2",         24, 1, 2, VS_ALL, Arith, 2)                \
    X(TexCoord,     "texcoord",     64, 1, 0, PS_13, Texture, 1)               \
    X(TexCrd,       "texcrd",       64, 1, 1, PS14, Texture, 1)                \
    X(TexKill,      "texkill",      65, 1, 0, PS_ALL, Texture, 1)              \
    X(Tex,          "tex",          66, 1, 0, PS_13, Texture, 1)               \
    X(TexLd,        "texld",        66, 1, 1, PS14, Texture, 1)                \
    X(TexBem,       "texbem",       67, 1, 1, PS_13, Texture, 1)               \
    X(TexBemL,      "texbeml",      68, 1, 1, PS_13, Texture, 1)               \
    X(TexReg2AR,    "texreg2ar",    69, 1, 1, PS_13, Texture, 1)               \
    X(TexReg2GB,    "texreg2gb",    70, 1, 1, PS_13, Texture, 1)               \
    X(TexM3x2Pad,   "texm3x2pad",   71, 1, 1, PS_13, Texture, 1)               \
    X(TexM3x2Tex,   "texm3x2tex",   72, 1, 1, PS_13, Texture, 1)               \
    X(TexM3x3Pad,   "texm3x3pad",   73, 1, 1, PS_13, Texture, 1)               \
    X(TexM3x3Tex,   "texm3x3tex",   74, 1, 1, PS_13, Texture, 1)               \
    X(TexM3x3Spec,  "texm3x3spec",  76, 1, 2, PS_13, Texture, 1)               \
    X(TexM3x3VSpec, "texm3x3vspec", 77, 1, 1, PS_13, Texture, 1)               \
    X(ExpP,         "expp",         78, 1, 1, VS_ALL, Arith, 1)                \
    X(LogP,         "logp",         79, 1, 1, VS_ALL, Arith, 1)                \
    X(Cnd,          "cnd",          80, 1, 3, PS_ALL, Arith, 1)                \
    X(Def,          "def",          81, 1, 0, VS_ALL | PS_ALL, Special, 0)     \
    X(TexReg2RGB,   "texreg2rgb",   82, 1, 1, PS12 | PS13, Texture, 1)         \
    X(TexDp3Tex,    "texdp3tex",    83, 1, 1, PS12 | PS13, Texture, 1)         \
    X(TexM3x2Depth, "texm3x2depth", 84, 1, 1, PS13, Texture, 1)                \
    X(TexDp3,       "texdp3",       85, 1, 1, PS12 | PS13, Texture, 1)         \
    X(TexM3x3,      "texm3x3",      86, 1, 1, PS12 | PS13, Texture, 1)         \
    X(TexDepth,     "texdepth",     87, 1, 0, PS14, Texture, 1)                \
    X(Cmp,          "cmp",          88, 1, 3, PS_12UP, Arith, 1)               \
    X(Bem,          "bem",          89, 1, 2, PS14, Arith, 1)                  \
    X(Phase,        "phase",        0xFFFD, 0, 0, PS14, Special, 0)

enum class Op : uint8_t {
#define SG_OP_ENUM(e, name, code, dsts, srcs, models, cls, slots) e,
    SG_SHADER_OPCODES(SG_OP_ENUM)
#undef SG_OP_ENUM
    Count
};

struct OpInfo {
    Op op;
    const char* name;
    uint16_t opcode;
    uint8_t dsts;    // 0 or 1
    uint8_t srcs;    // source parameter tokens after the destination
    uint8_t models;  // ShaderModel bits where the entry is valid
    OpClass cls;
    uint8_t slots;   // instruction slots it costs (matrix macros expand to several)
};

const OpInfo& GetOpInfo(Op op);

// Token fields.
constexpr DWORD END_TOKEN = 0x0000FFFF;
constexpr DWORD COMMENT_OPCODE = 0xFFFE;
constexpr DWORD COISSUE_BIT = 0x40000000;
constexpr DWORD PARAM_BIT = 0x80000000;
constexpr DWORD RELATIVE_BIT = 0x00002000;
constexpr DWORD SATURATE_BIT = 0x00100000;
constexpr DWORD IDENTITY_SWIZZLE = 0xE4;  // xyzw, two bits per component

// Register types (bits 28-30 of a parameter token).
enum RegType : uint8_t {
    REG_TEMP = 0,     // r
    REG_INPUT = 1,    // v
    REG_CONST = 2,    // c
    REG_ADDR = 3,     // a0 (vertex) / t (pixel)
    REG_TEXTURE = 3,
    REG_RASTOUT = 4,  // oPos (0), oFog (1), oPts (2)
    REG_ATTROUT = 5,  // oD
    REG_TEXCRDOUT = 6,  // oT
};

// Source modifiers (bits 24-27 of a source token).
enum SrcMod : uint8_t {
    MOD_NONE = 0, MOD_NEG = 1, MOD_BIAS = 2, MOD_BIASNEG = 3, MOD_SIGN = 4, MOD_SIGNNEG = 5,
    MOD_COMP = 6, MOD_X2 = 7, MOD_X2NEG = 8, MOD_DZ = 9, MOD_DW = 10,
};

struct SrcParam {
    uint8_t type = 0;
    uint16_t num = 0;
    bool relative = false;             // c[a0.x + num]
    uint8_t swizzle = IDENTITY_SWIZZLE;
    uint8_t mod = MOD_NONE;
    // Register component that result component k reads.
    int Component(int k) const { return (swizzle >> (2 * k)) & 3; }
};

struct DstParam {
    uint8_t type = 0;
    uint16_t num = 0;
    uint8_t mask = 0xF;   // bit k: component k written
    bool saturate = false;
    int8_t shift = 0;     // result scale 2^shift, -3..3
};

struct Instruction {
    Op op = Op::Nop;
    bool coissue = false;
    bool hasDst = false;
    DstParam dst;
    uint8_t srcCount = 0;
    SrcParam src[3];
    float def[4] = {0, 0, 0, 0};  // def's four values
    size_t offset = 0;            // index of the instruction token, for messages
};

struct Program {
    bool pixel = false;
    uint8_t major = 0, minor = 0;
    uint8_t model = 0;        // one ShaderModel bit
    DWORD versionToken = 0;
    size_t tokenCount = 0;    // tokens up to and including the end token
    std::vector<Instruction> instructions;
    const char* KindName() const { return pixel ? "ps" : "vs"; }
};

// Decodes tokens[0 .. count): version, instructions, comments, end token. Never reads at or
// past tokens + count. On failure returns false and a one-line reason in *error. Checks the
// structure (known opcodes for the shader model, parameter-token form, reserved bits, the end
// token); the rules about registers and order belong to the validator.
bool ReadProgram(const DWORD* tokens, size_t count, Program* out, std::string* error);

// The shader model bit of a version token, or 0 when the version is not one of 1.0-1.4.
uint8_t ModelOfVersion(DWORD versionToken);

// Register name as the assembler writes it ("r3", "c[a0.x + 4]", "oPos", "t1").
std::string RegisterName(bool pixel, uint8_t type, uint16_t num, bool relative = false);

}  // namespace shader
