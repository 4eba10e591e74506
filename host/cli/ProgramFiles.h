#pragma once

#include <string>
#include <vector>

// The files vantrix-wipe reads and writes beside a wipe's report: signing
// keys, the configuration, reports to check, signatures and certificates.
// Every path is checked for what it is before it is used.
namespace program_files {

// Reads the whole of the regular file at `path` (a link is followed and its
// target checked); false with the reason in `error` for anything else (a
// folder, a device, a pipe) or a file larger than `maxBytes`.
bool ReadRegular(const std::string& path, std::size_t maxBytes, std::string* bytes,
                 std::string* error);

// True when something (a file, a folder, a link, even a dangling one) is at `path`.
bool Exists(const std::string& path);

// True when `path` names an existing folder.
bool IsFolder(const std::string& path);

// The configuration files, the system's first, then the user's (which wins):
// /etc/vantrix-wipe.conf and $XDG_CONFIG_HOME (or ~/.config)/vantrix-wipe.conf
// on Linux; %ProgramData% and %APPDATA% on Windows.
std::vector<std::string> ConfigurationPaths();

}  // namespace program_files
