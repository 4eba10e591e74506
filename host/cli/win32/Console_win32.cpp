#include "host/cli/Console.h"

#include <windows.h>

#include <io.h>
#include <stdio.h>

#include <atomic>

namespace console {
namespace {

std::atomic<int> g_requests{0};
HANDLE g_wake = nullptr;       // auto-reset: a stop request arrived
HANDLE g_wipeEnded = nullptr;  // manual-reset: the program may end

// Windows ends the process as soon as this handler returns from a close,
// log-off or shut-down event; holding it until the wipe has sent its final
// record (the system allows a few seconds) lets the stop finish cleanly.
constexpr DWORD kCloseGraceMilliseconds = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  g_requests.fetch_add(1);
  SetEvent(g_wake);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(g_wipeEnded, kCloseGraceMilliseconds);
  }
  return TRUE;
}

}  // namespace

bool EnableCursorMoves() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return GetConsoleMode(output, &mode) &&
         SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool IsTerminal(Stream stream) {
  const DWORD which = stream == Stream::kInput    ? STD_INPUT_HANDLE
                      : stream == Stream::kOutput ? STD_OUTPUT_HANDLE
                                                  : STD_ERROR_HANDLE;
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void InstallStopHandlers() {
  if (g_wake == nullptr) {
    g_wake = CreateEventW(/*lpEventAttributes=*/nullptr, /*bManualReset=*/FALSE,
                          /*bInitialState=*/FALSE, /*lpName=*/nullptr);
    g_wipeEnded = CreateEventW(/*lpEventAttributes=*/nullptr, /*bManualReset=*/TRUE,
                               /*bInitialState=*/FALSE, /*lpName=*/nullptr);
  }
  SetConsoleCtrlHandler(OnConsoleEvent, /*Add=*/TRUE);
}

int StopRequestCount() { return g_requests.load(); }

void WaitForStopRequest(int milliseconds) {
  if (g_wake == nullptr) {
    Sleep(static_cast<DWORD>(milliseconds));
    return;
  }
  WaitForSingleObject(g_wake, static_cast<DWORD>(milliseconds));
}

void NoteWipeEnded() {
  if (g_wipeEnded != nullptr) SetEvent(g_wipeEnded);
}

}  // namespace console
