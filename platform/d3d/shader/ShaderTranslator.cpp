// Version 1.x shaders to GLSL 3.30 stage functions. Each instruction computes a vec4 into a
// scratch variable and then writes its destination under the write mask; a co-issued pair
// computes both before writing either, so both read the registers as they were.
//
// [SECTION] Helpers emitted into the GLSL
// [SECTION] Emitter: registers and sources
// [SECTION] Emitter: instructions
// [SECTION] Assembly of the stage and entry points
#include "platform/d3d/shader/ShaderTranslator.h"
#include "platform/win/TextFormat.h"

#include <cassert>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace shader {

namespace {

// [SECTION] Helpers emitted into the GLSL
// The documented vertex-shader semantics: rcp/rsq of 0 give +infinity and of 1 exactly 1;
// log of 0 gives the most negative float; the partial-precision forms keep about 15 bits.
const char kVertexHelpers[] = R"(const float sgs_INF = uintBitsToFloat(0x7F800000u);
const float sgs_MINUS_MAX = -3.40282347e38;
float sgs_rcp(float x) { return x == 1.0 ? 1.0 : (x == 0.0 ? sgs_INF : 1.0 / x); }
float sgs_rsq(float x) { x = abs(x); return x == 1.0 ? 1.0 : (x == 0.0 ? sgs_INF : inversesqrt(x)); }
float sgs_log(float x) { x = abs(x); return x == 0.0 ? sgs_MINUS_MAX : log2(x); }
float sgs_partial(float x) { return uintBitsToFloat(floatBitsToUint(x) & 0xFFFFFF00u); }
vec4 sgs_expp(float w) { float f = floor(w); return vec4(exp2(f), w - f, sgs_partial(exp2(w)), 1.0); }
vec4 sgs_logp(float w) {
    float v = abs(w);
    if (v == 0.0) return vec4(sgs_MINUS_MAX, 1.0, sgs_MINUS_MAX, 1.0);
    uint b = floatBitsToUint(v);
    return vec4(float(int(b >> 23) - 127), uintBitsToFloat((b & 0x7FFFFFu) | 0x3F800000u), sgs_partial(log2(v)), 1.0);
}
vec4 sgs_lit(vec4 s) {
    vec4 d = vec4(1.0, 0.0, 0.0, 1.0);
    float p = clamp(s.w, -127.9961, 127.9961);
    if (s.x > 0.0) { d.y = s.x; if (s.y > 0.0) d.z = pow(s.y, p); }
    return d;
}
vec4 sgs_dst(vec4 a, vec4 b) { return vec4(1.0, a.y * b.y, a.z, b.w); }
)";

using textformat::Format;

// A float as an exact GLSL expression.
std::string FloatLiteral(float v) {
    if (!std::isfinite(v)) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof(bits));
        return Format("uintBitsToFloat(0x%08Xu)", bits);
    }
    std::string s = Format("%.9g", static_cast<double>(v));
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string MaskSuffix(uint8_t mask) {
    std::string s = ".";
    for (int k = 0; k < 4; ++k)
        if (mask & (1u << k)) s += "xyzw"[k];
    return s;
}

std::string SwizzleSuffix(uint8_t swizzle) {
    if (swizzle == IDENTITY_SWIZZLE) return "";
    std::string s = ".";
    for (int k = 0; k < 4; ++k) s += "xyzw"[(swizzle >> (2 * k)) & 3];
    return s;
}

int MatrixRows(Op op) {
    switch (op) {
        case Op::M4x4: case Op::M3x4: return 4;
        case Op::M4x3: case Op::M3x3: return 3;
        case Op::M3x2: return 2;
        default: return 0;
    }
}

// [SECTION] Emitter: registers and sources
class Emitter {
public:
    Emitter(const Program& p, const TranslateOptions& o, TranslatedShader* out)
        : program(p), options(o), result(*out), ps14(p.model == PS14) {}

