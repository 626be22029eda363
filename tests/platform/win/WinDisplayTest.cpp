// The window layer on a real display (run under Xvfb, without a window manager): SDL windows
// behind the handles, SDL events translated into messages, the mouse and its capture,
// presenting pixels and repainting a grown window, full-screen styling, a window destroyed by
// another client, display modes.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win/WinUser.h"
#include "platform/win/X11Window.h"

// Last: Xlib's macros (None, True, Status, ...) would clash with the headers above.
#include <X11/Xlib.h>

namespace {

std::vector<MSG> received;

LRESULT Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back(MSG{w, message, wParam, lParam, 0, {0, 0}});
    return DefWindowProcA(w, message, wParam, lParam);
}

class WinDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!win::InitDisplay(false)) GTEST_SKIP() << "no display: " << win::DisplayError();
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "Display Test";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "Display Test", "test", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 64, 48, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        sdl = static_cast<SDL_Window*>(win::GetSdlWindow(window));
        ASSERT_NE(sdl, nullptr);
        received.clear();
    }
    void TearDown() override {
        UnregisterClassA("Display Test", nullptr);
        win::ShutdownDisplay();
    }
    std::vector<MSG> Drain() {
        std::vector<MSG> got;
        MSG m{};
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            got.push_back(m);
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        return got;
    }
    HWND window = nullptr;
    SDL_Window* sdl = nullptr;
};

TEST_F(WinDisplayTest, KeyAndTextEventsBecomeKeyboardMessages) {
    Drain();
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(sdl);
    e.key.keysym.sym = SDLK_F2;
    SDL_PushEvent(&e);
    e.key.keysym.sym = SDLK_a;
    e.key.repeat = 1;
    SDL_PushEvent(&e);
    SDL_Event t{};
    t.type = SDL_TEXTINPUT;
    t.text.windowID = SDL_GetWindowID(sdl);
    SDL_strlcpy(t.text.text, "a3", sizeof t.text.text);
    SDL_PushEvent(&t);
    std::vector<MSG> got = Drain();
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0].message, WM_KEYDOWN);
    EXPECT_EQ(got[0].wParam, VK_F2);
    EXPECT_EQ(got[1].wParam, static_cast<WPARAM>('A'));
    EXPECT_NE(got[1].lParam & (1 << 30), 0);
    EXPECT_EQ(got[2].message, WM_CHAR);
    EXPECT_EQ(got[2].wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(got[3].wParam, static_cast<WPARAM>('3'));
}

// Losing the keyboard releases what the window still holds: keys read as down, keys still
// queued as down, and mouse buttons, each once; keys already released are left alone.
TEST_F(WinDisplayTest, FocusLossReleasesHeldKeysAndButtonsOnce) {
    Drain();
    win::PostKey(window, VK_LEFT, true);
    win::PostKey(window, 'A', true);
    win::PostKey(window, 'A', false);
    win::PostMouseButton(window, win::MouseButton::Left, true, 10, 12);
    Drain();
    win::PostKey(window, VK_SPACE, true);  // not yet read when the focus goes
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl);
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&e);
    std::vector<MSG> got = Drain();
    int leftUp = 0, spaceUp = 0, otherUp = 0, buttonUp = 0;
    for (const MSG& m : got) {
        if (m.message == WM_KEYUP) (m.wParam == VK_LEFT ? leftUp : m.wParam == VK_SPACE ? spaceUp : otherUp)++;
        if (m.message == WM_LBUTTONUP) ++buttonUp;
    }
    EXPECT_EQ(leftUp, 1);
    EXPECT_EQ(spaceUp, 1);
    EXPECT_EQ(otherUp, 0);
    EXPECT_EQ(buttonUp, 1);
    EXPECT_EQ(GetKeyState(VK_LEFT) & 0x8000, 0);
    // A second loss finds nothing held.
    SDL_PushEvent(&e);
    got = Drain();
    for (const MSG& m : got) EXPECT_TRUE(m.message != WM_KEYUP && m.message != WM_LBUTTONUP) << m.message;
}

