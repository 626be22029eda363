// IDirect3DDevice8::Present and what it needs: the picture to show, the window path (the hardware device's
// context on the window system's EGL display, blitting into a window surface and swapping in step with the
// display), the copy path (read back, handed to the window layer) and reading pictures only when asked.
//
// Nothing reads a picture back unless something needs it, so the GPU (or llvmpipe's raster threads) finishes
// frame N while the program prepares frame N+1.
#include <dlfcn.h>

#include <memory>
#include <new>
#include <string>

#include "platform/d3d/DeviceImpl.h"
#include "platform/win/PictureFit.h"

// [SECTION] Index
// Window displays    the window system's EGL displays, shared by the devices on them
// Context            making and dropping the device's context (and window surface)
// Present            choosing the picture, the window and copy paths, pacing
// Presented frames   reading the latest Present's picture when asked

namespace d3dimpl {

// [SECTION] Window displays

struct WindowDisplay {
    void* native = nullptr;  // the window system's connection (an Xlib Display* or a wl_display*)
    EGLDisplay display = EGL_NO_DISPLAY;
    UINT users = 0;
};

namespace {

std::vector<std::unique_ptr<WindowDisplay>>& WindowDisplays() {
    static std::vector<std::unique_ptr<WindowDisplay>> displays;
    return displays;
}

constexpr EGLenum kPlatformX11 = 0x31D5;      // EGL_PLATFORM_X11_KHR
constexpr EGLenum kPlatformWayland = 0x31D8;  // EGL_PLATFORM_WAYLAND_KHR

struct WindowSystem {
    const char* name;
    EGLenum platform;
    const char* extensions[2];  // the client extensions that offer the platform
};

const WindowSystem& SystemOf(d3dhost::NativeWindow::Kind kind) {
    static const WindowSystem x11{"X11", kPlatformX11, {"EGL_KHR_platform_x11", "EGL_EXT_platform_x11"}};
    static const WindowSystem wayland{"Wayland", kPlatformWayland,
                                      {"EGL_KHR_platform_wayland", "EGL_EXT_platform_wayland"}};
    return kind == d3dhost::NativeWindow::Wayland ? wayland : x11;
}

// The EGL display of a window-system connection, initialised once and shared; null with *why when there
// is none.
WindowDisplay* AcquireWindowDisplay(const WindowSystem& system, void* native, std::string* why) {
    for (auto& d : WindowDisplays()) {
        if (d->native == native) {
            ++d->users;
            return d.get();
        }
    }
    const std::string name = system.name;
    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasExtension(clientExt, system.extensions[0]) && !HasExtension(clientExt, system.extensions[1])) {
        *why = "EGL has no " + name + " platform";
        return nullptr;
    }
    EGLDisplay display = eglGetPlatformDisplay(system.platform, native, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        *why = "EGL cannot open the " + name + " display";
        return nullptr;
    }
    if (!HasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) {
        eglTerminate(display);
        *why = "the " + name + " display's EGL lacks EGL_KHR_no_config_context";
        return nullptr;
    }
    auto entry = std::make_unique<WindowDisplay>();
    entry->native = native;
    entry->display = display;
    entry->users = 1;
    WindowDisplays().push_back(std::move(entry));
    return WindowDisplays().back().get();
}

void ReleaseWindowDisplay(WindowDisplay* d) {
    if (--d->users > 0) return;
    eglTerminate(d->display);
    auto& all = WindowDisplays();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].get() == d) {
            all.erase(all.begin() + static_cast<long>(i));
            return;
        }
    }
}

// The calls of the Wayland EGL window library, looked up when first needed, so that the program
// neither links it nor needs it outside Wayland.
struct WaylandEglLibrary {
    void* (*create)(void* surface, int width, int height) = nullptr;
    void (*destroy)(void* window) = nullptr;
    void (*resize)(void* window, int width, int height, int dx, int dy) = nullptr;
};

const WaylandEglLibrary* WaylandEgl() {
    static const WaylandEglLibrary library = [] {
        WaylandEglLibrary l;
        void* handle = dlopen("libwayland-egl.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return l;
        l.create = reinterpret_cast<void* (*)(void*, int, int)>(dlsym(handle, "wl_egl_window_create"));
        l.destroy = reinterpret_cast<void (*)(void*)>(dlsym(handle, "wl_egl_window_destroy"));
        l.resize = reinterpret_cast<void (*)(void*, int, int, int, int)>(dlsym(handle, "wl_egl_window_resize"));
        if (!l.create || !l.destroy || !l.resize) l = WaylandEglLibrary{};
        return l;
    }();
    return library.create ? &library : nullptr;
}

// The configs a window surface can be made on, opaque ones first: on Wayland the compositor would
// otherwise blend the window with what is behind it wherever the picture's alpha is below one.
std::vector<EGLConfig> WindowConfigs(EGLDisplay display) {
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                             EGL_RED_SIZE,     8,             EGL_GREEN_SIZE,      8,
                             EGL_BLUE_SIZE,    8,             EGL_NONE};
    EGLConfig configs[128];
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, configs, 128, &count)) return {};
    std::vector<EGLConfig> opaque, other;
    for (EGLint i = 0; i < count; ++i) {
        EGLint alpha = 0;
        eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &alpha);
        (alpha == 0 ? opaque : other).push_back(configs[i]);
    }
    opaque.insert(opaque.end(), other.begin(), other.end());
    return opaque;
}

