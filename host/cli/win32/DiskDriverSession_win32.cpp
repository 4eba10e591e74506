#include "host/cli/DiskDriverSession.h"

#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "host/cli/win32/ProgramFolder.h"

namespace {

constexpr wchar_t kServiceName[] = L"q7diskio";
constexpr wchar_t kDriverFile[] = L"drivers\\q7diskio.sys";

struct ServiceCloser {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using Service = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceCloser>;

std::string SystemError(const char* what, DWORD error) {
  return std::string(what) + " (error " + std::to_string(error) + ")";
}

// The "q7diskio" service opened with `access`; null with the system's error
// (ERROR_SERVICE_DOES_NOT_EXIST when there is none) in `error`.
Service OpenDriverService(DWORD access, DWORD* error) {
  Service manager(
      OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    *error = GetLastError();
    return nullptr;
  }
  Service service(OpenServiceW(manager.get(), kServiceName, access));
  *error = service ? ERROR_SUCCESS : GetLastError();
  return service;
}

// The file the service loads: its image path, without the "\??\" prefix the
// system gives a driver's path.
bool ImageOf(SC_HANDLE service, std::wstring* image) {
  DWORD size = 0;
  QueryServiceConfigW(service, /*lpServiceConfig=*/nullptr, 0, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  std::vector<unsigned char> buffer(size);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service, config, size, &size)) return false;
  *image = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"";
  if (image->rfind(L"\\??\\", 0) == 0) image->erase(0, 4);
  return true;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

// Whether this process runs as an elevated administrator: the driver's
// device opens for no one else (host/driver/q7access.h).
bool IsElevatedAdministrator() {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, /*DomainSid=*/nullptr, administrators,
                            &size) &&
         CheckTokenMembership(/*TokenHandle=*/nullptr, administrators, &member) && member;
}

bool IsRunning(SC_HANDLE service) {
  SERVICE_STATUS status;
  return QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
}

}  // namespace

bool DiskDriverSession::Prepare(std::string* error) {
  if (!IsElevatedAdministrator()) {
    *error = "a disk or partition wipe needs an elevated prompt (Run as administrator)";
    return false;
  }
  const std::wstring folder = ProgramFolderWide();
  if (folder.empty() || !SetCurrentDirectoryW(folder.c_str())) {
    *error = SystemError("cannot make the program's folder the current folder", GetLastError());
    return false;
  }
  const std::wstring driver = folder + kDriverFile;
  if (GetFileAttributesW(driver.c_str()) == INVALID_FILE_ATTRIBUTES) {
    *error = SystemError(("the disk-I/O driver " + NarrowText(driver) + " is missing").c_str(),
                         GetLastError());
    return false;
  }
  DWORD openError = ERROR_SUCCESS;
  const Service service =
      OpenDriverService(SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS, &openError);
  if (!service) {
    m_stopAfterWipe = openError == ERROR_SERVICE_DOES_NOT_EXIST;  // the module creates it
    if (!m_stopAfterWipe) {
      *error = SystemError("cannot check the disk-I/O driver's service \"q7diskio\"", openError);
    }
    return m_stopAfterWipe;
  }
  std::wstring image;
  if (!ImageOf(service.get(), &image)) {
    *error =
        SystemError("cannot read the configuration of the service \"q7diskio\"", GetLastError());
    return false;
  }
  if (!SamePath(image, driver)) {
    *error = "the service \"q7diskio\" loads " + NarrowText(image) +
             ", not this program's driver " + NarrowText(driver) +
             "; nothing was written. Remove that service (sc stop q7diskio, then sc delete "
             "q7diskio) or wipe with the installation it belongs to.";
    return false;
  }
  m_stopAfterWipe = !IsRunning(service.get());
  return true;
}

bool DiskDriverSession::Stop(std::string* error) {
  if (!m_stopAfterWipe) return true;
  m_stopAfterWipe = false;
  DWORD openError = ERROR_SUCCESS;
  const Service service = OpenDriverService(SERVICE_STOP, &openError);
  if (!service) {
    // The module found the driver missing and could not install it.
    if (openError == ERROR_SERVICE_DOES_NOT_EXIST) return true;
    *error = SystemError("cannot stop the disk-I/O driver's service \"q7diskio\"", openError);
    return false;
  }
  SERVICE_STATUS status;
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
      GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
    *error = SystemError("cannot stop the disk-I/O driver's service \"q7diskio\"", GetLastError());
    return false;
  }
  return true;
}
