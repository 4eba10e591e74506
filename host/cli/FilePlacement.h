#pragma once

#include <string>

// Places whole files (a wipe report, and whatever else the program hands to
// the person as a file) where the person named them, without ever writing
// through what stands at the name: the bytes go to a new temporary file in
// the same folder, reach the disk, and the temporary file is renamed over the
// name. A link at the name is replaced, never followed; a reader sees the old
// file or the whole new one, never a part. Paths are narrow text in the
// system's code page. Safe on any thread; nothing is kept between calls.

// Whether PlaceFile can succeed at `path`, asked before the work the file
// records is done: the name is free or a regular file (not a link, a folder,
// a FIFO or a device), and its folder takes a new file (one is made there and
// removed again). False with the reason in `error`.
bool CheckFilePlaceable(const std::string& path, std::string* error);

// Puts `bytes` at `path` as described above. False with the reason in
// `error`; then `path` is as it was and no temporary file is left.
bool PlaceFile(const std::string& path, const std::string& bytes, std::string* error);