// An icon resource: LoadIconA finds it by id, nothing else; a window of a class carrying it shows
// it (the X window's _NET_WM_ICON holds its size and pixels).
TEST_F(WinDisplayTest, IconResourceBecomesTheWindowsIcon) {
    std::vector<DWORD> pixels(16 * 16, 0xFF102030u);
    win::RegisterIconResource(101, pixels.data(), 16, 16);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(102)), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, "101"), nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "Icon Test";
    wc.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(101));
    ASSERT_NE(wc.hIcon, nullptr);
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "Icon Test", "icon", WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 32, 32, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    const unsigned long xWindow = x11::WindowOf(static_cast<SDL_Window*>(win::GetSdlWindow(w)));
    ASSERT_NE(xWindow, 0u);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    Atom icon = XInternAtom(display, "_NET_WM_ICON", 0), type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(display, xWindow, icon, 0, 1024, 0, AnyPropertyType, &type, &format,
                                 &count, &after, &data),
              0);
    ASSERT_EQ(count, 2u + 16 * 16);
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    EXPECT_EQ(values[0], 16u);
    EXPECT_EQ(values[1], 16u);
    EXPECT_EQ(values[2] & 0xFFFFFFFFu, 0xFF102030u);
    XFree(data);
    XCloseDisplay(display);
    DestroyWindow(w);
    UnregisterClassA("Icon Test", nullptr);
    win::RegisterIconResource(101, nullptr, 0, 0);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(101)), nullptr);
}

TEST_F(WinDisplayTest, CloseEventClosesThroughTheSystemCommand) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl);
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    Drain();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(win::PaceFrame(window, true));  // nothing to pace, and no wait
    bool sawClose = false;
    for (const MSG& m : received) sawClose |= m.message == WM_CLOSE;
    EXPECT_TRUE(sawClose);
}

TEST_F(WinDisplayTest, PresentedPixelsReachTheWindow) {
    std::vector<DWORD> pixels(64 * 48, 0xFFFF0000u);  // red
    pixels[0] = 0xFF0000FFu;                           // top-left blue
    win::PresentPixels(window, pixels.data(), 64, 48);
    SDL_Surface* s = SDL_GetWindowSurface(sdl);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(SDL_LockSurface(s), 0);
    auto pixel = [&](int x, int y) {
        Uint32 v = 0;
        std::memcpy(&v, static_cast<Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel, sizeof v);
        Uint8 r, g, b;
        SDL_GetRGB(v, s->format, &r, &g, &b);
        return (static_cast<DWORD>(r) << 16) | (g << 8) | b;
    };
    EXPECT_EQ(pixel(0, 0), 0x0000FFu);
    EXPECT_EQ(pixel(10, 10), 0xFF0000u);
    SDL_UnlockSurface(s);
    win::PresentPixels(window, nullptr, 64, 48);  // ignored
}

// Without a window manager nobody carries out a full-screen request: the window itself must
// cover the display, and come back when the caller places it again.
TEST_F(WinDisplayTest, FullScreenCoversTheDisplayWithoutAWindowManager) {
    if (x11::WindowManagerRunning(sdl)) GTEST_SKIP() << "a window manager runs on this display";
    SetWindowPos(window, HWND_NOTOPMOST, 5, 6, 80, 60, SWP_SHOWWINDOW);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, 80);
    EXPECT_EQ(h, 60);
    SDL_Rect bounds{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &bounds), 0);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(0x90080000u));  // full-screen style
    Drain();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    auto geometry = [&](int* x, int* y, unsigned* width, unsigned* height) {
        Window root = 0, child = 0;
        unsigned border = 0, depth = 0;
        XGetGeometry(display, x11::WindowOf(sdl), &root, x, y, width, height, &border, &depth);
        XTranslateCoordinates(display, x11::WindowOf(sdl), root, 0, 0, x, y, &child);
    };
    int x = -1, y = -1;
    unsigned width = 0, height = 0;
    geometry(&x, &y, &width, &height);
    EXPECT_EQ(x, bounds.x);
    EXPECT_EQ(y, bounds.y);
    EXPECT_EQ(static_cast<int>(width), bounds.w);
    EXPECT_EQ(static_cast<int>(height), bounds.h);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, bounds.w);
    EXPECT_EQ(client.bottom, bounds.h);

    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(0x90CE0000u));
    SetWindowPos(window, HWND_NOTOPMOST, 5, 6, 80, 60, SWP_SHOWWINDOW);
    Drain();
    geometry(&x, &y, &width, &height);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
    EXPECT_EQ(width, 80u);
    EXPECT_EQ(height, 60u);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN, 0u);
    XCloseDisplay(display);
}

