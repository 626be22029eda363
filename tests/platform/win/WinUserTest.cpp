// The window layer without a display: window records and checked handles, the message queue,
// keyboard messages, accelerators, resources and message boxes.
#include "platform/win/WinUser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<MSG> received;

LRESULT RecordingProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back(MSG{w, message, wParam, lParam, 0, {0, 0}});
    if (message == WM_GETMINMAXINFO) reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{50, 40};
    return DefWindowProcA(w, message, wParam, lParam);
}

std::vector<UINT> Messages() {
    std::vector<UINT> m;
    for (const MSG& r : received) m.push_back(r.message);
    return m;
}

class WinUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(win::InitDisplay(true));
        received.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "Test Window";
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        RegisterClassA(&wc);
    }
    void TearDown() override {
        UnregisterClassA("Test Window", nullptr);
        win::ShutdownDisplay();
    }
    HWND Make(DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION) {
        return CreateWindowExA(0, "test window", "title", style, 10, 20, 200, 100, nullptr, nullptr, nullptr, nullptr);
    }
};

TEST_F(WinUserTest, CreationSendsTheMessagesOfAVisibleWindow) {
    EXPECT_EQ(CreateWindowExA(0, "No Such Class", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    HWND w = Make();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_CREATE, WM_SHOWWINDOW, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(received[4].wParam, SIZE_RESTORED);
    EXPECT_EQ(received[4].lParam, MAKELPARAM(200, 100));
    RECT r{}, c{};
    ASSERT_TRUE(GetWindowRect(w, &r));
    ASSERT_TRUE(GetClientRect(w, &c));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right, 210);
    EXPECT_EQ(c.right, 200);
    EXPECT_EQ(c.bottom, 100);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), WS_POPUP | WS_VISIBLE | WS_CAPTION);
    EXPECT_NE(GetClassLongA(w, GCL_HCURSOR), 0u);
    // No frame or menu bar on this platform: the rectangle is the client size.
    RECT a{0, 0, 640, 480};
    EXPECT_TRUE(AdjustWindowRect(&a, 0x90CE0000u, TRUE));
    EXPECT_EQ(a.bottom, 480);
}

TEST_F(WinUserTest, DestroyedHandlesAreHarmless) {
    HWND w = Make();
    received.clear();
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(w));
    RECT r{};
    EXPECT_FALSE(GetWindowRect(w, &r));
    EXPECT_EQ(SendMessageA(w, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
    EXPECT_EQ(SetWindowLongA(w, GWL_STYLE, 0), 0);
    EXPECT_FALSE(SetWindowPos(w, nullptr, 0, 0, 5, 5, 0));
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(12345))));
    // A new window never gets the old handle back.
    HWND again = Make();
    EXPECT_NE(again, w);
}

TEST_F(WinUserTest, QueueOrderFiltersAndQuit) {
    HWND w = Make();
    HWND other = Make();
    PostMessageA(w, WM_USER + 1, 1, 0);
    PostMessageA(other, WM_USER + 2, 2, 0);
    PostQuitMessage(7);
    PostMessageA(w, WM_USER + 3, 3, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_USER + 1u);
    EXPECT_EQ(win::PendingMessageCount(), 3u);
    ASSERT_TRUE(PeekMessageA(&m, other, 0, 0, PM_REMOVE));  // window filter
    EXPECT_EQ(m.message, WM_USER + 2u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));  // range filter
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_USER + 1u);
    // The quit request comes after every posted message.
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
    // Nothing left: headless, GetMessageA hands back a null message instead of waiting forever.
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_NULL);
    // Messages of a destroyed window are dropped with it.
    PostMessageA(other, WM_USER, 0, 0);
    DestroyWindow(other);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WinUserTest, KeysArriveAsAKeyboardSendsThem) {
    HWND w = Make();
    win::PostKey(w, 'A', true);
    win::PostKey(w, 'A', true);  // held: a repeat
    win::PostKey(w, 'A', false);
    win::PostKey(w, VK_F1, true);
    win::PostChar(w, '3');
    std::vector<MSG> got;
    MSG m{};
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        got.push_back(m);
        if (m.message == WM_KEYDOWN && m.wParam == 'A' && got.size() == 1) {
            EXPECT_TRUE(GetKeyState('A') & 0x8000);
        }
    }
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0].message, WM_KEYDOWN);
    EXPECT_EQ(got[0].lParam & (1 << 30), 0);  // first press
    EXPECT_EQ(got[1].message, WM_CHAR);
    EXPECT_EQ(got[1].wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(got[2].message, WM_KEYDOWN);
    EXPECT_NE(got[2].lParam & (1 << 30), 0);  // repeat
    EXPECT_EQ(got[3].message, WM_CHAR);
    EXPECT_EQ(got[4].message, WM_KEYUP);
    EXPECT_NE(static_cast<DWORD>(got[4].lParam) & 0xC0000000u, 0u);
    EXPECT_EQ(got[5].message, WM_KEYDOWN);  // F1 types nothing
    EXPECT_EQ(got[5].wParam, VK_F1);
    EXPECT_EQ(got[6].message, WM_CHAR);
    EXPECT_EQ(got[6].wParam, static_cast<WPARAM>('3'));
    EXPECT_FALSE(GetKeyState('A') & 0x8000);
    EXPECT_TRUE(GetKeyState(VK_F1) & 0x8000);
    EXPECT_EQ(win::KeyCharacter(VK_SPACE), ' ');
    EXPECT_EQ(win::KeyCharacter(VK_UP), 0);
}

