#pragma once

#include <cstdint>
#include <utility>

#include "storage/SystemFile.h"

// Move-only owner of one file of the system. Three states: closed (nothing
// open), failed (the last open failed) and open. Destruction closes an open
// file; Value() is what logs show: 0 closed, -1 failed, else the native value.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }

  FileHandle(FileHandle&& other) noexcept { *this = std::move(other); }
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      Close();
      m_state = std::exchange(other.m_state, State::kClosed);
      m_native = std::exchange(other.m_native, 0);
    }
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  void Adopt(system_file::Native native) {
    Close();
    m_state = State::kOpen;
    m_native = native;
  }
  void MarkFailed() {
    Close();
    m_state = State::kFailed;
  }
  // Closes an open file; a failed handle stays failed.
  void Close() {
    if (m_state != State::kOpen) return;
    system_file::Close(m_native);
    m_state = State::kClosed;
    m_native = 0;
  }

  bool IsUsable() const { return m_state == State::kOpen; }
  system_file::Native Native() const { return m_native; }
  std::intptr_t Value() const { return m_state == State::kFailed ? -1 : m_native; }

 private:
  enum class State { kClosed, kFailed, kOpen };

  State m_state = State::kClosed;
  system_file::Native m_native = 0;
};