TEST_F(WinDisplayTest, ScriptedRunsWriteMessageBoxesInsteadOfWaiting) {
    win::SetMessageBoxesToStandardError(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_ICONWARNING), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "caption: text\n");
    win::SetMessageBoxesToStandardError(false);
}

namespace {

SDL_Event MouseButtonEvent(SDL_Window* sdl, Uint8 button, bool down, int x, int y) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = SDL_GetWindowID(sdl);
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event MouseMotionEvent(SDL_Window* sdl, int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(sdl);
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event WheelEvent(SDL_Window* sdl, float notches, bool flipped) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = SDL_GetWindowID(sdl);
    e.wheel.y = static_cast<Sint32>(notches);
    e.wheel.preciseY = notches;
    e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    return e;
}

std::vector<MSG> MouseMessages(const std::vector<MSG>& all) {
    std::vector<MSG> mouse;
    for (const MSG& m : all)
        if (m.message >= WM_MOUSEMOVE && m.message <= WM_MOUSEWHEEL) mouse.push_back(m);
    return mouse;
}

}  // namespace

// A press, a move and a release that all wait in SDL's queue when the program reads it: each
// message carries the buttons as they were at its own event, and signed client positions.
TEST_F(WinDisplayTest, MouseEventsBecomeMouseMessagesWithThePlatformsValues) {
    Drain();
    SDL_Event events[] = {MouseButtonEvent(sdl, SDL_BUTTON_LEFT, true, 10, 12), MouseMotionEvent(sdl, -3, 20),
                          MouseButtonEvent(sdl, SDL_BUTTON_LEFT, false, -3, 20),
                          MouseButtonEvent(sdl, SDL_BUTTON_RIGHT, true, 4, 5),
                          MouseButtonEvent(sdl, SDL_BUTTON_MIDDLE, true, 4, 5),
                          MouseButtonEvent(sdl, SDL_BUTTON_MIDDLE, false, 4, 5),
                          MouseButtonEvent(sdl, SDL_BUTTON_RIGHT, false, 4, 5), WheelEvent(sdl, 2.0f, false),
                          WheelEvent(sdl, 1.0f, true), WheelEvent(sdl, 0.25f, false)};
    for (SDL_Event& e : events) SDL_PushEvent(&e);
    std::vector<MSG> got = MouseMessages(Drain());
    ASSERT_EQ(got.size(), 10u);
    auto x = [](const MSG& m) { return static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(m.lParam))); };
    auto y = [](const MSG& m) { return static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(m.lParam))); };
    EXPECT_EQ(got[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(got[0].wParam & 0x13, MK_LBUTTON);
    EXPECT_EQ(x(got[0]), 10);
    EXPECT_EQ(y(got[0]), 12);
    EXPECT_EQ(got[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(got[1].wParam & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(x(got[1]), -3);
    EXPECT_EQ(got[2].message, WM_LBUTTONUP);
    EXPECT_EQ(got[2].wParam & MK_LBUTTON, 0u);
    EXPECT_EQ(got[3].message, WM_RBUTTONDOWN);
    EXPECT_EQ(got[3].wParam & 0x13, MK_RBUTTON);
    EXPECT_EQ(got[4].message, WM_MBUTTONDOWN);
    EXPECT_EQ(got[4].wParam & 0x13, MK_RBUTTON | MK_MBUTTON);
    EXPECT_EQ(got[5].message, WM_MBUTTONUP);
    EXPECT_EQ(got[6].message, WM_RBUTTONUP);
    EXPECT_EQ(got[6].wParam & 0x13, 0u);
    // 120 per notch, forward positive, a flipped (natural) wheel turned round; fractions kept.
    EXPECT_EQ(got[7].message, WM_MOUSEWHEEL);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(got[7].wParam), 240);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(got[8].wParam), -120);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(got[9].wParam), 30);
    // The right button's release asks for a context menu, which the program does not have.
    bool sawContextMenu = false;
    for (const MSG& m : received) sawContextMenu |= m.message == WM_CONTEXTMENU;
    EXPECT_TRUE(sawContextMenu);
}

TEST_F(WinDisplayTest, CaptureIsHeldUntilReleasedOrTheWindowGoes) {
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(GetCapture(), window);
    received.clear();
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, WM_CAPTURECHANGED);
    SetCapture(window);
    DestroyWindow(window);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(SetCapture(window), nullptr);  // a dead handle takes nothing
}

