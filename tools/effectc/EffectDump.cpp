// Listing of compiled effects and disassembly of 1.x shader tokens for `effectc dump`.
#include "EffectDump.h"

#include "effect/CompilerSupport.h"
#include "effect/EffectBlockTags.h"
#include "effect/EffectStates.h"
#include "effect/ShaderAssembler.h"
#include "platform/win/TextFormat.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

using textformat::Format;

std::string TagText(uint32_t tag) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        if (c == 0) break;
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

// A zero-terminated name inside `count` words; printable bytes only.
std::string NameText(const uint32_t* words, size_t count) {
    const char* bytes = reinterpret_cast<const char*>(words);
    size_t n = strnlen(bytes, count * 4);
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') s += '\\';
        if (c >= 32 && c < 127)
            s += static_cast<char>(c);
        else
            s += Format("\\x%02x", c);
    }
    return "\"" + s + "\"";
}

float AsFloat(uint32_t w) {
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

std::string StateName(uint32_t code, uint32_t index) {
    const EffectStateInfo* s = FindStateByCode(code);
    std::string name = s ? s->name : Format("state 0x%08X", code);
    if (s && s->indexLimit == 1) return name;
    return name + Format("[%u]", index);
}

const char* kRegisterNamesVs[] = {"r", "v", "c", "a", "o", "oD", "oT", "?"};
const char* kRegisterNamesPs[] = {"r", "v", "c", "t", "?", "?", "?", "?"};

std::string RegisterText(uint32_t token, bool pixel) {
    uint32_t type = (token >> 28) & 7, number = token & 0x1FFF;
    if (!pixel && type == 4) {
        static const char* kOut[] = {"oPos", "oFog", "oPts"};
        return number < 3 ? kOut[number] : Format("o%u", number);
    }
    const char* prefix = pixel ? kRegisterNamesPs[type] : kRegisterNamesVs[type];
    if (token & (1u << 13)) return Format("%s[a0.x + %u]", prefix, number);
    return Format("%s%u", prefix, number);
}

std::string DestinationText(uint32_t token, bool pixel) {
    std::string s = RegisterText(token, pixel);
    uint32_t mask = (token >> 16) & 0xF;
    if (mask != 0xF) {
        s += '.';
        for (int i = 0; i < 4; ++i)
            if (mask & (1u << i)) s += "xyzw"[i];
    }
    return s;
}

std::string SourceText(uint32_t token, bool pixel) {
    uint32_t modifier = (token >> 24) & 0xF;
    std::string s = RegisterText(token, pixel);
    static const char* kSuffix[] = {"", "", "_bias", "_bias", "_bx2", "_bx2", "", "_x2", "_x2", "_dz", "_dw"};
    if (modifier < 11) s += kSuffix[modifier];
    if (modifier == 1 || modifier == 3 || modifier == 5 || modifier == 8) s = "-" + s;
    if (modifier == 6) s = "1-" + s;
    uint32_t swizzle = (token >> 16) & 0xFF;
    if (swizzle != 0xE4) {
        s += '.';
        for (int i = 0; i < 4; ++i) s += "xyzw"[(swizzle >> (2 * i)) & 3];
    }
    return s;
}

}  // namespace

void DisassembleShader(const uint32_t* tokens, size_t count, const std::string& indent, std::string* out) {
    if (count == 0) return;
    uint32_t version = tokens[0];
    bool pixel = (version >> 16) == 0xFFFF;
    if ((version >> 16) != 0xFFFE && !pixel) {
        *out += indent + Format("(not a shader: 0x%08X)\n", version);
        return;
    }
    bool ps14 = pixel && (version & 0xFFFF) >= 0x0104;
    *out += indent + Format("%s.%u.%u\n", pixel ? "ps" : "vs", (version >> 8) & 0xFF, version & 0xFF);
    size_t i = 1;
    while (i < count) {
        uint32_t token = tokens[i];
        if (token == 0x0000FFFF) {
            *out += indent + "end\n";
            return;
        }
        uint32_t opcode = token & 0xFFFF;
        if (opcode == 0xFFFE) {
            size_t words = (token >> 16) & 0x7FFF;
            if (i + 1 + words > count) break;
            const uint32_t* body = tokens + i + 1;
            uint32_t tag = words ? body[0] : 0;
            if (tag == kTagShaderLine && words == 2)
                *out += indent + Format("; line %u\n", body[1]);
            else if (tag == kTagShaderFile || tag == kTagShaderText)
                *out += indent + "; " + TagText(tag) + " " + NameText(body + 1, words - 1) + "\n";
            else
                *out += indent + "; " + NameText(body, words) + "\n";
            i += 1 + words;
            continue;
        }
        const char* name = ShaderOpcodeName(opcode, pixel, ps14);
        if (opcode == 81) {  // def: destination and four floats
            if (i + 6 > count) break;
            *out += indent + Format("def %s, %g, %g, %g, %g\n", RegisterText(tokens[i + 1], pixel).c_str(),
                                    AsFloat(tokens[i + 2]), AsFloat(tokens[i + 3]), AsFloat(tokens[i + 4]),
                                    AsFloat(tokens[i + 5]));
            i += 6;
            continue;
        }
        std::string line = (token & 0x40000000u) ? "+" : "";
        line += name ? name : Format("op%u", opcode);
        ++i;
        bool first = true;
        while (i < count && (tokens[i] & 0x80000000u)) {
            uint32_t operand = tokens[i++];
            if (first) {
                uint32_t shift = (operand >> 24) & 0xF;
                static const char* kShift[16] = {"", "_x2", "_x4", "_x8", "", "", "", "", "",
                                                 "", "", "", "", "_d8", "_d4", "_d2"};
                line += kShift[shift];
                if (operand & (1u << 20)) line += "_sat";
                line += " " + DestinationText(operand, pixel);
                first = false;
            } else {
                line += ", " + SourceText(operand, pixel);
            }
        }
        *out += indent + line + "\n";
    }
    *out += indent + "(token stream ends without the end token)\n";
}

