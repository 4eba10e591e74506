// Who may open q7diskio's control device (host/driver/q7access.h), checked
// against the system's own security routines on real tokens.
//
// What Wine cannot show: it runs every program as an administrator, and runs
// the driver's create routine in winedevice.exe, where the routine sees that
// process's token rather than the caller's; nor does its I/O manager refuse
// an open for the device's DACL. So no test here opens the device as a
// non-administrator. Instead, the descriptor the driver gives the device and
// the rule its create routine applies meet two tokens: this process's
// (an elevated administrator's under Wine) and the same token with the
// Administrators alias for deny only, as UAC filters an administrator's
// token. The system's AccessCheck against the descriptor and the driver's
// rule must agree: the first opens, the second does not.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "q7access.h"

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Token = std::unique_ptr<void, HandleCloser>;

std::vector<unsigned char> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  GetTokenInformation(token, kind, /*TokenInformation=*/nullptr, 0, &size);
  std::vector<unsigned char> information(size);
  if (size == 0 || !GetTokenInformation(token, kind, information.data(), size, &size)) return {};
  return information;
}

bool DriverAdmits(HANDLE token) {
  const std::vector<unsigned char> user = TokenInformation(token, TokenUser);
  const std::vector<unsigned char> groups = TokenInformation(token, TokenGroups);
  if (user.empty() || groups.empty()) return false;
  const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
  return Q7TokenMayOpen(reinterpret_cast<const Q7SidAndAttributes*>(
                            &reinterpret_cast<const TOKEN_USER*>(user.data())->User),
                        reinterpret_cast<const Q7SidAndAttributes*>(list->Groups),
                        list->GroupCount) != 0;
}

// Whether `token` is granted read and write on an object with the DACL of
// `descriptor`, owned as the system owns the device (AccessCheck wants an
// owner and a group, which the driver leaves to the system).
bool SystemGrants(HANDLE token, PSECURITY_DESCRIPTOR descriptor, PSID owner) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR device;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
      !InitializeSecurityDescriptor(&device, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&device, TRUE, dacl, FALSE) ||
      !SetSecurityDescriptorOwner(&device, owner, FALSE) ||
      !SetSecurityDescriptorGroup(&device, owner, FALSE)) {
    return false;
  }
  HANDLE impersonation = nullptr;
  if (!DuplicateToken(token, SecurityImpersonation, &impersonation)) return false;
  Token owned(impersonation);
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  DWORD wanted = GENERIC_READ | GENERIC_WRITE;
  MapGenericMask(&wanted, &mapping);
  PRIVILEGE_SET privileges;
  DWORD privilegesSize = sizeof(privileges), granted = 0;
  BOOL allowed = FALSE;
  return AccessCheck(&device, impersonation, wanted, &mapping, &privileges, &privilegesSize,
                     &granted, &allowed) &&
         allowed && granted == wanted;
}

TEST(DriverAccess, OnlyLocalSystemAndElevatedAdministratorsOpenTheDevice) {
  unsigned char descriptor[Q7_DEVICE_DESCRIPTOR_SIZE];
  Q7BuildDeviceDescriptor(descriptor);
  ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));
  LPWSTR sddl = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
      descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, /*StringLength=*/nullptr));
  EXPECT_EQ(std::wstring(sddl), L"D:P(A;;FA;;;SY)(A;;FA;;;BA)");
  LocalFree(sddl);

  HANDLE process = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process));
  Token administrator(process);
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(administrators);
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, /*DomainSid=*/nullptr, administrators,
                                 &sidSize));
  SID_AND_ATTRIBUTES disable = {administrators, 0};
  HANDLE restricted = nullptr;
  ASSERT_TRUE(CreateRestrictedToken(process, /*Flags=*/0, 1, &disable, 0, nullptr, 0, nullptr,
                                    &restricted));
  Token filtered(restricted);

  BYTE system[SECURITY_MAX_SID_SIZE];
  sidSize = sizeof(system);
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, /*DomainSid=*/nullptr, system, &sidSize));
  const struct {
    const char* who;
    HANDLE token;
    bool opens;
  } tokens[] = {{"this process (an elevated administrator under Wine)", administrator.get(), true},
                {"the same token, Administrators for deny only", filtered.get(), false}};
  for (const auto& row : tokens) {
    EXPECT_EQ(SystemGrants(row.token, descriptor, system), row.opens) << row.who;
    EXPECT_EQ(DriverAdmits(row.token), row.opens) << row.who;
  }

  // LocalSystem is admitted by its user SID, whatever its groups.
  const Q7SidAndAttributes systemUser = {system, 0};
  EXPECT_TRUE(Q7TokenMayOpen(&systemUser, nullptr, 0));
  EXPECT_FALSE(Q7TokenMayOpen(nullptr, nullptr, 0));
}

}  // namespace
