#pragma once

#include <windows.h>

#include <utility>

// Owns one kernel object handle (a file, a device, a token) and closes it
// with CloseHandle when destroyed. Both "no handle" values of Win32 own
// nothing: INVALID_HANDLE_VALUE (what CreateFileW returns on failure) and
// null. Moves hand the handle on; copies are refused. Not shared between
// threads by itself: the owner decides.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept
      : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_handle = std::exchange(other.m_handle, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return m_handle; }
  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }

 private:
  void Reset() {
    if (IsOpen()) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
  }

  HANDLE m_handle;
};
