#pragma once

#include <string>

// The host's disk-I/O driver around one disk or partition wipe, so that only
// this installation's driver is ever loaded and it is loaded only while a
// wipe runs.
//
// Windows: the module installs and starts the driver as the kernel-driver
// service "q7diskio" from "drivers\q7diskio.sys" under the current folder, and
// reuses a service that exists whatever file it names. Prepare therefore
// refuses a process that is not an elevated administrator (the driver's
// device opens for no one else), makes the program's own folder the current
// one (never the folder it was started in, which may hold a planted driver),
// checks that the driver file is there, and refuses an existing "q7diskio"
// service whose image is another file. After the wipe, Stop stops the service if Prepare found it not
// running, so the driver is unloaded (at the latest when the module's handle
// closes with the process); the service stays registered with this
// program's driver for the next wipe. A service another host was running
// before is left running.
// Linux: the block layer is the driver; nothing is loaded, both do nothing.
//
// Used from the main thread, Prepare once before the wipe, Stop once after.
class DiskDriverSession {
 public:
  DiskDriverSession() = default;
  DiskDriverSession(const DiskDriverSession&) = delete;
  DiskDriverSession& operator=(const DiskDriverSession&) = delete;

  // True when the wipe may go on; otherwise false with the reason in
  // `error`, and no service was touched (the current folder may have changed).
  bool Prepare(std::string* error);
  // Stops the service this wipe started. False, with the reason in `error`,
  // when it was started and could not be stopped.
  bool Stop(std::string* error);

 private:
  bool m_stopAfterWipe = false;
};
