// Decoding of vertex-shader declaration tokens (stream, register, skip, constant, end).
#include "platform/d3d/shader/VertexDeclaration.h"

#include <cassert>
#include <cstdio>
#include <cstring>

namespace shader {

namespace {

const VertexDataTypeInfo kTypes[] = {
    {"FLOAT1", 4, 1},   {"FLOAT2", 8, 2}, {"FLOAT3", 12, 3}, {"FLOAT4", 16, 4},
    {"D3DCOLOR", 4, 4}, {"UBYTE4", 4, 4}, {"SHORT2", 4, 2},  {"SHORT4", 8, 4},
};

bool Fail(std::string* error, size_t at, const char* text, unsigned value = 0) {
    if (error) {
        char buf[200];
        snprintf(buf, sizeof(buf), "declaration token %zu: ", at);
        char msg[160];
        snprintf(msg, sizeof(msg), text, value);
        *error = std::string(buf) + msg;
    }
    return false;
}

}  // namespace

const VertexDataTypeInfo* GetVertexDataTypeInfo(DWORD type) {
    return type < sizeof(kTypes) / sizeof(kTypes[0]) ? &kTypes[type] : nullptr;
}

bool ParseVertexDeclaration(const DWORD* tokens, size_t count, DWORD maxConstants,
                            VertexDeclarationDesc* out, std::string* error) {
    assert(out);
    *out = VertexDeclarationDesc{};
    if (!tokens) return Fail(error, 0, "no declaration");
    DWORD stream = 0;
    for (size_t i = 0; i < count; ++i) {
        DWORD t = tokens[i];
        if (t == D3DVSD_END()) {
            out->tokenCount = i + 1;
            return true;
        }
        switch ((t & D3DVSD_TOKENTYPEMASK) >> D3DVSD_TOKENTYPESHIFT) {
            case D3DVSD_TOKEN_NOP:
                if (t != 0) return Fail(error, i, "reserved bits set in a no-op token");
                break;
            case D3DVSD_TOKEN_STREAM:
                if (t & D3DVSD_STREAMTESSMASK)
                    return Fail(error, i, "tessellator streams are not supported");
                if (t & 0x0FFFFFF0u) return Fail(error, i, "reserved bits set in a stream token");
                stream = t & D3DVSD_STREAMNUMBERMASK;
                break;
            case D3DVSD_TOKEN_STREAMDATA:
                if (t & D3DVSD_DATALOADTYPEMASK) {  // skip
                    if (t & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_DATALOADTYPEMASK | D3DVSD_SKIPCOUNTMASK))
                        return Fail(error, i, "reserved bits set in a skip token");
                    out->streamSize[stream] += 4 * ((t & D3DVSD_SKIPCOUNTMASK) >> D3DVSD_SKIPCOUNTSHIFT);
                } else {
                    if (t & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_DATATYPEMASK | D3DVSD_VERTEXREGMASK))
                        return Fail(error, i, "reserved bits set in a register token");
                    DWORD type = (t & D3DVSD_DATATYPEMASK) >> D3DVSD_DATATYPESHIFT;
                    DWORD reg = t & D3DVSD_VERTEXREGMASK;
                    const VertexDataTypeInfo* info = GetVertexDataTypeInfo(type);
                    if (!info) return Fail(error, i, "unknown data type %u", type);
                    if (reg > MAX_DECL_REGISTER) return Fail(error, i, "register v%u out of range", reg);
                    if (out->registerMask & (1u << reg))
                        return Fail(error, i, "register v%u is bound twice", reg);
                    out->registerMask |= 1u << reg;
                    out->elements.push_back({stream, out->streamSize[stream], type, reg});
                    out->streamSize[stream] += info->bytes;
                }
                break;
            case D3DVSD_TOKEN_TESSELLATOR:
                return Fail(error, i, "tessellator tokens are not supported");
            case D3DVSD_TOKEN_CONSTMEM: {
                if (t & 0x0000FF80u) return Fail(error, i, "reserved bits set in a constant token");
                DWORD regs = (t & D3DVSD_CONSTCOUNTMASK) >> D3DVSD_CONSTCOUNTSHIFT;
                DWORD first = t & D3DVSD_CONSTADDRESSMASK;
                if (first + regs > maxConstants) {
                    if (!maxConstants) return Fail(error, i, "there are no constant registers");
                    return Fail(error, i, "constants past the last register c%u", maxConstants - 1);
                }
                if (4 * static_cast<size_t>(regs) > count - i - 1)
                    return Fail(error, i, "constant data runs past the end of the declaration");
                ConstantLoad load;
                load.first = first;
                load.values.resize(4 * regs);
                if (regs) std::memcpy(load.values.data(), tokens + i + 1, 16 * regs);
                out->constants.push_back(std::move(load));
                i += 4 * regs;
                break;
            }
            case D3DVSD_TOKEN_EXT:
                return Fail(error, i, "extension tokens are not supported");
            default:
                return Fail(error, i, "unknown token type 0x%08X", t);
        }
    }
    return Fail(error, count, "missing end token");
}

}  // namespace shader
