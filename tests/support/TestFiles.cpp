#include "support/TestFiles.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

#include "support/TestPlatform.h"

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  m_path = fs::temp_directory_path() / ("vtx-test-" + std::to_string(CurrentProcessId()) + "-" +
                                        std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(m_path);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

// fs::create_directories of mingw's library fails on paths below a bare drive
// root ("T:\\x"), so folders are made one level at a time.
void MakeFolders(const fs::path& folder) {
  fs::path current = folder.root_path();
  for (const fs::path& part : folder.relative_path()) {
    current /= part;
    if (!fs::exists(current)) fs::create_directory(current);
  }
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) MakeFolders(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(2 + i % 249);
  return bytes;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::string();
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0).read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

bool AllBytesAre(const std::string& bytes, unsigned char value) {
  return bytes.find_first_not_of(static_cast<char>(value)) == std::string::npos;
}