    void Run();
    const std::string& Body() const { return body; }

private:
    std::string ConstRead(int num, bool relative);
    std::string RegRead(const SrcParam& s, int rowOffset = 0);
    std::string Src(const SrcParam& s, int rowOffset = 0);
    std::string DstName(const DstParam& d);
    std::string TexCoord(int n) {
        result.texcoordMask |= 1u << n;
        return Format("sg_vT[%d]", n);
    }
    std::string Sample(int stage, const std::string& uv) {
        result.samplerMask |= 1u << stage;
        return Format("texture(sg_Sampler%d, %s)", stage, uv.c_str());
    }
    std::string BumpMat(int stage) {
        result.bumpEnvMask |= 1u << stage;
        return Format("sg_BumpEnvMat[%d]", stage);
    }
    std::string Compute(const Instruction& ins, const std::string& t);
    std::string Writeback(const Instruction& ins, const std::string& t);
    void TextureOp13(const Instruction& ins);
    void TextureOp14(const Instruction& ins);
    void Line(const std::string& s) { body += "    " + s + "\n"; }

    const Program& program;
    const TranslateOptions& options;
    TranslatedShader& result;
    bool ps14;
    bool localConstants = false;  // vertex shader with def and relative addressing
    int padIndex = 0;             // texm3x3pad rows seen in the open sequence
    std::array<float, 4> defs[VS_CONSTANTS] = {};
    std::bitset<VS_CONSTANTS> defined;
    std::string body;
};

std::string Emitter::ConstRead(int num, bool relative) {
    if (program.pixel) {
        if (defined[num]) {
            const auto& v = defs[num];
            return "vec4(" + FloatLiteral(v[0]) + ", " + FloatLiteral(v[1]) + ", " +
                   FloatLiteral(v[2]) + ", " + FloatLiteral(v[3]) + ")";
        }
        result.constantsRead.set(num);
        return Format("sg_PSConst[%d]", num);
    }
    const char* array = localConstants ? "sgs_c" : "sg_VSConst";
    if (relative) {
        result.relativeConstants = true;
        // Out of range reads give 0; the index is clamped as well so that no driver ever
        // indexes past the array, whichever side of the selection it evaluates.
        return Format("(a0.x + %d >= 0 && a0.x + %d < %d ? %s[clamp(a0.x + %d, 0, %d)] : vec4(0.0))", num, num,
                   VS_CONSTANTS, array, num, VS_CONSTANTS - 1);
    }
    if (defined[num] && !localConstants) {
        const auto& v = defs[num];
        return "vec4(" + FloatLiteral(v[0]) + ", " + FloatLiteral(v[1]) + ", " +
               FloatLiteral(v[2]) + ", " + FloatLiteral(v[3]) + ")";
    }
    if (!defined[num]) result.constantsRead.set(num);
    return Format("%s[%d]", array, num);
}

std::string Emitter::RegRead(const SrcParam& s, int rowOffset) {
    int num = s.num + rowOffset;
    switch (s.type) {
        case REG_TEMP: return Format("r%d", num);
        case REG_INPUT:
            if (program.pixel) {
                result.colorMask |= 1u << num;
                return Format("sg_vD%d", num);
            }
            result.inputMask |= 1u << num;
            return Format("sg_v%d", num);
        case REG_CONST: return ConstRead(num, s.relative);
        case REG_TEXTURE:
            assert(program.pixel);
            if (ps14) return TexCoord(num);
            return Format("t%d", num);
        default:
            assert(!"register kind the validator refuses");
            return "vec4(0.0)";
    }
}

std::string Emitter::Src(const SrcParam& s, int rowOffset) {
    std::string base = RegRead(s, rowOffset);
    std::string swz = SwizzleSuffix(s.swizzle);
    std::string v = swz.empty() ? base : (base.find('(') != std::string::npos ? "(" + base + ")" + swz : base + swz);
    switch (s.mod) {
        case MOD_NONE: return v;
        case MOD_NEG: return "(-" + v + ")";
        case MOD_BIAS: return "(" + v + " - 0.5)";
        case MOD_BIASNEG: return "(0.5 - " + v + ")";
        case MOD_SIGN: return "(2.0 * " + v + " - 1.0)";
        case MOD_SIGNNEG: return "(1.0 - 2.0 * " + v + ")";
        case MOD_COMP: return "(1.0 - " + v + ")";
        case MOD_X2: return "(2.0 * " + v + ")";
        case MOD_X2NEG: return "(-2.0 * " + v + ")";
        default: return v;  // _dz/_dw: handled by texld/texcrd
    }
}

