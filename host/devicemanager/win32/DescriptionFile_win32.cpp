#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>

#include <string>

#include "host/devicemanager/DescriptionFile.h"

#include "support/win32/UniqueHandle.h"

namespace {

// Frees what GetSecurityInfo allocated.
class SecurityDescriptor {
 public:
  SecurityDescriptor() = default;
  ~SecurityDescriptor() { LocalFree(descriptor); }
  SecurityDescriptor(const SecurityDescriptor&) = delete;
  SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PSID owner = nullptr;
  PACL dacl = nullptr;
};

bool IsAdministration(PSID sid) {
  return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid);
}

// Whether `owner` is the user this process runs as, and that user is an
// administrator with the rights enabled (elevated). Files an elevated
// administrator makes belong to Administrators by default, or to the
// administrator where the system names the creator as owner (and Wine
// always does).
bool IsThisAdministrator(PSID owner) {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
  const UniqueHandle token(opened);
  unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD size = 0;
  const bool isUser = GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size) &&
                      EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
  unsigned char administrators[SECURITY_MAX_SID_SIZE] = {};
  DWORD sidSize = sizeof(administrators);
  BOOL member = FALSE;
  return isUser &&
         CreateWellKnownSid(WinBuiltinAdministratorsSid, /*DomainSid=*/nullptr, administrators,
                            &sidSize) &&
         CheckTokenMembership(/*TokenHandle=*/nullptr, administrators, &member) && member;
}

constexpr DWORD kWritingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER |
                                 DELETE | GENERIC_WRITE | GENERIC_ALL;

// Why the opened file may not describe the disks; "" when it may.
std::string Refusal(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
          0) {
    return "is not a regular file";
  }
  if (information.nFileSizeHigh != 0 || information.nFileSizeLow > kMaxDescriptionBytes) {
    return "is larger than " + std::to_string(kMaxDescriptionBytes >> 20) + " MiB";
  }
  SecurityDescriptor security;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &security.owner,
                      /*ppsidGroup=*/nullptr, &security.dacl, /*ppSacl=*/nullptr,
                      &security.descriptor) != ERROR_SUCCESS) {
    return "has no readable owner";
  }
  if (security.owner == nullptr ||
      (!IsAdministration(security.owner) && !IsThisAdministrator(security.owner))) {
    return "is not owned by Administrators";
  }
  if (security.dacl == nullptr) return "is writable by everyone";
  for (DWORD index = 0; index < security.dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(security.dacl, index, &entry)) return "has an unreadable access list";
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    const PSID sid = &allowed->SidStart;
    if ((allowed->Mask & kWritingRights) != 0 && !IsAdministration(sid) &&
        !EqualSid(sid, security.owner)) {
      return "is writable by others than Administrators";
    }
  }
  return "";
}

}  // namespace

DescriptionSource ReadDescriptionFile(std::string* named, std::string* text, std::string* why) {
  wchar_t path[4 * MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"VTX_DEVICE_DESCRIPTION", path, 4 * MAX_PATH);
  if (length == 0) return DescriptionSource::kNone;
  char narrow[4 * MAX_PATH] = {};
  GetEnvironmentVariableA("VTX_DEVICE_DESCRIPTION", narrow, sizeof(narrow));
  *named = narrow;
  const std::string prefix = "the device description " + *named + " ";
  if (length >= 4 * MAX_PATH) {
    *why = prefix + "has too long a path";
    return DescriptionSource::kUnreadable;
  }
  // The link itself, never what it names; a folder opens too (backup
  // semantics), so that it is refused for what it is.
  const UniqueHandle file(CreateFileW(
      path, /*dwDesiredAccess=*/GENERIC_READ | READ_CONTROL,
      /*dwShareMode=*/FILE_SHARE_READ, /*lpSecurityAttributes=*/nullptr,
      /*dwCreationDisposition=*/OPEN_EXISTING,
      /*dwFlagsAndAttributes=*/FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
      /*hTemplateFile=*/nullptr));
  if (!file.IsOpen()) {
    *why = prefix + "cannot be read, error " + std::to_string(GetLastError());
    return DescriptionSource::kUnreadable;
  }
  const std::string refusal = Refusal(file.get());
  if (!refusal.empty()) {
    *why = prefix + refusal;
    return DescriptionSource::kUnreadable;
  }
  text->assign(kMaxDescriptionBytes + 1, '\0');
  DWORD total = 0;
  for (DWORD got = 1; got != 0 && total < text->size(); total += got) {
    if (!ReadFile(file.get(), &(*text)[total], static_cast<DWORD>(text->size() - total), &got,
                  /*lpOverlapped=*/nullptr)) {
      *why = prefix + "cannot be read, error " + std::to_string(GetLastError());
      return DescriptionSource::kUnreadable;
    }
  }
  if (total > kMaxDescriptionBytes) {
    *why = prefix + "is larger than " + std::to_string(kMaxDescriptionBytes >> 20) + " MiB";
    return DescriptionSource::kUnreadable;
  }
  text->resize(total);
  return DescriptionSource::kRead;
}
