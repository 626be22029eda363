// State of the Win32 stand-in shared by its files (WinUser, WinEvents, WinQueue, WinCursor, WinDisplay):
// window classes and records, the posted message queue, key, mouse, cursor and display state in one object.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/win/FramePacer.h"
#include "platform/win/WinUser.h"

namespace winimpl {

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
    bool drawnByDevice = false;        // the graphics device draws into it (no lastFrame painting)
    bool covered = false;              // the window system reports it fully covered by others
    win::FramePacer pacer;             // when its next frame may be shown
};

struct CursorBitmap {
    LONG width, height;
    std::vector<DWORD> pixels;  // bottom-up rows
};

struct WinState {
    std::map<std::string, WindowClass> classes;  // by lower-case name
    std::map<uintptr_t, Window> windows;
    uintptr_t nextWindowId = 0x10000;  // above HWND_TOP/BOTTOM and small integers

    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;

    BYTE keyState[256] = {};        // bit 7 down, bit 0 toggled, as messages were retrieved
    bool swallowKeyUp[256] = {};    // key-ups that belong to a key-down an accelerator consumed
    bool postedDown[256] = {};      // keys that win::PostKey last posted as down

    bool displayOpen = false;
    bool headlessMode = false;
    std::string displayError;

    POINT lastCursor{0, 0};
    WPARAM mouseButtons = 0;       // MK_LBUTTON, MK_RBUTTON, MK_MBUTTON held, as messages were posted
    HWND captureWindow = nullptr;  // the window that has the mouse capture
    win::MessageBoxHook messageBoxHook = nullptr;
    bool messageBoxesToStandardError = false;

    // Accelerator tables by handle, and the resources they are loaded from.
    std::map<uintptr_t, std::vector<ACCEL>> acceleratorTables;
    uintptr_t nextAccelId = 0x3000;
    std::map<WORD, std::vector<ACCEL>> acceleratorResources;
    std::map<WORD, uintptr_t> loadedAcceleratorResources;
    // Icon resources by id (pixels 0xAARRGGBB, rows top-down); LoadIconA's handle is
    // kIconHandleBase + id.
    std::map<WORD, CursorBitmap> iconResources;

    HCURSOR currentCursor = nullptr;
    int cursorShowCount = 0;
    std::map<uintptr_t, SDL_Cursor*> sdlCursors;
    std::map<uintptr_t, CursorBitmap> cursorBitmaps;
    uintptr_t nextBitmapId = 0x60000;
    // The device cursor (an SDL colour cursor) and whether it replaces the arrow.
    SDL_Cursor* deviceCursor = nullptr;
    bool deviceCursorShown = false;
};

constexpr uintptr_t kIconHandleBase = 0x70000;

// The one instance (WinUser.cpp).
extern WinState winState;

// Helpers shared by the files of the stand-in.
Window* FindWindow(HWND h);
HWND ToHwnd(uintptr_t id);
LONG Width(const RECT& r);
LONG Height(const RECT& r);
void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LPARAM PackPoint(int x, int y);
BYTE VirtualKeyOf(SDL_Keycode key);
// The keys VirtualKeyOf looks up one by one (letters and digits are ranges).
struct KeyName {
    SDL_Keycode key;
    BYTE vk;
};
extern const KeyName kKeyTable[];
extern const size_t kKeyTableSize;
LPARAM KeyLParam(BYTE scan, bool down, bool wasDown, bool alt);
char ControlCharacter(WPARAM vk);
void NoteRetrieved(const MSG& m);
void PaintLastFrame(Window& w);
void DeliverUserResize(HWND h, Window& w, int width, int height);
// Translates the pending SDL events into posted messages (WinEvents.cpp).
void PumpSdlEvents();
bool Matches(const MSG& m, HWND h, UINT lo, UINT hi);
void ApplyCursor();

}  // namespace winimpl
