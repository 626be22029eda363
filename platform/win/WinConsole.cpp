// Console handles on the standard file descriptors, and console control events from SIGINT and
// SIGTERM: the signal handler only notes the signal; PeekMessageA hands it to the handlers.
#include "platform/win/WinConsole.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Standard handles are these small numbers plus the descriptor: never a file handle's id.
constexpr uintptr_t kStdHandleBase = 0x5D00;

struct SignalEvent {
    int signal;
    DWORD event;
};
constexpr SignalEvent kSignalEvents[] = {{SIGINT, CTRL_C_EVENT}, {SIGTERM, CTRL_CLOSE_EVENT}};

volatile sig_atomic_t received[2] = {0, 0};  // by the index of kSignalEvents
std::vector<PHANDLER_ROUTINE> handlers;

void OnSignal(int number) {
    for (int i = 0; i < 2; ++i)
        if (kSignalEvents[i].signal == number) received[i] = 1;
    // The next one of this kind is not waited for: it ends the program as it always would.
    signal(number, SIG_DFL);
}

void Install(bool catching) {
    for (const SignalEvent& s : kSignalEvents) {
        struct sigaction action {};
        action.sa_handler = catching ? OnSignal : SIG_DFL;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(s.signal, &action, nullptr);
    }
    signal(SIGPIPE, catching ? SIG_IGN : SIG_DFL);
}

}  // namespace

HANDLE GetStdHandle(DWORD which) {
    if (which != STD_INPUT_HANDLE && which != STD_OUTPUT_HANDLE && which != STD_ERROR_HANDLE) return INVALID_HANDLE_VALUE;
    const uintptr_t descriptor = static_cast<DWORD>(-10) - which;  // 0, 1, 2
    return reinterpret_cast<HANDLE>(kStdHandleBase + descriptor);
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    const auto value = reinterpret_cast<uintptr_t>(console);
    if (value < kStdHandleBase || value > kStdHandleBase + 2) return FALSE;
    if (!isatty(static_cast<int>(value - kStdHandleBase))) return FALSE;
    if (mode) *mode = 0;
    return TRUE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    if (!handler) return FALSE;
    auto it = std::find(handlers.begin(), handlers.end(), handler);
    if (add) {
        if (it == handlers.end()) handlers.push_back(handler);
        Install(true);
        return TRUE;
    }
    if (it == handlers.end()) return FALSE;
    handlers.erase(it);
    if (handlers.empty()) Install(false);
    return TRUE;
}

namespace winimpl {

void DeliverConsoleEvents() {
    for (int i = 0; i < 2; ++i) {
        if (!received[i]) continue;
        received[i] = 0;
        bool handled = false;
        for (auto h = handlers.rbegin(); h != handlers.rend() && !handled; ++h) handled = (*h)(kSignalEvents[i].event) != FALSE;
        if (!handled) {
            signal(kSignalEvents[i].signal, SIG_DFL);
            raise(kSignalEvents[i].signal);
        }
    }
}

}  // namespace winimpl
