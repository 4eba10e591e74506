#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "storage/Q7DiskIOWapper.h"
#include "storage/win32/DriverService.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"

namespace {

TEST(DriverService, ManageDriverRefusesWhatItCannotDoWithItsMessage) {
  const char* const invalid = "Invalid Driver or Service provided to ManageDriver() \n";
  const struct {
    const wchar_t* path;
    USHORT function;
    const char* message;
  } cases[] = {{nullptr, kDriverFunctionInstall, invalid},
               {nullptr, kDriverFunctionRemove, invalid},
               {L"C:\\q7diskio.sys", 3, "Unknown ManageDriver() function. \n"}};
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    const bool done = ManageDriver(L"q7diskio", c.path, c.function);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message) << "function " << c.function;
    EXPECT_FALSE(done);
  }
}

TEST(DriverService, DriverPathIsBuiltFromTheCurrentFolderAndProbed) {
  TempDir temp;
  // Folders so long that the driver's path, and even the folder, overflows.
  const fs::path nearLimit = temp / std::string(250 - temp.path().wstring().size(), 'n');
  const fs::path present = temp / "present";
  MakeFolders(nearLimit);
  WriteBytes(present / "drivers" / "q7diskio.sys", "not a driver");
  for (const bool found : {true, false}) {
    InFolder in(found ? present : nearLimit);
    LogProbe log;
    wchar_t path[MAX_PATH] = {};
    ASSERT_EQ(SetupDriverNameW(path, MAX_PATH), found);
    EXPECT_EQ(found ? 0 : GetLastError(), found ? 0 : DWORD(ERROR_BUFFER_OVERFLOW));
    EXPECT_TRUE(log.Contains(found ? "location: " + present.string() + "\\drivers\\q7diskio.sys"
                                   : "driver path exceeds 260"))
        << log.Appended();
  }
}

TEST(DriverService, WritesFailWhileTheDriverCannotBeLoaded) {
  TempDir temp;
  InFolder in(temp.path());
  LogProbe log;
  const unsigned char sector[512] = {};
  CQ7DiskIOWapper* channel = CQ7DiskIOWapper::GetInstance();
  // Disk 99 exists nowhere: even a driver that was running could write nothing.
  EXPECT_EQ(channel->WriteSector(99, 0, 1, sector), 0);
  EXPECT_EQ(channel->WriteSector(99, 0, 1, sector), 0);
  // No "drivers" folder: the path is not found (3).
  EXPECT_EQ(log.Count("SetupDriverName failed:  3"), 2) << log.Appended();
  EXPECT_EQ(log.Count(temp.path().string() + "\\drivers\\q7diskio.sys is not loaded, err: 3"), 2)
      << log.Appended();
}

// A service name of this run alone: the driver's own service belongs to the
// tests that load the driver, and a service deleted while its driver runs
// stays "marked for deletion" for the rest of the Wine session.
TEST(DriverService, ADriverThatCannotStartIsInstalledAndRemovedAgain) {
  TempDir temp;
  WriteBytes(temp / "unstartable.sys", "MZ, but not a driver");
  const std::wstring name = L"vtx_unstartable_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                            std::to_wstring(GetTickCount());
  const std::wstring path = (temp / "unstartable.sys").wstring();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ManageDriver(name.c_str(), path.c_str(), kDriverFunctionInstall));
  EXPECT_TRUE(ManageDriver(name.c_str(), path.c_str(), kDriverFunctionRemove));
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("StartService failure! Error = "), std::string::npos) << said;
  EXPECT_NE(said.find("ControlService failed!  Error = 1062 \n"), std::string::npos) << said;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
  EXPECT_EQ(service, nullptr) << "the service is still installed";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

}  // namespace
