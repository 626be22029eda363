// Reads a whole file read-only into memory: the compilers' stand-in for mapping a file.
#pragma once

#include <vector>

// False when the file cannot be opened or read (missing, a directory, unreadable).
bool ReadFileBytes(const char* path, std::vector<char>* bytes);