std::string Emitter::DstName(const DstParam& d) {
    switch (d.type) {
        case REG_TEMP: return Format("r%d", d.num);
        case REG_TEXTURE: return program.pixel ? Format("t%d", d.num) : "a0";
        case REG_RASTOUT:
            if (d.num == 0) {
                result.outputMask |= OUT_POS;
                return "sg_oPos";
            }
            result.outputMask |= d.num == 1 ? OUT_FOG : OUT_PTS;
            return d.num == 1 ? "sg_oFog" : "sg_oPts";
        case REG_ATTROUT:
            result.outputMask |= d.num == 0 ? OUT_D0 : OUT_D1;
            return Format("sg_oD%d", d.num);
        case REG_TEXCRDOUT:
            result.outputMask |= OUT_T0 << d.num;
            return Format("sg_oT[%d]", d.num);
        default:
            assert(!"destination the validator refuses");
            return "sgs_sink";
    }
}

// [SECTION] Emitter: instructions
std::string Emitter::Compute(const Instruction& ins, const std::string& t) {
    auto S = [&](int i) { return Src(ins.src[i]); };
    std::string e;
    switch (ins.op) {
        case Op::Mov: e = S(0); break;
        case Op::Add: e = S(0) + " + " + S(1); break;
        case Op::Sub: e = S(0) + " - " + S(1); break;
        case Op::Mad: e = S(0) + " * " + S(1) + " + " + S(2); break;
        case Op::Mul: e = S(0) + " * " + S(1); break;
        case Op::Rcp: e = "vec4(sgs_rcp(" + S(0) + ".w))"; break;
        case Op::Rsq: e = "vec4(sgs_rsq(" + S(0) + ".w))"; break;
        case Op::Dp3: e = "vec4(dot(" + S(0) + ".xyz, " + S(1) + ".xyz))"; break;
        case Op::Dp4: e = "vec4(dot(" + S(0) + ", " + S(1) + "))"; break;
        case Op::Min: e = "min(" + S(0) + ", " + S(1) + ")"; break;
        case Op::Max: e = "max(" + S(0) + ", " + S(1) + ")"; break;
        case Op::Slt: e = "vec4(lessThan(" + S(0) + ", " + S(1) + "))"; break;
        case Op::Sge: e = "vec4(greaterThanEqual(" + S(0) + ", " + S(1) + "))"; break;
        case Op::Exp: e = "vec4(exp2(" + S(0) + ".w))"; break;
        case Op::Log: e = "vec4(sgs_log(" + S(0) + ".w))"; break;
        case Op::Lit: e = "sgs_lit(" + S(0) + ")"; break;
        case Op::Dst: e = "sgs_dst(" + S(0) + ", " + S(1) + ")"; break;
        case Op::Lrp: e = "mix(" + S(2) + ", " + S(1) + ", " + S(0) + ")"; break;
        case Op::Frc: e = "fract(" + S(0) + ")"; break;
        case Op::ExpP: e = "sgs_expp(" + S(0) + ".w)"; break;
        case Op::LogP: e = "sgs_logp(" + S(0) + ".w)"; break;
        case Op::M4x4: case Op::M4x3: case Op::M3x4: case Op::M3x3: case Op::M3x2: {
            bool three = ins.op == Op::M3x4 || ins.op == Op::M3x3 || ins.op == Op::M3x2;
            std::string a = S(0) + (three ? ".xyz" : "");
            e = "vec4(";
            for (int k = 0; k < 4; ++k) {
                if (k) e += ", ";
                if (k < MatrixRows(ins.op)) e += "dot(" + a + ", " + Src(ins.src[1], k) + (three ? ".xyz" : "") + ")";
                else e += "0.0";
            }
            e += ")";
            break;
        }
        case Op::Cnd:
            if (ps14) e = "mix(" + S(2) + ", " + S(1) + ", greaterThan(" + S(0) + ", vec4(0.5)))";
            else e = "(" + S(0) + ".w > 0.5 ? " + S(1) + " : " + S(2) + ")";
            break;
        case Op::Cmp: e = "mix(" + S(2) + ", " + S(1) + ", greaterThanEqual(" + S(0) + ", vec4(0.0)))"; break;
        case Op::Bem: {
            std::string a = S(0), b = S(1), m = BumpMat(ins.dst.num);
            e = "vec4(" + a + ".x + " + m + ".x * " + b + ".x + " + m + ".z * " + b + ".y, " + a + ".y + " + m +
                ".y * " + b + ".x + " + m + ".w * " + b + ".y, 0.0, 0.0)";
            break;
        }
        default:
            assert(!"not an arithmetic instruction");
            e = "vec4(0.0)";
    }
    std::string line = t + " = " + e + ";";
    // bem computes texture coordinates, which (like texcrd) keep their full range.
    if (program.pixel && ins.op != Op::Bem) {
        // Result shift, then the register range the device reports, then saturation.
        const DstParam& d = ins.dst;
        std::string v = t;
        if (d.shift > 0) v = Format("%s * %.1f", t.c_str(), static_cast<double>(1 << d.shift));
        if (d.shift < 0) v = Format("%s * %.3f", t.c_str(), 1.0 / static_cast<double>(1 << -d.shift));
        std::string range = FloatLiteral(options.pixelShaderMaxValue);
        if (d.saturate) line += " " + t + " = clamp(" + v + ", 0.0, 1.0);";
        else line += " " + t + " = clamp(" + v + ", -" + range + ", " + range + ");";
    }
    return line;
}

