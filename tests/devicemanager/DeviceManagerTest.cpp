#include <gtest/gtest.h>

#include <string>

#include "host/devicemanager/SystemDisks.h"
#include "platform/IDeviceManager.h"
#include "storage/MountPoint.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"

// Fields of the packed records are compared by value (+field): a check
// would otherwise bind a misaligned reference to them.

namespace {

constexpr char kVariable[] = "VTX_DEVICE_DESCRIPTION";

// What stands at the description's name.
enum class Named { kFile, kNothing, kFolder, kLink, kWritableFile };

// VTX_DEVICE_DESCRIPTION names a file holding `text` (or what `named` says)
// while the object lives.
class Description {
 public:
  explicit Description(const std::string& text, Named named = Named::kFile) {
    const fs::path file = m_folder / "disks.json", real = m_folder / "real.json";
    std::string why;
    if (named == Named::kFolder) fs::create_directory(file);
    if (named == Named::kFile || named == Named::kWritableFile) WriteBytes(file, text);
    if (named == Named::kWritableFile) fs::permissions(file, fs::perms::all);
    if (named == Named::kLink) WriteBytes(real, text), MakeFileLink(file, real, &why);
    SetEnvironment(kVariable, ModulePath(file).c_str());
  }
  ~Description() { SetEnvironment(kVariable, nullptr); }

 private:
  TempDir m_folder;
};

// The C host reads a description through every slot (tests/chost); here what
// it leaves out: letters, defaults, ignored keys and the paths of each build.
TEST(DeviceManager, DescriptionFileGivesTheRecords) {
  Description description(R"({"note":"extra keys are ignored","disks":[
    {"number":5,"bytesPerSector":4096,"totalSectors":1000,"device":"/dev/loop5",
     "partitions":[{"number":3,"letter":"e","startSector":8,"sizeBytes":409600,"system":true,
                    "device":"/dev/loop5p3","mount":"/mnt/e","label":"ignored"},
                   {"number":4,"startSector":108,"sizeBytes":4096}]}]})");
  IDeviceManager* manager = __GetDeviceManager();
  ASSERT_TRUE(manager->Refresh());
  DiskInfo disk = {};
  ASSERT_TRUE(manager->GetDiskInfo(5, &disk)) << manager->GetLastErrorText();
  ASSERT_EQ(+disk.nPartitionCount, 2);
  const PartitionInfo& first = disk.partitions[0];
  const PartitionInfo& second = disk.partitions[1];
  EXPECT_EQ(+first.cDriveLetter, 'E') << "letters are upper-case";
  EXPECT_EQ(+first.nStartSector * 4096 + first.nSizeInBytes, 32768u + 409600u);
  EXPECT_EQ(+disk.bSystemDisk + second.cDriveLetter + second.bSystemPartition, 0) << "defaults";
  // The paths are the POSIX build's; the Windows build leaves them empty.
  EXPECT_EQ(RecordText(disk.szDevicePath), kRecordsCarryPaths ? "/dev/loop5" : "");
  EXPECT_EQ(RecordText(first.szDevicePath), kRecordsCarryPaths ? "/dev/loop5p3" : "");
  // (POSIX: the recorded mount; MountPointOf takes it only where it is mounted.)
  EXPECT_EQ(kRecordsCarryPaths ? RecordText(first.szMountPath) : MountPointOf(first),
            kRecordsCarryPaths ? "/mnt/e" : "E:\\");
  EXPECT_EQ(MountPointOf(second), "");
  EXPECT_FALSE(manager->GetDiskInfo(5, nullptr));
}

