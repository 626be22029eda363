// File mapping on mmap and the registry that holds nothing: contents, sizes and every failure.
#include "platform/win/WinFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string TempFile(const char* name, const std::string& content) {
    std::string path = testing::TempDir() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return path;
}

TEST(WinFile, MapsAWholeFileReadOnly) {
    std::string text = "technique T { pass P { } }\n";
    std::string path = TempFile("map.fx", text);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_RANDOM_ACCESS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file, &high), text.size());
    EXPECT_EQ(high, 0u);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    // The file may be closed while the mapping and its view live on.
    EXPECT_TRUE(CloseHandle(file));
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::memcmp(view, text.data(), text.size()), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_FALSE(CloseHandle(mapping));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// The loaders' mapping: bytes while it lives, everything closed after; missing, empty and
// folder paths each fail in the way the loaders tell apart.
TEST(WinFile, ReadOnlyFileMappingHoldsTheBytesAndClosesEverything) {
    std::string text(5000, 'x');
    text[4999] = 'y';
    std::string path = TempFile("loader.bin", text);
    {
        ReadOnlyFileMapping file(path.c_str(), FILE_FLAG_SEQUENTIAL_SCAN);
        ASSERT_TRUE(file.Opened());
        ASSERT_NE(file.Data(), nullptr);
        EXPECT_EQ(file.Size(), text.size());
        EXPECT_EQ(std::memcmp(file.Data(), text.data(), text.size()), 0);
    }
    ReadOnlyFileMapping again(path.c_str(), FILE_FLAG_RANDOM_ACCESS);
    EXPECT_EQ(again.Size(), text.size());
    unlink(path.c_str());

    ReadOnlyFileMapping missing((testing::TempDir() + "no-such-file.bin").c_str(), FILE_FLAG_RANDOM_ACCESS);
    EXPECT_FALSE(missing.Opened());
    EXPECT_EQ(missing.Data(), nullptr);
    EXPECT_EQ(missing.Size(), 0u);

    ReadOnlyFileMapping empty(TempFile("empty.bin", "").c_str(), FILE_FLAG_RANDOM_ACCESS);
    EXPECT_TRUE(empty.Opened());
    EXPECT_EQ(empty.Data(), nullptr);  // an empty file cannot be mapped
    EXPECT_EQ(empty.Size(), 0u);

    ReadOnlyFileMapping folder(testing::TempDir().c_str(), FILE_FLAG_RANDOM_ACCESS);
    EXPECT_FALSE(folder.Opened());
    EXPECT_EQ(folder.Data(), nullptr);
}

TEST(WinFile, ReadFileReadsAndStopsAtTheEnd) {
    std::string path = TempFile("read.bin", "abcdef");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[16] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(file, buffer, 4, &got, nullptr));
    EXPECT_EQ(got, 4u);
    ASSERT_TRUE(ReadFile(file, buffer + 4, 10, &got, nullptr));
    EXPECT_EQ(got, 2u);
    EXPECT_STREQ(buffer, "abcdef");
    CloseHandle(file);
    EXPECT_FALSE(ReadFile(file, buffer, 1, &got, nullptr));
}