std::string Emitter::Writeback(const Instruction& ins, const std::string& t) {
    const DstParam& d = ins.dst;
    uint8_t mask = d.mask;
    if (int rows = MatrixRows(ins.op)) mask &= static_cast<uint8_t>((1u << rows) - 1);
    if (!mask) return "";
    std::string name = DstName(d);
    if (!program.pixel && d.type == REG_ADDR) return "a0.x = int(floor(" + t + ".x));";
    if (!program.pixel && d.type == REG_RASTOUT && d.num != 0)
        return (mask & 1) ? name + " = " + t + ".x;" : "";
    if (mask == 0xF) return name + " = " + t + ";";
    std::string m = MaskSuffix(mask);
    return name + m + " = " + t + m + ";";
}

void Emitter::TextureOp13(const Instruction& ins) {
    int m = ins.dst.num;
    int n = ins.srcCount ? ins.src[0].num : 0;
    std::string tn = ins.srcCount ? Src(ins.src[0]) : "";  // _bx2 applies to the source register
    std::string range = FloatLiteral(options.pixelShaderMaxValue);
    auto tc = [&] { return TexCoord(m); };
    (void)n;
    switch (ins.op) {
        case Op::Tex: Line(Format("t%d = ", m) + Sample(m, tc() + ".xy") + ";"); break;
        case Op::TexCoord: Line(Format("t%d = vec4(clamp(%s.xyz, 0.0, 1.0), 1.0);", m, tc().c_str())); break;
        case Op::TexKill:
            result.usesDiscard = true;
            Line("if (any(lessThan(" + TexCoord(m) + ".xyz, vec3(0.0)))) discard;");
            break;
        case Op::TexBem:
        case Op::TexBemL: {
            std::string bm = BumpMat(m);
            Line(Format("t%d = ", m) + Sample(m, "vec2(" + tc() + ".x + " + bm + ".x * " + tn + ".x + " + bm + ".z * " +
                                                   tn + ".y, " + tc() + ".y + " + bm + ".y * " + tn + ".x + " + bm +
                                                   ".w * " + tn + ".y)") + ";");
            if (ins.op == Op::TexBemL)
                Line(Format("t%d.xyz *= %s.z * sg_BumpEnvL[%d].x + sg_BumpEnvL[%d].y;", m, tn.c_str(), m, m));
            break;
        }
        case Op::TexReg2AR: Line(Format("t%d = ", m) + Sample(m, tn + ".wx") + ";"); break;
        case Op::TexReg2GB: Line(Format("t%d = ", m) + Sample(m, tn + ".yz") + ";"); break;
        case Op::TexReg2RGB: Line(Format("t%d = ", m) + Sample(m, tn + ".xy") + ";"); break;
        case Op::TexM3x2Pad: Line("sgs_u = dot(" + tc() + ".xyz, " + tn + ".xyz);"); break;
        case Op::TexM3x2Tex:
            Line("sgs_v = dot(" + tc() + ".xyz, " + tn + ".xyz);");
            Line(Format("t%d = ", m) + Sample(m, "vec2(sgs_u, sgs_v)") + ";");
            break;
        case Op::TexM3x2Depth:
            // z / w from the pad and this row; w = 0 gives the far plane.
            result.writesDepth = true;
            Line("sgs_v = dot(" + tc() + ".xyz, " + tn + ".xyz);");
            Line("gl_FragDepth = sgs_v == 0.0 ? 1.0 : clamp(sgs_u / sgs_v, 0.0, 1.0);");
            Line(Format("t%d = vec4(0.0);", m));
            break;
        case Op::TexM3x3Pad:
            // The first pad of the pair is one register below the second.
            Line(std::string(padIndex == 0 ? "sgs_u" : "sgs_v") + " = dot(" + tc() + ".xyz, " + tn + ".xyz);");
            padIndex ^= 1;
            break;
        case Op::TexM3x3Tex:
        case Op::TexM3x3:
        case Op::TexM3x3Spec:
        case Op::TexM3x3VSpec: {
            Line("sgs_w = dot(" + tc() + ".xyz, " + tn + ".xyz);");
            std::string nrm = "vec3(sgs_u, sgs_v, sgs_w)";
            if (ins.op == Op::TexM3x3) {
                Line(Format("t%d = clamp(vec4(%s, 1.0), -%s, %s);", m, nrm.c_str(), range.c_str(), range.c_str()));
            } else if (ins.op == Op::TexM3x3Tex) {
                Line(Format("t%d = ", m) + Sample(m, nrm + ".xy") + ";");
            } else {
                std::string eye = ins.op == Op::TexM3x3Spec
                                      ? Src(ins.src[1]) + ".xyz"
                                      : "vec3(" + TexCoord(m - 2) + ".w, " + TexCoord(m - 1) + ".w, " + tc() + ".w)";
                Line("sgs_e = " + eye + ";");
                Line("sgs_n = " + nrm + ";");
                // Reflection of the eye vector about the normal: 2 N (N.E) / (N.N) - E.
                Line("sgs_n = 2.0 * sgs_n * dot(sgs_n, sgs_e) / dot(sgs_n, sgs_n) - sgs_e;");
                Line(Format("t%d = ", m) + Sample(m, "sgs_n.xy") + ";");
            }
            break;
        }
        case Op::TexDp3Tex:
            Line(Format("t%d = ", m) + Sample(m, "vec2(dot(" + tc() + ".xyz, " + tn + ".xyz), 0.0)") + ";");
            break;
        case Op::TexDp3:
            Line(Format("t%d = clamp(vec4(dot(%s.xyz, %s.xyz)), -%s, %s);", m, tc().c_str(), tn.c_str(), range.c_str(),
                     range.c_str()));
            break;
        default:
            assert(!"not a ps.1.0-1.3 texture instruction");
    }
}

