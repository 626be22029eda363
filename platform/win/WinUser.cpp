// Win32 windows on SDL2: window classes, window records keyed by never-reused ids, and the window
// operations; the state shared with WinEvents, WinQueue, WinCursor and WinDisplay is in WinUserState.h.
//
// Index: [SECTION] State, [SECTION] Keys, [SECTION] Windows
// Elsewhere: SDL events (WinEvents.cpp), message queue, accelerators and resources (WinQueue.cpp),
// cursors (WinCursor.cpp), message boxes and display set-up (WinDisplay.cpp).
//
// The non-client area has no size here: the window manager draws its decorations outside the
// SDL window, and menus do not exist, so a window's outer rectangle is its client rectangle.
// Each window keeps its last presented frame, so that a grown or exposed window is repainted at
// once instead of showing the X server's background until the next frame.
#include "platform/win/WinUser.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win/WinTime.h"
#include "platform/win/PictureFit.h"
#include "platform/win/WinUserState.h"
#include "platform/win/X11Window.h"

using namespace winimpl;

// [SECTION] State
namespace winimpl {

WinState winState;

namespace {
std::string Lower(const char* s) {
    std::string r = s ? s : "";
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}
}  // namespace

Window* FindWindow(HWND h) {
    auto it = winState.windows.find(reinterpret_cast<uintptr_t>(h));
    return it == winState.windows.end() ? nullptr : &it->second;
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
    m.pt = winState.lastCursor;
    winState.queue.push_back(m);
}

LPARAM PackPoint(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x)), static_cast<WORD>(static_cast<SHORT>(y)));
}

// [SECTION] Keys
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
const size_t kKeyTableSize = sizeof kKeyTable / sizeof kKeyTable[0];

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
        if (!(winState.keyState[vk] & 0x80)) winState.keyState[vk] ^= 0x01;
        winState.keyState[vk] |= 0x80;
    } else if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) {
        winState.keyState[static_cast<BYTE>(m.wParam)] &= static_cast<BYTE>(~0x80);
    }
}

// [SECTION] Windows
namespace {
void SendSizeMessage(HWND h, WPARAM kind, const RECT& r) {
    SendMessageA(h, WM_SIZE, kind, PackPoint(Width(r), Height(r)));
}
}  // namespace

// Shows the window's last frame over its whole client area. A frame of another size (the
// window has just grown, or full screen shows a mode unlike the desktop's) is scaled with
// its aspect ratio kept and centred on black; without a frame the window is black.
void PaintLastFrame(Window& w) {
    if (!w.sdl || w.lost || w.drawnByDevice) return;
    SDL_Surface* target = SDL_GetWindowSurface(w.sdl);
    if (!target) return;
    const SDL_Surface* frame = w.lastFrame;
    if (frame && frame->w == target->w && frame->h == target->h) {
        SDL_BlitSurface(w.lastFrame, nullptr, target, nullptr);
    } else {
        SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
        if (frame && target->w > 0 && target->h > 0) {
            const win::PicturePlace fit = win::FitPicture(frame->w, frame->h, target->w, target->h);
            SDL_Rect place{fit.x, fit.y, fit.width, fit.height};
            if (place.w > 0 && place.h > 0) SDL_BlitScaled(w.lastFrame, nullptr, target, &place);
        }
    }
    SDL_UpdateWindowSurface(w.sdl);
}

namespace {
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
}  // namespace

// A user's resize arrives the way a drag of the frame does on the platform.
void DeliverUserResize(HWND h, Window& w, int width, int height) {
    if (width == Width(w.rect) && height == Height(w.rect)) return;
    w.rect.right = w.rect.left + width;
    w.rect.bottom = w.rect.top + height;
    PostToQueue(h, WM_ENTERSIZEMOVE, 0, 0);
    PostToQueue(h, WM_SIZE, w.maximized ? SIZE_MAXIMIZED : SIZE_RESTORED, PackPoint(width, height));
    PostToQueue(h, WM_EXITSIZEMOVE, 0, 0);
}

}  // namespace winimpl

