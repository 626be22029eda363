// A readable listing of a compiled effect ("FX81" block): nodes, names, decoded values and
// disassembled shader tokens. Every read is bounds-checked; a damaged block is reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Lists the block into `out`; false (with a line saying where) when the block is malformed.
bool DumpEffect(const std::vector<uint32_t>& words, std::string* out);
// Disassembles a shader function token stream (version token first) into `out`.
void DisassembleShader(const uint32_t* tokens, size_t count, const std::string& indent, std::string* out);
