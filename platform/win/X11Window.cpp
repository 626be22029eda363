// X11 beneath SDL: an error handler that keeps the program alive when another client destroys
// one of its windows (Xlib's default handler would end it with status 1), raw DestroyNotify
// events, window backgrounds and the window-manager check.
#include "platform/win/X11Window.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>

namespace x11 {
namespace {

// Our X windows, kept after destruction too: a late error may still name one.
std::vector<unsigned long> ourWindows;
std::vector<unsigned long> lostWindows;
Display* openDisplay = nullptr;  // SDL's connection, known once a window was adopted
XErrorHandler previousHandler = nullptr;
bool handlerInstalled = false;
int trappedErrors = 0;  // > 0 while a query that may fail harmlessly runs
bool trapping = false;

bool IsOurs(unsigned long id) { return std::find(ourWindows.begin(), ourWindows.end(), id) != ourWindows.end(); }

int OnError(Display* display, XErrorEvent* error) {
    if (trapping) {
        ++trappedErrors;
        return 0;
    }
    // A request about a window of ours that no longer exists: another client destroyed it.
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) && IsOurs(error->resourceid)) {
        if (std::find(lostWindows.begin(), lostWindows.end(), error->resourceid) == lostWindows.end())
            lostWindows.push_back(error->resourceid);
        return 0;
    }
    return previousHandler ? previousHandler(display, error) : 0;
}

bool X11Info(SDL_Window* window, SDL_SysWMinfo* info) {
    if (!window) return false;
    SDL_VERSION(&info->version);
    return SDL_GetWindowWMInfo(window, info) == SDL_TRUE && info->subsystem == SDL_SYSWM_X11 &&
           info->info.x11.display != nullptr;
}

}  // namespace

unsigned long WindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    return X11Info(window, &info) ? info.info.x11.window : 0;
}

void Adopt(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info)) return;
    if (!IsOurs(info.info.x11.window)) ourWindows.push_back(info.info.x11.window);
    Display* display = info.info.x11.display;
    openDisplay = display;
    XSetWindowBackground(display, info.info.x11.window, BlackPixel(display, DefaultScreen(display)));
    // SDL does not ask for visibility changes; the events it asks for stay as they are.
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, info.info.x11.window, &attributes))
        XSelectInput(display, info.info.x11.window, attributes.your_event_mask | VisibilityChangeMask);
    XFlush(display);
}

bool NativeHandles(SDL_Window* window, void** display, unsigned long* xWindow, unsigned long* visual) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info)) return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes) || !attributes.visual)
        return false;
    *display = info.info.x11.display;
    *xWindow = info.info.x11.window;
    *visual = XVisualIDFromVisual(attributes.visual);
    return true;
}

unsigned long VisibilityChange(const SDL_SysWMmsg* message, bool* fullyCovered) {
    if (!message || message->subsystem != SDL_SYSWM_X11) return 0;
    const XEvent& e = message->msg.x11.event;
    if (e.type != VisibilityNotify || !IsOurs(e.xvisibility.window)) return 0;
    *fullyCovered = e.xvisibility.state == VisibilityFullyObscured;
    return e.xvisibility.window;
}

void Open() {
    if (handlerInstalled) return;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || SDL_strcmp(driver, "x11") != 0) return;
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    // SDL has installed its own handler by now (it restores the desktop mode, then calls
    // Xlib's default); errors that are not ours go on to it.
    previousHandler = XSetErrorHandler(OnError);
    handlerInstalled = true;
}

void Close() {
    if (!handlerInstalled) return;
    // Errors about windows just destroyed arrive asynchronously: collect them while the
    // handler that expects them is still in place.
    if (openDisplay) XSync(openDisplay, False);
    openDisplay = nullptr;
    XSetErrorHandler(previousHandler);
    previousHandler = nullptr;
    handlerInstalled = false;
    SDL_EventState(SDL_SYSWMEVENT, SDL_DISABLE);
    ourWindows.clear();
    lostWindows.clear();
}

unsigned long DestroyedWindow(const SDL_SysWMmsg* message) {
    if (!message || message->subsystem != SDL_SYSWM_X11) return 0;
    const XEvent& e = message->msg.x11.event;
    if (e.type != DestroyNotify || !IsOurs(e.xdestroywindow.window)) return 0;
    return e.xdestroywindow.window;
}

std::vector<unsigned long> TakeLostWindows() {
    std::vector<unsigned long> taken;
    taken.swap(lostWindows);
    return taken;
}

bool WindowManagerRunning(SDL_Window* window) {
    SDL_SysWMinfo info;
    // Not X11 (or no error handler to trap a stale property): the system's own management.
    if (!handlerInstalled || !X11Info(window, &info)) return true;
    Display* display = info.info.x11.display;
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    // The root names the manager's check window, which names itself; a manager that has
    // exited leaves the root's property naming a window that no longer exists.
    auto checkWindowOf = [&](Window w) -> Window {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        Window found = None;
        if (XGetWindowProperty(display, w, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
                Success &&
            type == XA_WINDOW && format == 32 && count == 1 && data)
            found = *reinterpret_cast<Window*>(data);
        if (data) XFree(data);
        return found;
    };
    trapping = true;
    trappedErrors = 0;
    Window root = RootWindow(display, DefaultScreen(display));
    Window manager = checkWindowOf(root);
    bool running = manager != None && checkWindowOf(manager) == manager;
    XSync(display, False);
    running = running && trappedErrors == 0;
    trapping = false;
    return running;
}

}  // namespace x11
