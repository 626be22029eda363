// Console handles and control events: SIGINT and SIGTERM reach the handlers from the message
// pump, a handler that declines lets the signal end the program, a second signal of a kind ends
// it at once, and a closed pipe fails a write instead of ending it. Each case runs in a child.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <functional>

#include "platform/win/WinConsole.h"
#include "platform/win/WinUser.h"

namespace {

int events[3];
BOOL Count(DWORD event) {
    if (event < 3) ++events[event];
    return TRUE;
}
BOOL Decline(DWORD) { return FALSE; }

void Pump() {
    MSG m{};
    PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
}

// Runs `body` in a child; its exit status, or 1000 + the signal that ended it.
int InChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000 + WTERMSIG(raw);
}

TEST(WinConsole, StandardHandlesAndTerminals) {
    EXPECT_NE(GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE));
    EXPECT_EQ(GetStdHandle(7), INVALID_HANDLE_VALUE);
    DWORD mode = 0;
    EXPECT_FALSE(GetConsoleMode(nullptr, &mode));
    EXPECT_FALSE(GetConsoleMode(INVALID_HANDLE_VALUE, &mode));
    // A pipe is no terminal.
    EXPECT_EQ(InChild([] {
                  int p[2];
                  if (pipe(p) != 0 || dup2(p[1], 2) < 0) return 2;
                  DWORD m = 0;
                  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &m) ? 1 : 0;
              }),
              0);
}

TEST(WinConsole, SignalsBecomeControlEventsOnTheMessagePump) {
    EXPECT_EQ(InChild([] {
                  SetConsoleCtrlHandler(Count, TRUE);
                  raise(SIGTERM);
                  if (events[CTRL_CLOSE_EVENT] != 0) return 1;  // not before the pump
                  Pump();
                  raise(SIGINT);
                  Pump();
                  return events[CTRL_CLOSE_EVENT] * 10 + events[CTRL_C_EVENT];
              }),
              11);
    // Declined: the signal ends the program as it would without any handler.
    EXPECT_EQ(InChild([] {
                  SetConsoleCtrlHandler(Decline, TRUE);
                  raise(SIGTERM);
                  Pump();
                  return 0;
              }),
              1000 + SIGTERM);
    // A second Ctrl+C before the first was handled ends the program at once.
    EXPECT_EQ(InChild([] {
                  SetConsoleCtrlHandler(Count, TRUE);
                  raise(SIGINT);
                  raise(SIGINT);
                  return 0;
              }),
              1000 + SIGINT);
    // Removing the last handler restores the signals' own ends.
    EXPECT_EQ(InChild([] {
                  SetConsoleCtrlHandler(Count, TRUE);
                  SetConsoleCtrlHandler(Count, FALSE);
                  raise(SIGINT);
                  return 0;
              }),
              1000 + SIGINT);
    EXPECT_FALSE(SetConsoleCtrlHandler(Count, FALSE));
    EXPECT_FALSE(SetConsoleCtrlHandler(nullptr, TRUE));
}

TEST(WinConsole, AClosedPipeFailsAWriteWhileHandlersAreSet) {
    EXPECT_EQ(InChild([] {
                  SetConsoleCtrlHandler(Count, TRUE);
                  int p[2];
                  if (pipe(p) != 0) return 2;
                  close(p[0]);
                  return write(p[1], "x", 1) < 0 ? 0 : 1;
              }),
              0);
}

}  // namespace
