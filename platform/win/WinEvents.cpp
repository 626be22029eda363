// SDL events translated into the messages a Win32 window would receive: window, key, text and mouse
// events, and windows destroyed by other clients.
#include "platform/win/WinUser.h"

#include <SDL.h>

#include <cstring>

#include "platform/win/WinUserState.h"
#include "platform/win/X11Window.h"

using namespace winimpl;

namespace {

HWND WindowOfSdlId(Uint32 sdlId) {
    SDL_Window* sw = SDL_GetWindowFromID(sdlId);
    if (!sw) return nullptr;
    auto id = reinterpret_cast<uintptr_t>(SDL_GetWindowData(sw, "hwnd"));
    return FindWindow(ToHwnd(id)) ? ToHwnd(id) : nullptr;
}

// The window lost the keyboard: what is held now is released elsewhere, and no key-up or
// button-up would ever reach it. Every key down (as read, or still queued) gets its key-up and
// every button held its button-up, so that nothing stays stuck.
void ReleaseHeldInput(HWND h, const Window& w) {
    bool down[256];
    for (int vk = 0; vk < 256; ++vk) down[vk] = (winState.keyState[vk] & 0x80) != 0;
    for (const MSG& m : winState.queue) {
        if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) down[m.wParam & 0xFF] = true;
        if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) down[m.wParam & 0xFF] = false;
    }
    for (int vk = 1; vk < 256; ++vk) {
        if (!down[vk]) continue;
        const bool sys = vk == VK_MENU || vk == VK_F10;
        PostToQueue(h, sys ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(vk),
                    KeyLParam(static_cast<BYTE>(vk), false, true, false));
        winState.postedDown[vk] = false;
    }
    const int x = winState.lastCursor.x - w.rect.left, y = winState.lastCursor.y - w.rect.top;
    const struct {
        WPARAM flag;
        win::MouseButton button;
    } buttons[] = {{MK_LBUTTON, win::MouseButton::Left}, {MK_RBUTTON, win::MouseButton::Right},
                   {MK_MBUTTON, win::MouseButton::Middle}};
    for (const auto& b : buttons)
        if (winState.mouseButtons & b.flag) win::PostMouseButton(h, b.button, false, x, y);
}

void TranslateWindowEvent(const SDL_WindowEvent& e) {
    HWND h = WindowOfSdlId(e.windowID);
    Window* w = FindWindow(h);
    if (!w) return;
    switch (e.event) {
        case SDL_WINDOWEVENT_CLOSE: PostToQueue(h, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: ReleaseHeldInput(h, *w); break;
        case SDL_WINDOWEVENT_EXPOSED: {
            PaintLastFrame(*w);
            for (const MSG& m : winState.queue)
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
    Window* captured = FindWindow(winState.captureWindow);
    if (!captured || winState.captureWindow == h) return h;
    if (Window* w = FindWindow(h)) {
        *x += w->rect.left - captured->rect.left;
        *y += w->rect.top - captured->rect.top;
    }
    return winState.captureWindow;
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
    for (auto& [id, w] : winState.windows)
        if (w.xWindow == xWindow) return ToHwnd(id);
    return nullptr;
}

}  // namespace

namespace winimpl {

void PumpSdlEvents() {
    if (!winState.displayOpen) return;
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
            case SDL_SYSWMEVENT: {
                bool covered = false;
                if (unsigned long x = x11::VisibilityChange(e.syswm.msg, &covered)) {
                    if (Window* w = FindWindow(WindowOfXWindow(x))) w->covered = covered;
                } else {
                    WindowLost(WindowOfXWindow(x11::DestroyedWindow(e.syswm.msg)));
                }
                break;
            }
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

}  // namespace winimpl