TEST(DeviceManager, FaultyDescriptionFailsEveryDiskAndSaysWhyOnce) {
  // Disk 1 of 64 sectors with `extra` fields and one partition of `partition`.
  const auto disk = [](const std::string& extra,
                       const std::string& partition =
                           R"("number":1,"startSector":8,"sizeBytes":512)") {
    return R"({"disks":[{"number":1,"totalSectors":64)" + extra + R"(,"partitions":[{)" +
           partition + "}]}]}";
  };
  const std::string b512 = R"(,"bytesPerSector":512)";
  const std::string onePart = R"("number":1,"startSector":8,"sizeBytes":1,)";
  std::string partitions = R"("number":1,"startSector":1,"sizeBytes":1)";
  for (int at = 1; at < 129; ++at) partitions += R"(},{"number":1,"startSector":1,"sizeBytes":1)";
  std::string records = R"({"disks":[)";
  for (int at = 0; at < 200000; ++at) {
    records += R"({"number":)" + std::to_string(at) + R"(,"bytesPerSector":512,"totalSectors":1},)";
  }
  std::string disks = R"({"disks":[)";
  for (int at = 0; at < 257; ++at) {
    disks += (at != 0 ? "," : "") + std::string(R"({"number":)") + std::to_string(at) +
             R"(,"bytesPerSector":512,"totalSectors":1})";
  }
  const std::string valid = disk(b512);
  struct Case {
    std::string text, reason;
    Named named = Named::kFile;
  };
  const Case cases[] = {
      {"", "cannot be read", Named::kNothing},
      {valid, "is not a regular file", Named::kFolder},
      {valid, "is a symbolic link", Named::kLink},
      {valid, "is writable by others", Named::kWritableFile},
      {R"({"disks":[],"disks":[]})", "the key \"disks\" is given twice"},
      {disk(b512, R"("number":1,"number":2,"startSector":8,"sizeBytes":512)"),
       "the key \"number\" is given twice"},
      {std::string(2000000, '['), "nested deeper than 8 levels"},
      {records, "is larger than 4 MiB"},
      {disks + "]}", "more than 256 disks"},
      {"{\"disks\":[", "not JSON at offset"},
      {"{}", "\"disks\" is missing"},
      {R"({"disks":[{"bytesPerSector":512,"totalSectors":1}]})", "disk 0: \"number\" is missing"},
      {R"({"disks":[{"number":-1,"bytesPerSector":512,"totalSectors":1}]})",
       "\"number\" is not a whole"},
      {disk(R"(,"bytesPerSector":0)"), "\"bytesPerSector\" is 0"},
      {disk(""), "\"bytesPerSector\" is missing"},
      {disk(b512 + R"(,"system":"yes")"), "\"system\" is not true or false"},
      {disk(b512 + R"(,"device":")" + std::string(256, 'd') + "\""),
       "\"device\" is not a text of at most 255"},
      {disk(b512, R"("number":128,"startSector":8,"sizeBytes":512)"),
       "partition 0: \"number\" is not a whole number from 0 to 127"},
      {disk(b512, onePart + R"("letter":"EF")"), "\"letter\" is not one letter"},
      {disk(b512, onePart + R"("mount":")" + std::string(256, 'm') + "\""),
       "\"mount\" is not a text"},
      {disk(b512, R"("number":1,"startSector":64,"sizeBytes":1)"),
       "partition 0: ends beyond the end"},
      {disk(b512, R"("number":1,"startSector":8,"sizeBytes":28673)"),
       "partition 0: ends beyond the end"},
      {disk(b512, partitions), "more than 128 partitions"},
      {R"({"disks":[{"number":1,"bytesPerSector":512,"totalSectors":1},
                    {"number":1,"bytesPerSector":512,"totalSectors":1}]})",
       "disk number 1 is described twice"},
  };
  IDeviceManager* manager = __GetDeviceManager();
  for (const Case& c : cases) {
    // Windows keeps no POSIX mode and needs a privilege for links.
    if (!kRecordsCarryPaths && (c.named == Named::kWritableFile || c.named == Named::kLink))
      continue;
    Description description(c.text, c.named);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(manager->Refresh());
    DiskInfo record = {};
    EXPECT_FALSE(manager->GetDiskInfo(1, &record)) << c.text.substr(0, 80);
    EXPECT_NE(std::string(manager->GetLastErrorText()).find(c.reason), std::string::npos)
        << manager->GetLastErrorText();
    EXPECT_FALSE(manager->Refresh());
    EXPECT_FALSE(manager->GetDiskInfo(1, &record));
    EXPECT_EQ(manager->GetDiskCount(), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find(c.reason), said.rfind(c.reason)) << "said more than once: " << said;
    EXPECT_NE(said.find(c.reason), std::string::npos) << said;
  }
}

}  // namespace
