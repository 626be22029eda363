// Win32 windows and messages on SDL2: window records keyed by never-reused ids, one posted
// message queue, and SDL events translated into the messages a Win32 window would receive.
//
// Index: [SECTION] State, [SECTION] Keys, [SECTION] Windows, [SECTION] SDL events,
//        [SECTION] Message queue, [SECTION] Accelerators and resources, [SECTION] Cursors,
//        [SECTION] Message boxes, [SECTION] Display set-up
//
// The non-client area has no size here: the window manager draws its decorations outside the
// SDL window, and menus do not exist, so a window's outer rectangle is its client rectangle.
// Each window keeps its last presented frame, so that a grown or exposed window is repainted at
// once instead of showing the X server's background until the next frame.
#include "platform/win/WinUser.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "platform/win/WinTime.h"
#include "platform/win/X11Window.h"

// [SECTION] State
namespace {

struct WindowClass {
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};

struct Window {
    WNDPROC proc = nullptr;
    std::string className;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG userData = 0;
    HCURSOR classCursor = nullptr;
    RECT rect{};  // screen coordinates; outer rectangle == client rectangle
    bool minimized = false;
    bool maximized = false;
    bool enabled = true;
    HWND parent = nullptr;  // child windows (controls) only
    int controlId = 0;      // child windows: the id given as the menu argument
    SDL_Window* sdl = nullptr;
    unsigned long xWindow = 0;         // the X window behind sdl, 0 when not on X11
    SDL_Surface* lastFrame = nullptr;  // the last presented frame (ARGB8888), owned
    bool lost = false;                 // destroyed by another client; a close request was posted
    bool coveringDisplay = false;      // full screen placed by hand (no window manager)
};

std::map<std::string, WindowClass> classes;  // by lower-case name
std::map<uintptr_t, Window> windows;
uintptr_t nextWindowId = 0x10000;  // above HWND_TOP/BOTTOM and small integers

std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;

BYTE keyState[256];        // bit 7 down, bit 0 toggled, as messages were retrieved
bool swallowKeyUp[256];    // key-ups that belong to a key-down an accelerator consumed
bool postedDown[256];      // keys that win::PostKey last posted as down

bool displayOpen = false;
bool headlessMode = false;
std::string displayError;

POINT lastCursor{0, 0};
WPARAM mouseButtons = 0;       // MK_LBUTTON, MK_RBUTTON, MK_MBUTTON held, as messages were posted
HWND captureWindow = nullptr;  // the window that has the mouse capture
win::MessageBoxHook messageBoxHook = nullptr;
bool messageBoxesToStandardError = false;

std::string Lower(const char* s) {
    std::string r = s ? s : "";
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

Window* FindWindow(HWND h) {
    auto it = windows.find(reinterpret_cast<uintptr_t>(h));
    return it == windows.end() ? nullptr : &it->second;
}

HWND ToHwnd(uintptr_t id) { return reinterpret_cast<HWND>(id); }

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = timeGetTime();
    m.pt = lastCursor;
    queue.push_back(m);
}

LPARAM PackPoint(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x)), static_cast<WORD>(static_cast<SHORT>(y)));
}

// [SECTION] Keys
struct KeyName {
    SDL_Keycode key;
    BYTE vk;
};
// Keys that do not follow the letter and digit ranges.
const KeyName kKeyTable[] = {
    {SDLK_BACKSPACE, VK_BACK},     {SDLK_TAB, VK_TAB},           {SDLK_RETURN, VK_RETURN},
    {SDLK_KP_ENTER, VK_RETURN},    {SDLK_ESCAPE, VK_ESCAPE},     {SDLK_SPACE, VK_SPACE},
    {SDLK_PAGEUP, VK_PRIOR},       {SDLK_PAGEDOWN, VK_NEXT},     {SDLK_END, VK_END},
    {SDLK_HOME, VK_HOME},          {SDLK_LEFT, VK_LEFT},         {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT},        {SDLK_DOWN, VK_DOWN},         {SDLK_PRINTSCREEN, VK_SNAPSHOT},
    {SDLK_INSERT, VK_INSERT},      {SDLK_DELETE, VK_DELETE},     {SDLK_LSHIFT, VK_SHIFT},
    {SDLK_RSHIFT, VK_SHIFT},       {SDLK_LCTRL, VK_CONTROL},     {SDLK_RCTRL, VK_CONTROL},
    {SDLK_LALT, VK_MENU},          {SDLK_RALT, VK_MENU},         {SDLK_PAUSE, VK_PAUSE},
    {SDLK_CAPSLOCK, VK_CAPITAL},   {SDLK_NUMLOCKCLEAR, VK_NUMLOCK}, {SDLK_SCROLLLOCK, VK_SCROLL},
    {SDLK_KP_0, VK_NUMPAD0},       {SDLK_KP_1, VK_NUMPAD0 + 1},  {SDLK_KP_2, VK_NUMPAD0 + 2},
    {SDLK_KP_3, VK_NUMPAD0 + 3},   {SDLK_KP_4, VK_NUMPAD0 + 4},  {SDLK_KP_5, VK_NUMPAD0 + 5},
    {SDLK_KP_6, VK_NUMPAD0 + 6},   {SDLK_KP_7, VK_NUMPAD0 + 7},  {SDLK_KP_8, VK_NUMPAD0 + 8},
    {SDLK_KP_9, VK_NUMPAD0 + 9},   {SDLK_KP_MULTIPLY, VK_MULTIPLY}, {SDLK_KP_PLUS, VK_ADD},
    {SDLK_KP_MINUS, VK_SUBTRACT},  {SDLK_KP_PERIOD, VK_DECIMAL}, {SDLK_KP_DIVIDE, VK_DIVIDE},
    {SDLK_F1, VK_F1},              {SDLK_F2, VK_F2},             {SDLK_F3, VK_F3},
    {SDLK_F4, VK_F4},              {SDLK_F5, VK_F5},             {SDLK_F6, VK_F6},
    {SDLK_F7, VK_F7},              {SDLK_F8, VK_F8},             {SDLK_F9, VK_F9},
    {SDLK_F10, VK_F10},            {SDLK_F11, VK_F11},           {SDLK_F12, VK_F12},
    {SDLK_SEMICOLON, VK_OEM_1},    {SDLK_EQUALS, VK_OEM_PLUS},   {SDLK_COMMA, VK_OEM_COMMA},
    {SDLK_MINUS, VK_OEM_MINUS},    {SDLK_PERIOD, VK_OEM_PERIOD}, {SDLK_SLASH, VK_OEM_2},
    {SDLK_BACKQUOTE, VK_OEM_3},    {SDLK_LEFTBRACKET, VK_OEM_4}, {SDLK_BACKSLASH, VK_OEM_5},
    {SDLK_RIGHTBRACKET, VK_OEM_6}, {SDLK_QUOTE, VK_OEM_7},
};

