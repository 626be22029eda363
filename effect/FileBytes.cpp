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

// Opens `path` for reading when it is a regular file of at most maxBytes; *size receives its
// size. INVALID_HANDLE_VALUE with *reason otherwise.
HANDLE OpenWithin(const char* path, size_t maxBytes, unsigned long long* size, std::string* reason) {
    if (!path || !*path) {
        *reason = "no file name";
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        switch (GetFileAttributesA(path)) {
            case INVALID_FILE_ATTRIBUTES: *reason = "no such file"; break;
            case FILE_ATTRIBUTE_DIRECTORY: *reason = "a folder, not a file"; break;
            case FILE_ATTRIBUTE_DEVICE: *reason = "not a regular file"; break;
            default: *reason = "cannot be opened"; break;
        }
        return INVALID_HANDLE_VALUE;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    *size = (static_cast<unsigned long long>(high) << 32) | low;
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        *reason = "cannot be read";
    } else if (*size > maxBytes) {
        *reason = "larger than " + Mebibytes(maxBytes);
    } else {
        return file;
    }
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool CheckFileToRead(const char* path, size_t maxBytes, std::string* reason) {
    unsigned long long size = 0;
    std::string why;
    HANDLE file = OpenWithin(path, maxBytes, &size, &why);
    if (file == INVALID_HANDLE_VALUE) {
        if (reason) *reason = why;
        return false;
    }
    CloseHandle(file);
    return true;
}

bool ReadFileBytes(const char* path, std::vector<char>* bytes, std::string* reason, size_t maxBytes) {
    bytes->clear();
    unsigned long long size = 0;
    std::string why;
    HANDLE file = OpenWithin(path, maxBytes, &size, &why);
    if (file == INVALID_HANDLE_VALUE) return Fail(bytes, reason, why);
    bool ok = true;
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
    CloseHandle(file);
    return ok ? true : Fail(bytes, reason, why);
}