void Emitter::TextureOp14(const Instruction& ins) {
    const DstParam& d = ins.dst;
    switch (ins.op) {
        case Op::TexKill: {
            result.usesDiscard = true;
            std::string v = d.type == REG_TEMP ? Format("r%d", d.num) : TexCoord(d.num);
            Line("if (any(lessThan(" + v + ".xyz, vec3(0.0)))) discard;");
            break;
        }
        case Op::TexDepth:
            result.writesDepth = true;
            Line("gl_FragDepth = r5.y == 0.0 ? 1.0 : clamp(r5.x / r5.y, 0.0, 1.0);");
            break;
        case Op::TexLd:
        case Op::TexCrd: {
            const SrcParam& s = ins.src[0];
            std::string c = s.type == REG_TEMP ? Format("r%d", s.num) : TexCoord(s.num);
            // .xyz (the default) or .xyw; _dz/_dw divide x and y by the third.
            std::string third = s.swizzle == 0xF4 ? ".w" : ".z";
            std::string xyz = c + ".xy" + (s.swizzle == 0xF4 ? "w" : "z");
            std::string coord = "vec4(" + xyz + ", 1.0)";
            if (s.mod == MOD_DZ || s.mod == MOD_DW) {
                std::string den = c + (s.mod == MOD_DW ? ".w" : ".z");
                coord = "vec4(" + c + ".xy / " + den + ", " + c + third + ", 1.0)";
            }
            if (ins.op == Op::TexLd) {
                Line(Format("r%d = ", d.num) + Sample(d.num, coord + ".xy") + ";");
            } else {
                Line("sgs_t0 = " + coord + ";");
                Line(d.mask == 0xF ? Format("r%d = sgs_t0;", d.num)
                                   : Format("r%d%s = sgs_t0%s;", d.num, MaskSuffix(d.mask).c_str(),
                                         MaskSuffix(d.mask).c_str()));
            }
            break;
        }
        default:
            assert(!"not a ps.1.4 texture instruction");
    }
}

