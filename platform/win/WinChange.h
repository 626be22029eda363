// Win32 folder change notifications on inotify: a handle that becomes signalled when something
// in a folder changes, polled with WaitForSingleObject and re-armed with
// FindNextChangeNotification. Which file changed is for the caller to find (GetFileAttributesExA).
#pragma once

#include "platform/win/WinFile.h"

constexpr DWORD FILE_NOTIFY_CHANGE_FILE_NAME = 0x00000001;  // created, deleted, renamed
constexpr DWORD FILE_NOTIFY_CHANGE_DIR_NAME = 0x00000002;
constexpr DWORD FILE_NOTIFY_CHANGE_ATTRIBUTES = 0x00000004;
constexpr DWORD FILE_NOTIFY_CHANGE_SIZE = 0x00000008;
constexpr DWORD FILE_NOTIFY_CHANGE_LAST_WRITE = 0x00000010;

constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

// Watches the folder `pathName` (not its subfolders: watchSubtree TRUE fails with
// ERROR_CALL_NOT_IMPLEMENTED) for the changes `filter` names. INVALID_HANDLE_VALUE on failure
// (GetLastError: ERROR_PATH_NOT_FOUND, ERROR_INVALID_PARAMETER for an empty filter, ...).
HANDLE FindFirstChangeNotificationA(LPCSTR pathName, BOOL watchSubtree, DWORD filter);
// Clears the signalled state, forgetting the changes seen so far; later changes signal again.
BOOL FindNextChangeNotification(HANDLE change);
BOOL FindCloseChangeNotification(HANDLE change);
// For change-notification handles only: WAIT_OBJECT_0 when signalled (within `milliseconds`,
// 0 to poll, INFINITE to wait), WAIT_TIMEOUT when not, WAIT_FAILED for any other handle.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