TEST_F(WinUserTest, TranslateMessageTypesControlCharactersFirst) {
    HWND w = Make();
    win::PostKey(w, VK_RETURN, true);
    win::PostKey(w, VK_RETURN, false);
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(TranslateMessage(&m));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_CHAR);  // before the key-up, as the platform delivers it
    EXPECT_EQ(m.wParam, 13u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_KEYUP);
    EXPECT_FALSE(TranslateMessage(&m) && false);
    MSG plain{w, WM_USER, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(TranslateMessage(&plain));
}

TEST_F(WinUserTest, AcceleratorsRunCommandsAndConsumeTheKey) {
    HWND w = Make();
    EXPECT_EQ(LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(99)), nullptr);
    const ACCEL table[] = {{FVIRTKEY, VK_ESCAPE, 500}, {FVIRTKEY | FALT, VK_RETURN, 501}};
    win::RegisterAcceleratorResource(99, table, 2);
    HACCEL accel = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(99));
    ASSERT_NE(accel, nullptr);
    received.clear();
    auto translate = [&](UINT message, WPARAM vk, LPARAM lParam) {
        MSG m{w, message, vk, lParam, 0, {0, 0}};
        return TranslateAcceleratorA(w, accel, &m);
    };
    EXPECT_EQ(translate(WM_KEYDOWN, VK_ESCAPE, 1), 1);
    EXPECT_EQ(translate(WM_KEYDOWN, VK_ESCAPE, 1 | (1 << 30)), 1);  // a repeat: consumed, no command
    EXPECT_EQ(translate(WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0000001u)), 1);  // its release as well
    EXPECT_EQ(translate(WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0000001u)), 0);  // an unpaired one passes
    EXPECT_EQ(translate(WM_KEYDOWN, VK_RETURN, 1), 0);                               // no Alt
    EXPECT_EQ(translate(WM_SYSKEYDOWN, VK_RETURN, 1 | (1 << 29)), 1);
    EXPECT_EQ(translate(WM_CHAR, 'a', 1), 0);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, WM_COMMAND);
    EXPECT_EQ(LOWORD(received[0].wParam), 500);
    EXPECT_EQ(HIWORD(received[0].wParam), 1);  // from an accelerator
    EXPECT_EQ(LOWORD(received[1].wParam), 501);
    win::RegisterAcceleratorResource(99, nullptr, 0);
}

TEST_F(WinUserTest, UserResizeArrivesAsADragOfTheFrame) {
    HWND w = Make();
    win::SimulateUserResize(w, 300, 150);
    std::vector<UINT> got;
    MSG m{};
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) got.push_back(m.message);
    EXPECT_EQ(got, (std::vector<UINT>{WM_ENTERSIZEMOVE, WM_SIZE, WM_EXITSIZEMOVE}));
    RECT c{};
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 300);
    EXPECT_EQ(c.bottom, 150);
    received.clear();
    ShowWindow(w, SW_MINIMIZE);
    ShowWindow(w, SW_MINIMIZE);  // already minimised: nothing more
    ShowWindow(w, SW_RESTORE);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].wParam, SIZE_MINIMIZED);
    EXPECT_EQ(received[1].wParam, SIZE_RESTORED);
}

