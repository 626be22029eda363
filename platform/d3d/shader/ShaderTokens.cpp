// Opcode table and the length-checked token reader for version 1.x shaders.
// The reader only decodes and checks the stream's form; it never reads at or past the count.
#include "platform/d3d/shader/ShaderTokens.h"
#include "platform/win/TextFormat.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace shader {

namespace {

const OpInfo kOps[] = {
#define SG_OP_INFO(e, name, code, dsts, srcs, models, cls, slots) \
    {Op::e, name, code, dsts, srcs, models, OpClass::cls, slots},
    SG_SHADER_OPCODES(SG_OP_INFO)
#undef SG_OP_INFO
};
static_assert(sizeof(kOps) / sizeof(kOps[0]) == static_cast<size_t>(Op::Count));

using textformat::Format;

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// Result shift field (bits 24-27): a signed four-bit count.
bool DecodeShift(DWORD field, int8_t* shift) {
    switch (field) {
        case 0: *shift = 0; return true;
        case 1: *shift = 1; return true;
        case 2: *shift = 2; return true;
        case 3: *shift = 3; return true;
        case 15: *shift = -1; return true;
        case 14: *shift = -2; return true;
        case 13: *shift = -3; return true;
        default: return false;
    }
}

}  // namespace

const OpInfo& GetOpInfo(Op op) {
    assert(op < Op::Count);
    return kOps[static_cast<size_t>(op)];
}

uint8_t ModelOfVersion(DWORD v) {
    switch (v) {
        case 0xFFFE0100: return VS10;
        case 0xFFFE0101: return VS11;
        case 0xFFFF0100: return PS10;
        case 0xFFFF0101: return PS11;
        case 0xFFFF0102: return PS12;
        case 0xFFFF0103: return PS13;
        case 0xFFFF0104: return PS14;
        default: return 0;
    }
}

std::string RegisterName(bool pixel, uint8_t type, uint16_t num, bool relative) {
    if (pixel) {
        static const char* const kPixel[] = {"r", "v", "c", "t"};
        if (type < 4) return Format("%s%u", kPixel[type], num);
        return Format("<register type %u>%u", type, num);
    }
    switch (type) {
        case REG_TEMP: return Format("r%u", num);
        case REG_INPUT: return Format("v%u", num);
        case REG_CONST:
            return relative ? Format("c[a0.x + %u]", num) : Format("c%u", num);
        case REG_ADDR: return Format("a%u", num);
        case REG_RASTOUT:
            if (num == 0) return "oPos";
            if (num == 1) return "oFog";
            if (num == 2) return "oPts";
            return Format("<rasterizer output %u>", num);
        case REG_ATTROUT: return Format("oD%u", num);
        case REG_TEXCRDOUT: return Format("oT%u", num);
        default: return Format("<register type %u>%u", type, num);
    }
}