// An X11 window surface, on a config of the window's own visual (any other would not match the window).
EGLSurface CreateX11Surface(EGLDisplay display, const d3dhost::NativeWindow& window) {
    for (EGLConfig config : WindowConfigs(display)) {
        EGLint visual = 0;
        eglGetConfigAttrib(display, config, EGL_NATIVE_VISUAL_ID, &visual);
        if (static_cast<unsigned long>(visual) != window.visual) continue;
        unsigned long id = window.window;  // the X11 platform takes a pointer to the Window
        EGLSurface surface = eglCreatePlatformWindowSurface(display, config, &id, nullptr);
        if (surface != EGL_NO_SURFACE) return surface;
    }
    return EGL_NO_SURFACE;
}

// A Wayland window surface: an EGL window of the given size on the window's wl_surface (*eglWindow,
// destroyed after the surface).
EGLSurface CreateWaylandSurface(EGLDisplay display, const d3dhost::NativeWindow& window, UINT width,
                                UINT height, void** eglWindow) {
    const WaylandEglLibrary* library = WaylandEgl();
    if (!library) return EGL_NO_SURFACE;
    *eglWindow = library->create(window.surface, static_cast<int>(width), static_cast<int>(height));
    if (!*eglWindow) return EGL_NO_SURFACE;
    for (EGLConfig config : WindowConfigs(display)) {
        EGLSurface surface = eglCreatePlatformWindowSurface(display, config, *eglWindow, nullptr);
        if (surface != EGL_NO_SURFACE) return surface;
    }
    library->destroy(*eglWindow);
    *eglWindow = nullptr;
    return EGL_NO_SURFACE;
}

}  // namespace

// [SECTION] Context

