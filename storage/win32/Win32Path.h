#pragma once

#include <string>

// The form in which a wide path is handed to the Win32 file functions: made
// absolute and normalised, then given the long-path prefix ("\\?\" for drive
// paths, "\\?\UNC\" for network paths) so that no MAX_PATH limit applies.
// Paths that already carry a "\\?\" or "\\.\" prefix pass unchanged.
std::wstring ToSystemPath(const std::wstring& path);

// GetFullPathNameW of `path`; the path itself when the call fails.
std::wstring FullPathName(const std::wstring& path);