BYTE VirtualKeyOf(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<BYTE>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<BYTE>('0' + (key - SDLK_0));
    for (const KeyName& k : kKeyTable)
        if (k.key == key) return k.vk;
    return 0;
}

// Key-message lParam: repeat count 1, scan code, context (Alt), previous state, transition.
LPARAM KeyLParam(BYTE scan, bool down, bool wasDown, bool alt) {
    DWORD v = 1u | (static_cast<DWORD>(scan) << 16);
    if (alt) v |= 1u << 29;
    if (wasDown) v |= 1u << 30;
    if (!down) v |= 1u << 31;
    return static_cast<LPARAM>(v);
}

// Control characters that TranslateMessage makes from key-downs (text input has none).
char ControlCharacter(WPARAM vk) {
    switch (vk) {
        case VK_BACK: return 8;
        case VK_TAB: return 9;
        case VK_RETURN: return 13;
        case VK_ESCAPE: return 27;
        default: return 0;
    }
}

void NoteRetrieved(const MSG& m) {
    if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) {
        BYTE vk = static_cast<BYTE>(m.wParam);
        if (!(keyState[vk] & 0x80)) keyState[vk] ^= 0x01;
        keyState[vk] |= 0x80;
    } else if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) {
        keyState[static_cast<BYTE>(m.wParam)] &= static_cast<BYTE>(~0x80);
    }
}

// [SECTION] Windows
void SendSizeMessage(HWND h, WPARAM kind, const RECT& r) {
    SendMessageA(h, WM_SIZE, kind, PackPoint(Width(r), Height(r)));
}

// Shows the window's last frame over its whole client area. A frame of another size (the
// window has just grown, or full screen shows a mode unlike the desktop's) is scaled with
// its aspect ratio kept and centred on black; without a frame the window is black.
void PaintLastFrame(Window& w) {
    if (!w.sdl || w.lost) return;
    SDL_Surface* target = SDL_GetWindowSurface(w.sdl);
    if (!target) return;
    const SDL_Surface* frame = w.lastFrame;
    if (frame && frame->w == target->w && frame->h == target->h) {
        SDL_BlitSurface(w.lastFrame, nullptr, target, nullptr);
    } else {
        SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
        if (frame) {
            // The largest rectangle of the frame's aspect that fits, in whole pixels.
            int64_t scaledWidth = static_cast<int64_t>(target->h) * frame->w / frame->h;
            SDL_Rect place{0, 0, target->w, target->h};
            if (scaledWidth <= target->w) {
                place.w = static_cast<int>(scaledWidth);
                place.x = (target->w - place.w) / 2;
            } else {
                place.h = static_cast<int>(static_cast<int64_t>(target->w) * frame->h / frame->w);
                place.y = (target->h - place.h) / 2;
            }
            if (place.w > 0 && place.h > 0) SDL_BlitScaled(w.lastFrame, nullptr, target, &place);
        }
    }
    SDL_UpdateWindowSurface(w.sdl);
}

// Full screen covers the display without changing its mode. A window manager does that on
// request; without one nobody would, so the window is placed over the display by hand.
void SetFullscreen(Window& w, bool fullscreen) {
    bool bySdl = (SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    if (fullscreen == (bySdl || w.coveringDisplay)) return;
    if (!fullscreen) {
        // The caller places the window again (SetWindowPos), as after a switch on the platform.
        if (bySdl) SDL_SetWindowFullscreen(w.sdl, 0);
        w.coveringDisplay = false;
        return;
    }
    if (x11::WindowManagerRunning(w.sdl)) {
        SDL_SetWindowFullscreen(w.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
        return;
    }
    SDL_Rect bounds{};
    int display = SDL_GetWindowDisplayIndex(w.sdl);
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) != 0) return;
    w.coveringDisplay = true;
    SDL_SetWindowBordered(w.sdl, SDL_FALSE);
    SDL_SetWindowPosition(w.sdl, bounds.x, bounds.y);
    SDL_SetWindowSize(w.sdl, bounds.w, bounds.h);
    SDL_RaiseWindow(w.sdl);
}

