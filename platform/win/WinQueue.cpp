// The posted message queue (Peek, Get, Translate, Dispatch, Send, Post), key state, accelerator
// tables and the dialog stand-ins.
#include "platform/win/WinUser.h"

#include <SDL.h>

#include <vector>

#include "platform/win/WinConsole.h"
#include "platform/win/WinTime.h"
#include "platform/win/WinUserState.h"

using namespace winimpl;

// [SECTION] Message queue
BOOL PeekMessageA(LPMSG msg, HWND h, UINT lo, UINT hi, UINT removeFlags) {
    if (!msg) return FALSE;
    DeliverConsoleEvents();
    PumpSdlEvents();
    for (auto it = winState.queue.begin(); it != winState.queue.end(); ++it) {
        if (!Matches(*it, h, lo, hi)) continue;
        *msg = *it;
        if (removeFlags & PM_REMOVE) {
            winState.queue.erase(it);
            NoteRetrieved(*msg);
        }
        return TRUE;
    }
    if (winState.quitPosted && (lo == 0 && hi == 0 ? true : (WM_QUIT >= lo && WM_QUIT <= hi))) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(winState.quitCode);
        msg->time = timeGetTime();
        if (removeFlags & PM_REMOVE) winState.quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND h, UINT lo, UINT hi) {
    if (!msg) return -1;
    for (;;) {
        if (PeekMessageA(msg, h, lo, hi, PM_REMOVE)) return msg->message == WM_QUIT ? FALSE : TRUE;
        if (winState.displayOpen) {
            SDL_WaitEventTimeout(nullptr, 100);
        } else {
            // Nothing can arrive without a display: hand back a null message rather than
            // wait forever, so that a caller's loop keeps running.
            Sleep(1);
            *msg = MSG{};
            msg->message = WM_NULL;
            msg->time = timeGetTime();
            return TRUE;
        }
    }
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP && msg->message != WM_SYSKEYDOWN &&
        msg->message != WM_SYSKEYUP)
        return FALSE;
    if (msg->message == WM_KEYDOWN) {
        if (char c = ControlCharacter(msg->wParam)) {
            // The character is read before anything posted after the key-down.
            MSG m = *msg;
            m.message = WM_CHAR;
            m.wParam = static_cast<WPARAM>(static_cast<unsigned char>(c));
            winState.queue.push_front(m);
        }
    }
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    Window* w = FindWindow(msg->hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(h);
    if (!w || !w->proc) return 0;
    return w->proc(h, message, wParam, lParam);
}

BOOL PostMessageA(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    if (h && !FindWindow(h)) return FALSE;
    PostToQueue(h, message, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    winState.quitPosted = true;
    winState.quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: return TRUE;
        case WM_CLOSE: DestroyWindow(h); return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE: SendMessageA(h, WM_CLOSE, 0, 0); break;
                case SC_MINIMIZE: ShowWindow(h, SW_MINIMIZE); break;
                case SC_MAXIMIZE: ShowWindow(h, SW_SHOWMAXIMIZED); break;
                case SC_RESTORE: ShowWindow(h, SW_RESTORE); break;
                default: break;
            }
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4 && (lParam & (1 << 29))) SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        case WM_NCHITTEST: return HTCLIENT;
        case WM_SETCURSOR: {
            Window* w = FindWindow(h);
            if (w && LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT) {
                SetCursor(w->classCursor);
                return TRUE;
            }
            return FALSE;
        }
        case WM_RBUTTONUP: {
            POINT p{static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(lParam))),
                    static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(lParam)))};
            ClientToScreen(h, &p);
            SendMessageA(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), PackPoint(p.x, p.y));
            return 0;
        }
        default: return 0;
    }
}

SHORT GetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    BYTE s = winState.keyState[vk];
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
        // The generic modifier is down when either side is.
        BYTE l = winState.keyState[vk == VK_SHIFT ? VK_LSHIFT : vk == VK_CONTROL ? VK_LCONTROL : VK_LMENU];
        BYTE r = winState.keyState[vk == VK_SHIFT ? VK_RSHIFT : vk == VK_CONTROL ? VK_RCONTROL : VK_RMENU];
        s |= static_cast<BYTE>((l | r) & 0x80);
    }
    return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

SHORT GetAsyncKeyState(int vk) { return static_cast<SHORT>(GetKeyState(vk) & 0x8000); }

