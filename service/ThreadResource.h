#pragma once

// Something a wipe task needs while it runs and that its worker frees when
// the run ends (the path copy of a file or folder task). The worker owns it
// from AddResource on and ends it with Release() on the task's thread.
class IThreadResource {
 public:
  virtual ~IThreadResource() = default;
  virtual void Release() = 0;
};

template <class T>
class CThreadResourceT;

// Owns one buffer made with new[] and frees it with delete[].
template <>
class CThreadResourceT<char*> final : public IThreadResource {
 public:
  explicit CThreadResourceT(char* buffer) : m_buffer(buffer) {}
  ~CThreadResourceT() override { delete[] m_buffer; }
  CThreadResourceT(const CThreadResourceT&) = delete;
  CThreadResourceT& operator=(const CThreadResourceT&) = delete;

  void Release() override { delete this; }

 private:
  char* m_buffer;
};
