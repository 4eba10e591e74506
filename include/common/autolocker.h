#pragma once

#include <mutex>

// The command service's lock: one thread at a time inside, never re-entered
// by the thread that holds it.
using lock_t = std::mutex;

// Holds `lock` from construction to the end of the scope.
template <class Lock>
class autolocker {
 public:
  explicit autolocker(Lock& lock) : m_lock(lock) { m_lock.lock(); }
  ~autolocker() { m_lock.unlock(); }
  autolocker(const autolocker&) = delete;
  autolocker& operator=(const autolocker&) = delete;

 private:
  Lock& m_lock;
};
