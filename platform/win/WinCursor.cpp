// Cursors: standard cursors as SDL system cursors, the monochrome arrow bitmap, SetCursor/ShowCursor
// and the device's colour cursor.
#include "platform/win/WinUser.h"

#include <SDL.h>

#include <cstring>
#include <vector>

#include "platform/win/WinUserState.h"

using namespace winimpl;

// [SECTION] Cursors
namespace {

// Standard cursors are ids 32512 and up shifted into their own range; a cursor id maps to
// an SDL system cursor when there is a display.
constexpr uintptr_t kCursorBase = 0x20000;

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

SDL_Cursor* DeviceCursor() { return winState.deviceCursor; }
bool DeviceCursorShown() { return winState.deviceCursorShown; }

}  // namespace

namespace winimpl {

void ApplyCursor() {
    if (!winState.displayOpen) return;
    if (DeviceCursorShown() && DeviceCursor()) {
        SDL_SetCursor(DeviceCursor());
        SDL_ShowCursor(SDL_ENABLE);
        return;
    }
    auto id = reinterpret_cast<uintptr_t>(winState.currentCursor);
    if (!winState.currentCursor || winState.cursorShowCount < 0) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    SDL_Cursor*& c = winState.sdlCursors[id];
    if (!c) c = SDL_CreateSystemCursor(SystemCursorOf(id));
    if (c) SDL_SetCursor(c);
    SDL_ShowCursor(SDL_ENABLE);
}

}  // namespace winimpl

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    // Only the system's cursors exist (a null instance); the program carries none.
    if (instance || !name || !IS_INTRESOURCE(name)) return nullptr;
    auto id = reinterpret_cast<uintptr_t>(name);
    if (id < 32512 || id > 32515) return nullptr;
    return reinterpret_cast<HCURSOR>(kCursorBase + id);
}

namespace {

// The standard arrow as a monochrome cursor: 32 x 32, hot spot at its tip. Row strings from
// the top: 'X' black outline, '.' white fill, ' ' transparent.
const char* const kArrowRows[] = {
    "X",           "XX",          "X.X",         "X..X",        "X...X",       "X....X",
    "X.....X",     "X......X",    "X.......X",   "X........X",  "X.....XXXXX", "X..X..X",
    "X.X X..X",    "XX  X..X",    "X    X..X",   "     X..X",   "      X..X",  "      XX",
};

HBITMAP MakeBitmap(LONG width, LONG height, std::vector<DWORD> pixels) {
    uintptr_t id = winState.nextBitmapId++;
    winState.cursorBitmaps[id] = CursorBitmap{width, height, std::move(pixels)};
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
    HCURSOR previous = winState.currentCursor;
    winState.currentCursor = cursor;
    ApplyCursor();
    return previous;
}

int ShowCursor(BOOL show) {
    winState.cursorShowCount += show ? 1 : -1;
    ApplyCursor();
    return winState.cursorShowCount;
}

// The device cursor (an SDL colour cursor) and whether it replaces the arrow.
