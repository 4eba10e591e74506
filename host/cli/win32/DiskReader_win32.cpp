#include "host/cli/DiskReader.h"

#include <windows.h>

#include "platform/DiskInfo.h"

namespace {

class Win32DiskReader final : public DiskReader {
 public:
  Win32DiskReader(HANDLE handle, std::string path) : m_handle(handle), m_path(path) {}
  ~Win32DiskReader() override { CloseHandle(m_handle); }
  Win32DiskReader(const Win32DiskReader&) = delete;
  Win32DiskReader& operator=(const Win32DiskReader&) = delete;

  bool Read(std::uint64_t offset, void* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      OVERLAPPED position = {};
      position.Offset = static_cast<DWORD>(offset + done);
      position.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      const DWORD want = static_cast<DWORD>(size - done > 0x40000000 ? 0x40000000 : size - done);
      DWORD got = 0;
      if (!ReadFile(m_handle, static_cast<char*>(buffer) + done, want, &got, &position) ||
          got == 0) {
        m_error = m_path + ": read failed at byte " + std::to_string(offset + done) + " (error " +
                  std::to_string(GetLastError()) + ")";
        return false;
      }
      done += got;
    }
    return true;
  }

  std::string Error() const override { return m_error; }

 private:
  HANDLE m_handle;
  std::string m_path;
  std::string m_error;
};

}  // namespace

// FILE_FLAG_NO_BUFFERING reads what the disk holds, not a cached copy; the
// caller's offsets, sizes and buffers are sector-aligned as it requires.
std::unique_ptr<DiskReader> OpenDiskReader(const DiskInfo& disk, std::string* error) {
  const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(disk.nDiskNumber);
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING, /*hTemplateFile=*/nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = path + ": cannot open (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  return std::make_unique<Win32DiskReader>(handle, path);
}