void Emitter::Run() {
    // Constants the shader defines itself.
    bool relative = false;
    for (const Instruction& ins : program.instructions) {
        if (ins.op == Op::Def) {
            int n = ins.dst.num;
            defined.set(n);
            for (int k = 0; k < 4; ++k) defs[n][k] = ins.def[k];
            result.definedConstants.push_back({static_cast<DWORD>(n), defs[n]});
        }
        for (int s = 0; s < ins.srcCount; ++s) relative |= ins.src[s].relative;
    }
    localConstants = !program.pixel && relative && defined.any();
    if (localConstants) {
        Line(Format("vec4 sgs_c[%d] = sg_VSConst;", VS_CONSTANTS));
        for (const auto& [n, v] : result.definedConstants)
            Line(Format("sgs_c[%u] = vec4(", n) + FloatLiteral(v[0]) + ", " + FloatLiteral(v[1]) + ", " +
                 FloatLiteral(v[2]) + ", " + FloatLiteral(v[3]) + ");");
        for (int i = 0; i < VS_CONSTANTS; ++i)
            if (!defined[i]) result.constantsRead.set(i);
    }

    const std::vector<Instruction>& list = program.instructions;
    for (size_t i = 0; i < list.size(); ++i) {
        const Instruction& ins = list[i];
        const OpInfo& info = GetOpInfo(ins.op);
        if (ins.op == Op::Def || ins.op == Op::Nop) continue;
        if (ins.op == Op::Phase) {
            Line("// phase");
            continue;
        }
        if (info.cls == OpClass::Texture) {
            Line(Format("// %s", info.name));
            if (ps14) TextureOp14(ins);
            else TextureOp13(ins);
            continue;
        }
        // An arithmetic instruction and the one co-issued with it, if any.
        size_t j = i + 1;
        while (j < list.size() && list[j].coissue && j < i + 2) ++j;
        std::string computes, writes;
        for (size_t k = i; k < j; ++k) {
            if (list[k].op == Op::Nop) continue;
            std::string t = Format("sgs_t%zu", k - i);
            computes += Compute(list[k], t) + " ";
            writes += Writeback(list[k], t) + " ";
        }
        Line(Format("// %s%s", info.name, j > i + 1 ? " + co-issued" : ""));
        Line(computes);
        Line(writes);
        i = j - 1;
    }
}

}  // namespace

