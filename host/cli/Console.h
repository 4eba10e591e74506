#pragma once

// The program's console: which standard streams are terminals, and the
// person's requests to stop (Ctrl-C).
namespace console {

enum class Stream { kInput, kOutput, kError };

bool IsTerminal(Stream stream);
// Lets standard output, a terminal, take the cursor moves that redraw several
// lines in place (VT sequences); false where it cannot.
bool EnableCursorMoves();

// Stop requests: SIGINT, SIGTERM and SIGHUP on Linux (where SIGPIPE is
// ignored from then on: output to a closed pipe fails, nothing ends); Ctrl-C, Ctrl-Break and the
// closing of the console window on Windows. Once installed, none of them ends
// the process: each one is counted, and the program decides what to do (stop
// the running wipe and wait for its final record). A second request does not
// abandon a running wipe either.
//
// InstallStopHandlers is called once, from the main thread, before a wipe
// starts; the other functions may be called from any thread.
void InstallStopHandlers();
// How many stop requests arrived since the handlers were installed.
int StopRequestCount();
// Sleeps up to `milliseconds`, waking early when a stop request arrives.
void WaitForStopRequest(int milliseconds);
// Tells a handler that holds the process open on Windows (console closing)
// that the wipe has ended and its report is written: the process may go.
void NoteWipeEnded();

}  // namespace console
