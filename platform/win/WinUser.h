// Win32 windows, messages, keyboard, cursors, message boxes and resources, on SDL2.
// Handles are checked ids that are never reused: a destroyed window's handle is harmless.
#pragma once

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

// [SECTION] Messages and their arguments
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_ENTERMENULOOP = 0x0211;
constexpr UINT WM_EXITMENULOOP = 0x0212;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_POWERBROADCAST = 0x0218;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_USER = 0x0400;

// WM_SIZE wParam
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM SIZE_MAXSHOW = 3;
constexpr WPARAM SIZE_MAXHIDE = 4;

// WM_SYSCOMMAND wParam
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_KEYMENU = 0xF100;
constexpr WPARAM SC_RESTORE = 0xF120;
constexpr WPARAM SC_MONITORPOWER = 0xF170;

constexpr LRESULT HTCLIENT = 1;
constexpr WPARAM PBT_APMQUERYSUSPEND = 0x0000;
constexpr WPARAM PBT_APMRESUMESUSPEND = 0x0007;

// Mouse-message wParam flags
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// WM_MOUSEWHEEL: the high word of wParam is the signed rotation, this much per notch (forward,
// away from the user, is positive); lParam is the cursor in screen coordinates.
constexpr int WHEEL_DELTA = 120;
inline SHORT GET_WHEEL_DELTA_WPARAM(WPARAM wParam) { return static_cast<SHORT>(HIWORD(wParam)); }
// Mouse positions in lParam are signed: a captured mouse left of or above the window is negative.
inline int GET_X_LPARAM(LPARAM lParam) { return static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(lParam))); }
inline int GET_Y_LPARAM(LPARAM lParam) { return static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(lParam))); }

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

struct MINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};

// [SECTION] Window styles, classes and placement
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                                      WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

constexpr int GWL_WNDPROC = -4;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_USERDATA = -21;
constexpr int GCL_HCURSOR = -12;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

#define HWND_TOP (reinterpret_cast<HWND>(static_cast<intptr_t>(0)))
#define HWND_BOTTOM (reinterpret_cast<HWND>(static_cast<intptr_t>(1)))
#define HWND_TOPMOST (reinterpret_cast<HWND>(static_cast<intptr_t>(-1)))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(static_cast<intptr_t>(-2)))

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy, cx, y, x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

// Resource names: small integers travel in the pointer.
inline LPSTR MAKEINTRESOURCEA(WORD id) { return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(id)); }
inline bool IS_INTRESOURCE(LPCSTR name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_CROSS MAKEINTRESOURCEA(32515)

ATOM RegisterClassA(const WNDCLASSA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG value);
DWORD GetClassLongA(HWND window, int index);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL SetWindowTextA(HWND window, LPCSTR text);
BOOL ScreenToClient(HWND window, LPPOINT point);
BOOL ClientToScreen(HWND window, LPPOINT point);
BOOL GetCursorPos(LPPOINT point);
// Mouse capture: the window keeps receiving the mouse's messages while a button is held,
// also outside its client area. Releasing or moving the capture sends WM_CAPTURECHANGED to the
// window that loses it.
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();
HINSTANCE GetModuleHandleA(LPCSTR moduleName);

// [SECTION] Message queue
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// [SECTION] Keyboard
constexpr BYTE VK_LBUTTON = 0x01;
constexpr BYTE VK_RBUTTON = 0x02;
constexpr BYTE VK_MBUTTON = 0x04;
constexpr BYTE VK_BACK = 0x08;
constexpr BYTE VK_TAB = 0x09;
constexpr BYTE VK_RETURN = 0x0D;
constexpr BYTE VK_SHIFT = 0x10;
constexpr BYTE VK_CONTROL = 0x11;
constexpr BYTE VK_MENU = 0x12;
constexpr BYTE VK_PAUSE = 0x13;
constexpr BYTE VK_CAPITAL = 0x14;
constexpr BYTE VK_ESCAPE = 0x1B;
constexpr BYTE VK_SPACE = 0x20;
constexpr BYTE VK_PRIOR = 0x21;
constexpr BYTE VK_NEXT = 0x22;
constexpr BYTE VK_END = 0x23;
constexpr BYTE VK_HOME = 0x24;
constexpr BYTE VK_LEFT = 0x25;
constexpr BYTE VK_UP = 0x26;
constexpr BYTE VK_RIGHT = 0x27;
constexpr BYTE VK_DOWN = 0x28;
constexpr BYTE VK_SNAPSHOT = 0x2C;
constexpr BYTE VK_INSERT = 0x2D;
constexpr BYTE VK_DELETE = 0x2E;
constexpr BYTE VK_NUMPAD0 = 0x60;
constexpr BYTE VK_MULTIPLY = 0x6A;
constexpr BYTE VK_ADD = 0x6B;
constexpr BYTE VK_SEPARATOR = 0x6C;
constexpr BYTE VK_SUBTRACT = 0x6D;
constexpr BYTE VK_DECIMAL = 0x6E;
constexpr BYTE VK_DIVIDE = 0x6F;
constexpr BYTE VK_F1 = 0x70;
constexpr BYTE VK_F2 = 0x71;
constexpr BYTE VK_F3 = 0x72;
constexpr BYTE VK_F4 = 0x73;
constexpr BYTE VK_F5 = 0x74;
constexpr BYTE VK_F6 = 0x75;
constexpr BYTE VK_F7 = 0x76;
constexpr BYTE VK_F8 = 0x77;
constexpr BYTE VK_F9 = 0x78;
constexpr BYTE VK_F10 = 0x79;
constexpr BYTE VK_F11 = 0x7A;
constexpr BYTE VK_F12 = 0x7B;
constexpr BYTE VK_NUMLOCK = 0x90;
constexpr BYTE VK_SCROLL = 0x91;
constexpr BYTE VK_LSHIFT = 0xA0;
constexpr BYTE VK_RSHIFT = 0xA1;
constexpr BYTE VK_LCONTROL = 0xA2;
constexpr BYTE VK_RCONTROL = 0xA3;
constexpr BYTE VK_LMENU = 0xA4;
constexpr BYTE VK_RMENU = 0xA5;
constexpr BYTE VK_OEM_1 = 0xBA;       // ;:
constexpr BYTE VK_OEM_PLUS = 0xBB;    // =+
constexpr BYTE VK_OEM_COMMA = 0xBC;   // ,<
constexpr BYTE VK_OEM_MINUS = 0xBD;   // -_
constexpr BYTE VK_OEM_PERIOD = 0xBE;  // .>
constexpr BYTE VK_OEM_2 = 0xBF;       // /?
constexpr BYTE VK_OEM_3 = 0xC0;       // `~
constexpr BYTE VK_OEM_4 = 0xDB;       // [{
constexpr BYTE VK_OEM_5 = 0xDC;       // \|
constexpr BYTE VK_OEM_6 = 0xDD;       // ]}
constexpr BYTE VK_OEM_7 = 0xDE;       // '"

// State of a key as the thread's messages have reported it: bit 15 down, bit 0 toggled.
SHORT GetKeyState(int virtualKey);
SHORT GetAsyncKeyState(int virtualKey);

// [SECTION] Accelerators, menus, dialogs, icons
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;

struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};

