// Message boxes and display set-up: SDL video start and shutdown, display modes, presenting frames,
// and the host calls (win::) that tests and the device use to drive windows and input.
#include "platform/win/WinUser.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <strings.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/win/WinUserState.h"
#include "platform/win/WaylandWindow.h"
#include "platform/win/X11Window.h"

using namespace winimpl;

namespace {

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
    if (winState.messageBoxHook) return winState.messageBoxHook(text, caption, type);
    if (winState.displayOpen && !winState.messageBoxesToStandardError) {
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
    if (winState.displayOpen || winState.headlessMode) ShutdownDisplay();
    winState.displayError.clear();
    if (headless) {
        winState.headlessMode = true;
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
            winState.displayError = SDL_GetError();
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
            winState.displayError = "no window system found (DISPLAY and WAYLAND_DISPLAY are not set or not reachable)";
            return false;
        }
        SDL_Delay(50);
    }
    if (SDL_GetNumVideoDisplays() < 1) {
        winState.displayError = "no display found";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    winState.displayOpen = true;
    x11::Open();
    SDL_StartTextInput();
    return true;
}

void ShutdownDisplay() {
    std::vector<uintptr_t> ids;
    for (auto& [id, w] : winState.windows) ids.push_back(id);
    for (uintptr_t id : ids) {
        auto it = winState.windows.find(id);
        if (it == winState.windows.end()) continue;
        if (it->second.sdl) SDL_DestroyWindow(it->second.sdl);
        if (it->second.lastFrame) SDL_FreeSurface(it->second.lastFrame);
        winState.windows.erase(it);
    }
    for (auto& [id, c] : winState.sdlCursors)
        if (c) SDL_FreeCursor(c);
    winState.sdlCursors.clear();
    if (winState.deviceCursor) SDL_FreeCursor(winState.deviceCursor);
    winState.deviceCursor = nullptr;
    winState.deviceCursorShown = false;
    if (winState.displayOpen) {
        SDL_StopTextInput();
        x11::Close();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    winState.classes.clear();
    winState.displayOpen = false;
    winState.headlessMode = false;
    ResetMessageQueue();
}

bool HasDisplay() { return winState.displayOpen; }
bool IsHeadless() { return winState.headlessMode; }
const char* DisplayError() { return winState.displayError.c_str(); }

void* GetSdlWindow(HWND h) {
    Window* w = FindWindow(h);
    return w ? w->sdl : nullptr;
}

void RegisterAcceleratorResource(WORD id, const ACCEL* entries, int count) {
    // A table loaded before stays valid for whoever holds it; the next load sees the new entries.
    winState.loadedAcceleratorResources.erase(id);
    if (!entries || count <= 0) {
        winState.acceleratorResources.erase(id);
        return;
    }
    winState.acceleratorResources[id] = std::vector<ACCEL>(entries, entries + count);
}

void RegisterIconResource(WORD id, const DWORD* pixels, int width, int height) {
    if (!pixels || width <= 0 || height <= 0 || width > 1024 || height > 1024) {
        winState.iconResources.erase(id);
        return;
    }
    winState.iconResources[id] = CursorBitmap{width, height, std::vector<DWORD>(pixels, pixels + width * height)};
}

void SetMessageBoxHook(MessageBoxHook hook) { winState.messageBoxHook = hook; }

bool MessageBoxesShown() {
    return winState.messageBoxHook || (winState.displayOpen && !winState.messageBoxesToStandardError);
}

void SetMessageBoxesToStandardError(bool toStandardError) { winState.messageBoxesToStandardError = toStandardError; }
bool MessageBoxesToStandardError() { return winState.messageBoxesToStandardError; }

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

namespace {
constexpr int kDefaultRefreshRate = 60;
// A window nobody can see is still drawn now and then (its frame statistics, a capture), but
// at this rate only.
constexpr double kCoveredFramePeriod = 0.25;
}  // namespace

int RefreshRate(HWND h) {
    Window* w = FindWindow(h);
    if (!w || !w->sdl) return kDefaultRefreshRate;
    SDL_DisplayMode mode{};
    int display = SDL_GetWindowDisplayIndex(w->sdl);
    if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) != 0 || mode.refresh_rate <= 0)
        return kDefaultRefreshRate;
    return mode.refresh_rate;
}

