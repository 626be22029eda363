// Whole-file reading through the window layer's file calls: the size is known before anything
// is allocated, so a file beyond the limit is refused without reading it.
#include "effect/FileBytes.h"

#include <new>

#include "platform/win/WinFile.h"

namespace {

bool Fail(std::vector<char>* bytes, std::string* reason, const std::string& text) {
    bytes->clear();
    if (reason) *reason = text;
    return false;
}

std::string Mebibytes(size_t bytes) {
    return bytes % (size_t(1) << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

}  // namespace

bool ReadFileBytes(const char* path, std::vector<char>* bytes, std::string* reason, size_t maxBytes) {
    bytes->clear();
    if (!path || !*path) return Fail(bytes, reason, "no file name");
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        switch (GetFileAttributesA(path)) {
            case INVALID_FILE_ATTRIBUTES: return Fail(bytes, reason, "no such file");
            case FILE_ATTRIBUTE_DIRECTORY: return Fail(bytes, reason, "a folder, not a file");
            case FILE_ATTRIBUTE_DEVICE: return Fail(bytes, reason, "not a regular file");
            default: return Fail(bytes, reason, "cannot be opened");
        }
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    const unsigned long long size = (static_cast<unsigned long long>(high) << 32) | low;
    bool ok = true;
    std::string why;
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        ok = false, why = "cannot be read";
    } else if (size > maxBytes) {
        ok = false, why = "larger than " + Mebibytes(maxBytes);
    } else {
        try {
            bytes->resize(static_cast<size_t>(size));
        } catch (const std::bad_alloc&) {
            ok = false, why = "out of memory";
        }
        DWORD got = 0;
        // The size was taken at the open; a file that shrank since is read as far as it goes.
        if (ok && size > 0 && !ReadFile(file, bytes->data(), static_cast<DWORD>(size), &got, nullptr))
            ok = false, why = "cannot be read";
        if (ok) bytes->resize(got);
    }
    CloseHandle(file);
    return ok ? true : Fail(bytes, reason, why);
}
