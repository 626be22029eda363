// Hand-written 1.x token streams for the shader tests: small builders for instruction,
// destination and source tokens, so a test reads like the assembly it stands for.
#pragma once

#include "platform/d3d/shader/ShaderTokens.h"

#include <cstring>
#include <initializer_list>
#include <vector>

namespace shadertest {

using shader::Op;

constexpr DWORD VS11 = 0xFFFE0101, VS10 = 0xFFFE0100;
constexpr DWORD PS10 = 0xFFFF0100, PS11 = 0xFFFF0101, PS12 = 0xFFFF0102, PS13 = 0xFFFF0103,
                PS14 = 0xFFFF0104;

// Register kinds as the tests name them.
enum Reg : DWORD { R = 0, V = 1, C = 2, A = 3, T = 3, RAST = 4, OD = 5, OT = 6 };
constexpr DWORD OPOS = 0, OFOG = 1, OPTS = 2;  // RAST numbers

// Swizzles: two bits per component, x = 0 ... w = 3.
constexpr DWORD Swz(int x, int y, int z, int w) { return DWORD(x | (y << 2) | (z << 4) | (w << 6)); }
constexpr DWORD XYZW = 0xE4, XXXX = 0x00, YYYY = 0x55, ZZZZ = 0xAA, WWWW = 0xFF;

inline DWORD Dst(Reg type, DWORD num, DWORD mask = 0xF, bool sat = false, int shift = 0) {
    return 0x80000000u | (DWORD(type) << 28) | num | (mask << 16) | (sat ? 0x00100000u : 0u) |
           (DWORD(shift & 0xF) << 24);
}
inline DWORD Src(Reg type, DWORD num, DWORD swizzle = XYZW, DWORD mod = 0, bool relative = false) {
    return 0x80000000u | (DWORD(type) << 28) | num | (swizzle << 16) | (mod << 24) |
           (relative ? 0x2000u : 0u);
}
inline DWORD Opcode(Op op) { return shader::GetOpInfo(op).opcode; }
inline DWORD Co(Op op) { return Opcode(op) | 0x40000000u; }
inline DWORD F(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

// version, the given tokens, end token.
inline std::vector<DWORD> Shader(DWORD version, std::initializer_list<DWORD> body) {
    std::vector<DWORD> t{version};
    t.insert(t.end(), body);
    t.push_back(0x0000FFFF);
    return t;
}

}  // namespace shadertest
