// Folder change notifications and file times: what signals, what re-arms, and the refusals.
#include "platform/win/WinChange.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path Folder(const char* name) {
    fs::path dir = fs::path(testing::TempDir()) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void Write(const fs::path& path, const char* text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs(text, f);
    std::fclose(f);
}

constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;

TEST(WinChange, SignalsAChangeUntilReArmed) {
    const fs::path dir = Folder("sg_change_signal");
    Write(dir / "a.sha", "one");
    HANDLE watch = FindFirstChangeNotificationA(dir.c_str(), FALSE, kFilter);
    ASSERT_NE(INVALID_HANDLE_VALUE, watch);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(watch, 0));  // nothing yet

    Write(dir / "a.sha", "two");
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch, 5000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch, 0));  // stays signalled
    ASSERT_TRUE(FindNextChangeNotification(watch));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(watch, 0));

    // A save by rename signals too, and so does a new file.
    Write(dir / "a.tmp", "three");
    ASSERT_TRUE(FindNextChangeNotification(watch));
    fs::rename(dir / "a.tmp", dir / "a.sha");
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch, 5000));
    ASSERT_TRUE(FindNextChangeNotification(watch));
    // A change in a subfolder is not this folder's.
    fs::create_directories(dir / "sub");
    ASSERT_TRUE(FindNextChangeNotification(watch));
    Write(dir / "sub/b.sha", "x");
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(watch, 50));

    EXPECT_TRUE(FindCloseChangeNotification(watch));
    // A closed handle is refused cleanly, by every call.
    EXPECT_FALSE(FindCloseChangeNotification(watch));
    EXPECT_FALSE(FindNextChangeNotification(watch));
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(watch, 0));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(WinChange, RefusesWhatItCannotWatch) {
    const fs::path dir = Folder("sg_change_refuse");
    Write(dir / "file", "x");
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstChangeNotificationA((dir / "missing").c_str(), FALSE, kFilter));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstChangeNotificationA((dir / "file").c_str(), FALSE, kFilter));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstChangeNotificationA(dir.c_str(), TRUE, kFilter));
    EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstChangeNotificationA(dir.c_str(), FALSE, 0));
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstChangeNotificationA(nullptr, FALSE, kFilter));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    // A file handle is no change notification.
    HANDLE file = CreateFileA((dir / "file").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(file, 0));
    EXPECT_FALSE(FindCloseChangeNotification(file));
    EXPECT_TRUE(CloseHandle(file));
}

TEST(WinChange, FileTimesAndSize) {
    const fs::path dir = Folder("sg_change_times");
    Write(dir / "a", "12345");
    WIN32_FILE_ATTRIBUTE_DATA first{};
    ASSERT_TRUE(GetFileAttributesExA((dir / "a").c_str(), GetFileExInfoStandard, &first));
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, first.dwFileAttributes);
    EXPECT_EQ(5u, first.nFileSizeLow);
    EXPECT_EQ(0u, first.nFileSizeHigh);
    // After 2000-01-01 in 100-nanosecond ticks from 1601.
    EXPECT_GT(uint64_t(first.ftLastWriteTime.dwHighDateTime) << 32 | first.ftLastWriteTime.dwLowDateTime,
              125911584000000000ull);
    // A file put in its place by rename is told apart even with the same size.
    Write(dir / "b", "abcde");
    fs::rename(dir / "b", dir / "a");
    WIN32_FILE_ATTRIBUTE_DATA second{};
    ASSERT_TRUE(GetFileAttributesExA((dir / "a").c_str(), GetFileExInfoStandard, &second));
    EXPECT_EQ(5u, second.nFileSizeLow);
    EXPECT_TRUE(second.ftCreationTime.dwLowDateTime != first.ftCreationTime.dwLowDateTime ||
                second.ftCreationTime.dwHighDateTime != first.ftCreationTime.dwHighDateTime ||
                second.ftLastWriteTime.dwLowDateTime != first.ftLastWriteTime.dwLowDateTime);
    EXPECT_FALSE(GetFileAttributesExA((dir / "none").c_str(), GetFileExInfoStandard, &second));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(GetFileAttributesExA(nullptr, GetFileExInfoStandard, &second));
    EXPECT_FALSE(GetFileAttributesExA((dir / "a").c_str(), GetFileExInfoStandard, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

}  // namespace