bool ReadProgram(const DWORD* tokens, size_t count, Program* out, std::string* error) {
    assert(out);
    *out = Program{};
    if (!tokens || count == 0) return Fail(error, "empty token stream");
    DWORD version = tokens[0];
    uint8_t model = ModelOfVersion(version);
    if (!model) {
        return Fail(error, Format("unsupported shader version token 0x%08X (vs.1.0-1.1 and "
                                  "ps.1.0-1.4 are supported)", version));
    }
    out->versionToken = version;
    out->model = model;
    out->pixel = (version >> 16) == 0xFFFF;
    out->major = static_cast<uint8_t>(version >> 8);
    out->minor = static_cast<uint8_t>(version);

    size_t i = 1;
    for (;;) {
        if (i >= count) return Fail(error, "missing end token");
        DWORD t = tokens[i];
        if (t == END_TOKEN) {
            out->tokenCount = i + 1;
            return true;
        }
        if ((t & 0xFFFF) == COMMENT_OPCODE && !(t & PARAM_BIT)) {
            size_t words = (t >> 16) & 0x7FFF;
            if (words > count - i - 1) {
                return Fail(error, Format("token %zu: comment of %zu words runs past the end "
                                          "of the token stream", i, words));
            }
            i += 1 + words;
            continue;
        }
        if (t & PARAM_BIT) {
            return Fail(error, Format("token %zu: parameter token 0x%08X where an instruction "
                                      "was expected", i, t));
        }
        if (t & ~(COISSUE_BIT | 0xFFFFu)) {
            return Fail(error, Format("token %zu: reserved bits set in instruction token 0x%08X",
                                      i, t));
        }
        DWORD opcode = t & 0xFFFF;
        const OpInfo* info = nullptr;
        const OpInfo* other = nullptr;
        for (const OpInfo& o : kOps) {
            if (o.opcode != opcode) continue;
            if (o.models & model) {
                info = &o;
                break;
            }
            other = &o;
        }
        if (!info) {
            if (other) {
                return Fail(error, Format("token %zu: '%s' is not allowed in %s.%u.%u", i,
                                          other->name, out->KindName(), out->major,
                                          out->minor));
            }
            return Fail(error, Format("token %zu: unknown opcode %u", i, opcode));
        }
        Instruction ins;
        ins.op = info->op;
        ins.offset = i;
        ins.coissue = (t & COISSUE_BIT) != 0;
        if (ins.coissue && !out->pixel) {
            return Fail(error, Format("token %zu: co-issue is not allowed in vertex shaders", i));
        }
        size_t params = info->dsts + info->srcs + (info->op == Op::Def ? 4 : 0);
        if (params > count - i - 1) {
            return Fail(error, Format("token %zu: '%s' runs past the end of the token stream",
                                      i, info->name));
        }
        size_t p = i + 1;
        if (info->dsts) {
            DWORD d = tokens[p++];
            if (!(d & PARAM_BIT)) {
                return Fail(error, Format("token %zu: '%s' destination 0x%08X is not a "
                                          "parameter token", p - 1, info->name, d));
            }
            // Relative addressing (13), bits 14-15 and result modifiers other than saturate
            // (21-23) do not exist for 1.x destinations.
            if (d & 0x00E0E000) {
                return Fail(error, Format("token %zu: reserved bits set in destination token "
                                          "0x%08X", p - 1, d));
            }
            ins.hasDst = true;
            ins.dst.type = static_cast<uint8_t>((d >> 28) & 7);
            ins.dst.num = static_cast<uint16_t>(d & 0x1FFF);
            ins.dst.mask = static_cast<uint8_t>((d >> 16) & 0xF);
            ins.dst.saturate = (d & SATURATE_BIT) != 0;
            if (!DecodeShift((d >> 24) & 0xF, &ins.dst.shift)) {
                return Fail(error, Format("token %zu: invalid result shift %u", p - 1,
                                          (d >> 24) & 0xF));
            }
        }
        if (info->op == Op::Def) {
            for (int k = 0; k < 4; ++k) std::memcpy(&ins.def[k], &tokens[p++], sizeof(float));
        }
        ins.srcCount = info->srcs;
        for (int s = 0; s < info->srcs; ++s) {
            DWORD v = tokens[p++];
            if (!(v & PARAM_BIT)) {
                return Fail(error, Format("token %zu: '%s' source %d 0x%08X is not a parameter "
                                          "token", p - 1, info->name, s, v));
            }
            if (v & 0x0000C000) {
                return Fail(error, Format("token %zu: reserved bits set in source token 0x%08X",
                                          p - 1, v));
            }
            SrcParam& sp = ins.src[s];
            sp.type = static_cast<uint8_t>((v >> 28) & 7);
            sp.num = static_cast<uint16_t>(v & 0x1FFF);
            sp.relative = (v & RELATIVE_BIT) != 0;
            sp.swizzle = static_cast<uint8_t>((v >> 16) & 0xFF);
            sp.mod = static_cast<uint8_t>((v >> 24) & 0xF);
            if (sp.mod > MOD_DW) {
                return Fail(error, Format("token %zu: invalid source modifier %u", p - 1, sp.mod));
            }
        }
        out->instructions.push_back(ins);
        i = p;
    }
}

}  // namespace shader
