#include "storage/VantrixFile.h"

#include <new>

#include "common/Log.h"
#include "storage/FileSystem.h"

VantrixFile::~VantrixFile() { closeFile(); }

bool VantrixFile::open(const std::wstring& path, int mode) {
  system_file::EntryAt at;
  at.path = path;
  return openAt(at, mode);
}

bool VantrixFile::openAt(const system_file::EntryAt& at, int mode) {
  system_file::Native native = 0;
  if (!system_file::OpenAt(at, mode, &native)) {
    m_handle.MarkFailed();
    return false;
  }
  m_handle.Adopt(native);
  m_dirty = true;
  FindData record;
  if (!system_file::Status(native, &record)) return false;
  const std::size_t separator = at.path.find_last_of(kPathSeparator);
  record.name = separator == std::wstring::npos ? at.path : at.path.substr(separator + 1);
  m_entry.reset(new (std::nothrow) FileEntry(FileEntry::OfPath(at.path, std::move(record))));
  return m_entry && m_entry->IsValid();
}

bool VantrixFile::flush(bool deviceCache) {
  if (!m_handle.IsUsable()) return false;
  const bool flushed = system_file::Flush(m_handle.Native(), deviceCache);
  const int error = LastSystemError();
  VTX_LOG("VantrixFile::closeFile", "flush buffer: %d, %d", flushed ? 1 : 0, error);
  m_dirty = !flushed;
  if (!flushed) m_lastError = error;
  return flushed;
}

void VantrixFile::closeFile() {
  if (!m_handle.IsUsable()) return;
  if (m_dirty) flush();
  m_handle.Close();
}

bool VantrixFile::status(FindData* record) const {
  return m_handle.IsUsable() && system_file::Status(m_handle.Native(), record);
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

  m_dirty = true;
  std::uint32_t done = 0;
  system_file::WriteOutcome outcome;
  do {
    outcome = system_file::WriteAt(m_handle.Native(), offset + done, buffer + done, size - done);
    if (outcome.status != system_file::WriteStatus::kWritten || outcome.written == 0) break;
    done += outcome.written;
  } while (done < size);
  if (size > 0 && done == size) return size;

  m_lastError = outcome.error;
  offset += done;
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
      VTX_LOG(kFunction, "write failed, iOffset = %lld, err: %d", static_cast<long long>(offset),
              outcome.error);
      return done == 0 ? 0 : -1;
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
