#include "storage/VantrixFile.h"

#include <new>

#include "common/Log.h"
#include "storage/FileSystem.h"

VantrixFile::~VantrixFile() { closeFile(); }

bool VantrixFile::open(const std::wstring& path, int mode) {
  system_file::Native native = 0;
  if (!system_file::Open(path, mode, &native)) {
    m_handle.MarkFailed();
    return false;
  }
  m_handle.Adopt(native);
  m_entry.reset(new (std::nothrow) FileEntry(FileEntry::FromPath(path)));
  return m_entry && m_entry->IsValid();
}

void VantrixFile::closeFile() {
  if (!m_handle.IsUsable()) return;
  const bool flushed = system_file::Flush(m_handle.Native());
  const int error = LastSystemError();
  VTX_LOG("VantrixFile::closeFile", "flush buffer: %d, %d", flushed ? 1 : 0, error);
  m_handle.Close();
}

bool VantrixFile::LogInvalidWrite(const unsigned char* buffer, const char* function) const {
  if (m_handle.IsUsable() && buffer != nullptr) return false;
  VTX_LOG(function, "write with invalid handle or buffer, handle: 0x%llx, buffer: 0x%llx",
          static_cast<unsigned long long>(m_handle.Value()),
          static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(buffer)));
  return true;
}

std::int64_t VantrixFile::writeFile(std::int64_t offset, std::uint32_t size,
                                    const unsigned char* buffer) {
  static const char kFunction[] = "VantrixFile::writeFile";
  if (LogInvalidWrite(buffer, kFunction)) return -1;

  const system_file::WriteOutcome outcome =
      system_file::WriteAt(m_handle.Native(), offset, buffer, size);
  switch (outcome.status) {
    case system_file::WriteStatus::kSeekFailed:
      VTX_LOG(kFunction, "seek failed, iOffset = %lld, err: %d", static_cast<long long>(offset),
              outcome.error);
      return -1;
    case system_file::WriteStatus::kSeekMismatch:
      VTX_LOG(kFunction, "seek failed 2, pos not equal, iOffset = %lld, seek: %lld",
              static_cast<long long>(offset), static_cast<long long>(outcome.position));
      return -1;
    case system_file::WriteStatus::kWritten:
      if (outcome.written > 0) return outcome.written;
      VTX_LOG(kFunction, "write failed, iOffset = %lld, err: %d", static_cast<long long>(offset),
              outcome.error);
      return 0;
    case system_file::WriteStatus::kWriteFailed:
      break;
  }
  VTX_LOG(kFunction, "write failed, iOffset = %lld, err: %d", static_cast<long long>(offset),
          outcome.error);
  return -1;
}

std::int64_t VantrixFile::writeFileToEnd(std::uint32_t size, const unsigned char* buffer) {
  static const char kFunction[] = "VantrixFile::writeFileToEnd";
  if (LogInvalidWrite(buffer, kFunction)) return -1;

  std::int64_t end = 0;
  int error = 0;
  if (!system_file::EndPosition(m_handle.Native(), &end, &error)) {
    VTX_LOG(kFunction, "seek failed, iOffset = %lld, err: %d", -1LL, error);
    return -1;
  }
  return writeFile(end, size, buffer);
}