HACCEL CreateAcceleratorTableA(const ACCEL* entries, int count);
BOOL DestroyAcceleratorTable(HACCEL table);
HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);
int TranslateAcceleratorA(HWND window, HACCEL table, LPMSG msg);

HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HMENU LoadMenuA(HINSTANCE instance, LPCSTR name);
HMENU GetMenu(HWND window);
HMENU GetSubMenu(HMENU menu, int position);
BOOL DestroyMenu(HMENU menu);
constexpr UINT TPM_VERTICAL = 0x0040;
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND window, LPVOID params);

typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
constexpr INT_PTR IDOK = 1;
constexpr INT_PTR IDCANCEL = 2;
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);

// Dialog controls are child windows (WS_CHILD) whose id is the menu argument of
// CreateWindowExA; the program carries no templates, so only a caller's own windows exist.
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
HWND GetParent(HWND window);

constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr LRESULT CB_ERR = -1;
constexpr WORD CBN_SELENDOK = 9;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;

// [SECTION] Cursors
struct ICONINFO {
    BOOL fIcon;
    DWORD xHotspot;
    DWORD yHotspot;
    HBITMAP hbmMask;   // monochrome cursors: AND mask above the XOR image, twice the height
    HBITMAP hbmColor;  // null for a monochrome cursor
};

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
// The caller owns the bitmaps it receives and frees them with win::DeleteBitmap.
BOOL GetIconInfo(HICON icon, ICONINFO* info);
HCURSOR SetCursor(HCURSOR cursor);
int ShowCursor(BOOL show);

// [SECTION] Message boxes
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;

