#pragma once

#include <string>
#include <string_view>

// Text the program shows or records that came from outside (paths, names,
// the module's answers), made safe for where it goes. A byte made visible is
// written "\xNN" (two upper-case hex digits).

// Valid UTF-8: every byte that is not part of a valid, shortest-form UTF-8
// sequence is made visible; all else is kept. For reports and JSON output.
std::string VisibleUtf8(std::string_view text);

// One printable line for a terminal: as VisibleUtf8, and control characters
// (below 0x20, and 0x7F) are made visible too, so that nothing a path holds
// moves the cursor, clears the screen or starts a line.
std::string PrintableText(std::string_view text);
