// Key codes and message numbers against the values the platform documents: every row of the key
// table, the letter and digit ranges with one key beyond each end, and the numbers of the window
// messages the layer delivers.
#include "platform/win/WinUserState.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Virtual-key codes as documented, for each SDL key the layer knows by name.
const std::map<SDL_Keycode, int> kDocumented = {
    {SDLK_BACKSPACE, 0x08},    {SDLK_TAB, 0x09},        {SDLK_RETURN, 0x0D},      {SDLK_KP_ENTER, 0x0D},
    {SDLK_ESCAPE, 0x1B},       {SDLK_SPACE, 0x20},      {SDLK_PAGEUP, 0x21},      {SDLK_PAGEDOWN, 0x22},
    {SDLK_END, 0x23},          {SDLK_HOME, 0x24},       {SDLK_LEFT, 0x25},        {SDLK_UP, 0x26},
    {SDLK_RIGHT, 0x27},        {SDLK_DOWN, 0x28},       {SDLK_PRINTSCREEN, 0x2C}, {SDLK_INSERT, 0x2D},
    {SDLK_DELETE, 0x2E},       {SDLK_LSHIFT, 0x10},     {SDLK_RSHIFT, 0x10},      {SDLK_LCTRL, 0x11},
    {SDLK_RCTRL, 0x11},        {SDLK_LALT, 0x12},       {SDLK_RALT, 0x12},        {SDLK_PAUSE, 0x13},
    {SDLK_CAPSLOCK, 0x14},     {SDLK_NUMLOCKCLEAR, 0x90}, {SDLK_SCROLLLOCK, 0x91}, {SDLK_KP_0, 0x60},
    {SDLK_KP_1, 0x61},         {SDLK_KP_2, 0x62},       {SDLK_KP_3, 0x63},        {SDLK_KP_4, 0x64},
    {SDLK_KP_5, 0x65},         {SDLK_KP_6, 0x66},       {SDLK_KP_7, 0x67},        {SDLK_KP_8, 0x68},
    {SDLK_KP_9, 0x69},         {SDLK_KP_MULTIPLY, 0x6A}, {SDLK_KP_PLUS, 0x6B},    {SDLK_KP_MINUS, 0x6D},
    {SDLK_KP_PERIOD, 0x6E},    {SDLK_KP_DIVIDE, 0x6F},  {SDLK_F1, 0x70},          {SDLK_F2, 0x71},
    {SDLK_F3, 0x72},           {SDLK_F4, 0x73},         {SDLK_F5, 0x74},          {SDLK_F6, 0x75},
    {SDLK_F7, 0x76},           {SDLK_F8, 0x77},         {SDLK_F9, 0x78},          {SDLK_F10, 0x79},
    {SDLK_F11, 0x7A},          {SDLK_F12, 0x7B},        {SDLK_SEMICOLON, 0xBA},   {SDLK_EQUALS, 0xBB},
    {SDLK_COMMA, 0xBC},        {SDLK_MINUS, 0xBD},      {SDLK_PERIOD, 0xBE},      {SDLK_SLASH, 0xBF},
    {SDLK_BACKQUOTE, 0xC0},    {SDLK_LEFTBRACKET, 0xDB}, {SDLK_BACKSLASH, 0xDC},  {SDLK_RIGHTBRACKET, 0xDD},
    {SDLK_QUOTE, 0xDE},
};

TEST(KeyTable, EveryRowGivesTheDocumentedCode) {
    // Each row of the layer's own table, so that a new row needs its documented value here.
    for (size_t i = 0; i < winimpl::kKeyTableSize; ++i) {
        const winimpl::KeyName& row = winimpl::kKeyTable[i];
        auto documented = kDocumented.find(row.key);
        ASSERT_NE(documented, kDocumented.end()) << "key " << row.key << " has no documented code in this test";
        EXPECT_EQ(row.vk, documented->second) << "key " << row.key;
        EXPECT_EQ(winimpl::VirtualKeyOf(row.key), documented->second) << "key " << row.key;
    }
    // And every documented key is in the table.
    for (const auto& [key, vk] : kDocumented) EXPECT_EQ(winimpl::VirtualKeyOf(key), vk) << "key " << key;
}

TEST(KeyTable, LettersAndDigitsWithTheKeysJustOutside) {
    for (SDL_Keycode k = SDLK_a; k <= SDLK_z; ++k) EXPECT_EQ(winimpl::VirtualKeyOf(k), 'A' + (k - SDLK_a)) << k;
    for (SDL_Keycode k = SDLK_0; k <= SDLK_9; ++k) EXPECT_EQ(winimpl::VirtualKeyOf(k), '0' + (k - SDLK_0)) << k;
    // '`' below 'a' and '/' below '0' are keys of their own; '{' and ':' have no key.
    EXPECT_EQ(winimpl::VirtualKeyOf(SDLK_a - 1), 0xC0);
    EXPECT_EQ(winimpl::VirtualKeyOf(SDLK_z + 1), 0);
    EXPECT_EQ(winimpl::VirtualKeyOf(SDLK_0 - 1), 0xBF);
    EXPECT_EQ(winimpl::VirtualKeyOf(SDLK_9 + 1), 0);
    EXPECT_EQ(winimpl::VirtualKeyOf(SDLK_F13), 0);
}

TEST(KeyTable, MessageNumbersAreTheDocumentedOnes) {
    const std::pair<UINT, UINT> messages[] = {
        {WM_CREATE, 0x0001},        {WM_DESTROY, 0x0002},      {WM_MOVE, 0x0003},          {WM_SIZE, 0x0005},
        {WM_ACTIVATE, 0x0006},      {WM_SETFOCUS, 0x0007},     {WM_KILLFOCUS, 0x0008},     {WM_PAINT, 0x000F},
        {WM_CLOSE, 0x0010},         {WM_QUIT, 0x0012},         {WM_ERASEBKGND, 0x0014},    {WM_SHOWWINDOW, 0x0018},
        {WM_ACTIVATEAPP, 0x001C},   {WM_SETCURSOR, 0x0020},    {WM_GETMINMAXINFO, 0x0024}, {WM_CONTEXTMENU, 0x007B},
        {WM_NCCREATE, 0x0081},      {WM_NCDESTROY, 0x0082},    {WM_NCHITTEST, 0x0084},     {WM_KEYDOWN, 0x0100},
        {WM_KEYUP, 0x0101},         {WM_CHAR, 0x0102},         {WM_SYSKEYDOWN, 0x0104},    {WM_SYSKEYUP, 0x0105},
        {WM_SYSCHAR, 0x0106},       {WM_INITDIALOG, 0x0110},   {WM_COMMAND, 0x0111},       {WM_SYSCOMMAND, 0x0112},
        {WM_MOUSEMOVE, 0x0200},     {WM_LBUTTONDOWN, 0x0201},  {WM_LBUTTONUP, 0x0202},     {WM_RBUTTONDOWN, 0x0204},
        {WM_RBUTTONUP, 0x0205},     {WM_MBUTTONDOWN, 0x0207},  {WM_MBUTTONUP, 0x0208},     {WM_MOUSEWHEEL, 0x020A},
        {WM_ENTERMENULOOP, 0x0211}, {WM_EXITMENULOOP, 0x0212}, {WM_CAPTURECHANGED, 0x0215}, {WM_POWERBROADCAST, 0x0218},
        {WM_ENTERSIZEMOVE, 0x0231}, {WM_EXITSIZEMOVE, 0x0232}, {WM_USER, 0x0400},
    };
    for (const auto& [message, documented] : messages) EXPECT_EQ(message, documented);
}

}  // namespace
