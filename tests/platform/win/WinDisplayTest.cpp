// The window layer on a real display (run under Xvfb): SDL windows behind the handles, SDL
// events translated into messages, presenting pixels, full-screen styling, display modes.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win/WinUser.h"

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

TEST_F(WinDisplayTest, CloseEventClosesThroughTheSystemCommand) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl);
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    Drain();
    EXPECT_FALSE(IsWindow(window));
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

TEST_F(WinDisplayTest, StylesAndPlacementReachSdl) {
    SetWindowPos(window, HWND_NOTOPMOST, 5, 6, 80, 60, SWP_SHOWWINDOW);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, 80);
    EXPECT_EQ(h, 60);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(0x90080000u));  // full-screen style
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(0x90CE0000u));
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN, 0u);
}

TEST_F(WinDisplayTest, ScriptedRunsWriteMessageBoxesInsteadOfWaiting) {
    win::SetMessageBoxesToStandardError(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_ICONWARNING), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "caption: text\n");
    win::SetMessageBoxesToStandardError(false);
}

TEST_F(WinDisplayTest, DisplaysAreReportedWithTheirModes) {
    std::vector<win::DisplayDescription> displays = win::EnumerateDisplays();
    ASSERT_FALSE(displays.empty());
    EXPECT_GT(displays[0].desktop.width, 0);
    EXPECT_FALSE(displays[0].modes.empty());
}

}  // namespace