TEST(WinFile, FailuresAreReportedNotCrashed) {
    EXPECT_EQ(CreateFileA("/nonexistent/dir/file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(testing::TempDir().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    std::string path = TempFile("empty.fx", "");
    EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    // An empty file cannot be mapped, as on the platform.
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
    CloseHandle(file);
    // Stale and made-up handles.
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(MapViewOfFile(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(42)), FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    // A view past the end of the file is refused.
    std::string small = TempFile("small.fx", "xyz");
    HANDLE f2 = CreateFileA(small.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE m2 = CreateFileMappingA(f2, nullptr, PAGE_READONLY, 0, 0, nullptr);
    EXPECT_EQ(MapViewOfFile(m2, FILE_MAP_READ, 0, 0, 4096), nullptr);
    EXPECT_EQ(MapViewOfFile(m2, FILE_MAP_READ, 0, 4096, 0), nullptr);
    EXPECT_EQ(CreateFileMappingA(f2, nullptr, PAGE_READONLY, 0, 100, nullptr), nullptr);  // cannot grow
    CloseHandle(m2);
    CloseHandle(f2);
}

TEST(WinFile, FoldersAndTheProgramsOwnPath) {
    std::string dir = testing::TempDir() + "sg_win_folder";
    rmdir(dir.c_str());
    EXPECT_EQ(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesA(dir.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateDirectoryA(dir.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA((dir + "/a/b").c_str(), nullptr));  // one level only
    EXPECT_EQ(GetFileAttributesA(TempFile("attr.txt", "x").c_str()), FILE_ATTRIBUTE_NORMAL);
    rmdir(dir.c_str());

    char path[4096];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::string(path).find("test_platform_win"), std::string(path).rfind('/') + 1);
    char tiny[4];
    EXPECT_EQ(GetModuleFileNameA(nullptr, tiny, sizeof tiny), 4u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::strlen(tiny), 3u);
}

// Nothing that is not a regular file opens, and opening a pipe without a writer does not wait.
TEST(WinFile, OnlyRegularFilesOpenAndNothingWaits) {
    std::string fifo = testing::TempDir() + "sg_win_fifo";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(GetFileAttributesA(fifo.c_str()), FILE_ATTRIBUTE_DEVICE);
    EXPECT_EQ(CreateFileA(fifo.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    unlink(fifo.c_str());
    EXPECT_EQ(GetFileAttributesA("/dev/zero"), FILE_ATTRIBUTE_DEVICE);
    EXPECT_EQ(CreateFileA("/dev/zero", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

// Temporary files are new files in the folder given; a rename replaces only a regular file that
// is not write-protected, and a delete removes nothing else.
TEST(WinFile, TemporaryFilesRenamesAndDeletes) {
    const std::string dir = testing::TempDir() + "sg_win_move";
    mkdir(dir.c_str(), 0777);
    char first[MAX_PATH], second[MAX_PATH];
    UINT a = GetTempFileNameA(dir.c_str(), "sgxyz", 0, first);
    UINT b = GetTempFileNameA(dir.c_str(), "sg", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(std::string(first).rfind(dir + "/sgx", 0), 0u) << first;  // the prefix is cut to 3
    EXPECT_EQ(GetFileAttributesA(first), FILE_ATTRIBUTE_NORMAL);
    // A number given is used as it is, and only when the name is free.
    char fixed[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(dir.c_str(), "sg", 0xABC, fixed), 0xABCu);
    EXPECT_EQ(std::string(fixed), dir + "/sgABC.tmp");
    EXPECT_EQ(GetTempFileNameA(dir.c_str(), "sg", 0xABC, fixed), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetTempFileNameA((dir + "/missing").c_str(), "sg", 0, fixed), 0u);

    const std::string target = dir + "/target.bin";
    EXPECT_TRUE(MoveFileExA(first, target.c_str(), 0));
    EXPECT_EQ(GetFileAttributesA(first), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileExA(second, target.c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExA(second, target.c_str(), MOVEFILE_REPLACE_EXISTING));

    // Write-protected (even for a process that may write anything), a folder, a device: kept.
    chmod(target.c_str(), 0444);
    EXPECT_EQ(GetFileAttributesA(target.c_str()), FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(GetTempFileNameA(dir.c_str(), "sg", 0, first), 0u);
    EXPECT_FALSE(MoveFileExA(first, target.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA(target.c_str()));
    EXPECT_EQ(GetFileAttributesA(target.c_str()), FILE_ATTRIBUTE_READONLY);
    const std::string folder = dir + "/folder";
    mkdir(folder.c_str(), 0777);
    EXPECT_FALSE(MoveFileExA(first, folder.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileA(folder.c_str()));
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    const std::string fifo = dir + "/fifo";
    mkfifo(fifo.c_str(), 0600);
    EXPECT_FALSE(MoveFileExA(first, fifo.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileA(fifo.c_str()));
    EXPECT_EQ(GetFileAttributesA(fifo.c_str()), FILE_ATTRIBUTE_DEVICE);

    EXPECT_TRUE(DeleteFileA(first));
    EXPECT_FALSE(DeleteFileA(first));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    chmod(target.c_str(), 0644);
    EXPECT_TRUE(DeleteFileA(target.c_str()));
    EXPECT_TRUE(DeleteFileA(fixed));
    unlink(fifo.c_str());
    rmdir(folder.c_str());
    EXPECT_EQ(rmdir(dir.c_str()), 0);  // nothing was left behind
}

// A replaced file keeps its name and its permissions; what may not be replaced is left alone.
TEST(WinFile, ReplaceKeepsThePermissionsOfTheReplacedFile) {
    const std::string dir = testing::TempDir() + "sg_win_replace";
    mkdir(dir.c_str(), 0777);
    const std::string target = dir + "/private.png";
    FILE* f = std::fopen(target.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("old", f);
    std::fclose(f);
    chmod(target.c_str(), 0600);
    char replacement[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(dir.c_str(), "sg", 0, replacement), 0u);
    chmod(replacement, 0644);
    ASSERT_TRUE(ReplaceFileA(target.c_str(), replacement, nullptr, 0, nullptr, nullptr));
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 0);  // the replacement's content
    EXPECT_EQ(GetFileAttributesA(replacement), INVALID_FILE_ATTRIBUTES);

    // Nothing to replace, a write-protected file, a folder, asked-for options: both stay.
    ASSERT_NE(GetTempFileNameA(dir.c_str(), "sg", 0, replacement), 0u);
    const std::string missing = dir + "/missing.png";
    EXPECT_FALSE(ReplaceFileA(missing.c_str(), replacement, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    chmod(target.c_str(), 0400);
    EXPECT_FALSE(ReplaceFileA(target.c_str(), replacement, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_UNABLE_TO_REMOVE_REPLACED);
    EXPECT_FALSE(ReplaceFileA(dir.c_str(), replacement, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_UNABLE_TO_REMOVE_REPLACED);
    chmod(target.c_str(), 0600);
    EXPECT_FALSE(ReplaceFileA(target.c_str(), replacement, (dir + "/backup").c_str(), 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_FALSE(ReplaceFileA(target.c_str(), (dir + "/gone.tmp").c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    EXPECT_FALSE(ReplaceFileA(nullptr, replacement, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetFileAttributesA(replacement), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA(target.c_str()), FILE_ATTRIBUTE_NORMAL);

    EXPECT_TRUE(DeleteFileA(replacement));
    EXPECT_TRUE(DeleteFileA(target.c_str()));
    EXPECT_EQ(rmdir(dir.c_str()), 0);
}

TEST(WinRegistry, KeysOpenButHoldNoValues) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", 0, KEY_READ, &key),
              static_cast<LSTATUS>(ERROR_SUCCESS));
    ASSERT_NE(key, nullptr);
    DWORD type = 77, value = 5, size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "DisableD3DXPSGP", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(value, 5u);  // untouched
    EXPECT_EQ(type, REG_NONE);
    EXPECT_EQ(RegCloseKey(key), static_cast<LSTATUS>(ERROR_SUCCESS));
    EXPECT_EQ(RegCloseKey(key), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegOpenKeyExA(key, "x", 0, KEY_READ, &key), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "x", 0, KEY_READ, nullptr), static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
}

}  // namespace
