// Change notifications on inotify: each handle owns one inotify descriptor watching one folder.
// A handle is signalled once an event has been read from it, until FindNextChangeNotification.
#include "platform/win/WinChange.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace {

struct ChangeNotification {
    int fd;          // the inotify descriptor
    bool signalled;  // an event was seen since the last FindNextChangeNotification
};

// Ids of their own range, never reused, so they meet no file handle and no stale id.
std::map<uintptr_t, ChangeNotification> notifications;
uintptr_t nextNotificationId = 0x40000000;

ChangeNotification* Find(HANDLE h) {
    auto it = notifications.find(reinterpret_cast<uintptr_t>(h));
    return it == notifications.end() ? nullptr : &it->second;
}

// Reads every queued event; true when there was at least one.
bool Drain(int fd) {
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return any;  // EAGAIN: nothing more queued
        any = true;
    }
}

}  // namespace

HANDLE FindFirstChangeNotificationA(LPCSTR pathName, BOOL watchSubtree, DWORD filter) {
    if (watchSubtree) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    uint32_t mask = 0;
    if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME))
        mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
    if (filter & FILE_NOTIFY_CHANGE_ATTRIBUTES) mask |= IN_ATTRIB;
    if (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) mask |= IN_MODIFY | IN_CLOSE_WRITE;
    if (!pathName || !*pathName || mask == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (stat(pathName, &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (inotify_add_watch(fd, pathName, mask | IN_ONLYDIR) < 0) {
        const int e = errno;
        close(fd);
        SetLastError(e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND
                     : e == EACCES            ? ERROR_ACCESS_DENIED
                                              : ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    const uintptr_t id = nextNotificationId++;
    notifications[id] = ChangeNotification{fd, false};
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(id);
}

BOOL FindNextChangeNotification(HANDLE change) {
    ChangeNotification* n = Find(change);
    if (!n) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Drain(n->fd);
    n->signalled = false;
    return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE change) {
    auto it = notifications.find(reinterpret_cast<uintptr_t>(change));
    if (it == notifications.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close(it->second.fd);
    notifications.erase(it);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    ChangeNotification* n = Find(object);
    if (!n) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (n->signalled) return WAIT_OBJECT_0;
    pollfd p{n->fd, POLLIN, 0};
    const int timeout = milliseconds == INFINITE ? -1 : milliseconds > 0x7FFFFFFFu ? 0x7FFFFFFF : int(milliseconds);
    int ready;
    do {
        ready = poll(&p, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    if (ready > 0 && Drain(n->fd)) n->signalled = true;
    return n->signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
