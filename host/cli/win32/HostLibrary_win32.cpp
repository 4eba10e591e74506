#include "host/cli/HostLibrary.h"

#include <windows.h>

#include <vector>

#include "host/cli/win32/ProgramFolder.h"

std::wstring ProgramFolderWide() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(/*hModule=*/nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return L"";
    if (length < path.size()) {
      const std::wstring program(path.data(), length);
      return program.substr(0, program.rfind(L'\\') + 1);
    }
    path.resize(path.size() * 2);
  }
}

std::string NarrowText(const std::wstring& wide) {
  if (wide.empty()) return "";
  const int size = WideCharToMultiByte(CP_ACP, /*dwFlags=*/0, wide.c_str(),
                                       static_cast<int>(wide.size()), /*lpMultiByteStr=*/nullptr,
                                       /*cbMultiByte=*/0, /*lpDefaultChar=*/nullptr,
                                       /*lpUsedDefaultChar=*/nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, /*dwFlags=*/0, wide.c_str(), static_cast<int>(wide.size()),
                      narrow.data(), size, /*lpDefaultChar=*/nullptr,
                      /*lpUsedDefaultChar=*/nullptr);
  return narrow;
}

namespace {

std::wstring Wide(const std::string& narrow) {
  if (narrow.empty()) return L"";
  const int size = MultiByteToWideChar(CP_ACP, /*dwFlags=*/0, narrow.c_str(),
                                       static_cast<int>(narrow.size()), /*lpWideCharStr=*/nullptr,
                                       /*cchWideChar=*/0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, /*dwFlags=*/0, narrow.c_str(), static_cast<int>(narrow.size()),
                      wide.data(), size);
  return wide;
}

}  // namespace

std::string HostLibrary::FileNameOf(const std::string& baseName) { return baseName + ".dll"; }

std::string HostLibrary::ProgramFolder() { return NarrowText(ProgramFolderWide()); }

bool HostLibrary::Load(const std::string& baseName) {
  const std::wstring path = ProgramFolderWide() + Wide(FileNameOf(baseName));
  m_path = NarrowText(path);
  m_handle = LoadLibraryW(path.c_str());
  if (m_handle == nullptr) {
    m_error = "cannot load " + m_path + " (error " + std::to_string(GetLastError()) + ")";
  }
  return m_handle != nullptr;
}

void* HostLibrary::Symbol(const char* name) const {
  if (m_handle == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

// The version resource the build puts into the library (VERSIONINFO).
std::string HostLibrary::FileVersion() const {
  const std::wstring path = Wide(m_path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return "";
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), /*dwHandle=*/0, size, block.data())) return "";
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
      info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO)) {
    return "";
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS));
}