namespace {

struct Reader {
    const std::vector<uint32_t>& words;
    std::string* out;
    bool ok = true;

    void Value(const uint32_t* data, size_t count, const std::string& indent) {
        if (count == 0) {
            *out += indent + "VALU (empty)\n";
            return;
        }
        uint32_t kind = data[0];
        std::string head = indent + "VALU " + EffectTypeName(kind);
        switch (kind) {
            case EFFECT_DWORD:
                if (count >= 2) head += Format(" 0x%08X (%d)", data[1], static_cast<int>(data[1]));
                *out += head + "\n";
                return;
            case EFFECT_FLOAT:
                if (count >= 2) head += Format(" %g", AsFloat(data[1]));
                *out += head + "\n";
                return;
            case EFFECT_VECTOR:
            case EFFECT_MATRIX:
                for (size_t i = 1; i < count; ++i) head += Format(" %g", AsFloat(data[i]));
                *out += head + "\n";
                return;
            case EFFECT_STRING:
                *out += head + " " + NameText(data + 1, count - 1) + "\n";
                return;
            case EFFECT_VERTEXSHADER:
            case EFFECT_PIXELSHADER: {
                *out += head + "\n";
                if (count < 2) return;
                size_t decl = data[1];
                if (decl > count - 2) {
                    *out += indent + "  (declaration longer than the value)\n";
                    ok = false;
                    return;
                }
                for (size_t i = 0; i < decl; ++i) *out += indent + Format("  decl 0x%08X\n", data[2 + i]);
                DisassembleShader(data + 2 + decl, count - 2 - decl, indent + "  ", out);
                return;
            }
            default:
                *out += head + Format(" (%zu words)\n", count - 1);
        }
    }

    // Lists the node at `at` (which must end by `limit`); returns the position after it.
    size_t Node(size_t at, size_t limit, const std::string& indent, int depth) {
        if (at + 3 > limit || depth > 16) {
            ok = false;
            *out += indent + "(truncated node)\n";
            return limit;
        }
        uint32_t tag = words[at], dataCount = words[at + 1], childrenSize = words[at + 2];
        size_t dataEnd = at + 3 + size_t(dataCount);
        size_t nodeEnd = dataEnd + size_t(childrenSize);
        if (dataEnd > limit || nodeEnd > limit) {
            ok = false;
            *out += indent + Format("%s (sizes run past the block)\n", TagText(tag).c_str());
            return limit;
        }
        const uint32_t* data = words.data() + at + 3;
        std::string name = TagText(tag);
        if (tag == kTagParameter && dataCount >= 1)
            *out += indent + "PARM " + EffectTypeName(data[0]) + " " + NameText(data + 1, dataCount - 1) + "\n";
        else if ((tag == kTagTechnique || tag == kTagPass) && dataCount >= 1)
            *out += indent + name + " " + NameText(data, dataCount) + "\n";
        else if (tag == kTagAssignment && dataCount >= 3)
            *out += indent + "ASGN " + StateName(data[1], data[2]) + " (" + EffectTypeName(data[0]) + ")\n";
        else if (tag == kTagReference && dataCount >= 2)
            *out += indent + Format("REFE parameter %u (%s)\n", data[1], EffectTypeName(data[0]));
        else if (tag == kTagValue)
            Value(data, dataCount, indent);
        else
            *out += indent + name + Format(" (%u data words)\n", dataCount);
        size_t child = dataEnd;
        while (child < nodeEnd && ok) child = Node(child, nodeEnd, indent + "  ", depth + 1);
        return nodeEnd;
    }
};

}  // namespace

bool DumpEffect(const std::vector<uint32_t>& words, std::string* out) {
    if (words.size() < 3 || words[0] != kTagRoot) {
        *out += "not a compiled effect\n";
        return false;
    }
    Reader reader{words, out};
    size_t end = reader.Node(0, words.size(), "", 0);
    if (reader.ok && end != words.size()) {
        *out += Format("(%zu words after the effect)\n", words.size() - end);
        return false;
    }
    return reader.ok;
}