bool Device::CreateWindowContext(std::string* why) {
    d3dhost::Presenter* presenter = Host().presenter;
    d3dhost::NativeWindow native;
    if (!presenter->GetNativeWindow(pp.hDeviceWindow, &native) || native.kind == d3dhost::NativeWindow::None) {
        *why = "the window system is neither X11 nor Wayland";
        return false;
    }
    const bool wayland = native.kind == d3dhost::NativeWindow::Wayland;
    const WindowSystem& system = SystemOf(native.kind);
    const std::string name = system.name;
    if (wayland && !WaylandEgl()) {
        *why = "libwayland-egl.so.1 is missing";
        return false;
    }
    WindowDisplay* wd = AcquireWindowDisplay(system, native.display, why);
    if (!wd) return false;
    UINT width = 0, height = 0;
    if (wayland && (!presenter->GetClientSize(pp.hDeviceWindow, &width, &height) || width == 0 || height == 0)) {
        width = pp.BackBufferWidth;
        height = pp.BackBufferHeight;
    }
    eglBindAPI(EGL_OPENGL_API);
    EGLContext ctx = eglCreateContext(wd->display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, kContextAttributes);
    void* eglWindow = nullptr;
    EGLSurface surface = EGL_NO_SURFACE;
    if (ctx != EGL_NO_CONTEXT) {
        surface = wayland ? CreateWaylandSurface(wd->display, native, width, height, &eglWindow)
                          : CreateX11Surface(wd->display, native);
    }
    bool made = surface != EGL_NO_SURFACE && eglMakeCurrent(wd->display, surface, surface, ctx);
    if (!made) {
        *why = ctx == EGL_NO_CONTEXT ? "no OpenGL 3.3 core context on the " + name + " display"
                                     : std::string(wayland ? "no window surface on the Wayland display"
                                                           : "no window surface for the window's visual");
    } else {
        // A display that renders elsewhere than the hardware device (a remote X server, software
        // rendering in the window system's EGL) would be slower than copying: that is no window path.
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        if (!renderer || egl->renderer != renderer) {
            *why = "the " + name + " display renders elsewhere than the hardware device";
            made = false;
        }
        eglMakeCurrent(wd->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (!made) {
        if (surface != EGL_NO_SURFACE) eglDestroySurface(wd->display, surface);
        if (eglWindow) WaylandEgl()->destroy(eglWindow);
        if (ctx != EGL_NO_CONTEXT) eglDestroyContext(wd->display, ctx);
        ReleaseWindowDisplay(wd);
        return false;
    }
    context = ctx;
    display = wd->display;
    windowSurface = surface;
    windowDisplay = wd;
    surfaceWindow = pp.hDeviceWindow;
    waylandWindow = eglWindow;
    waylandWidth = width;
    waylandHeight = height;
    swapInterval = -1;
    presenter->SetDrawnByDevice(surfaceWindow, true);
    return true;
}

void Device::DestroyContext() {
    if (context == EGL_NO_CONTEXT) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    context = EGL_NO_CONTEXT;
    if (windowSurface != EGL_NO_SURFACE) {
        eglDestroySurface(display, windowSurface);
        windowSurface = EGL_NO_SURFACE;
        if (waylandWindow) WaylandEgl()->destroy(waylandWindow);
        waylandWindow = nullptr;
        if (d3dhost::Presenter* presenter = Host().presenter) presenter->SetDrawnByDevice(surfaceWindow, false);
        ReleaseWindowDisplay(windowDisplay);
        windowDisplay = nullptr;
        surfaceWindow = nullptr;
    }
    display = EGL_NO_DISPLAY;
}

// [SECTION] Present

void Device::BindPictureToShow() { BindPictureForReading(); }

bool Device::WaitsForRefresh() const {
    if (Host().headless) return false;
    if (pp.Windowed) return Host().windowedSync;
    return pp.FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride, const void*) {
    if (lostState) return D3DERR_DEVICELOST;
    MakeCurrent();
    ++presentCount;
    presentedWidth = pp.BackBufferWidth;
    presentedHeight = pp.BackBufferHeight;
    presentedRead = false;
    presentedInBackBuffer = true;
    const HostState& host = Host();
    // The edge filter smooths a picture without samples of its own. It works on the picture in memory,
    // so a filtered frame is read at once, and what is shown, captured and read back is the filtered one.
    const bool filtered = host.edgeFilter && !resolveFramebuffer;
    HRESULT hr = filtered ? KeepFilteredPicture() : D3D_OK;
    if (FAILED(hr)) return hr;
    if (host.presenter && !host.headless) {
        HWND window = destWindowOverride ? destWindowOverride : pp.hDeviceWindow;
        hr = !filtered && windowSurface != EGL_NO_SURFACE && window == surfaceWindow
                 ? SwapIntoWindow(window)
                 : CopyToWindow(window, sourceRect, destRect);
    } else if (!filtered) {
        // Nobody waits for this picture: the rasteriser finishes it while the next frame is prepared.
        GL_CHECK(glFlush());
    }
    if (SUCCEEDED(hr) && host.readBackEachPresent && !presentedRead) hr = KeepPresentedPicture();
    LimitFramesInFlight();
    return hr;
}

namespace {
constexpr GLuint64 kFrameWaitLimitNs = 5000000000ull;
}

void Device::LimitFramesInFlight() {
    // Without a limit the program runs as far ahead as the driver lets it. llvmpipe keeps up to 64 scenes
    // (about one a frame); once it has made that many it waits, at every new frame, for the scene it made
    // first, which is by then the previous frame: the rasteriser then idles while each frame is issued.
    GLsync frameEnd = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    if (!frameEnd) return;
    framesInFlight.push_back(frameEnd);
    while (framesInFlight.size() > kFramesInFlight) {
        GLsync oldest = framesInFlight.front();
        framesInFlight.pop_front();
        // A frame that takes longer than this is not worth holding the program for; the limit then lapses.
        glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, kFrameWaitLimitNs);
        glDeleteSync(oldest);
    }
}

void Device::ForgetFramesInFlight() {
    for (GLsync fence : framesInFlight) glDeleteSync(fence);
    framesInFlight.clear();
}

HRESULT Device::SwapIntoWindow(HWND window) {
    d3dhost::Presenter* presenter = Host().presenter;
    // On X11 the swap waits for the display when asked to, and the pacing only holds back a covered window.
    // A Wayland swap that waits for the display waits for the compositor's go-ahead, which never comes while
    // the window is hidden: the program would hang. There the swap never waits and the window layer paces,
    // as on the copy path; the compositor shows whole frames either way.
    const bool layerPaces = waylandWindow != nullptr;
    if (!presenter->PaceFrame(window, layerPaces && WaitsForRefresh())) return D3D_OK;
    const int interval = !layerPaces && WaitsForRefresh() ? 1 : 0;
    if (interval != swapInterval) {
        eglSwapInterval(display, interval);
        swapInterval = interval;
    }
    EGLint targetWidth = 0, targetHeight = 0;
    if (waylandWindow) {
        // The window's size is the client's to give its EGL window: it follows the client area.
        UINT clientWidth = 0, clientHeight = 0;
        if (presenter->GetClientSize(window, &clientWidth, &clientHeight) && clientWidth > 0 && clientHeight > 0 &&
            (clientWidth != waylandWidth || clientHeight != waylandHeight)) {
            WaylandEgl()->resize(waylandWindow, static_cast<int>(clientWidth), static_cast<int>(clientHeight), 0, 0);
            waylandWidth = clientWidth;
            waylandHeight = clientHeight;
        }
        targetWidth = static_cast<EGLint>(waylandWidth);
        targetHeight = static_cast<EGLint>(waylandHeight);
    } else {
        eglQuerySurface(display, windowSurface, EGL_WIDTH, &targetWidth);
        eglQuerySurface(display, windowSurface, EGL_HEIGHT, &targetHeight);
    }
    if (targetWidth <= 0 || targetHeight <= 0) return D3D_OK;
    BindPictureToShow();
    const int width = static_cast<int>(pp.BackBufferWidth), height = static_cast<int>(pp.BackBufferHeight);
    GL_CHECK(glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0));
    GL_CHECK(glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE));
    const bool sameSize = width == targetWidth && height == targetHeight;
    if (!sameSize) {
        // Scaled with its aspect kept and centred on black, as the copy path places it.
        GL_CHECK(glClearColor(0, 0, 0, 1));
        GL_CHECK(glClear(GL_COLOR_BUFFER_BIT));
    }
    const win::PicturePlace place = win::FitPicture(width, height, targetWidth, targetHeight);
    // The picture's rows are stored top row first; the window's GL rows count from the bottom.
    GL_CHECK(glBlitFramebuffer(0, 0, width, height, place.x, targetHeight - place.y, place.x + place.width,
                               targetHeight - place.y - place.height, GL_COLOR_BUFFER_BIT,
                               sameSize ? GL_NEAREST : GL_LINEAR));
    GL_CHECK(glBindFramebuffer(GL_FRAMEBUFFER, framebuffer));
    gl.valid = 0;
    glStateDirty = true;
    eglSwapBuffers(display, windowSurface);
    return D3D_OK;
}

