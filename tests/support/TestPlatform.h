#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/DiskInfo.h"

// What tests need of the platform, one implementation per backend.

// What ends a line of the log file: "\r\n" on Windows, "\n" on POSIX.
const char* LogLineEnd();

int CurrentProcessId();

// Folders no folder wipe may take: the running system's, and mount roots.
std::vector<std::string> SystemFolderTargets();

// A link at `link` to the folder `target`: a symbolic link on POSIX, a
// junction on Windows. False with a reason when the system cannot make one.
bool MakeFolderLink(const std::filesystem::path& link, const std::filesystem::path& target,
                    std::string* why);

// A symbolic link at `link` to the file `target`.
bool MakeFileLink(const std::filesystem::path& link, const std::filesystem::path& target,
                  std::string* why);

// Sets the environment variable `name` of this process to `value`; a null
// value removes it.
void SetEnvironment(const char* name, const char* value);
// Whether the storage layer of this build opens disks and partitions by
// their device paths (POSIX) rather than by number and drive letter (Windows).
bool OpensDevicesByPath();

// What a leak of threads or their handles makes grow: on Windows the
// process's open handles; on POSIX its threads, descriptors and mappings
// (a thread never joined or detached keeps its stack mapped).
long ProcessResourceCount();
