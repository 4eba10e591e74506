#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A file the process appends to, such as its log. It is opened only when the
// name is a regular file reached without following a final link (a symbolic
// link on POSIX, a reparse point on Windows), without waiting (a FIFO or a
// device never blocks the open), and it is checked on the open handle before
// the first byte is written. Anything else is refused: the object stays
// closed and every Append fails, so a caller that cannot log drops the line.
//
// A missing file is created (mode 0644 on POSIX, the folder's default
// security on Windows); an existing one is extended, never truncated unless
// `truncate` is asked. The file is shared for reading and writing with other
// handles and processes. Bytes are written as given: no line-end conversion.
//
// Not thread-safe: the owner serialises its calls. The handle is closed when
// the object is destroyed.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Closes what was open, then opens `path`; false, with the reason in Why(),
  // when the name is not a regular file or cannot be opened.
  bool Open(const std::string& path, bool truncate = false);
  void Close();
  bool IsOpen() const;

  // The file's length when it was opened.
  std::uint64_t SizeAtOpen() const { return m_sizeAtOpen; }
  const std::string& Why() const { return m_why; }

  // Writes all `size` bytes at the end of the file; false when any is lost.
  bool Append(const char* data, std::size_t size);

 private:
  std::intptr_t m_handle = -1;  // a descriptor on POSIX, a HANDLE on Windows
  std::uint64_t m_sizeAtOpen = 0;
  std::string m_why;
};
