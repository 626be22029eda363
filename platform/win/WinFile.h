// Win32 files, read-only file mapping (on mmap) and the registry (which holds no values here).
// File and mapping handles are checked ids: a closed or made-up handle fails cleanly.
#pragma once

#include "platform/win/WinTypes.h"

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x00000040;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;

constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD FILE_MAP_READ = 0x0004;

// Error codes for GetLastError.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_FILE_INVALID = 1006;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;

DWORD GetLastError();
void SetLastError(DWORD error);

// Only reading is offered: GENERIC_READ with OPEN_EXISTING. Anything else fails with
// ERROR_CALL_NOT_IMPLEMENTED. The open never waits: only regular files open, and folders,
// pipes, devices and sockets fail with ERROR_ACCESS_DENIED.
HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPVOID security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPVOID overlapped);
// PAGE_READONLY mappings of a whole file. An empty file cannot be mapped
// (ERROR_FILE_INVALID), as on the platform.
HANDLE CreateFileMappingA(HANDLE file, LPVOID security, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name);
// FILE_MAP_READ views; offset and length 0 map the whole file.
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     size_t bytesToMap);
BOOL UnmapViewOfFile(LPCVOID base);
BOOL CloseHandle(HANDLE object);

// A whole file mapped read-only for the life of the object, as the loaders read their files:
// CreateFileA, CreateFileMappingA and MapViewOfFile, undone in reverse order. `accessHint` is
// FILE_FLAG_SEQUENTIAL_SCAN or FILE_FLAG_RANDOM_ACCESS.
class ReadOnlyFileMapping {
public:
    ReadOnlyFileMapping(LPCSTR fileName, DWORD accessHint);
    ~ReadOnlyFileMapping();
    ReadOnlyFileMapping(const ReadOnlyFileMapping&) = delete;
    ReadOnlyFileMapping& operator=(const ReadOnlyFileMapping&) = delete;

    bool Opened() const { return file != INVALID_HANDLE_VALUE; }  // false: missing or unreadable
    // The bytes; null when the file is empty or could not be mapped (4 GiB or more included).
    const void* Data() const { return view; }
    DWORD Size() const { return view ? size : 0; }

private:
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    void* view = nullptr;
    DWORD size = 0;
};

// FILE_ATTRIBUTE_DIRECTORY for a folder; for a regular file FILE_ATTRIBUTE_NORMAL, or
// FILE_ATTRIBUTE_READONLY when it is write-protected (no write permission for anyone, or none
// for this process); FILE_ATTRIBUTE_DEVICE for anything else (pipes, devices, sockets);
// INVALID_FILE_ATTRIBUTES when nothing is there.
DWORD GetFileAttributesA(LPCSTR fileName);
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0 };
struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;  // the last status change here (the system keeps no birth time)
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};
// The attributes (as GetFileAttributesA), times (100-nanosecond ticks since 1601) and size of
// what is at fileName; FALSE when nothing is there (GetLastError says why).
BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, LPVOID information);

// One new folder (its parent must exist); ERROR_ALREADY_EXISTS when the name is taken.
BOOL CreateDirectoryA(LPCSTR pathName, LPVOID security);

// The longest path the file calls take, with its terminator (the system's limit here).
constexpr DWORD MAX_PATH = 4096;
// Creates a new empty file "<pathName>/<prefix, 3 characters at most><hex number>.tmp" that did
// not exist before and copies its name into tempFileName (MAX_PATH characters). unique 0 picks
// the number; the result is the number, 0 on failure (GetLastError says why).
UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName);
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x00000001;
// Renames a file within its volume (ERROR_NOT_SAME_DEVICE across volumes). An existing target
// fails with ERROR_ALREADY_EXISTS, or with MOVEFILE_REPLACE_EXISTING is replaced in one step;
// only a regular file that is not write-protected is replaced (else ERROR_ACCESS_DENIED).
BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);
// Puts a file in the place of another, which keeps its name and its permissions, in one step.
// The replaced file must exist (ERROR_FILE_NOT_FOUND) and be a regular file that is not
// write-protected (ERROR_UNABLE_TO_REMOVE_REPLACED); no backup file and no flags are offered here
// (ERROR_CALL_NOT_IMPLEMENTED); a failed move leaves the replaced file as it was
// (ERROR_UNABLE_TO_MOVE_REPLACEMENT).
BOOL ReplaceFileA(LPCSTR replacedFileName, LPCSTR replacementFileName, LPCSTR backupFileName, DWORD replaceFlags,
                  LPVOID exclude, LPVOID reserved);
constexpr DWORD ERROR_UNABLE_TO_REMOVE_REPLACED = 1175;
constexpr DWORD ERROR_UNABLE_TO_MOVE_REPLACEMENT = 1176;
// Removes a regular file; folders, other kinds and write-protected files fail with
// ERROR_ACCESS_DENIED.
BOOL DeleteFileA(LPCSTR fileName);

// The program's own path (module null), as the platform gives it: the length copied without the
// terminator, 0 on failure; a path longer than the buffer is cut (ERROR_INSUFFICIENT_BUFFER).
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

// [SECTION] Registry: keys open, but no value is ever found.
typedef LONG LSTATUS;
typedef DWORD REGSAM;
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_READ = 0x20019;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, HKEY* result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                         LPDWORD dataSize);
LSTATUS RegCloseKey(HKEY key);