TEST_F(WinUserTest, DefaultProcessingClosesAndHitTests) {
    HWND w = Make();
    EXPECT_EQ(DefWindowProcA(w, WM_NCHITTEST, 0, 0), HTCLIENT);
    EXPECT_EQ(DefWindowProcA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), HTCLIENT), TRUE);
    received.clear();
    DefWindowProcA(w, WM_RBUTTONUP, 0, MAKELPARAM(3, 4));
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received[0].message, WM_CONTEXTMENU);
    EXPECT_EQ(received[0].lParam, MAKELPARAM(13, 24));  // screen coordinates
    SendMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0);  // -> WM_CLOSE -> DestroyWindow
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(WinUserTest, ControlsAreChildWindowsFoundById) {
    HWND parent = Make();
    HWND child = CreateWindowExA(0, "Test Window", "", WS_CHILD, 0, 0, 1, 1, parent,
                                 reinterpret_cast<HMENU>(static_cast<uintptr_t>(1005)), nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetDlgItem(parent, 1005), child);
    EXPECT_EQ(GetDlgItem(parent, 1006), nullptr);
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_TRUE(IsWindowEnabled(child));
    EnableWindow(child, FALSE);
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_EQ(CreateWindowExA(0, "Test Window", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(WinUserTest, AbsentResourcesAndStandardCursors) {
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(101)), nullptr);
    EXPECT_EQ(LoadMenuA(nullptr, MAKEINTRESOURCEA(141)), nullptr);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(144), nullptr, nullptr, 0), -1);
    EXPECT_FALSE(TrackPopupMenuEx(nullptr, TPM_VERTICAL, 0, 0, nullptr, nullptr));
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), IDC_ARROW), nullptr);  // the program carries none
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(nullptr, &info));
    ASSERT_TRUE(GetIconInfo(LoadCursorA(nullptr, IDC_ARROW), &info));
    LONG w = 0, h = 0;
    std::vector<DWORD> pixels;
    ASSERT_TRUE(win::GetBitmapPixels(info.hbmMask, &w, &h, &pixels));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 64);  // AND mask above the XOR image
    EXPECT_EQ(info.hbmColor, nullptr);
    win::DeleteBitmap(info.hbmMask);
    EXPECT_FALSE(win::GetBitmapPixels(info.hbmMask, &w, &h, &pixels));
}

TEST_F(WinUserTest, MessageBoxWithoutADisplayWritesToStandardError) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Something failed.\nSecond line.", "Caption", MB_ICONERROR), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption: Something failed.\nSecond line.\n");
}

// Without DISPLAY, WAYLAND_DISPLAY and XDG_RUNTIME_DIR (a bare console or a container): the
// failure has a reason, and the libraries probed on the way print nothing; the environment is
// left as it was, an invalid XDG_RUNTIME_DIR included.
TEST(WinDisplay, WithoutADisplayInitFailsWithAReasonAndNoLibraryNoise) {
    std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    std::string wayland = getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "";
    std::string runtime = getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    bool opened = false;
    for (const char* value : {static_cast<const char*>(nullptr), "relative/folder"}) {
        if (value) setenv("XDG_RUNTIME_DIR", value, 1);
        else unsetenv("XDG_RUNTIME_DIR");
        testing::internal::CaptureStderr();
        opened = win::InitDisplay(false);
        std::string why = win::DisplayError();
        win::ShutdownDisplay();
        std::string printed = testing::internal::GetCapturedStderr();
        const char* after = getenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(after ? std::string(after) : "(unset)", value ? value : "(unset)");
        if (opened) break;
        EXPECT_FALSE(why.empty());
        EXPECT_FALSE(win::HasDisplay());
        EXPECT_EQ(printed, "") << "with XDG_RUNTIME_DIR " << (value ? value : "unset");
    }
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    if (!wayland.empty()) setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
    if (!runtime.empty()) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    if (opened) GTEST_SKIP() << "a display opened without DISPLAY (a console video driver)";
}

}  // namespace
