// Reads a whole file read-only into memory: the compilers' stand-in for mapping a file. Only
// regular files are read, the open never waits, and no more than a fixed amount is read.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The largest effect, shader or declaration source read from a file.
constexpr size_t kMaxSourceFileBytes = size_t(64) << 20;

// True when `path` names a regular file of at most maxBytes that opens for reading; else false
// with *reason (when given) as ReadFileBytes gives it. For loaders that read files themselves.
bool CheckFileToRead(const char* path, size_t maxBytes, std::string* reason = nullptr);

// False when the file cannot be read: missing, a folder, not a regular file (a pipe or a
// device), larger than maxBytes, out of memory or unreadable. *reason (when given) then says
// which, in a few words ("larger than 64 MiB").
bool ReadFileBytes(const char* path, std::vector<char>* bytes, std::string* reason = nullptr,
                   size_t maxBytes = kMaxSourceFileBytes);