// A window that grows shows its last frame at once, scaled with its aspect kept and centred
// on black: never the server's background, never a stretched picture.
TEST_F(WinDisplayTest, AGrownWindowShowsTheLastFrameOnBlack) {
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 64, 48, 0);
    std::vector<DWORD> pixels(64 * 48, 0xFFFF0000u);
    win::PresentPixels(window, pixels.data(), 64, 48);
    SDL_SetWindowSize(sdl, 128, 48);
    std::vector<MSG> got = Drain();
    bool sawSize = false;
    for (const MSG& m : got) sawSize |= m.message == WM_SIZE && LOWORD(static_cast<uintptr_t>(m.lParam)) == 128;
    EXPECT_TRUE(sawSize);
    SDL_Surface* s = SDL_GetWindowSurface(sdl);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->w, 128);
    ASSERT_EQ(SDL_LockSurface(s), 0);
    auto pixel = [&](int x, int y) {
        Uint32 v = 0;
        std::memcpy(&v, static_cast<Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel, sizeof v);
        Uint8 r, g, b;
        SDL_GetRGB(v, s->format, &r, &g, &b);
        return (static_cast<DWORD>(r) << 16) | (g << 8) | b;
    };
    EXPECT_EQ(pixel(0, 24), 0u);
    EXPECT_EQ(pixel(31, 24), 0u);
    EXPECT_EQ(pixel(32, 0), 0xFF0000u);
    EXPECT_EQ(pixel(95, 47), 0xFF0000u);
    EXPECT_EQ(pixel(96, 24), 0u);
    EXPECT_EQ(pixel(127, 24), 0u);
    SDL_UnlockSurface(s);
}

// Another client destroys the window (xdotool windowclose does this): drawing into it and the
// errors that follow do not end the program, and the window closes as its close box would.
TEST_F(WinDisplayTest, AWindowDestroyedByAnotherClientClosesNormally) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    Drain();
    received.clear();
    XDestroyWindow(other, x11::WindowOf(sdl));
    XSync(other, False);
    XCloseDisplay(other);
    std::vector<DWORD> pixels(64 * 48, 0xFF00FF00u);
    for (int i = 0; i < 3; ++i) {
        win::PresentPixels(window, pixels.data(), 64, 48);
        SDL_Delay(20);
        Drain();
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(win::PaceFrame(window, true));  // nothing to pace, and no wait
    bool sawClose = false;
    for (const MSG& m : received) sawClose |= m.message == WM_CLOSE;
    EXPECT_TRUE(sawClose);
}

// The X server says when other windows cover ours completely, and when it shows again; a window
// that nobody can see is then paced to a few frames a second.
TEST_F(WinDisplayTest, AWindowCoveredByAnotherIsKnownAsCovered) {
    Drain();
    EXPECT_FALSE(win::IsWindowCovered(window));
    EXPECT_TRUE(win::PaceFrame(window, false));
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const int screen = DefaultScreen(other);
    ::Window cover = XCreateWindow(other, RootWindow(other, screen), 0, 0, DisplayWidth(other, screen),
                                   DisplayHeight(other, screen), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWOverrideRedirect, &attributes);
    XMapRaised(other, cover);
    XSync(other, False);
    for (int i = 0; i < 50 && !win::IsWindowCovered(window); ++i) {
        SDL_Delay(10);
        Drain();
    }
    EXPECT_TRUE(win::IsWindowCovered(window));
    XUnmapWindow(other, cover);
    XSync(other, False);
    for (int i = 0; i < 50 && win::IsWindowCovered(window); ++i) {
        SDL_Delay(10);
        Drain();
    }
    EXPECT_FALSE(win::IsWindowCovered(window));
    XDestroyWindow(other, cover);
    XCloseDisplay(other);
    EXPECT_EQ(win::RefreshRate(window) > 0, true);
}

TEST_F(WinDisplayTest, DisplaysAreReportedWithTheirModes) {
    std::vector<win::DisplayDescription> displays = win::EnumerateDisplays();
    ASSERT_FALSE(displays.empty());
    EXPECT_GT(displays[0].desktop.width, 0);
    EXPECT_FALSE(displays[0].modes.empty());
}

}  // namespace