HRESULT Device::CopyToWindow(HWND window, const RECT* sourceRect, const RECT* destRect) {
    HRESULT hr = presentedRead ? D3D_OK : KeepPresentedPicture();
    if (FAILED(hr)) return hr;
    d3dhost::Presenter* presenter = Host().presenter;
    if (presenter->PaceFrame(window, WaitsForRefresh()))
        presenter->PresentFrame(window, presented.data(), presentedWidth, presentedHeight, sourceRect, destRect);
    return D3D_OK;
}

// [SECTION] Presented frames

HRESULT Device::KeepPresentedPicture() {
    MakeCurrent();
    BindPictureToShow();
    HRESULT hr = ReadBoundPicture(&presented);
    presentedRead = SUCCEEDED(hr);
    return hr;
}

HRESULT Device::KeepFilteredPicture() {
    MakeCurrent();
    BindPictureToShow();
    HRESULT hr = ReadBoundPicture(&unfiltered);
    if (FAILED(hr)) return hr;
    try {
        presented.resize(unfiltered.size());
    } catch (const std::bad_alloc&) {
        std::vector<DWORD>().swap(presented);
        return E_OUTOFMEMORY;
    }
    edgeFilter.Apply(unfiltered.data(), presented.data(), static_cast<int>(pp.BackBufferWidth),
                     static_cast<int>(pp.BackBufferHeight));
    presentedRead = true;
    return D3D_OK;
}

HRESULT Device::ReadPresentedFrame(std::vector<DWORD>* pixels, UINT* width, UINT* height) {
    if (presentCount == 0) return D3DERR_INVALIDCALL;
    HRESULT hr = D3D_OK;
    if (presentedRead) {
        try {
            *pixels = presented;
        } catch (const std::bad_alloc&) {
            std::vector<DWORD>().swap(*pixels);
            hr = E_OUTOFMEMORY;
        }
    } else if (presentedInBackBuffer) {
        MakeCurrent();
        BindPictureToShow();
        hr = ReadBoundPicture(pixels);
    } else {
        hr = D3DERR_INVALIDCALL;
    }
    if (SUCCEEDED(hr)) {
        *width = presentedWidth;
        *height = presentedHeight;
    }
    return hr;
}

}  // namespace d3dimpl
