// Validation of version 1.x shaders: registers and ranges per model, modifiers, masks and
// swizzles, read-before-write of temporaries (per component), texture-instruction order and
// sequences in pixel shaders, co-issue pairs, ps.1.4 phases, instruction counts.
//
// [SECTION] Limits and helpers
// [SECTION] Checker
// [SECTION] Entry points
#include "platform/d3d/shader/ShaderValidator.h"

#include "platform/d3d/shader/VertexDeclaration.h"
#include "platform/win/TextFormat.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace shader {

// [SECTION] Limits and helpers
namespace {

struct RegisterLimits {
    int temps;     // r
    int inputs;    // v
    int consts;    // c
    int textures;  // t (pixel shaders)
};

RegisterLimits LimitsFor(const Program& p, const ShaderCaps& caps) {
    if (!p.pixel) return {12, 16, static_cast<int>(caps.maxVertexShaderConst), 0};
    if (p.model == PS14) return {6, 2, 8, 6};
    return {2, 2, 8, 4};
}


const char kComponent[] = "xyzw";

// Result components an instruction computes from source `s`, given the destination mask.
uint8_t ResultComponentsRead(Op op, int s, uint8_t dstMask) {
    switch (op) {
        case Op::Dp3: return 0x7;
        case Op::Dp4: return 0xF;
        case Op::Rcp: case Op::Rsq: case Op::Exp: case Op::Log: case Op::ExpP: case Op::LogP:
            return 0x8;
        case Op::Lit: return 0xB;
        case Op::Dst: return s == 0 ? 0x6 : 0xA;
        case Op::M4x4: case Op::M4x3: return 0xF;
        case Op::M3x4: case Op::M3x3: case Op::M3x2: return 0x7;
        case Op::Bem: return 0x3;
        default: return dstMask;
    }
}

// Register components a source reads for the given result components.
uint8_t RegisterComponents(const SrcParam& s, uint8_t resultMask) {
    uint8_t m = 0;
    for (int k = 0; k < 4; ++k)
        if (resultMask & (1u << k)) m |= static_cast<uint8_t>(1u << s.Component(k));
    return m;
}

int MatrixRows(Op op) {
    switch (op) {
        case Op::M4x4: case Op::M3x4: return 4;
        case Op::M4x3: case Op::M3x3: return 3;
        case Op::M3x2: return 2;
        default: return 1;
    }
}

bool IsPixelArith(const Instruction& ins) {
    return GetOpInfo(ins.op).cls == OpClass::Arith;
}

// [SECTION] Checker
class Checker {
public:
    Checker(const Program& p, const ShaderCaps& caps, std::string* error)
        : program(p), caps(caps), error(error), limits(LimitsFor(p, caps)) {
        ps14 = p.model == PS14;
        for (const Instruction& ins : p.instructions)
            if (ins.op == Op::Phase) hasPhase = true;
    }

    bool Run();

private:
    bool Fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    bool CheckVersion();
    bool CheckDef(const Instruction& ins);
    bool CheckPixelTexture13(const Instruction& ins);
    bool CheckPixelTexture14(const Instruction& ins);
    bool CheckArith(const Instruction& ins, const Instruction* prev);
    bool CheckArithDst(const Instruction& ins);
    bool CheckArithSrc(const Instruction& ins, int s, int* constRead, int* inputRead);
    bool CheckRead(uint8_t type, int num, uint8_t components);
    void Write(uint8_t type, int num, uint8_t mask) { pending[pendingCount++] = {type, num, mask}; }
    void ApplyPending();
    bool CheckEnd();

    const Program& program;
    const ShaderCaps& caps;
    std::string* error;
    RegisterLimits limits;
    bool ps14 = false;
    bool hasPhase = false;
    int index = 0;            // 1-based instruction number, for messages
    const char* opName = "";

    uint8_t rWritten[12] = {};  // components of r# written so far
    uint8_t tWritten[8] = {};   // components of t# written so far (ps.1.0-1.3)
    bool a0Written = false;
    bool oPosWritten = false;
    struct PendingWrite { uint8_t type; int num; uint8_t mask; };
    PendingWrite pending[2];  // writes of the current co-issue group land after its reads
    int pendingCount = 0;

