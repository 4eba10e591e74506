#include "host/cli/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace console {
namespace {

std::atomic<int> g_requests{0};
// A pipe the signal handler writes one byte into, so that a waiting poll()
// wakes at once; both ends non-blocking, the handler never blocks.
int g_wakeRead = -1;
int g_wakeWrite = -1;

void OnStopSignal(int) {
  g_requests.fetch_add(1);
  const int savedErrno = errno;
  const char byte = 1;
  if (g_wakeWrite >= 0 && write(g_wakeWrite, &byte, 1) < 0) {
    // A full pipe already holds a wake-up.
  }
  errno = savedErrno;
}

}  // namespace

bool IsTerminal(Stream stream) {
  const int descriptor = stream == Stream::kInput    ? STDIN_FILENO
                         : stream == Stream::kOutput ? STDOUT_FILENO
                                                     : STDERR_FILENO;
  return isatty(descriptor) == 1;
}

bool EnableCursorMoves() { return IsTerminal(Stream::kOutput); }

void InstallStopHandlers() {
  int ends[2];
  if (g_wakeRead < 0 && pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    g_wakeRead = ends[0];
    g_wakeWrite = ends[1];
  }
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);  // the terminal or the ssh connection closed
  // A reader that went away (`--json | head`) makes writes fail with EPIPE
  // instead of ending the process; the wipe and its report go on.
  signal(SIGPIPE, SIG_IGN);
}

int StopRequestCount() { return g_requests.load(); }

void WaitForStopRequest(int milliseconds) {
  if (g_wakeRead < 0) {
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
    return;
  }
  pollfd wake = {g_wakeRead, POLLIN, 0};
  if (poll(&wake, 1, milliseconds) > 0) {
    char drain[64];
    while (read(g_wakeRead, drain, sizeof(drain)) > 0) {
    }
  }
}

void NoteWipeEnded() {}

}  // namespace console
