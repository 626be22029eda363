// The Wayland handles beneath an SDL window, for a graphics device that draws into it (kept apart
// from the rest of the window layer: SDL's window-manager header brings in the window systems' own).
#pragma once

#include <SDL.h>

namespace wayland {

// The wl_display connection and the window's wl_surface; false when it is not a Wayland window.
bool NativeHandles(SDL_Window* window, void** display, void** surface);

}  // namespace wayland