// Shows an SDL message box when a display is open; otherwise writes caption and text to
// standard error and returns IDOK at once, so a headless run never blocks.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// [SECTION] What this stand-in adds: display set-up, program resources, test hooks
namespace win {

// Opens the windowing system. headless: no display is used at all; windows exist only as
// records and nothing is shown. Otherwise SDL's video subsystem is started; false when no
// display can be opened (the caller then tells the user to run with --headless).
bool InitDisplay(bool headless);
// Closes every window, forgets the window classes and queued messages, and closes the
// video subsystem; a later InitDisplay starts afresh.
void ShutdownDisplay();
bool HasDisplay();
bool IsHeadless();
// The reason the display could not be opened (SDL's error text), for messages.
const char* DisplayError();

// [SECTION] What the graphics device's presenter needs
// Shows a finished frame in a window's client area, scaled to fill it: width x height
// 0xFFRRGGBB words, rows top-down, tightly packed. Does nothing headless or for a dead handle.
void PresentPixels(HWND window, const DWORD* pixels, UINT width, UINT height);
// The device cursor: 0xAARRGGBB words, rows top-down; replaces the arrow while shown.
void SetDeviceCursorImage(const DWORD* pixels, UINT width, UINT height, UINT hotSpotX, UINT hotSpotY);
void ShowDeviceCursor(bool show);
// Called before each frame goes to a window. waitForRefresh: holds the frame until the next
// refresh of the window's display (its rate as SDL reports it, 60 Hz when it reports none);
// a window the window system reports fully covered is held to four frames a second either way.
// Returns false for a window that can show nothing (headless, a dead handle, destroyed by
// another client).
bool PaceFrame(HWND window, bool waitForRefresh);
// The refresh rate of the display a window is on, in Hz (60 when SDL reports none).
int RefreshRate(HWND window);
// The X11 handles of a window (the Xlib connection, the window, its visual); false when the
// window is not an X11 window.
bool GetX11Window(HWND window, void** display, unsigned long* xWindow, unsigned long* visual);
// The Wayland handles of a window (the wl_display connection and the window's wl_surface); false
// when the window is not a Wayland window.
bool GetWaylandWindow(HWND window, void** display, void** surface);
// The graphics device draws the window's picture itself (an EGL window surface): the window
// layer then never paints its own copy of a frame over it.
void SetDrawnByDevice(HWND window, bool drawn);
// Whether the window system last reported the window fully covered by other windows.
bool IsWindowCovered(HWND window);

// One display as SDL reports it, with its modes. Formats are given by layout so that this
// layer needs no graphics types.
enum class PixelLayout { XRGB8888, ARGB8888, RGB565, XRGB1555, Other };
struct DisplayMode {
    int width, height, refreshRate;
    PixelLayout layout;
};
struct DisplayDescription {
    std::string name;
    DisplayMode desktop;
    std::vector<DisplayMode> modes;
};
// Every display, in SDL's order; empty headless or without a display.
std::vector<DisplayDescription> EnumerateDisplays();

// The SDL window behind a handle (an SDL_Window*), null headless or for a dead handle.
void* GetSdlWindow(HWND window);

// Resources the program carries. LoadAcceleratorsA finds a table registered here under its
// id; everything else that a program asks for by resource id is absent.
void RegisterAcceleratorResource(WORD id, const ACCEL* entries, int count);
// An icon resource: width x height 0xAARRGGBB words, rows top-down, copied. LoadIconA finds it
// under its id, and a window whose class carries it shows it as its icon.
void RegisterIconResource(WORD id, const DWORD* pixels, int width, int height);

// Replaces MessageBoxA's output (tests read what a box would have shown). Null restores it.
typedef int (*MessageBoxHook)(LPCSTR text, LPCSTR caption, UINT type);
void SetMessageBoxHook(MessageBoxHook hook);
// Message boxes write to standard error even with a display (a scripted run has nobody to
// click them away).
void SetMessageBoxesToStandardError(bool toStandardError);
// Whether MessageBoxA shows a box now (a display is open and boxes do not go to standard
// error), or a hook takes it in its place.
bool MessageBoxesShown();
// The setting of SetMessageBoxesToStandardError.
bool MessageBoxesToStandardError();

// Posts what a real keyboard sends for one key transition: WM_KEYDOWN (repeat flag when the
// key was already down) or WM_KEYUP, and, after a key-down of a key that types a character,
// the WM_CHAR that text input gives (control characters come from TranslateMessage).
void PostKey(HWND window, BYTE virtualKey, bool down);
// Posts what a real mouse sends, with client coordinates: WM_MOUSEMOVE; the button messages
// (WM_LBUTTONDOWN ... WM_MBUTTONUP); WM_MOUSEWHEEL with a delta in 1/WHEEL_DELTA notches at
// the last cursor position. The wParam flags tell the buttons held after the event, as the
// window layer has seen them, and the modifier keys.
enum class MouseButton { Left, Right, Middle };
void PostMouseMove(HWND window, int x, int y);
void PostMouseButton(HWND window, MouseButton button, bool down, int x, int y);
void PostMouseWheel(HWND window, int delta);
// Posts WM_CHAR for one character, as text input does.
void PostChar(HWND window, char character);
// The character a key types without modifiers (letters in lower case), 0 when none.
char KeyCharacter(BYTE virtualKey);

// A resize by the user, as a drag of the window's frame delivers it: WM_ENTERSIZEMOVE,
// WM_SIZE and WM_EXITSIZEMOVE are posted, and the window takes the new client size.
void SimulateUserResize(HWND window, int width, int height);

// A cursor bitmap from GetIconInfo as 32-bit pixels, rows bottom-up as a 32-bit DIB gives
// them (a set bit of a monochrome bitmap reads 0x00FFFFFF, a clear one 0).
bool GetBitmapPixels(HBITMAP bitmap, LONG* width, LONG* height, std::vector<DWORD>* pixels);
// Frees a bitmap from GetIconInfo; null and unknown handles are ignored.
void DeleteBitmap(HBITMAP bitmap);
// Bitmaps from GetIconInfo not yet freed (tests).
size_t LiveBitmapCount();

// Number of messages waiting in the queue (tests).
size_t PendingMessageCount();
// Drops every queued message and the quit request; forgets key states (tests).
void ResetMessageQueue();

}  // namespace win
