// Whole-file reading with the C library only (no locale, no mapping).
#include "effect/FileBytes.h"

#include <cstdio>

bool ReadFileBytes(const char* path, std::vector<char>* bytes) {
    bytes->clear();
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char chunk[65536];
    bool ok = true;
    for (;;) {
        size_t n = std::fread(chunk, 1, sizeof chunk, f);
        bytes->insert(bytes->end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    return ok;
}
