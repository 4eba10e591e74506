#pragma once

#include <unistd.h>

#include <utility>

// Owns one file descriptor and closes it when destroyed; a negative value
// (what a failed open returns) owns nothing. Moves hand the descriptor on;
// copies are refused. Not shared between threads by itself: the owner decides.
class UniqueDescriptor {
 public:
  explicit UniqueDescriptor(int descriptor = -1) : m_descriptor(descriptor) {}
  ~UniqueDescriptor() { Reset(); }
  UniqueDescriptor(UniqueDescriptor&& other) noexcept
      : m_descriptor(std::exchange(other.m_descriptor, -1)) {}
  UniqueDescriptor& operator=(UniqueDescriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
  }
  UniqueDescriptor(const UniqueDescriptor&) = delete;
  UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;

  int get() const { return m_descriptor; }
  bool IsOpen() const { return m_descriptor >= 0; }

 private:
  void Reset() {
    if (m_descriptor >= 0) ::close(m_descriptor);
    m_descriptor = -1;
  }

  int m_descriptor;
};
