#pragma once

#include <string>

// The running program's folder and narrow text for messages, shared by the
// Windows backends of vantrix-wipe (defined in HostLibrary_win32.cpp).

// The folder of the running program, ending in its separator; L"" when the
// system cannot tell.
std::wstring ProgramFolderWide();

// `wide` in the system's ANSI code page, as the program prints text.
std::string NarrowText(const std::wstring& wide);
