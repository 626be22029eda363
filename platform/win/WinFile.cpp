// Files and read-only mappings on POSIX open/fstat/mmap; handles are ids into one table.
#include "platform/win/WinFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <map>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

enum class ObjectKind { File, Mapping };

struct KernelObject {
    ObjectKind kind;
    int fd;             // File: the open descriptor
    uint64_t fileSize;  // File: size at open; Mapping: size of the mapped file
    uintptr_t fileId;   // Mapping: the file it maps (the file may be closed while it lives)
    int mapFd;          // Mapping: its own duplicate of the descriptor
};

// The attributes of what stat found (see GetFileAttributesA).
DWORD AttributesOf(const char* path, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    if (!S_ISREG(st.st_mode)) return FILE_ATTRIBUTE_DEVICE;
    // Permission bits alone would not protect a file from a process that may write anything.
    bool protectedFile = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path, W_OK) != 0;
    return protectedFile ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

// Ids start high and are never reused, so a stale handle can never reach a new object.
std::map<uintptr_t, KernelObject> objects;
uintptr_t nextObjectId = 0x5000;

struct View {
    void* base;
    size_t length;
};
std::map<uintptr_t, View> views;

HANDLE ToHandle(uintptr_t id) { return reinterpret_cast<HANDLE>(id); }

