// The Wayland handles beneath an SDL window.
#include "platform/win/WaylandWindow.h"

#include <SDL_syswm.h>

namespace wayland {

bool NativeHandles(SDL_Window* window, void** display, void** surface) {
    if (!window) return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_WAYLAND) return false;
    if (!info.info.wl.display || !info.info.wl.surface) return false;
    *display = info.info.wl.display;
    *surface = info.info.wl.surface;
    return true;
}

}  // namespace wayland