    bool seenNonDef = false;
    bool seenArith = false;     // in this phase
    bool inPhase2 = false;      // ps.1.4: past the phase marker
    int texCount = 0;           // texture instructions (in this phase for ps.1.4)
    int arithCount = 0;         // arithmetic instructions (in this phase for ps.1.4)
    int slots = 0;              // vertex-shader instruction slots
    bool texDefined[8] = {};    // t# written by a texture instruction (ps.1.0-1.3)
    bool phaseTexDst[8] = {};   // r# written by texld/texcrd in this phase (ps.1.4)
    // Open texm3x2pad/texm3x3pad sequence: pads seen so far, the next destination, the source.
    int padKind = 0, padsSeen = 0, padNextDst = 0, padSrc = 0;
};

bool Checker::Fail(const char* fmt, ...) {
    if (error) {
        va_list args;
        va_start(args, fmt);
        std::string text = textformat::FormatV(fmt, args);
        va_end(args);
        char head[96];
        if (index > 0)
            snprintf(head, sizeof(head), "%s.%u.%u instruction %d (%s): ", program.KindName(), program.major,
                     program.minor, index, opName);
        else
            snprintf(head, sizeof(head), "%s.%u.%u: ", program.KindName(), program.major, program.minor);
        *error = head + text;
    }
    return false;
}

void Checker::ApplyPending() {
    for (int i = 0; i < pendingCount; ++i) {
        const PendingWrite& w = pending[i];
        if (w.type == REG_TEMP) rWritten[w.num] |= w.mask;
        else if (program.pixel && w.type == REG_TEXTURE) tWritten[w.num] |= w.mask;
        else if (!program.pixel && w.type == REG_ADDR) a0Written = true;
        else if (!program.pixel && w.type == REG_RASTOUT && w.num == 0) oPosWritten = true;
    }
    pendingCount = 0;
}

bool Checker::CheckRead(uint8_t type, int num, uint8_t components) {
    const uint8_t* written = nullptr;
    if (type == REG_TEMP) written = rWritten;
    else if (program.pixel && type == REG_TEXTURE && !ps14) written = tWritten;
    if (!written) return true;
    uint8_t missing = components & static_cast<uint8_t>(~written[num]);
    if (!missing) return true;
    int k = 0;
    while (!(missing & (1u << k))) ++k;
    return Fail("%s.%c is read before it is written", RegisterName(program.pixel, type, num).c_str(),
                kComponent[k]);
}

bool Checker::CheckVersion() {
    DWORD limit = program.pixel ? caps.pixelShaderVersion : caps.vertexShaderVersion;
    if ((limit >> 16) != (program.versionToken >> 16) || (limit & 0xFFFF) < (program.versionToken & 0xFFFF)) {
        return Fail("the device supports %s shaders up to version %u.%u",
                    program.pixel ? "pixel" : "vertex", (limit >> 8) & 0xFF, limit & 0xFF);
    }
    return true;
}

bool Checker::CheckDef(const Instruction& ins) {
    if (program.pixel && seenNonDef) return Fail("def must come before all other instructions");
    if (ins.coissue) return Fail("def cannot be co-issued");
    const DstParam& d = ins.dst;
    if (d.type != REG_CONST || d.num >= limits.consts)
        return Fail("def must name a constant register c0..c%d", limits.consts - 1);
    if (d.mask != 0xF || d.saturate || d.shift)
        return Fail("def takes no write mask or result modifier");
    return true;
}

bool Checker::CheckPixelTexture13(const Instruction& ins) {
    const OpInfo& info = GetOpInfo(ins.op);
    if (seenArith) return Fail("texture instruction after an arithmetic instruction");
    if (ins.coissue) return Fail("texture instructions cannot be co-issued");
    const DstParam& d = ins.dst;
    if (d.type != REG_TEXTURE || d.num >= limits.textures)
        return Fail("destination must be a texture register t0..t%d", limits.textures - 1);
    if (d.mask != 0xF || d.saturate || d.shift)
        return Fail("texture instructions take no write mask or result modifier");
    int m = d.num;
    if (ins.op != Op::TexKill && texDefined[m])
        return Fail("t%d is already written by a texture instruction", m);
    if (info.srcs >= 1) {
        const SrcParam& s = ins.src[0];
        if (s.type != REG_TEXTURE || s.num >= limits.textures || s.relative)
            return Fail("source must be a texture register t0..t%d", limits.textures - 1);
        if (s.num >= m) return Fail("source t%d must come before destination t%d", s.num, m);
        if (!texDefined[s.num]) return Fail("t%d is read before a texture instruction writes it", s.num);
        if (s.swizzle != IDENTITY_SWIZZLE) return Fail("texture sources take no swizzle");
        if (s.mod != MOD_NONE && s.mod != MOD_SIGN) return Fail("texture sources allow only _bx2");
    }
    if (ins.op == Op::TexM3x3Spec) {
        const SrcParam& e = ins.src[1];
        if (e.type != REG_CONST || e.num >= limits.consts || e.relative || e.mod || e.swizzle != IDENTITY_SWIZZLE)
            return Fail("the eye vector must be a constant register c0..c%d", limits.consts - 1);
    }
    // texm3x2pad/texm3x3pad open a sequence that must go on with the next register.
    bool continues = ins.op == Op::TexM3x2Tex || ins.op == Op::TexM3x2Depth ||
                     ins.op == Op::TexM3x3Tex || ins.op == Op::TexM3x3Spec ||
                     ins.op == Op::TexM3x3VSpec || ins.op == Op::TexM3x3 ||
                     (ins.op == Op::TexM3x3Pad && padKind == 3);
    if (padKind) {
        bool fits = continues && ((padKind == 2) == (ins.op == Op::TexM3x2Tex || ins.op == Op::TexM3x2Depth)) &&
                    (padKind != 3 || ins.op != Op::TexM3x3Pad || padsSeen == 1) &&
                    (padKind != 3 || ins.op == Op::TexM3x3Pad || padsSeen == 2);
        if (!fits) return Fail("texm3x%dpad must be followed by the rest of its sequence", padKind);
        if (m != padNextDst || ins.src[0].num != padSrc)
            return Fail("texm3x%d sequence must use t%d with source t%d", padKind, padNextDst, padSrc);
        if (ins.op == Op::TexM3x3Pad) {
            padsSeen = 2;
            padNextDst = m + 1;
        } else {
            padKind = 0;
        }
    } else if (continues) {
        return Fail("'%s' must follow texm3x%dpad", info.name,
                    ins.op == Op::TexM3x2Tex || ins.op == Op::TexM3x2Depth ? 2 : 3);
    } else if (ins.op == Op::TexM3x2Pad || ins.op == Op::TexM3x3Pad) {
        padKind = ins.op == Op::TexM3x2Pad ? 2 : 3;
        padsSeen = 1;
        padNextDst = m + 1;
        padSrc = ins.src[0].num;
    }
    if (++texCount > 4) return Fail("too many texture instructions (at most 4)");
    if (ins.op != Op::TexKill) {
        texDefined[m] = true;
        // Pads only feed their sequence; the register itself holds nothing readable.
        if (ins.op != Op::TexM3x2Pad && ins.op != Op::TexM3x3Pad) Write(REG_TEXTURE, m, 0xF);
    }
    return true;
}

bool Checker::CheckPixelTexture14(const Instruction& ins) {
    if (seenArith) return Fail("texture instruction after an arithmetic instruction in the same phase");
    if (ins.coissue) return Fail("texture instructions cannot be co-issued");
    const DstParam& d = ins.dst;
    if (d.saturate || d.shift) return Fail("texture instructions take no result modifier");
    if (ins.op == Op::TexKill) {
        if ((d.type != REG_TEMP && d.type != REG_TEXTURE) || d.num >= limits.temps)
            return Fail("texkill needs a register r0..r5 or t0..t5");
        if (d.type == REG_TEMP && !CheckRead(REG_TEMP, d.num, 0x7)) return false;
    } else if (ins.op == Op::TexDepth) {
        if (d.type != REG_TEMP || d.num != 5) return Fail("texdepth works on r5 only");
        if (hasPhase && !inPhase2) return Fail("texdepth is only allowed in phase 2");
        if (!CheckRead(REG_TEMP, 5, 0x3)) return false;
    } else {  // texld, texcrd
        if (d.type != REG_TEMP || d.num >= limits.temps) return Fail("destination must be r0..r5");
        if (ins.op == Op::TexLd ? d.mask != 0xF : (d.mask != 0xF && d.mask != 0x7 && d.mask != 0x3))
            return Fail("write mask not allowed here");
        if (phaseTexDst[d.num]) return Fail("r%d is already written by a texture instruction in this phase", d.num);
        const SrcParam& s = ins.src[0];
        if (s.relative) return Fail("relative addressing is not allowed in pixel shaders");
        if (s.type == REG_TEMP) {
            if (ins.op != Op::TexLd || !inPhase2)
                return Fail("r registers can be texture coordinates only for texld in phase 2");
            if (s.num >= limits.temps) return Fail("source register out of range");
            if (!CheckRead(REG_TEMP, s.num, RegisterComponents(s, 0x7))) return false;
        } else if (s.type != REG_TEXTURE || s.num >= limits.textures) {
            return Fail("source must be t0..t5 (or r0..r5 for texld in phase 2)");
        }
        if (s.swizzle != IDENTITY_SWIZZLE && s.swizzle != 0xA4 && s.swizzle != 0xF4)
            return Fail("texture coordinates allow only the swizzles .xyz and .xyw");
        if (s.mod != MOD_NONE && s.mod != MOD_DZ && s.mod != MOD_DW)
            return Fail("texture coordinates allow only the modifiers _dz and _dw");
        if ((s.mod == MOD_DZ && s.swizzle == 0xF4) || (s.mod == MOD_DW && s.swizzle == 0xA4))
            return Fail("the divide modifier does not match the swizzle");
        phaseTexDst[d.num] = true;
        Write(REG_TEMP, d.num, d.mask);
    }
    if (++texCount > 6) return Fail("too many texture instructions in one phase (at most 6)");
    return true;
}

bool Checker::CheckArithDst(const Instruction& ins) {
    const DstParam& d = ins.dst;
    if (d.mask == 0) return Fail("empty write mask");
    // The matrix macros compute one component per row and write nothing else.
    int rows = MatrixRows(ins.op);
    if (rows > 1 && rows < 4 && (d.mask & ~((1u << rows) - 1)))
        return Fail("%s writes only %s", GetOpInfo(ins.op).name, rows == 3 ? ".xyz" : ".xy");
    if (!program.pixel) {
        if (d.saturate || d.shift) return Fail("result modifiers are not allowed in vertex shaders");
        switch (d.type) {
            case REG_TEMP:
                if (d.num >= limits.temps) return Fail("r%u is out of range (r0..r%d)", d.num, limits.temps - 1);
                break;
            case REG_ADDR:
                if (program.model != VS11 || d.num != 0) return Fail("there is no address register a%u in this version", d.num);
                if (ins.op != Op::Mov || d.mask != 0x1) return Fail("a0 can only be written by mov with the mask .x");
                break;
            case REG_RASTOUT:
                if (d.num > 2) return Fail("invalid rasterizer output register %u", d.num);
                break;
            case REG_ATTROUT:
                if (d.num >= 2) return Fail("oD%u is out of range (oD0..oD1)", d.num);
                break;
            case REG_TEXCRDOUT:
                if (d.num >= 8) return Fail("oT%u is out of range (oT0..oT7)", d.num);
                break;
            default:
                return Fail("%s cannot be written", RegisterName(false, d.type, d.num).c_str());
        }
        Write(d.type, d.num, d.mask);
        return true;
    }
    if (!ps14 && (d.shift > 2 || d.shift < -1)) return Fail("result shift not allowed in this version");
    if (d.type == REG_TEMP) {
        if (d.num >= limits.temps) return Fail("r%u is out of range (r0..r%d)", d.num, limits.temps - 1);
    } else if (d.type == REG_TEXTURE && !ps14) {
        if (d.num >= limits.textures) return Fail("t%u is out of range (t0..t%d)", d.num, limits.textures - 1);
    } else {
        return Fail("%s cannot be written", RegisterName(true, d.type, d.num).c_str());
    }
    if (!ps14 && d.mask != 0xF && d.mask != 0x7 && d.mask != 0x8)
        return Fail("write mask must be .rgba, .rgb or .a in this version");
    if (ins.op == Op::Bem && d.mask != 0x3) return Fail("bem writes exactly .rg");
    Write(d.type, d.num, d.mask);
    return true;
}

bool Checker::CheckArithSrc(const Instruction& ins, int s, int* constRead, int* inputRead) {
    const SrcParam& src = ins.src[s];
    int rows = s == 1 ? MatrixRows(ins.op) : 1;
    uint8_t comps = RegisterComponents(src, ResultComponentsRead(ins.op, s, ins.dst.mask));
    if (!program.pixel) {
        if (src.mod != MOD_NONE && src.mod != MOD_NEG) return Fail("source modifiers other than negation are not allowed in vertex shaders");
        if (src.relative && src.type != REG_CONST) return Fail("only constant registers can be addressed relatively");
        switch (src.type) {
            case REG_TEMP:
                if (src.num + rows > limits.temps) return Fail("r%u is out of range (r0..r%d)", src.num + rows - 1, limits.temps - 1);
                for (int k = 0; k < rows; ++k)
                    if (!CheckRead(REG_TEMP, src.num + k, comps)) return false;
                return true;
            case REG_INPUT:
                if (src.num + rows > limits.inputs) return Fail("v%u is out of range (v0..v15)", src.num + rows - 1);
                if (*inputRead >= 0 && *inputRead != src.num) return Fail("only one input register may be read by an instruction");
                *inputRead = src.num;
                return true;
            case REG_CONST:
                if (src.num + rows > limits.consts) return Fail("c%u is out of range (c0..c%d)", src.num + rows - 1, limits.consts - 1);
                if (src.relative) {
                    if (program.model != VS11) return Fail("relative addressing needs vs.1.1");
                    if (!a0Written) return Fail("a0.x is read before it is written");
                }
                {
                    int key = src.num + (src.relative ? 0x10000 : 0);
                    if (*constRead >= 0 && *constRead != key) return Fail("only one constant register may be read by an instruction");
                    *constRead = key;
                }
                return true;
            case REG_ADDR:
                return Fail("a0 can only be used as a relative address");
            default:
                return Fail("%s cannot be read", RegisterName(false, src.type, src.num).c_str());
        }
    }
    if (src.relative) return Fail("relative addressing is not allowed in pixel shaders");
    if (src.mod == MOD_DZ || src.mod == MOD_DW) return Fail("_dz and _dw are only allowed on texld and texcrd");
    if (!ps14 && (src.mod == MOD_X2 || src.mod == MOD_X2NEG)) return Fail("source modifier _x2 needs ps.1.4");
    if (ps14) {
        if (src.swizzle != IDENTITY_SWIZZLE && src.swizzle != 0x00 && src.swizzle != 0x55 &&
            src.swizzle != 0xAA && src.swizzle != 0xFF)
            return Fail("source swizzle must be none, .r, .g, .b or .a");
    } else if (src.swizzle != IDENTITY_SWIZZLE && src.swizzle != 0xFF &&
               (src.swizzle != 0xAA || program.model == PS10)) {
        return Fail("source swizzle must be none, .a or .b in this version");
    }
    switch (src.type) {
        case REG_TEMP:
            if (src.num >= limits.temps) return Fail("r%u is out of range (r0..r%d)", src.num, limits.temps - 1);
            return CheckRead(REG_TEMP, src.num, comps);
        case REG_TEXTURE:
            if (ps14) return Fail("t registers can only be read by texld and texcrd in ps.1.4");
            if (src.num >= limits.textures) return Fail("t%u is out of range (t0..t%d)", src.num, limits.textures - 1);
            return CheckRead(REG_TEXTURE, src.num, comps);
        case REG_INPUT:
            if (src.num >= limits.inputs) return Fail("v%u is out of range (v0..v1)", src.num);
            if (ps14 && hasPhase && !inPhase2) return Fail("colour registers can only be read in phase 2");
            return true;
        case REG_CONST:
            if (src.num >= limits.consts) return Fail("c%u is out of range (c0..c7)", src.num);
            if (ps14 && src.mod != MOD_NONE) return Fail("constant modifiers are not allowed in ps.1.4");
            (void)constRead;
            return true;
        default:
            return Fail("invalid source register type %u", src.type);
    }
}

bool Checker::CheckArith(const Instruction& ins, const Instruction* prev) {
    if (program.pixel) {
        if (padKind) return Fail("texm3x%dpad must be followed by the rest of its sequence", padKind);
        seenArith = true;
        if (ins.coissue) {
            if (!prev || !IsPixelArith(*prev) || prev->coissue)
                return Fail("a co-issued instruction must follow an arithmetic instruction");
            uint8_t a = prev->dst.mask, b = ins.dst.mask;
            bool split = (a == 0x8 && b != 0 && !(b & 0x8)) || (b == 0x8 && a != 0 && !(a & 0x8));
            if (!split) return Fail("co-issued instructions must write colour and alpha separately");
        } else if (++arithCount > 8) {
            return Fail("too many arithmetic instructions (at most 8%s)", ps14 ? " per phase" : "");
        }
        if (ins.op == Op::Cnd && !ps14) {
            const SrcParam& c = ins.src[0];
            if (c.type != REG_TEMP || c.num != 0 || c.swizzle != 0xFF || c.mod != MOD_NONE)
                return Fail("the condition of cnd must be r0.a in this version");
        }
        if (ins.op == Op::Bem && (!hasPhase || inPhase2)) return Fail("bem is only allowed in phase 1");
    } else {
        slots += GetOpInfo(ins.op).slots;
        if (slots > 128) return Fail("too many instructions (at most 128 slots)");
    }
    if (ins.op == Op::Nop) return true;
    int constRead = -1, inputRead = -1;
    for (int s = 0; s < ins.srcCount; ++s)
        if (!CheckArithSrc(ins, s, &constRead, &inputRead)) return false;
    return CheckArithDst(ins);
}

bool Checker::CheckEnd() {
    ApplyPending();
    index = 0;
    if (padKind) return Fail("texm3x%dpad sequence is not finished", padKind);
    if (!program.pixel && !oPosWritten) return Fail("oPos is never written");
    if (program.pixel && !rWritten[0]) return Fail("r0 (the pixel colour) is never written");
    return true;
}

bool Checker::Run() {
    if (!CheckVersion()) return false;
    const Instruction* prev = nullptr;
    for (const Instruction& ins : program.instructions) {
        ++index;
        opName = GetOpInfo(ins.op).name;
        if (!ins.coissue) ApplyPending();
        const OpInfo& info = GetOpInfo(ins.op);
        if (ins.op == Op::Def) {
            if (!CheckDef(ins)) return false;
            prev = &ins;
            continue;
        }
        seenNonDef = true;
        if (ins.op == Op::Phase) {
            if (ins.coissue) return Fail("phase cannot be co-issued");
            if (inPhase2) return Fail("phase may appear only once");
            inPhase2 = true;
            seenArith = false;
            texCount = arithCount = 0;
            for (bool& b : phaseTexDst) b = false;
            // The alpha of the temporaries does not survive the phase marker.
            for (uint8_t& m : rWritten) m &= 0x7;
        } else if (info.cls == OpClass::Texture) {
            if (!(ps14 ? CheckPixelTexture14(ins) : CheckPixelTexture13(ins))) return false;
        } else {
            if (ins.op == Op::Nop && ins.coissue) return Fail("nop cannot be co-issued");
            if (!CheckArith(ins, prev)) return false;
        }
        prev = &ins;
    }
    return CheckEnd();
}

}  // namespace