namespace {
// Shows a class's icon resource on an SDL window; other icons (none, or unknown) leave SDL's own.
void SetIconOf(SDL_Window* window, HICON icon) {
    const auto handle = reinterpret_cast<uintptr_t>(icon);
    if (handle < kIconHandleBase || handle > kIconHandleBase + 0xFFFF) return;
    auto it = winState.iconResources.find(static_cast<WORD>(handle - kIconHandleBase));
    if (it == winState.iconResources.end()) return;
    CursorBitmap& picture = it->second;
    SDL_Surface* surface = SDL_CreateRGBSurfaceFrom(picture.pixels.data(), picture.width, picture.height, 32,
                                                    picture.width * 4, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    if (!surface) return;
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
}
}  // namespace

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || IS_INTRESOURCE(wc->lpszClassName)) return 0;
    std::string key = Lower(wc->lpszClassName);
    if (winState.classes.count(key)) return 0;  // already registered, as on the platform
    WindowClass c;
    c.proc = wc->lpfnWndProc;
    c.instance = wc->hInstance;
    c.icon = wc->hIcon;
    c.cursor = wc->hCursor;
    c.background = wc->hbrBackground;
    winState.classes[key] = c;
    return static_cast<ATOM>(0xC000 + winState.classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (!className || IS_INTRESOURCE(className)) return FALSE;
    return winState.classes.erase(Lower(className)) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    if (!className || IS_INTRESOURCE(className)) return nullptr;
    auto cit = winState.classes.find(Lower(className));
    if (cit == winState.classes.end()) return nullptr;
    const bool child = (style & WS_CHILD) != 0;
    if (child && !FindWindow(parent)) return nullptr;
    if (width == CW_USEDEFAULT || width <= 0) width = width == CW_USEDEFAULT ? 640 : 1;
    if (height == CW_USEDEFAULT || height <= 0) height = height == CW_USEDEFAULT ? 480 : 1;
    if (width > 16384) width = 16384;
    if (height > 16384) height = 16384;

    uintptr_t id = winState.nextWindowId++;
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

    if (winState.displayOpen && !child) {
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
        if (!(style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
        int sx = defaultPos ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : x;
        int sy = defaultPos ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : y;
        w.sdl = SDL_CreateWindow(w.title.c_str(), sx, sy, width, height, flags);
        if (!w.sdl) return nullptr;
        SDL_GetWindowPosition(w.sdl, &px, &py);
        SDL_SetWindowData(w.sdl, "hwnd", reinterpret_cast<void*>(id));
        SetIconOf(w.sdl, cit->second.icon);
        x11::Adopt(w.sdl);
        w.xWindow = x11::WindowOf(w.sdl);
    }
    w.rect = RECT{px, py, px + width, py + height};
    winState.windows[id] = w;

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
    for (auto& [id, cw] : winState.windows)
        if (cw.parent == h) children.push_back(id);
    for (uintptr_t id : children) DestroyWindow(ToHwnd(id));
    SendMessageA(h, WM_DESTROY, 0, 0);
    SendMessageA(h, WM_NCDESTROY, 0, 0);
    w = FindWindow(h);  // a handler may have destroyed it already
    if (!w) return TRUE;
    if (winState.captureWindow == h) {
        winState.captureWindow = nullptr;
        if (winState.displayOpen) SDL_CaptureMouse(SDL_FALSE);
    }
    if (w->sdl) SDL_DestroyWindow(w->sdl);
    if (w->lastFrame) SDL_FreeSurface(w->lastFrame);
    winState.windows.erase(reinterpret_cast<uintptr_t>(h));
    // Posted messages of a destroyed window are dropped, as on the platform.
    for (auto it = winState.queue.begin(); it != winState.queue.end();)
        it = it->hwnd == h ? winState.queue.erase(it) : it + 1;
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
    if (winState.displayOpen) {
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        winState.lastCursor = POINT{x, y};
    }
    *p = winState.lastCursor;
    return TRUE;
}

HWND SetCapture(HWND h) {
    HWND previous = winState.captureWindow;
    if (!FindWindow(h)) return previous;
    winState.captureWindow = h;
    if (winState.displayOpen) SDL_CaptureMouse(SDL_TRUE);
    if (previous && previous != h) SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(h));
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous = winState.captureWindow;
    winState.captureWindow = nullptr;
    if (winState.displayOpen) SDL_CaptureMouse(SDL_FALSE);
    if (previous) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() { return FindWindow(winState.captureWindow) ? winState.captureWindow : nullptr; }

HINSTANCE GetModuleHandleA(LPCSTR name) {
    // One module: the program itself. Named modules do not exist.
    return name ? nullptr : reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
}
