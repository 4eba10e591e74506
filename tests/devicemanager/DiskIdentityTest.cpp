#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/devicemanager/StorageDescriptors.h"
#include "host/devicemanager/SysfsIdentity.h"
#include "host/devicemanager/SystemDisks.h"

namespace {

using Bytes = std::vector<unsigned char>;

void PutDword(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes[at + shift / 8] = (value >> shift) & 0xFF;
}

// A STORAGE_DEVICE_DESCRIPTOR as a drive answers it: the texts (null: none)
// after the 36-byte head, each at the offset the head gives.
Bytes Descriptor(std::uint32_t bus, std::vector<const char*> texts) {
  Bytes bytes(36, 0);
  for (std::size_t field = 0; field < texts.size(); ++field) {
    if (texts[field] == nullptr) continue;
    PutDword(bytes, 12 + 4 * field, static_cast<std::uint32_t>(bytes.size()));
    bytes.insert(bytes.end(), texts[field], texts[field] + std::strlen(texts[field]) + 1);
  }
  PutDword(bytes, 4, static_cast<std::uint32_t>(bytes.size()));
  PutDword(bytes, 28, bus);
  return bytes;
}

std::string FromWindows(const Bytes& device, int seekPenalty) {
  DiskIdentity identity;
  ParseStorageDeviceDescriptor(device.data(), device.size(), &identity);
  const Bytes seek = {1, 0, 0, 0, 12, 0, 0, 0, static_cast<unsigned char>(seekPenalty), 0, 0, 0};
  if (seekPenalty >= 0) ParseSeekPenaltyDescriptor(seek.data(), seek.size(), &identity);
  return DiskIdentityJson(0, identity);
}

// An SMBIOS table: BIOS information (type 0), then system information
// (type 1) naming strings 1, 2 and `serial`.
Bytes Smbios(unsigned char serial) {
  Bytes table = {0, 4, 0, 0, 'B', 'I', 'O', 'S', 0, 0, 1, 8, 1, 0, 1, 2, 0, serial};
  for (const char* text : {"Dell Inc.   ", "PowerEdge R740", "7XK2Q33"}) {
    table.insert(table.end(), text, text + std::strlen(text) + 1);
  }
  table.push_back(0);
  Bytes bytes(8 + table.size(), 0);
  PutDword(bytes, 4, static_cast<std::uint32_t>(table.size()));
  std::copy(table.begin(), table.end(), bytes.begin() + 8);
  return bytes;
}

std::string FromSysfs(const char* name, const Bytes& unitSerialPage) {
  return DiskIdentityJson(0, ReadSysfsIdentity(VTX_SYSFS_FIXTURE, name,
                                               [&](const std::string&) { return unitSerialPage; }));
}

// Identity from a recorded sysfs tree (tests/devicemanager/sysfs, Linux only)
// and from recorded Windows and SMBIOS buffers: each row's reading, rendered
// as the device manager's JSON. Padding goes, bytes that are not UTF-8 become
// U+FFFD, what is missing is null.
TEST(DiskIdentity, ReadFromRecordedTreesAndBuffers) {
  const std::string sizes512 = R"("logicalSectorBytes":512,"physicalSectorBytes":)";
  const std::string tail = R"(,"deviceNumbers":null,"stableNumber":true})";
  const Bytes serialPage = {0,   0x80, 0,   20,  ' ', ' ', 'W', 'D', '-', 'W', 'C', 'C',
                            '6', 'Y',  '0', '0', '0', '0', '0', '0', '1', ' ', ' ', 0};
  struct Row {
    bool sysfs;
    std::function<std::string()> read;
    std::string json;
  };
  const Row rows[] = {
      {true, [&] { return FromSysfs("sda", serialPage); },
       R"({"number":0,"vendor":"ATA","model":"WDC WD10EZEX-08W","serial":"WD-WCC6Y0000001",)"
       R"("firmware":"1A01","wwn":"naa.50014ee2b0000001","transport":"sata","rotational":true,)" +
           sizes512 + R"(4096,"sizeBytes":1000204886016)" + tail},
      {true, [&] { return FromSysfs("nvme0n1", {}); },
       R"({"number":0,"vendor":null,"model":"Samsung SSD 970 EVO Plus 1TB",)"
       R"("serial":"S4EWNX0R000002","firmware":"2B2QEXM7","wwn":"eui.0025385b71b0c3a2",)"
       R"("transport":"nvme","rotational":false,)" +
           sizes512 + R"(512,"sizeBytes":1000204886016)" + tail},
      {true,
       [&] {
         return FromSysfs("sdb", {0, 0x83, 0, 0});
       },
       "{\"number\":0,\"vendor\":\"Gen\xEF\xBF\xBDric\",\"model\":\"USB Flash Disk\","
       R"("serial":null,"firmware":"1.00","wwn":null,"transport":"usb","rotational":true,)" +
           sizes512 + R"(512,"sizeBytes":32010928128)" + tail},
      {true, [&] { return FromSysfs("vda", {}); },
       R"({"number":0,"vendor":null,"model":null,"serial":"BHYVE-1234","firmware":null,)"
       R"("wwn":null,"transport":"virtio","rotational":true,"logicalSectorBytes":512,)"
       R"("physicalSectorBytes":null,"sizeBytes":21474836480)" +
           tail},
      {true, [&] { return FromSysfs("loop3", serialPage); },
       R"({"number":0,"vendor":null,"model":null,"serial":null,"firmware":null,"wwn":null,)"
       R"("transport":"loop","rotational":false,"logicalSectorBytes":4096,)"
       R"("physicalSectorBytes":4096,"sizeBytes":67108864)" +
           tail},
      {true, [] { return MachineIdentityJson(ReadDmiIdentity(VTX_SYSFS_FIXTURE)); },
       R"({"vendor":"LENOVO","product":"20XW0055GE","serial":null})"},
      {false,
       [] {
         return FromWindows(
             Descriptor(11, {"ATA     ", "ST2000DM008-2FR102  ", "0001", "  ZFL0X1Y2"}), 1);
       },
       R"({"number":0,"vendor":"ATA","model":"ST2000DM008-2FR102","serial":"ZFL0X1Y2",)"
       R"("firmware":"0001","wwn":null,"transport":"sata","rotational":true,)"
       R"("logicalSectorBytes":null,"physicalSectorBytes":null,"sizeBytes":0)" +
           tail},
      {false,
       [] {
         return FromWindows(Descriptor(17, {nullptr, "Samsung SSD 980  ", "1B4QFXO7", nullptr}), 0);
       },
       R"({"number":0,"vendor":null,"model":"Samsung SSD 980","serial":null,"firmware":"1B4QFXO7",)"
       R"("wwn":null,"transport":"nvme","rotational":false,"logicalSectorBytes":null,)"
       R"("physicalSectorBytes":null,"sizeBytes":0)" +
           tail},
      {false,  // a record cut short: its texts and bus lie beyond the end
       [] {
         Bytes cut = Descriptor(99, {"\xC3\x28vendor", "model", nullptr, nullptr});
         cut.resize(40);
         return FromWindows(cut, -1);
       },
       "{\"number\":0,\"vendor\":\"\xEF\xBF\xBD(ve\",\"model\":null,\"serial\":null,"
       R"("firmware":null,"wwn":null,"transport":null,"rotational":null,)"
       R"("logicalSectorBytes":null,"physicalSectorBytes":null,"sizeBytes":0)" +
           tail},
      {false,
       [] {
         const Bytes b = Smbios(3);
         return MachineIdentityJson(ParseSmbiosSystem(b.data(), b.size()));
       },
       R"({"vendor":"Dell Inc.","product":"PowerEdge R740","serial":"7XK2Q33"})"},
      {false,
       [] {
         const Bytes b = Smbios(0);
         return MachineIdentityJson(ParseSmbiosSystem(b.data(), b.size() - 3));
       },
       R"({"vendor":"Dell Inc.","product":"PowerEdge R740","serial":null})"},
  };
  for (const Row& row : rows) {
    // sysfs is Linux's; the Windows build runs the buffer rows only.
    if (row.sysfs && !kRecordsCarryPaths) continue;
    EXPECT_EQ(row.read(), row.json);
  }
}

}  // namespace