ShaderCaps DefaultShaderCaps() { return ShaderCaps{}; }

ShaderCaps ShaderCapsFrom(const D3DCAPS8& caps, bool softwareVertexProcessing) {
    ShaderCaps c;
    c.pixelShaderVersion = caps.PixelShaderVersion;
    if (!softwareVertexProcessing) {
        c.vertexShaderVersion = caps.VertexShaderVersion;
        // The translation declares 96 constant registers; more cannot be honoured.
        c.maxVertexShaderConst = caps.MaxVertexShaderConst < 96 ? caps.MaxVertexShaderConst : 96;
    }
    return c;
}

bool ValidateProgram(const Program& program, const ShaderCaps& caps, std::string* error) {
    Checker checker(program, caps, error);
    return checker.Run();
}

HRESULT ValidateShaderTokens(const DWORD* tokens, size_t count, bool pixel,
                             const DWORD* declaration, size_t declarationCount,
                             const ShaderCaps& caps, Program* program, std::string* error) {
    Program local;
    Program& p = program ? *program : local;
    if (!ReadProgram(tokens, count, &p, error)) return D3DERR_INVALIDCALL;
    if (p.pixel != pixel) {
        if (error) *error = pixel ? "a vertex shader was given where a pixel shader is expected"
                                  : "a pixel shader was given where a vertex shader is expected";
        return D3DERR_INVALIDCALL;
    }
    if (!ValidateProgram(p, caps, error)) return D3DERR_INVALIDCALL;
    if (!pixel && declaration) {
        VertexDeclarationDesc decl;
        if (!ParseVertexDeclaration(declaration, declarationCount, caps.maxVertexShaderConst, &decl, error))
            return D3DERR_INVALIDCALL;
        for (const Instruction& ins : p.instructions) {
            for (int s = 0; s < ins.srcCount; ++s) {
                const SrcParam& src = ins.src[s];
                if (src.type != REG_INPUT) continue;
                int rows = s == 1 ? MatrixRows(ins.op) : 1;
                for (int k = 0; k < rows; ++k) {
                    if (!(decl.registerMask & (1u << (src.num + k)))) {
                        if (error) {
                            char buf[120];
                            snprintf(buf, sizeof(buf), "vs.%u.%u: v%d is read but the declaration does not bind it",
                                     p.major, p.minor, src.num + k);
                            *error = buf;
                        }
                        return D3DERR_INVALIDCALL;
                    }
                }
            }
        }
    }
    return S_OK;
}

}  // namespace shader