KernelObject* Find(HANDLE h, ObjectKind kind) {
    auto it = objects.find(reinterpret_cast<uintptr_t>(h));
    if (it == objects.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

DWORD ErrorFromErrno(int e) {
    switch (e) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case ENOSPC: return ERROR_DISK_FULL;
        case EXDEV: return ERROR_NOT_SAME_DEVICE;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        default: return ERROR_FILE_NOT_FOUND;
    }
}

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD, LPVOID, DWORD creation, DWORD, HANDLE) {
    if (!fileName || !*fileName) {
        lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (access != GENERIC_READ || creation != OPEN_EXISTING) {
        lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return INVALID_HANDLE_VALUE;
    }
    // Without O_NONBLOCK the open of a pipe would wait for a writer; only regular files are
    // kept, and for them the flag changes nothing.
    int fd = open(fileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        lastError = ErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    uintptr_t id = nextObjectId++;
    objects[id] = KernelObject{ObjectKind::File, fd, static_cast<uint64_t>(st.st_size), 0, -1};
    lastError = ERROR_SUCCESS;
    return ToHandle(id);
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    KernelObject* f = Find(file, ObjectKind::File);
    if (!f) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(f->fileSize >> 32);
    lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(f->fileSize & 0xFFFFFFFFu);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPVOID) {
    if (bytesRead) *bytesRead = 0;
    KernelObject* f = Find(file, ObjectKind::File);
    if (!f || (!buffer && bytesToRead > 0)) {
        lastError = f ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < bytesToRead) {
        ssize_t n = read(f->fd, out + total, bytesToRead - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            lastError = ErrorFromErrno(errno);
            return FALSE;
        }
        if (n == 0) break;
        total += static_cast<DWORD>(n);
    }
    if (bytesRead) *bytesRead = total;
    lastError = ERROR_SUCCESS;
    return TRUE;
}

HANDLE CreateFileMappingA(HANDLE file, LPVOID, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name) {
    KernelObject* f = Find(file, ObjectKind::File);
    if (!f) {
        lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (protect != PAGE_READONLY || name != nullptr) {
        lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return nullptr;
    }
    uint64_t asked = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    if (asked > f->fileSize) {
        // A read-only mapping cannot grow the file.
        lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (f->fileSize == 0) {
        lastError = ERROR_FILE_INVALID;
        return nullptr;
    }
    int dupFd = fcntl(f->fd, F_DUPFD_CLOEXEC, 0);
    if (dupFd < 0) {
        lastError = ErrorFromErrno(errno);
        return nullptr;
    }
    uintptr_t id = nextObjectId++;
    uint64_t size = asked ? asked : f->fileSize;
    objects[id] = KernelObject{ObjectKind::Mapping, -1, size, reinterpret_cast<uintptr_t>(file), dupFd};
    lastError = ERROR_SUCCESS;
    return ToHandle(id);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     size_t bytesToMap) {
    KernelObject* m = Find(mapping, ObjectKind::Mapping);
    if (!m) {
        lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (access != FILE_MAP_READ) {
        lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    long page = sysconf(_SC_PAGESIZE);
    if (offset >= m->fileSize || (page > 0 && offset % static_cast<uint64_t>(page) != 0)) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    uint64_t length = bytesToMap ? bytesToMap : m->fileSize - offset;
    if (length > m->fileSize - offset) {
        lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    void* base = mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_PRIVATE, m->mapFd,
                      static_cast<off_t>(offset));
    if (base == MAP_FAILED) {
        lastError = ErrorFromErrno(errno);
        return nullptr;
    }
    views[reinterpret_cast<uintptr_t>(base)] = View{base, static_cast<size_t>(length)};
    lastError = ERROR_SUCCESS;
    return base;
}

BOOL UnmapViewOfFile(LPCVOID base) {
    auto it = views.find(reinterpret_cast<uintptr_t>(base));
    if (it == views.end()) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    munmap(it->second.base, it->second.length);
    views.erase(it);
    lastError = ERROR_SUCCESS;
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    auto it = objects.find(reinterpret_cast<uintptr_t>(object));
    if (it == objects.end()) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (it->second.fd >= 0) close(it->second.fd);
    if (it->second.mapFd >= 0) close(it->second.mapFd);
    objects.erase(it);
    lastError = ERROR_SUCCESS;
    return TRUE;
}

ReadOnlyFileMapping::ReadOnlyFileMapping(LPCSTR fileName, DWORD accessHint) {
    file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, accessHint, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD sizeHigh = 0;
    size = GetFileSize(file, &sizeHigh);
    if (size != INVALID_FILE_SIZE && sizeHigh == 0)
        mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping) view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
}

ReadOnlyFileMapping::~ReadOnlyFileMapping() {
    if (view) UnmapViewOfFile(view);
    if (mapping) CloseHandle(mapping);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    struct stat st {};
    if (!fileName || stat(fileName, &st) != 0) {
        lastError = fileName ? ErrorFromErrno(errno) : ERROR_INVALID_PARAMETER;
        return INVALID_FILE_ATTRIBUTES;
    }
    lastError = ERROR_SUCCESS;
    return AttributesOf(fileName, st);
}

namespace {
// 100-nanosecond ticks since 1601-01-01, the platform's file time.
FILETIME FileTimeOf(const struct timespec& t) {
    constexpr uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
    const uint64_t ticks = kTicksFrom1601To1970 + uint64_t(t.tv_sec) * 10000000ull + uint64_t(t.tv_nsec) / 100u;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
}  // namespace

BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    if (!fileName || level != GetFileExInfoStandard || !information) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    struct stat st {};
    if (stat(fileName, &st) != 0) {
        lastError = ErrorFromErrno(errno);
        return FALSE;
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data->dwFileAttributes = AttributesOf(fileName, st);
    data->ftCreationTime = FileTimeOf(st.st_ctim);
    data->ftLastAccessTime = FileTimeOf(st.st_atim);
    data->ftLastWriteTime = FileTimeOf(st.st_mtim);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    lastError = ERROR_SUCCESS;
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pathName, LPVOID) {
    if (!pathName || !*pathName) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (mkdir(pathName, 0777) != 0) {
        lastError = errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno);
        return FALSE;
    }
    lastError = ERROR_SUCCESS;
    return TRUE;
}

UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName) {
    if (!pathName || !*pathName || !tempFileName) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    char prefix[4] = {};
    if (prefixString) std::strncpy(prefix, prefixString, 3);
    // The numbers start from the process and the clock so that two programs writing into one
    // folder rarely try the same name; a taken name moves on to the next number.
    UINT number = unique ? unique
                         : static_cast<UINT>(getpid()) * 2654435761u ^ static_cast<UINT>(time(nullptr));
    for (int attempt = 0; attempt < 1000; ++attempt, ++number) {
        if (number == 0) ++number;
        char name[MAX_PATH];
        int n = std::snprintf(name, sizeof name, "%s/%s%X.tmp", pathName, prefix, number);
        if (n < 0 || static_cast<size_t>(n) >= sizeof name) {
            lastError = ERROR_INVALID_PARAMETER;
            return 0;
        }
        int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            close(fd);
            std::memcpy(tempFileName, name, static_cast<size_t>(n) + 1);
            lastError = ERROR_SUCCESS;
            return number;
        }
        // A given number is tried once only, as the platform does.
        if (errno != EEXIST || unique) {
            lastError = ErrorFromErrno(errno);
            return 0;
        }
    }
    lastError = ERROR_ALREADY_EXISTS;
    return 0;
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    if (!existingFileName || !newFileName || !*existingFileName || !*newFileName) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    struct stat target {};
    if (lstat(newFileName, &target) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            lastError = ERROR_ALREADY_EXISTS;
            return FALSE;
        }
        // What is replaced must be an ordinary file its owner let us change: never a folder,
        // a device or a link, and never a write-protected file.
        if (!S_ISREG(target.st_mode) || AttributesOf(newFileName, target) != FILE_ATTRIBUTE_NORMAL) {
            lastError = ERROR_ACCESS_DENIED;
            return FALSE;
        }
    } else if (errno != ENOENT) {
        lastError = ErrorFromErrno(errno);
        return FALSE;
    }
    if (rename(existingFileName, newFileName) != 0) {
        lastError = ErrorFromErrno(errno);
        return FALSE;
    }
    lastError = ERROR_SUCCESS;
    return TRUE;
}

BOOL ReplaceFileA(LPCSTR replacedFileName, LPCSTR replacementFileName, LPCSTR backupFileName, DWORD replaceFlags,
                  LPVOID, LPVOID) {
    if (!replacedFileName || !replacementFileName || !*replacedFileName || !*replacementFileName) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (backupFileName || replaceFlags) {
        lastError = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    struct stat replaced {};
    if (lstat(replacedFileName, &replaced) != 0) {
        lastError = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno);
        return FALSE;
    }
    if (!S_ISREG(replaced.st_mode) || AttributesOf(replacedFileName, replaced) != FILE_ATTRIBUTE_NORMAL) {
        lastError = ERROR_UNABLE_TO_REMOVE_REPLACED;
        return FALSE;
    }
    struct stat replacement {};
    if (lstat(replacementFileName, &replacement) != 0 || !S_ISREG(replacement.st_mode) ||
        chmod(replacementFileName, replaced.st_mode & 07777) != 0 || rename(replacementFileName, replacedFileName) != 0) {
        lastError = ERROR_UNABLE_TO_MOVE_REPLACEMENT;
        return FALSE;
    }
    lastError = ERROR_SUCCESS;
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    struct stat st {};
    if (!fileName || lstat(fileName, &st) != 0) {
        lastError = fileName ? ErrorFromErrno(errno) : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!S_ISREG(st.st_mode) || AttributesOf(fileName, st) != FILE_ATTRIBUTE_NORMAL) {
        lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (unlink(fileName) != 0) {
        lastError = ErrorFromErrno(errno);
        return FALSE;
    }
    lastError = ERROR_SUCCESS;
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (module || !fileName || size == 0) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        lastError = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    DWORD n = static_cast<DWORD>(length);
    if (n >= size) {
        std::memcpy(fileName, path, size - 1);
        fileName[size - 1] = '\0';
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::memcpy(fileName, path, n);
    fileName[n] = '\0';
    lastError = ERROR_SUCCESS;
    return n;
}

// [SECTION] Registry
namespace {
bool IsPredefinedKey(HKEY key) {
    auto v = reinterpret_cast<uintptr_t>(key);
    return v >= 0x80000000u && v <= 0x80000006u;
}
// Opened keys are remembered so that RegCloseKey can tell a real one from garbage.
std::map<uintptr_t, int> openKeys;
uintptr_t nextKeyId = 0x7000;
}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR, DWORD, REGSAM, HKEY* result) {
    if (!result) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    if (!IsPredefinedKey(key) && !openKeys.count(reinterpret_cast<uintptr_t>(key)))
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    // The keys themselves may exist; none holds a value, so opening succeeds and every
    // query finds nothing.
    uintptr_t id = nextKeyId++;
    openKeys[id] = 1;
    *result = reinterpret_cast<HKEY>(id);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR, LPDWORD, LPDWORD type, BYTE*, LPDWORD dataSize) {
    if (type) *type = REG_NONE;
    if (!IsPredefinedKey(key) && !openKeys.count(reinterpret_cast<uintptr_t>(key)))
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    if (dataSize) *dataSize = 0;
    return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
}

LSTATUS RegCloseKey(HKEY key) {
    if (IsPredefinedKey(key)) return static_cast<LSTATUS>(ERROR_SUCCESS);
    return openKeys.erase(reinterpret_cast<uintptr_t>(key)) ? static_cast<LSTATUS>(ERROR_SUCCESS)
                                                             : static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
}
