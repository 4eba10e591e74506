#pragma once

#include <cstddef>
#include <string>

// The description file named by VTX_DEVICE_DESCRIPTION: test equipment that
// stands in for the machine's disks, so only an administrator may provide
// one. It is read only when it is a regular file (the name is not followed
// through a link, and a FIFO or a device is refused without waiting), owned
// by root (on Windows by Administrators, SYSTEM, or the elevated
// administrator running the process) and writable by nobody else, and no larger than
// kMaxDescriptionBytes. One implementation per backend; safe on any thread.

constexpr std::size_t kMaxDescriptionBytes = 4u << 20;

enum class DescriptionSource {
  kNone,        // VTX_DEVICE_DESCRIPTION is unset or empty: use the real disks
  kRead,        // the file named `path` holds `text`
  kUnreadable,  // the named file is refused or cannot be read; the reason is in `why`
};

// `path` is the variable's value (a path in the system's narrow code page).
DescriptionSource ReadDescriptionFile(std::string* path, std::string* text, std::string* why);
