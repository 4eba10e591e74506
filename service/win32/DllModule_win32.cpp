#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <string>

#include "service/DllModule.h"
#include "support/TextHelpers.h"

std::string CDllModule::LibraryFileName(const char* baseName) {
  return std::string(baseName) + ".dll";
}

bool CDllModule::LoadFromHostDir(const char* fileName) {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(/*hModule=*/nullptr, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  wchar_t* slash = std::wcsrchr(folder, L'\\');
  if (slash == nullptr) return false;
  slash[1] = L'\0';
  const std::wstring path = std::wstring(folder) + AnsiToWide(fileName);
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) return false;
  m_handle = module;
  return true;
}

void* CDllModule::FindExport(const char* name) const {
  if (m_handle == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
}