bool PaceFrame(HWND h, bool waitForRefresh) {
    Window* w = FindWindow(h);
    if (!w || !w->sdl || w->lost) return false;
    if (!waitForRefresh && !w->covered) {
        w->pacer.Restart();
        return true;
    }
    double period = waitForRefresh ? 1.0 / RefreshRate(h) : 0.0;
    if (w->covered && period < kCoveredFramePeriod) period = kCoveredFramePeriod;
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const double wait = w->pacer.Wait(now, period);
    if (wait > 0.0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    return true;
}

bool GetX11Window(HWND h, void** display, unsigned long* xWindow, unsigned long* visual) {
    Window* w = FindWindow(h);
    if (!w || !w->sdl || w->lost || !display || !xWindow || !visual) return false;
    return x11::NativeHandles(w->sdl, display, xWindow, visual);
}

bool GetWaylandWindow(HWND h, void** display, void** surface) {
    Window* w = FindWindow(h);
    if (!w || !w->sdl || w->lost || !display || !surface) return false;
    return wayland::NativeHandles(w->sdl, display, surface);
}

void SetDrawnByDevice(HWND h, bool drawn) {
    if (Window* w = FindWindow(h)) w->drawnByDevice = drawn;
}

bool IsWindowCovered(HWND h) {
    Window* w = FindWindow(h);
    return w && w->covered;
}

void SetDeviceCursorImage(const DWORD* pixels, UINT width, UINT height, UINT hotSpotX, UINT hotSpotY) {
    if (!winState.displayOpen || !pixels || width == 0 || height == 0 || width > 256 || height > 256) return;
    std::vector<DWORD> copy(pixels, pixels + static_cast<size_t>(width) * height);
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(copy.data(), static_cast<int>(width), static_cast<int>(height),
                                                        32, static_cast<int>(width * 4), SDL_PIXELFORMAT_ARGB8888);
    if (!s) return;
    SDL_Cursor* c = SDL_CreateColorCursor(s, static_cast<int>(hotSpotX < width ? hotSpotX : 0),
                                          static_cast<int>(hotSpotY < height ? hotSpotY : 0));
    SDL_FreeSurface(s);
    if (!c) return;
    if (winState.deviceCursor) {
        SDL_SetCursor(SDL_GetDefaultCursor());
        SDL_FreeCursor(winState.deviceCursor);
    }
    winState.deviceCursor = c;
    ApplyCursor();
}

void ShowDeviceCursor(bool show) {
    winState.deviceCursorShown = show;
    ApplyCursor();
}

std::vector<DisplayDescription> EnumerateDisplays() {
    std::vector<DisplayDescription> result;
    if (!winState.displayOpen) return result;
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
    // The punctuation keys, as a US keyboard types them.
    switch (vk) {
        case VK_OEM_1: return ';';
        case VK_OEM_PLUS: return '=';
        case VK_OEM_COMMA: return ',';
        case VK_OEM_MINUS: return '-';
        case VK_OEM_PERIOD: return '.';
        case VK_OEM_2: return '/';
        case VK_OEM_3: return '`';
        case VK_OEM_4: return '[';
        case VK_OEM_5: return '\\';
        case VK_OEM_6: return ']';
        case VK_OEM_7: return '\'';
        default: return 0;
    }
}

void PostKey(HWND h, BYTE vk, bool down) {
    if (!FindWindow(h)) return;
    // Whether the key is down counts what is posted but not yet read as well.
    bool wasDown = winState.postedDown[vk];
    winState.postedDown[vk] = down;
    PostToQueue(h, down ? WM_KEYDOWN : WM_KEYUP, vk, KeyLParam(vk, down, down ? wasDown : true, false));
    if (down) {
        if (char c = KeyCharacter(vk)) PostToQueue(h, WM_CHAR, static_cast<unsigned char>(c), KeyLParam(vk, true, wasDown, false));
    }
}

namespace {
WPARAM MouseFlags() {
    WPARAM f = winState.mouseButtons;
    bool shift = false, control = false;
    if (winState.displayOpen) {
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
    winState.lastCursor = POINT{w->rect.left + x, w->rect.top + y};
    // Mouse moves are coalesced, as the platform does: only the newest one waits.
    if (!winState.queue.empty() && winState.queue.back().hwnd == h && winState.queue.back().message == WM_MOUSEMOVE) winState.queue.pop_back();
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
        winState.mouseButtons |= flag;
    else
        winState.mouseButtons &= ~flag;
    winState.lastCursor = POINT{w->rect.left + x, w->rect.top + y};
    PostToQueue(h, message, MouseFlags(), PackPoint(x, y));
}

void PostMouseWheel(HWND h, int delta) {
    if (!FindWindow(h)) return;
    delta = std::clamp(delta, -32768, 32767);
    WPARAM wp = (static_cast<WPARAM>(static_cast<WORD>(static_cast<SHORT>(delta))) << 16) | MouseFlags();
    PostToQueue(h, WM_MOUSEWHEEL, wp, PackPoint(winState.lastCursor.x, winState.lastCursor.y));
}

void PostChar(HWND h, char c) {
    if (!FindWindow(h)) return;
    PostToQueue(h, WM_CHAR, static_cast<unsigned char>(c), 1);
}

bool GetBitmapPixels(HBITMAP bitmap, LONG* width, LONG* height, std::vector<DWORD>* pixels) {
    auto it = winState.cursorBitmaps.find(reinterpret_cast<uintptr_t>(bitmap));
    if (it == winState.cursorBitmaps.end() || !width || !height || !pixels) return false;
    *width = it->second.width;
    *height = it->second.height;
    *pixels = it->second.pixels;
    return true;
}

void DeleteBitmap(HBITMAP bitmap) { winState.cursorBitmaps.erase(reinterpret_cast<uintptr_t>(bitmap)); }

size_t LiveBitmapCount() { return winState.cursorBitmaps.size(); }

size_t PendingMessageCount() { return winState.queue.size(); }

void ResetMessageQueue() {
    winState.queue.clear();
    winState.quitPosted = false;
    winState.quitCode = 0;
    std::memset(winState.keyState, 0, sizeof winState.keyState);
    std::memset(winState.swallowKeyUp, 0, sizeof winState.swallowKeyUp);
    std::memset(winState.postedDown, 0, sizeof winState.postedDown);
    winState.mouseButtons = 0;
    winState.captureWindow = nullptr;
}

void SimulateUserResize(HWND h, int width, int height) {
    Window* w = FindWindow(h);
    if (!w || width < 1 || height < 1) return;
    if (w->sdl) SDL_SetWindowSize(w->sdl, width, height);
    DeliverUserResize(h, *w, width, height);
}

}  // namespace win