// [SECTION] Assembly of the stage and entry points
void TranslateProgram(const Program& program, const TranslateOptions& options, TranslatedShader* out) {
    assert(out);
    *out = TranslatedShader{};
    out->pixel = program.pixel;
    out->version = program.versionToken;
    Emitter emitter(program, options, out);
    emitter.Run();
    std::string g;
    g += Format("// %s.%u.%u translated by the shader translator\n", program.KindName(), program.major,
             program.minor);
    if (!program.pixel) {
        for (int n = 0; n < 16; ++n)
            if (out->inputMask & (1u << n)) g += Format("layout(location = %d) in vec4 sg_v%d;\n", n, n);
        g += Format("uniform vec4 sg_VSConst[%d];\n", VS_CONSTANTS);
        g += kVertexHelpers;
        g += "void sg_VertexStage() {\n";
        g += "    vec4 r0 = vec4(0.0), r1 = vec4(0.0), r2 = vec4(0.0), r3 = vec4(0.0), r4 = vec4(0.0), r5 = vec4(0.0);\n";
        g += "    vec4 r6 = vec4(0.0), r7 = vec4(0.0), r8 = vec4(0.0), r9 = vec4(0.0), r10 = vec4(0.0), r11 = vec4(0.0);\n";
        g += "    ivec4 a0 = ivec4(0);\n";
        g += "    vec4 sgs_t0, sgs_t1;\n";
        g += emitter.Body();
        g += "}\n";
    } else {
        g += Format("uniform vec4 sg_PSConst[%d];\n", PS_CONSTANTS);
        if (out->bumpEnvMask) g += "uniform vec4 sg_BumpEnvMat[8];\nuniform vec2 sg_BumpEnvL[8];\n";
        g += "vec4 sg_PixelStage() {\n";
        g += "    vec4 r0 = vec4(0.0), r1 = vec4(0.0), r2 = vec4(0.0), r3 = vec4(0.0), r4 = vec4(0.0), r5 = vec4(0.0);\n";
        g += "    vec4 t0 = vec4(0.0), t1 = vec4(0.0), t2 = vec4(0.0), t3 = vec4(0.0);\n";
        g += "    vec4 sgs_t0, sgs_t1;\n";
        g += "    float sgs_u = 0.0, sgs_v = 0.0, sgs_w = 0.0;\n";
        g += "    vec3 sgs_e, sgs_n;\n";
        g += emitter.Body();
        g += "    return r0;\n";
        g += "}\n";
    }
    out->glsl = std::move(g);
}

HRESULT TranslateShader(const DWORD* tokens, size_t count, bool pixel, const ShaderCaps& caps,
                        const TranslateOptions& options, TranslatedShader* out, std::string* error) {
    assert(out);
    Program program;
    HRESULT hr = ValidateShaderTokens(tokens, count, pixel, nullptr, 0, caps, &program, error);
    if (FAILED(hr)) return hr;
    TranslateProgram(program, options, out);
    return S_OK;
}

namespace {
// The platform-shaped calls carry no length; the readers stop at the end token.
constexpr size_t kUnbounded = std::numeric_limits<size_t>::max() / sizeof(DWORD);
}  // namespace

HRESULT BuildVertexShader(const DWORD* declaration, const DWORD* function, const ShaderCaps& caps,
                          const TranslateOptions& options, VertexShaderBuild* out, std::string* error) {
    assert(out);
    *out = VertexShaderBuild{};
    if (!declaration) {
        if (error) *error = "a vertex shader needs a declaration";
        return D3DERR_INVALIDCALL;
    }
    if (!ParseVertexDeclaration(declaration, kUnbounded, caps.maxVertexShaderConst, &out->declaration, error))
        return D3DERR_INVALIDCALL;
    out->declarationTokens.assign(declaration, declaration + out->declaration.tokenCount);
    if (!function) return S_OK;
    Program program;
    HRESULT hr = ValidateShaderTokens(function, kUnbounded, false, declaration, out->declaration.tokenCount, caps,
                                      &program, error);
    if (FAILED(hr)) return hr;
    out->hasFunction = true;
    out->functionTokens.assign(function, function + program.tokenCount);
    TranslateProgram(program, options, &out->stage);
    return S_OK;
}

HRESULT BuildPixelShader(const DWORD* function, const ShaderCaps& caps, const TranslateOptions& options,
                         PixelShaderBuild* out, std::string* error) {
    assert(out);
    *out = PixelShaderBuild{};
    Program program;
    HRESULT hr = ValidateShaderTokens(function, function ? kUnbounded : 0, true, nullptr, 0, caps, &program, error);
    if (FAILED(hr)) return hr;
    out->functionTokens.assign(function, function + program.tokenCount);
    TranslateProgram(program, options, &out->stage);
    return S_OK;
}

}  // namespace shader
