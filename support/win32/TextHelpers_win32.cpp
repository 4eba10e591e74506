#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "support/TextHelpers.h"

const char kLineEnd[] = "\r\n";

namespace {

// A zeroed malloc block, freed on scope exit.
struct ScratchBlock {
  explicit ScratchBlock(std::size_t bytes) : data(std::calloc(bytes, 1)) {}
  ~ScratchBlock() { std::free(data); }
  ScratchBlock(const ScratchBlock&) = delete;
  ScratchBlock& operator=(const ScratchBlock&) = delete;
  void* data;
};

}  // namespace

std::wstring AnsiToWide(const std::string& text) {
  const std::size_t count = text.size() + 1;
  ScratchBlock scratch(count * sizeof(wchar_t));
  if (scratch.data == nullptr) return std::wstring();
  auto* wide = static_cast<wchar_t*>(scratch.data);
  MultiByteToWideChar(CP_ACP, /*dwFlags=*/0, text.c_str(), static_cast<int>(count), wide,
                      static_cast<int>(count));
  wide[count - 1] = L'\0';
  return std::wstring(wide);
}

std::string WideToAnsi(const std::wstring& text) {
  const std::size_t capacity = 4 * text.size() + 4;
  ScratchBlock scratch(capacity);
  if (scratch.data == nullptr) return std::string();
  auto* narrow = static_cast<char*>(scratch.data);
  WideCharToMultiByte(CP_ACP, /*dwFlags=*/0, text.c_str(), static_cast<int>(text.size() + 1),
                      narrow, static_cast<int>(capacity), /*lpDefaultChar=*/nullptr,
                      /*lpUsedDefaultChar=*/nullptr);
  narrow[capacity - 1] = '\0';
  return std::string(narrow);
}