// [SECTION] Accelerators and resources
HACCEL CreateAcceleratorTableA(const ACCEL* entries, int count) {
    if (!entries || count <= 0) return nullptr;
    uintptr_t id = winState.nextAccelId++;
    winState.acceleratorTables[id] = std::vector<ACCEL>(entries, entries + count);
    return reinterpret_cast<HACCEL>(id);
}

BOOL DestroyAcceleratorTable(HACCEL table) {
    auto id = reinterpret_cast<uintptr_t>(table);
    for (auto& [res, loaded] : winState.loadedAcceleratorResources)
        if (loaded == id) return TRUE;  // resource tables live as long as the program
    return winState.acceleratorTables.erase(id) ? TRUE : FALSE;
}

HACCEL LoadAcceleratorsA(HINSTANCE, LPCSTR name) {
    if (!name || !IS_INTRESOURCE(name)) return nullptr;
    WORD id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
    auto res = winState.acceleratorResources.find(id);
    if (res == winState.acceleratorResources.end()) return nullptr;
    auto loaded = winState.loadedAcceleratorResources.find(id);
    if (loaded != winState.loadedAcceleratorResources.end()) return reinterpret_cast<HACCEL>(loaded->second);
    HACCEL table = CreateAcceleratorTableA(res->second.data(), static_cast<int>(res->second.size()));
    winState.loadedAcceleratorResources[id] = reinterpret_cast<uintptr_t>(table);
    return table;
}

int TranslateAcceleratorA(HWND h, HACCEL table, LPMSG msg) {
    if (!msg || !FindWindow(h)) return 0;
    auto it = winState.acceleratorTables.find(reinterpret_cast<uintptr_t>(table));
    if (it == winState.acceleratorTables.end()) return 0;
    BYTE vk = static_cast<BYTE>(msg->wParam);
    if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP) {
        // The release of a key whose press ran a command is not passed on either: the
        // command consumed the key as a whole.
        if (!winState.swallowKeyUp[vk]) return 0;
        winState.swallowKeyUp[vk] = false;
        return 1;
    }
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return 0;
    bool alt = (msg->lParam & (1 << 29)) != 0 || (GetKeyState(VK_MENU) & 0x8000);
    bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    for (const ACCEL& a : it->second) {
        if (!(a.fVirt & FVIRTKEY) || a.key != vk) continue;
        if (((a.fVirt & FALT) != 0) != alt || ((a.fVirt & FCONTROL) != 0) != ctrl ||
            ((a.fVirt & FSHIFT) != 0) != shift)
            continue;
        winState.swallowKeyUp[vk] = true;
        bool repeat = (msg->lParam & (1 << 30)) != 0;
        // A held key repeats its key-down; the command runs once per press.
        if (!repeat) SendMessageA(h, WM_COMMAND, static_cast<WPARAM>(a.cmd) | (1u << 16), 0);
        return 1;
    }
    return 0;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
    if (!name || !IS_INTRESOURCE(name)) return nullptr;
    const auto id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
    if (!winState.iconResources.count(id)) return nullptr;
    return reinterpret_cast<HICON>(kIconHandleBase + id);
}
HMENU LoadMenuA(HINSTANCE, LPCSTR) { return nullptr; }
HMENU GetMenu(HWND) { return nullptr; }
HMENU GetSubMenu(HMENU, int) { return nullptr; }
BOOL DestroyMenu(HMENU menu) { return menu ? TRUE : FALSE; }
BOOL TrackPopupMenuEx(HMENU, UINT, int, int, HWND, LPVOID) { return FALSE; }

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) {
    // The program carries no dialog templates: the platform answers -1 for a missing one.
    return -1;
}
BOOL EndDialog(HWND, INT_PTR) { return FALSE; }

HWND GetDlgItem(HWND dialog, int id) {
    if (!FindWindow(dialog)) return nullptr;
    for (auto& [wid, w] : winState.windows)
        if (w.parent == dialog && w.controlId == id) return ToHwnd(wid);
    return nullptr;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL EnableWindow(HWND h, BOOL enable) {
    Window* w = FindWindow(h);
    if (!w) return FALSE;
    BOOL wasDisabled = w->enabled ? FALSE : TRUE;
    w->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND h) {
    Window* w = FindWindow(h);
    return w && w->enabled ? TRUE : FALSE;
}

HWND GetParent(HWND h) {
    Window* w = FindWindow(h);
    return w ? w->parent : nullptr;
}
