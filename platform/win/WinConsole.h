// The console: standard handles, whether one is a terminal, and console control events. On this
// system a console control event is a signal: SIGINT is CTRL_C_EVENT, SIGTERM CTRL_CLOSE_EVENT.
// The handlers run on the thread that reads messages, from PeekMessageA (not on a thread of
// their own as the platform runs them), so they may post messages and set plain variables.
#pragma once

#include "platform/win/WinFile.h"
#include "platform/win/WinTypes.h"

constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

// A handle for standard input, output or error; INVALID_HANDLE_VALUE for any other number.
HANDLE GetStdHandle(DWORD which);
// TRUE when the handle is a console (a terminal), with its mode; FALSE for files, pipes and the
// rest, as the platform answers for them.
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);

constexpr DWORD CTRL_C_EVENT = 0;
constexpr DWORD CTRL_BREAK_EVENT = 1;
constexpr DWORD CTRL_CLOSE_EVENT = 2;
typedef BOOL (*PHANDLER_ROUTINE)(DWORD ctrlType);

// Adds or removes a handler. An event is offered to the handlers, the last added first, until
// one returns TRUE; when none does, the program ends as the signal's default ends it. While
// any handler is set, a second signal of a kind already received ends the program at once, and
// a write to a closed pipe fails (as on the platform) instead of ending the program.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);

namespace winimpl {
// Offers the events received since the last call to the handlers (PeekMessageA calls it).
void DeliverConsoleEvents();
}  // namespace winimpl
