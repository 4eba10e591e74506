#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with all it
// holds on destruction. Links inside are removed, never followed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return m_path; }
  fs::path operator/(const fs::path& name) const { return m_path / name; }

 private:
  fs::path m_path;
};

// Makes `folder` the current folder for the object's lifetime.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : m_saved(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(m_saved); }

 private:
  fs::path m_saved;
};

// Creates `folder` and every missing folder above it.
void MakeFolders(const fs::path& folder);
// Writes `bytes` as the whole content of `path`, creating parent folders.
void WriteBytes(const fs::path& path, const std::string& bytes);
// `size` bytes cycling through 0..250, so that no byte is 0xFF or 0x01.
std::string PatternBytes(std::size_t size);
std::string ReadBytes(const fs::path& path);
// Whether every byte of `bytes` equals `value`.
bool AllBytesAre(const std::string& bytes, unsigned char value);

// The path as the module takes it: narrow text in the system code page.
std::string ModulePath(const fs::path& path);