void ApplyStyleToSdl(Window& w) {
    if (!w.sdl) return;
    // A top-level pop-up without a caption is how a full-screen window is styled: it covers
    // the display (without changing the display's mode).
    SetFullscreen(w, (w.style & WS_POPUP) && !(w.style & WS_CAPTION) && !w.parent);
    SDL_SetWindowBordered(w.sdl, (w.style & WS_CAPTION) ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(w.sdl, (w.style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
    if (w.style & WS_VISIBLE)
        SDL_ShowWindow(w.sdl);
    else
        SDL_HideWindow(w.sdl);
}

// A user's resize arrives the way a drag of the frame does on the platform.
void DeliverUserResize(HWND h, Window& w, int width, int height) {
    if (width == Width(w.rect) && height == Height(w.rect)) return;
    w.rect.right = w.rect.left + width;
    w.rect.bottom = w.rect.top + height;
    PostToQueue(h, WM_ENTERSIZEMOVE, 0, 0);
    PostToQueue(h, WM_SIZE, w.maximized ? SIZE_MAXIMIZED : SIZE_RESTORED, PackPoint(width, height));
    PostToQueue(h, WM_EXITSIZEMOVE, 0, 0);
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || IS_INTRESOURCE(wc->lpszClassName)) return 0;
    std::string key = Lower(wc->lpszClassName);
    if (classes.count(key)) return 0;  // already registered, as on the platform
    WindowClass c;
    c.proc = wc->lpfnWndProc;
    c.instance = wc->hInstance;
    c.icon = wc->hIcon;
    c.cursor = wc->hCursor;
    c.background = wc->hbrBackground;
    classes[key] = c;
    return static_cast<ATOM>(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (!className || IS_INTRESOURCE(className)) return FALSE;
    return classes.erase(Lower(className)) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    if (!className || IS_INTRESOURCE(className)) return nullptr;
    auto cit = classes.find(Lower(className));
    if (cit == classes.end()) return nullptr;
    const bool child = (style & WS_CHILD) != 0;
    if (child && !FindWindow(parent)) return nullptr;
    if (width == CW_USEDEFAULT || width <= 0) width = width == CW_USEDEFAULT ? 640 : 1;
    if (height == CW_USEDEFAULT || height <= 0) height = height == CW_USEDEFAULT ? 480 : 1;
    if (width > 16384) width = 16384;
    if (height > 16384) height = 16384;

    uintptr_t id = nextWindowId++;
    HWND h = ToHwnd(id);
    Window w;
    w.proc = cit->second.proc;
    w.className = className;
    w.title = windowName ? windowName : "";
    w.style = style;
    w.exStyle = exStyle;
    w.classCursor = cit->second.cursor;
    bool defaultPos = x == CW_USEDEFAULT;
    int px = defaultPos ? 0 : x, py = defaultPos ? 0 : y;
    if (child) {
        w.parent = parent;
        w.controlId = static_cast<int>(reinterpret_cast<uintptr_t>(menu));
    }

    if (displayOpen && !child) {
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
        if (!(style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
        int sx = defaultPos ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : x;
        int sy = defaultPos ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : y;
        w.sdl = SDL_CreateWindow(w.title.c_str(), sx, sy, width, height, flags);
        if (!w.sdl) return nullptr;
        SDL_GetWindowPosition(w.sdl, &px, &py);
        SDL_SetWindowData(w.sdl, "hwnd", reinterpret_cast<void*>(id));
        x11::Adopt(w.sdl);
        w.xWindow = x11::WindowOf(w.sdl);
    }
    w.rect = RECT{px, py, px + width, py + height};
    windows[id] = w;

    MINMAXINFO mmi{};
    mmi.ptMinTrackSize = POINT{1, 1};
    mmi.ptMaxTrackSize = POINT{16384, 16384};
    SendMessageA(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    // The minimum tracking size limits what the user can drag the window to; a window created
    // smaller keeps its size (the limit never grows it).
    if (Window* cw = FindWindow(h); cw && cw->sdl && mmi.ptMinTrackSize.x > 0 && mmi.ptMinTrackSize.y > 0)
        SDL_SetWindowMinimumSize(cw->sdl, std::min<int>(mmi.ptMinTrackSize.x, width),
                                 std::min<int>(mmi.ptMinTrackSize.y, height));

    CREATESTRUCTA cs{param, instance, nullptr, nullptr, height, width, py, px,
                     static_cast<LONG>(style), windowName, className, exStyle};
    if (!SendMessageA(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) && FindWindow(h)) {
        // The platform lets WM_NCCREATE refuse the window; DefWindowProcA accepts it.
    }
    if (SendMessageA(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(h);
        return nullptr;
    }
    Window* cw = FindWindow(h);
    if (!cw) return nullptr;  // the window destroyed itself while being created
    if (cw->style & WS_VISIBLE) {
        if (cw->sdl) SDL_ShowWindow(cw->sdl);
        SendMessageA(h, WM_SHOWWINDOW, TRUE, 0);
        if (Window* vw = FindWindow(h)) {
            RECT r = vw->rect;
            SendSizeMessage(h, SIZE_RESTORED, r);
            SendMessageA(h, WM_MOVE, 0, PackPoint(r.left, r.top));
        }
    }
    return FindWindow(h) ? h : nullptr;
}

BOOL DestroyWindow(HWND h) {
    Window* w = FindWindow(h);
    if (!w) return FALSE;
    std::vector<uintptr_t> children;
    for (auto& [id, cw] : windows)
        if (cw.parent == h) children.push_back(id);
    for (uintptr_t id : children) DestroyWindow(ToHwnd(id));
    SendMessageA(h, WM_DESTROY, 0, 0);
    SendMessageA(h, WM_NCDESTROY, 0, 0);
    w = FindWindow(h);  // a handler may have destroyed it already
    if (!w) return TRUE;
    if (captureWindow == h) {
        captureWindow = nullptr;
        if (displayOpen) SDL_CaptureMouse(SDL_FALSE);
    }
    if (w->sdl) SDL_DestroyWindow(w->sdl);
    if (w->lastFrame) SDL_FreeSurface(w->lastFrame);
    windows.erase(reinterpret_cast<uintptr_t>(h));
    // Posted messages of a destroyed window are dropped, as on the platform.
    for (auto it = queue.begin(); it != queue.end();)
        it = it->hwnd == h ? queue.erase(it) : it + 1;
    return TRUE;
}

BOOL IsWindow(HWND h) { return FindWindow(h) ? TRUE : FALSE; }

LONG GetWindowLongA(HWND h, int index) {
    Window* w = FindWindow(h);
    if (!w) return 0;
    switch (index) {
        case GWL_STYLE: return static_cast<LONG>(w->style);
        case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
        case GWL_USERDATA: return w->userData;
        default: return 0;
    }
}

LONG SetWindowLongA(HWND h, int index, LONG value) {
    Window* w = FindWindow(h);
    if (!w) return 0;
    LONG old = 0;
    switch (index) {
        case GWL_STYLE:
            old = static_cast<LONG>(w->style);
            w->style = static_cast<DWORD>(value);
            ApplyStyleToSdl(*w);
            break;
        case GWL_EXSTYLE:
            old = static_cast<LONG>(w->exStyle);
            w->exStyle = static_cast<DWORD>(value);
            break;
        case GWL_USERDATA:
            old = w->userData;
            w->userData = value;
            break;
        default: break;
    }
    return old;
}

DWORD GetClassLongA(HWND h, int index) {
    Window* w = FindWindow(h);
    if (!w || index != GCL_HCURSOR) return 0;
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(w->classCursor));
}

BOOL GetWindowRect(HWND h, LPRECT rect) {
    Window* w = FindWindow(h);
    if (!w || !rect) return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL GetClientRect(HWND h, LPRECT rect) {
    Window* w = FindWindow(h);
    if (!w || !rect) return FALSE;
    *rect = RECT{0, 0, Width(w->rect), Height(w->rect)};
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD, BOOL) {
    // No non-client area and no menu bar on this platform (see the file's header).
    return rect ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND h, HWND, int x, int y, int cx, int cy, UINT flags) {
    Window* w = FindWindow(h);
    if (!w) return FALSE;
    RECT old = w->rect;
    if (!(flags & SWP_NOMOVE)) {
        w->rect.right += x - w->rect.left;
        w->rect.bottom += y - w->rect.top;
        w->rect.left = x;
        w->rect.top = y;
        if (w->sdl) SDL_SetWindowPosition(w->sdl, x, y);
    }
    if (!(flags & SWP_NOSIZE)) {
        cx = cx < 1 ? 1 : (cx > 16384 ? 16384 : cx);
        cy = cy < 1 ? 1 : (cy > 16384 ? 16384 : cy);
        w->rect.right = w->rect.left + cx;
        w->rect.bottom = w->rect.top + cy;
        if (w->sdl) SDL_SetWindowSize(w->sdl, cx, cy);
    }
    if (flags & SWP_SHOWWINDOW) {
        w->style |= WS_VISIBLE;
        if (w->sdl) SDL_ShowWindow(w->sdl);
    } else if (flags & SWP_HIDEWINDOW) {
        w->style &= ~WS_VISIBLE;
        if (w->sdl) SDL_HideWindow(w->sdl);
    }
    RECT now = w->rect;
    if (now.left != old.left || now.top != old.top) SendMessageA(h, WM_MOVE, 0, PackPoint(now.left, now.top));
    if (Width(now) != Width(old) || Height(now) != Height(old)) SendSizeMessage(h, SIZE_RESTORED, now);
    return TRUE;
}

BOOL ShowWindow(HWND h, int command) {
    Window* w = FindWindow(h);
    if (!w) return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    switch (command) {
        case SW_HIDE:
            w->style &= ~WS_VISIBLE;
            if (w->sdl) SDL_HideWindow(w->sdl);
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            if (!w->minimized) {
                w->minimized = true;
                if (w->sdl) SDL_MinimizeWindow(w->sdl);
                SendMessageA(h, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        case SW_SHOWMAXIMIZED:
            w->style |= WS_VISIBLE;
            if (!w->maximized) {
                w->maximized = true;
                w->minimized = false;
                if (w->sdl) SDL_MaximizeWindow(w->sdl);
                SendSizeMessage(h, SIZE_MAXIMIZED, w->rect);
            }
            break;
        default:  // SW_SHOW, SW_SHOWNORMAL, SW_RESTORE
            w->style |= WS_VISIBLE;
            if (w->sdl) SDL_ShowWindow(w->sdl);
            if (w->minimized || (command == SW_RESTORE && w->maximized)) {
                w->minimized = false;
                if (command == SW_RESTORE) w->maximized = false;
                if (w->sdl) SDL_RestoreWindow(w->sdl);
                SendSizeMessage(h, SIZE_RESTORED, w->rect);
            }
            break;
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND h) {
    if (!FindWindow(h)) return FALSE;
    SendMessageA(h, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL SetWindowTextA(HWND h, LPCSTR text) {
    Window* w = FindWindow(h);
    if (!w) return FALSE;
    w->title = text ? text : "";
    if (w->sdl) SDL_SetWindowTitle(w->sdl, w->title.c_str());
    return TRUE;
}

BOOL ScreenToClient(HWND h, LPPOINT p) {
    Window* w = FindWindow(h);
    if (!w || !p) return FALSE;
    p->x -= w->rect.left;
    p->y -= w->rect.top;
    return TRUE;
}

BOOL ClientToScreen(HWND h, LPPOINT p) {
    Window* w = FindWindow(h);
    if (!w || !p) return FALSE;
    p->x += w->rect.left;
    p->y += w->rect.top;
    return TRUE;
}

BOOL GetCursorPos(LPPOINT p) {
    if (!p) return FALSE;
    if (displayOpen) {
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        lastCursor = POINT{x, y};
    }
    *p = lastCursor;
    return TRUE;
}

HWND SetCapture(HWND h) {
    HWND previous = captureWindow;
    if (!FindWindow(h)) return previous;
    captureWindow = h;
    if (displayOpen) SDL_CaptureMouse(SDL_TRUE);
    if (previous && previous != h) SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(h));
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous = captureWindow;
    captureWindow = nullptr;
    if (displayOpen) SDL_CaptureMouse(SDL_FALSE);
    if (previous) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() { return FindWindow(captureWindow) ? captureWindow : nullptr; }

HINSTANCE GetModuleHandleA(LPCSTR name) {
    // One module: the program itself. Named modules do not exist.
    return name ? nullptr : reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
}

// [SECTION] SDL events
namespace {

HWND WindowOfSdlId(Uint32 sdlId) {
    SDL_Window* sw = SDL_GetWindowFromID(sdlId);
    if (!sw) return nullptr;
    auto id = reinterpret_cast<uintptr_t>(SDL_GetWindowData(sw, "hwnd"));
    return FindWindow(ToHwnd(id)) ? ToHwnd(id) : nullptr;
}


void TranslateWindowEvent(const SDL_WindowEvent& e) {
    HWND h = WindowOfSdlId(e.windowID);
    Window* w = FindWindow(h);
    if (!w) return;
    switch (e.event) {
        case SDL_WINDOWEVENT_CLOSE: PostToQueue(h, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case SDL_WINDOWEVENT_EXPOSED: {
            PaintLastFrame(*w);
            for (const MSG& m : queue)
                if (m.hwnd == h && m.message == WM_PAINT) return;
            PostToQueue(h, WM_PAINT, 0, 0);
            break;
        }
        case SDL_WINDOWEVENT_MOVED:
            if (e.data1 != w->rect.left || e.data2 != w->rect.top) {
                LONG wd = Width(w->rect), ht = Height(w->rect);
                w->rect = RECT{e.data1, e.data2, e.data1 + wd, e.data2 + ht};
                PostToQueue(h, WM_MOVE, 0, PackPoint(e.data1, e.data2));
            }
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // Until the program has drawn a frame of the new size, the old one fills the window.
            PaintLastFrame(*w);
            DeliverUserResize(h, *w, e.data1, e.data2);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            if (!w->minimized) {
                w->minimized = true;
                PostToQueue(h, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            w->minimized = false;
            if (!w->maximized) {
                w->maximized = true;
                PostToQueue(h, WM_SIZE, SIZE_MAXIMIZED, PackPoint(Width(w->rect), Height(w->rect)));
            }
            break;
        case SDL_WINDOWEVENT_RESTORED:
            if (w->minimized || w->maximized) {
                w->minimized = false;
                w->maximized = false;
                PostToQueue(h, WM_SIZE, SIZE_RESTORED, PackPoint(Width(w->rect), Height(w->rect)));
            }
            break;
        default: break;
    }
}

void TranslateKeyEvent(const SDL_KeyboardEvent& e) {
    HWND h = WindowOfSdlId(e.windowID);
    if (!h) return;
    BYTE vk = VirtualKeyOf(e.keysym.sym);
    if (vk == 0) return;
    bool down = e.type == SDL_KEYDOWN;
    bool alt = (e.keysym.mod & KMOD_ALT) != 0;
    bool ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
    bool sys = (alt && !ctrl) || vk == VK_F10 || (vk == VK_MENU && !ctrl);
    UINT message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    PostToQueue(h, message, vk, KeyLParam(static_cast<BYTE>(e.keysym.scancode & 0xFF), down,
                                          down ? e.repeat != 0 : true, alt));
}

// Text input becomes WM_CHAR per character; characters beyond Latin-1 have no single-byte
// code and are dropped.
void TranslateTextEvent(const SDL_TextInputEvent& e) {
    HWND h = WindowOfSdlId(e.windowID);
    if (!h) return;
    const auto* s = reinterpret_cast<const unsigned char*>(e.text);
    size_t len = std::strlen(e.text);
    for (size_t i = 0; i < len;) {
        unsigned lead = s[i];
        size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + n > len) break;
        unsigned cp = lead;
        if (n == 2) cp = ((lead & 0x1F) << 6) | (s[i + 1] & 0x3F);
        else if (n > 2) cp = 0x110000;
        if (cp < 256 && cp >= 0x20 && cp != 0x7F) PostToQueue(h, WM_CHAR, cp, 1);
        i += n;
    }
}

// Mouse events go to the window that has the capture, else to the window under the mouse;
// (x, y) are client coordinates of the event's window and become the target's.
HWND MouseTarget(Uint32 sdlId, int* x, int* y) {
    HWND h = WindowOfSdlId(sdlId);
    Window* captured = FindWindow(captureWindow);
    if (!captured || captureWindow == h) return h;
    if (Window* w = FindWindow(h)) {
        *x += w->rect.left - captured->rect.left;
        *y += w->rect.top - captured->rect.top;
    }
    return captureWindow;
}

void TranslateMouseEvent(const SDL_Event& e) {
    // Touch screens also send mouse events; their touches arrive as SDL_TOUCH_MOUSEID ones,
    // which are real button presses and moves for this layer as well.
    if (e.type == SDL_MOUSEMOTION) {
        int x = e.motion.x, y = e.motion.y;
        HWND h = MouseTarget(e.motion.windowID, &x, &y);
        if (!h) return;
        SendMessageA(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(static_cast<WORD>(HTCLIENT), WM_MOUSEMOVE));
        win::PostMouseMove(h, x, y);
        return;
    }
    if (e.type == SDL_MOUSEWHEEL) {
        int x = 0, y = 0;
        HWND h = MouseTarget(e.wheel.windowID, &x, &y);
        if (!h) return;
        POINT cursor{};
        GetCursorPos(&cursor);  // the wheel message carries the cursor's screen position
        // Fine-grained wheels (touchpads) give fractions of a notch, which the delta keeps.
        float notches = e.wheel.preciseY;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        int delta = static_cast<int>(notches * WHEEL_DELTA + (notches < 0 ? -0.5f : 0.5f));
        if (delta != 0) win::PostMouseWheel(h, delta);
        return;
    }
    int x = e.button.x, y = e.button.y;
    HWND h = MouseTarget(e.button.windowID, &x, &y);
    if (!h) return;
    win::MouseButton button;
    switch (e.button.button) {
        case SDL_BUTTON_LEFT: button = win::MouseButton::Left; break;
        case SDL_BUTTON_RIGHT: button = win::MouseButton::Right; break;
        case SDL_BUTTON_MIDDLE: button = win::MouseButton::Middle; break;
        default: return;
    }
    win::PostMouseButton(h, button, e.type == SDL_MOUSEBUTTONDOWN, x, y);
}

// A window of ours that another client destroyed ends as a click on its close box would
// end it; nothing is drawn into it any more.
void WindowLost(HWND h) {
    Window* w = FindWindow(h);
    if (!w || w->lost) return;
    w->lost = true;
    PostToQueue(h, WM_SYSCOMMAND, SC_CLOSE, 0);
}

HWND WindowOfXWindow(unsigned long xWindow) {
    if (xWindow == 0) return nullptr;
    for (auto& [id, w] : windows)
        if (w.xWindow == xWindow) return ToHwnd(id);
    return nullptr;
}

void PumpSdlEvents() {
    if (!displayOpen) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
            case SDL_WINDOWEVENT: TranslateWindowEvent(e.window); break;
            case SDL_KEYDOWN:
            case SDL_KEYUP: TranslateKeyEvent(e.key); break;
            case SDL_TEXTINPUT: TranslateTextEvent(e.text); break;
            case SDL_MOUSEMOTION:
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
            case SDL_MOUSEWHEEL: TranslateMouseEvent(e); break;
            case SDL_SYSWMEVENT: WindowLost(WindowOfXWindow(x11::DestroyedWindow(e.syswm.msg))); break;
            default: break;  // SDL_QUIT follows the last window's close, handled above
        }
    }
    for (unsigned long xWindow : x11::TakeLostWindows()) WindowLost(WindowOfXWindow(xWindow));
}

bool Matches(const MSG& m, HWND h, UINT lo, UINT hi) {
    if (h && m.hwnd != h) return false;
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

}  // namespace

// [SECTION] Message queue
BOOL PeekMessageA(LPMSG msg, HWND h, UINT lo, UINT hi, UINT removeFlags) {
    if (!msg) return FALSE;
    PumpSdlEvents();
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!Matches(*it, h, lo, hi)) continue;
        *msg = *it;
        if (removeFlags & PM_REMOVE) {
            queue.erase(it);
            NoteRetrieved(*msg);
        }
        return TRUE;
    }
    if (quitPosted && (lo == 0 && hi == 0 ? true : (WM_QUIT >= lo && WM_QUIT <= hi))) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(quitCode);
        msg->time = timeGetTime();
        if (removeFlags & PM_REMOVE) quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND h, UINT lo, UINT hi) {
    if (!msg) return -1;
    for (;;) {
        if (PeekMessageA(msg, h, lo, hi, PM_REMOVE)) return msg->message == WM_QUIT ? FALSE : TRUE;
        if (displayOpen) {
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
            queue.push_front(m);
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
    quitPosted = true;
    quitCode = exitCode;
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
    BYTE s = keyState[vk];
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
        // The generic modifier is down when either side is.
        BYTE l = keyState[vk == VK_SHIFT ? VK_LSHIFT : vk == VK_CONTROL ? VK_LCONTROL : VK_LMENU];
        BYTE r = keyState[vk == VK_SHIFT ? VK_RSHIFT : vk == VK_CONTROL ? VK_RCONTROL : VK_RMENU];
        s |= static_cast<BYTE>((l | r) & 0x80);
    }
    return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

SHORT GetAsyncKeyState(int vk) { return static_cast<SHORT>(GetKeyState(vk) & 0x8000); }

// [SECTION] Accelerators and resources
namespace {
std::map<uintptr_t, std::vector<ACCEL>> acceleratorTables;
uintptr_t nextAccelId = 0x3000;
std::map<WORD, std::vector<ACCEL>> acceleratorResources;
std::map<WORD, uintptr_t> loadedAcceleratorResources;
}  // namespace

HACCEL CreateAcceleratorTableA(const ACCEL* entries, int count) {
    if (!entries || count <= 0) return nullptr;
    uintptr_t id = nextAccelId++;
    acceleratorTables[id] = std::vector<ACCEL>(entries, entries + count);
    return reinterpret_cast<HACCEL>(id);
}

BOOL DestroyAcceleratorTable(HACCEL table) {
    auto id = reinterpret_cast<uintptr_t>(table);
    for (auto& [res, loaded] : loadedAcceleratorResources)
        if (loaded == id) return TRUE;  // resource tables live as long as the program
    return acceleratorTables.erase(id) ? TRUE : FALSE;
}

HACCEL LoadAcceleratorsA(HINSTANCE, LPCSTR name) {
    if (!name || !IS_INTRESOURCE(name)) return nullptr;
    WORD id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
    auto res = acceleratorResources.find(id);
    if (res == acceleratorResources.end()) return nullptr;
    auto loaded = loadedAcceleratorResources.find(id);
    if (loaded != loadedAcceleratorResources.end()) return reinterpret_cast<HACCEL>(loaded->second);
    HACCEL table = CreateAcceleratorTableA(res->second.data(), static_cast<int>(res->second.size()));
    loadedAcceleratorResources[id] = reinterpret_cast<uintptr_t>(table);
    return table;
}

int TranslateAcceleratorA(HWND h, HACCEL table, LPMSG msg) {
    if (!msg || !FindWindow(h)) return 0;
    auto it = acceleratorTables.find(reinterpret_cast<uintptr_t>(table));
    if (it == acceleratorTables.end()) return 0;
    BYTE vk = static_cast<BYTE>(msg->wParam);
    if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP) {
        // The release of a key whose press ran a command is not passed on either: the
        // command consumed the key as a whole.
        if (!swallowKeyUp[vk]) return 0;
        swallowKeyUp[vk] = false;
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
        swallowKeyUp[vk] = true;
        bool repeat = (msg->lParam & (1 << 30)) != 0;
        // A held key repeats its key-down; the command runs once per press.
        if (!repeat) SendMessageA(h, WM_COMMAND, static_cast<WPARAM>(a.cmd) | (1u << 16), 0);
        return 1;
    }
    return 0;
}

HICON LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }
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
    for (auto& [wid, w] : windows)
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

// [SECTION] Cursors
namespace {
// Standard cursors are ids 32512 and up shifted into their own range; a cursor id maps to
// an SDL system cursor when there is a display.
constexpr uintptr_t kCursorBase = 0x20000;
HCURSOR currentCursor = nullptr;
int cursorShowCount = 0;
std::map<uintptr_t, SDL_Cursor*> sdlCursors;

SDL_SystemCursor SystemCursorOf(uintptr_t id) {
    switch (id - kCursorBase) {
        case 32513: return SDL_SYSTEM_CURSOR_IBEAM;
        case 32514: return SDL_SYSTEM_CURSOR_WAIT;
        case 32515: return SDL_SYSTEM_CURSOR_CROSSHAIR;
        default: return SDL_SYSTEM_CURSOR_ARROW;
    }
}

SDL_Cursor* DeviceCursor();
bool DeviceCursorShown();

void ApplyCursor() {
    if (!displayOpen) return;
    if (DeviceCursorShown() && DeviceCursor()) {
        SDL_SetCursor(DeviceCursor());
        SDL_ShowCursor(SDL_ENABLE);
        return;
    }
    auto id = reinterpret_cast<uintptr_t>(currentCursor);
    if (!currentCursor || cursorShowCount < 0) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    SDL_Cursor*& c = sdlCursors[id];
    if (!c) c = SDL_CreateSystemCursor(SystemCursorOf(id));
    if (c) SDL_SetCursor(c);
    SDL_ShowCursor(SDL_ENABLE);
}
}  // namespace

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    // Only the system's cursors exist (a null instance); the program carries none.
    if (instance || !name || !IS_INTRESOURCE(name)) return nullptr;
    auto id = reinterpret_cast<uintptr_t>(name);
    if (id < 32512 || id > 32515) return nullptr;
    return reinterpret_cast<HCURSOR>(kCursorBase + id);
}

namespace {
struct CursorBitmap {
    LONG width, height;
    std::vector<DWORD> pixels;  // bottom-up rows
};
std::map<uintptr_t, CursorBitmap> cursorBitmaps;
uintptr_t nextBitmapId = 0x60000;

// The standard arrow as a monochrome cursor: 32 x 32, hot spot at its tip. Row strings from
// the top: 'X' black outline, '.' white fill, ' ' transparent.
const char* const kArrowRows[] = {
    "X",           "XX",          "X.X",         "X..X",        "X...X",       "X....X",
    "X.....X",     "X......X",    "X.......X",   "X........X",  "X.....XXXXX", "X..X..X",
    "X.X X..X",    "XX  X..X",    "X    X..X",   "     X..X",   "      X..X",  "      XX",
};

HBITMAP MakeBitmap(LONG width, LONG height, std::vector<DWORD> pixels) {
    uintptr_t id = nextBitmapId++;
    cursorBitmaps[id] = CursorBitmap{width, height, std::move(pixels)};
    return reinterpret_cast<HBITMAP>(id);
}
}  // namespace

BOOL GetIconInfo(HICON icon, ICONINFO* info) {
    auto id = reinterpret_cast<uintptr_t>(icon);
    if (!info || id < kCursorBase + 32512 || id > kCursorBase + 32515) return FALSE;
    // Every standard cursor is drawn as the arrow here: the system's own shapes stay with SDL.
    const LONG w = 32, h = 32;
    // Image rows top-down: AND mask (1 = transparent) in rows 0..h-1, XOR image in h..2h-1;
    // stored bottom-up as a DIB gives them.
    std::vector<DWORD> topDown(static_cast<size_t>(w) * h * 2, 0);
    for (LONG y = 0; y < h; ++y) {
        const char* row = y < static_cast<LONG>(sizeof kArrowRows / sizeof kArrowRows[0]) ? kArrowRows[y] : "";
        LONG len = static_cast<LONG>(std::strlen(row));
        for (LONG x = 0; x < w; ++x) {
            char c = x < len ? row[x] : ' ';
            topDown[static_cast<size_t>(y) * w + x] = c == ' ' ? 0x00FFFFFFu : 0;
            topDown[static_cast<size_t>(y + h) * w + x] = c == '.' ? 0x00FFFFFFu : 0;
        }
    }
    std::vector<DWORD> bottomUp(topDown.size());
    for (LONG y = 0; y < 2 * h; ++y)
        std::memcpy(&bottomUp[static_cast<size_t>(2 * h - 1 - y) * w], &topDown[static_cast<size_t>(y) * w], w * sizeof(DWORD));
    info->fIcon = FALSE;
    info->xHotspot = 0;
    info->yHotspot = 0;
    info->hbmMask = MakeBitmap(w, 2 * h, std::move(bottomUp));
    info->hbmColor = nullptr;
    return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = currentCursor;
    currentCursor = cursor;
    ApplyCursor();
    return previous;
}

int ShowCursor(BOOL show) {
    cursorShowCount += show ? 1 : -1;
    ApplyCursor();
    return cursorShowCount;
}

// The device cursor (an SDL colour cursor) and whether it replaces the arrow.
namespace {
SDL_Cursor* deviceCursor = nullptr;
bool deviceCursorShown = false;
}  // namespace

namespace {
SDL_Cursor* DeviceCursor() { return deviceCursor; }
bool DeviceCursorShown() { return deviceCursorShown; }

SDL_PixelFormatEnum ToSdlFormat(win::PixelLayout) { return SDL_PIXELFORMAT_ARGB8888; }

win::PixelLayout LayoutOf(Uint32 format) {
    switch (format) {
        case SDL_PIXELFORMAT_RGB888:
        case SDL_PIXELFORMAT_RGBX8888:
        case SDL_PIXELFORMAT_BGR888:
        case SDL_PIXELFORMAT_BGRX8888:
        case SDL_PIXELFORMAT_RGB24:
        case SDL_PIXELFORMAT_BGR24: return win::PixelLayout::XRGB8888;
        case SDL_PIXELFORMAT_ARGB8888:
        case SDL_PIXELFORMAT_RGBA8888:
        case SDL_PIXELFORMAT_ABGR8888:
        case SDL_PIXELFORMAT_BGRA8888: return win::PixelLayout::ARGB8888;
        case SDL_PIXELFORMAT_RGB565:
        case SDL_PIXELFORMAT_BGR565: return win::PixelLayout::RGB565;
        case SDL_PIXELFORMAT_RGB555:
        case SDL_PIXELFORMAT_BGR555:
        case SDL_PIXELFORMAT_ARGB1555: return win::PixelLayout::XRGB1555;
        default: return SDL_BITSPERPIXEL(format) >= 24 ? win::PixelLayout::XRGB8888 : win::PixelLayout::Other;
    }
}

win::DisplayMode ToDisplayMode(const SDL_DisplayMode& m) {
    return win::DisplayMode{m.w, m.h, m.refresh_rate, LayoutOf(m.format)};
}
}  // namespace

// [SECTION] Message boxes
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    if (!text) text = "";
    if (!caption) caption = "Error";
    if (messageBoxHook) return messageBoxHook(text, caption, type);
    if (displayOpen && !messageBoxesToStandardError) {
        Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
        UINT icon = type & 0xF0;
        if (icon == MB_ICONERROR) flags = SDL_MESSAGEBOX_ERROR;
        else if (icon == MB_ICONWARNING) flags = SDL_MESSAGEBOX_WARNING;
        if (SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0) return static_cast<int>(IDOK);
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return static_cast<int>(IDOK);
}

// [SECTION] Display set-up
namespace {
constexpr int kDisplayAttempts = 10;

// SDL probes each video driver it knows. Without an absolute XDG_RUNTIME_DIR the Wayland client
// library cannot reach a compositor (unless WAYLAND_DISPLAY is its socket's full path), and its
// probe says "XDG_RUNTIME_DIR is invalid or not set" on standard error, a line the user can do
// nothing about. For the probe alone the variable names a private empty folder: the probe then
// fails quietly, as it would have failed anyway, and the variable is put back as it was.
int InitVideoQuietly() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((runtime && runtime[0] == '/') || (wayland && wayland[0] == '/'))
        return SDL_InitSubSystem(SDL_INIT_VIDEO);
    std::optional<std::string> original;
    if (runtime) original = runtime;
    const char* temp = std::getenv("TMPDIR");
    std::string folder = std::string(temp && temp[0] == '/' ? temp : "/tmp") + "/simmerglass-XXXXXX";
    const bool made = mkdtemp(folder.data()) != nullptr;
    if (made) setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    int result = SDL_InitSubSystem(SDL_INIT_VIDEO);
    if (made) {
        if (original) setenv("XDG_RUNTIME_DIR", original->c_str(), 1);
        else unsetenv("XDG_RUNTIME_DIR");
        rmdir(folder.c_str());
    }
    return result;
}

}  // namespace

namespace win {

bool InitDisplay(bool headless) {
    if (displayOpen || headlessMode) ShutdownDisplay();
    displayError.clear();
    if (headless) {
        headlessMode = true;
        return true;
    }
    // Ctrl+C in a terminal ends the program as usual instead of becoming a quit event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Frames are copied into the window's own framebuffer. An accelerated framebuffer would
    // make SDL create OpenGL contexts of its own beside the graphics device's, on this thread.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // A busy X server refuses a new connection now and then and takes the next one; a few
    // quick tries tell that apart from a display that is not there.
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    const bool windowSystemNamed = SDL_getenv("DISPLAY") || SDL_getenv("WAYLAND_DISPLAY");
    for (int attempt = 0;; ++attempt) {
        if (InitVideoQuietly() != 0) {
            displayError = SDL_GetError();
            if (windowSystemNamed && attempt < kDisplayAttempts) {
                SDL_Delay(50);
                continue;
            }
            return false;
        }
        // Without a window system SDL falls back to its offscreen or dummy driver, which
        // shows nothing: that is no display, unless the user asked for that driver by name.
        const char* driver = SDL_GetCurrentVideoDriver();
        bool invisible = driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
        if (!invisible || (asked && SDL_strcasecmp(asked, driver) == 0)) break;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (!windowSystemNamed || attempt >= kDisplayAttempts) {
            displayError = "no window system found (DISPLAY and WAYLAND_DISPLAY are not set or not reachable)";
            return false;
        }
        SDL_Delay(50);
    }
    if (SDL_GetNumVideoDisplays() < 1) {
        displayError = "no display found";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    displayOpen = true;
    x11::Open();
    SDL_StartTextInput();
    return true;
}

void ShutdownDisplay() {
    std::vector<uintptr_t> ids;
    for (auto& [id, w] : windows) ids.push_back(id);
    for (uintptr_t id : ids) {
        auto it = windows.find(id);
        if (it == windows.end()) continue;
        if (it->second.sdl) SDL_DestroyWindow(it->second.sdl);
        if (it->second.lastFrame) SDL_FreeSurface(it->second.lastFrame);
        windows.erase(it);
    }
    for (auto& [id, c] : sdlCursors)
        if (c) SDL_FreeCursor(c);
    sdlCursors.clear();
    if (deviceCursor) SDL_FreeCursor(deviceCursor);
    deviceCursor = nullptr;
    deviceCursorShown = false;
    if (displayOpen) {
        SDL_StopTextInput();
        x11::Close();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    classes.clear();
    displayOpen = false;
    headlessMode = false;
    ResetMessageQueue();
}

bool HasDisplay() { return displayOpen; }
bool IsHeadless() { return headlessMode; }
const char* DisplayError() { return displayError.c_str(); }

void* GetSdlWindow(HWND h) {
    Window* w = FindWindow(h);
    return w ? w->sdl : nullptr;
}

void RegisterAcceleratorResource(WORD id, const ACCEL* entries, int count) {
    if (!entries || count <= 0) {
        acceleratorResources.erase(id);
        return;
    }
    acceleratorResources[id] = std::vector<ACCEL>(entries, entries + count);
}

void SetMessageBoxHook(MessageBoxHook hook) { messageBoxHook = hook; }

void SetMessageBoxesToStandardError(bool toStandardError) { messageBoxesToStandardError = toStandardError; }

void PresentPixels(HWND h, const DWORD* pixels, UINT width, UINT height) {
    Window* w = FindWindow(h);
    if (!w || !w->sdl || w->lost || !pixels || width == 0 || height == 0 || width > 16384 || height > 16384) return;
    SDL_Surface*& frame = w->lastFrame;
    if (frame && (frame->w != static_cast<int>(width) || frame->h != static_cast<int>(height))) {
        SDL_FreeSurface(frame);
        frame = nullptr;
    }
    if (!frame) {
        frame = SDL_CreateRGBSurfaceWithFormat(0, static_cast<int>(width), static_cast<int>(height), 32,
                                               ToSdlFormat(PixelLayout::ARGB8888));
        if (!frame) return;
        SDL_SetSurfaceBlendMode(frame, SDL_BLENDMODE_NONE);
    }
    for (UINT y = 0; y < height; ++y)
        std::memcpy(static_cast<Uint8*>(frame->pixels) + static_cast<size_t>(y) * frame->pitch,
                    pixels + static_cast<size_t>(y) * width, static_cast<size_t>(width) * 4);
    PaintLastFrame(*w);
}

void SetDeviceCursorImage(const DWORD* pixels, UINT width, UINT height, UINT hotSpotX, UINT hotSpotY) {
    if (!displayOpen || !pixels || width == 0 || height == 0 || width > 256 || height > 256) return;
    std::vector<DWORD> copy(pixels, pixels + static_cast<size_t>(width) * height);
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(copy.data(), static_cast<int>(width), static_cast<int>(height),
                                                        32, static_cast<int>(width * 4), SDL_PIXELFORMAT_ARGB8888);
    if (!s) return;
    SDL_Cursor* c = SDL_CreateColorCursor(s, static_cast<int>(hotSpotX < width ? hotSpotX : 0),
                                          static_cast<int>(hotSpotY < height ? hotSpotY : 0));
    SDL_FreeSurface(s);
    if (!c) return;
    if (deviceCursor) {
        SDL_SetCursor(SDL_GetDefaultCursor());
        SDL_FreeCursor(deviceCursor);
    }
    deviceCursor = c;
    ApplyCursor();
}

void ShowDeviceCursor(bool show) {
    deviceCursorShown = show;
    ApplyCursor();
}

std::vector<DisplayDescription> EnumerateDisplays() {
    std::vector<DisplayDescription> result;
    if (!displayOpen) return result;
    int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        DisplayDescription d;
        const char* name = SDL_GetDisplayName(i);
        d.name = name ? name : "Display";
        SDL_DisplayMode desktop{};
        if (SDL_GetDesktopDisplayMode(i, &desktop) != 0) continue;
        d.desktop = ToDisplayMode(desktop);
        int modes = SDL_GetNumDisplayModes(i);
        for (int k = 0; k < modes; ++k) {
            SDL_DisplayMode m{};
            if (SDL_GetDisplayMode(i, k, &m) == 0) d.modes.push_back(ToDisplayMode(m));
        }
        if (d.modes.empty()) d.modes.push_back(d.desktop);
        result.push_back(std::move(d));
    }
    return result;
}

char KeyCharacter(BYTE vk) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<char>(vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9') return static_cast<char>(vk);
    if (vk == VK_SPACE) return ' ';
    return 0;
}

void PostKey(HWND h, BYTE vk, bool down) {
    if (!FindWindow(h)) return;
    // Whether the key is down counts what is posted but not yet read as well.
    bool wasDown = postedDown[vk];
    postedDown[vk] = down;
    PostToQueue(h, down ? WM_KEYDOWN : WM_KEYUP, vk, KeyLParam(vk, down, down ? wasDown : true, false));
    if (down) {
        if (char c = KeyCharacter(vk)) PostToQueue(h, WM_CHAR, static_cast<unsigned char>(c), KeyLParam(vk, true, wasDown, false));
    }
}

namespace {
WPARAM MouseFlags() {
    WPARAM f = mouseButtons;
    bool shift = false, control = false;
    if (displayOpen) {
        SDL_Keymod mod = SDL_GetModState();
        shift = (mod & KMOD_SHIFT) != 0;
        control = (mod & KMOD_CTRL) != 0;
    } else {
        shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    }
    if (shift) f |= MK_SHIFT;
    if (control) f |= MK_CONTROL;
    return f;
}
}  // namespace

void PostMouseMove(HWND h, int x, int y) {
    Window* w = FindWindow(h);
    if (!w) return;
    lastCursor = POINT{w->rect.left + x, w->rect.top + y};
    // Mouse moves are coalesced, as the platform does: only the newest one waits.
    if (!queue.empty() && queue.back().hwnd == h && queue.back().message == WM_MOUSEMOVE) queue.pop_back();
    PostToQueue(h, WM_MOUSEMOVE, MouseFlags(), PackPoint(x, y));
}

void PostMouseButton(HWND h, MouseButton button, bool down, int x, int y) {
    Window* w = FindWindow(h);
    if (!w) return;
    WPARAM flag = button == MouseButton::Left ? MK_LBUTTON : button == MouseButton::Right ? MK_RBUTTON : MK_MBUTTON;
    UINT message = button == MouseButton::Left    ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                   : button == MouseButton::Right ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                                                  : (down ? WM_MBUTTONDOWN : WM_MBUTTONUP);
    if (down)
        mouseButtons |= flag;
    else
        mouseButtons &= ~flag;
    lastCursor = POINT{w->rect.left + x, w->rect.top + y};
    PostToQueue(h, message, MouseFlags(), PackPoint(x, y));
}

void PostMouseWheel(HWND h, int delta) {
    if (!FindWindow(h)) return;
    delta = std::clamp(delta, -32768, 32767);
    WPARAM wp = (static_cast<WPARAM>(static_cast<WORD>(static_cast<SHORT>(delta))) << 16) | MouseFlags();
    PostToQueue(h, WM_MOUSEWHEEL, wp, PackPoint(lastCursor.x, lastCursor.y));
}

void PostChar(HWND h, char c) {
    if (!FindWindow(h)) return;
    PostToQueue(h, WM_CHAR, static_cast<unsigned char>(c), 1);
}

bool GetBitmapPixels(HBITMAP bitmap, LONG* width, LONG* height, std::vector<DWORD>* pixels) {
    auto it = cursorBitmaps.find(reinterpret_cast<uintptr_t>(bitmap));
    if (it == cursorBitmaps.end() || !width || !height || !pixels) return false;
    *width = it->second.width;
    *height = it->second.height;
    *pixels = it->second.pixels;
    return true;
}

void DeleteBitmap(HBITMAP bitmap) { cursorBitmaps.erase(reinterpret_cast<uintptr_t>(bitmap)); }

size_t LiveBitmapCount() { return cursorBitmaps.size(); }

size_t PendingMessageCount() { return queue.size(); }

void ResetMessageQueue() {
    queue.clear();
    quitPosted = false;
    quitCode = 0;
    std::memset(keyState, 0, sizeof keyState);
    std::memset(swallowKeyUp, 0, sizeof swallowKeyUp);
    std::memset(postedDown, 0, sizeof postedDown);
    mouseButtons = 0;
    captureWindow = nullptr;
}

void SimulateUserResize(HWND h, int width, int height) {
    Window* w = FindWindow(h);
    if (!w || width < 1 || height < 1) return;
    if (w->sdl) SDL_SetWindowSize(w->sdl, width, height);
    DeliverUserResize(h, *w, width, height);
}

}  // namespace win
