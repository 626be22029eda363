// What the window layer needs from X11 beneath SDL: surviving a window that another client
// destroys, a black window background, and whether a window manager runs. Every call does
// nothing (or answers false) when the SDL window is not an X11 window.
#pragma once

#include <SDL.h>

#include <vector>

struct SDL_SysWMmsg;

namespace x11 {

// The X window behind an SDL window; 0 when it is not one.
unsigned long WindowOf(SDL_Window* window);

// Starts watching a window of ours: X errors about it are answered quietly (it may have been
// destroyed by another client) and reported through TakeLostWindows. Also gives the window
// a black background, so that the X server fills newly exposed parts with black instead of
// white before the program draws them, and asks for the events that say whether other
// windows cover it.
void Adopt(SDL_Window* window);

// Lets SDL pass raw X events through SDL_SYSWMEVENT and routes X errors through this module.
// Called once the video subsystem is open; Close undoes it before the subsystem closes.
void Open();
void Close();

// The Xlib connection, window and visual behind an SDL window; false when it is not an X11 window.
bool NativeHandles(SDL_Window* window, void** display, unsigned long* xWindow, unsigned long* visual);

// The window a raw event reports covered or uncovered: 0 when the event is not such a report,
// else the X window, with *fullyCovered set.
unsigned long VisibilityChange(const SDL_SysWMmsg* message, bool* fullyCovered);

// The X window a raw event reports destroyed, 0 when the event is not such a report.
unsigned long DestroyedWindow(const SDL_SysWMmsg* message);

// X windows of ours that X errors reported gone since the last call.
std::vector<unsigned long> TakeLostWindows();

// Whether a window manager that follows the extended window-manager hints runs on the
// window's screen (it then carries out full-screen requests; without one nobody does).
bool WindowManagerRunning(SDL_Window* window);

}  // namespace x11