// [SECTION] Entry points
namespace {

// Nothing bounds the platform-shaped calls but the end token; the reader stops at the first
// token that ends or breaks the stream, so it never reads past the end token.
constexpr size_t kUnbounded = std::numeric_limits<size_t>::max() / sizeof(DWORD);

HRESULT Finish(HRESULT hr, const std::string& error, BOOL wantErrors, char** errors) {
    if (wantErrors && errors) {
        *errors = nullptr;
        if (FAILED(hr)) {
            std::string text = error + "\n";
            char* out = static_cast<char*>(std::malloc(text.size() + 1));
            if (out) std::memcpy(out, text.c_str(), text.size() + 1);
            *errors = out;
        }
    }
    return hr;
}

}  // namespace

HRESULT ValidateVertexShaderN(const DWORD* function, size_t count, const DWORD* declaration,
                              size_t declarationCount, const D3DCAPS8* caps, BOOL wantErrors,
                              char** errors) {
    shader::ShaderCaps c = caps ? shader::ShaderCapsFrom(*caps) : shader::DefaultShaderCaps();
    std::string error;
    HRESULT hr = shader::ValidateShaderTokens(function, count, false, declaration, declarationCount,
                                              c, nullptr, &error);
    return Finish(hr, error, wantErrors, errors);
}

HRESULT ValidatePixelShaderN(const DWORD* function, size_t count, const D3DCAPS8* caps,
                             BOOL wantErrors, char** errors) {
    shader::ShaderCaps c = caps ? shader::ShaderCapsFrom(*caps) : shader::DefaultShaderCaps();
    std::string error;
    HRESULT hr = shader::ValidateShaderTokens(function, count, true, nullptr, 0, c, nullptr, &error);
    return Finish(hr, error, wantErrors, errors);
}

HRESULT ValidateVertexShader(const DWORD* function, const DWORD* declaration,
                             const D3DCAPS8* caps, BOOL wantErrors, char** errors) {
    return ValidateVertexShaderN(function, function ? kUnbounded : 0, declaration,
                                 declaration ? kUnbounded : 0, caps, wantErrors, errors);
}

HRESULT ValidatePixelShader(const DWORD* function, const D3DCAPS8* caps, BOOL wantErrors,
                            char** errors) {
    return ValidatePixelShaderN(function, function ? kUnbounded : 0, caps, wantErrors, errors);
}

void FreeValidatorErrors(char* errors) { std::free(errors); }
