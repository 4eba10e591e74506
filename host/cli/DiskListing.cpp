#include "host/cli/DiskListing.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "host/cli/HostComponents.h"
#include "host/cli/JsonMember.h"
#include "host/cli/LocalSystem.h"
#include "host/cli/ProgressLine.h"

namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

void WritePartition(JsonWriter& json, const PartitionInfo& partition) {
  json.StartObject();
  Member(json, "number", partition.nPartitionNumber);
  Member(json, "startSector", partition.nStartSector);
  Member(json, "sizeBytes", partition.nSizeInBytes);
  Member(json, "letter",
         partition.cDriveLetter != 0 ? std::string(1, partition.cDriveLetter) : std::string());
  Member(json, "mount", local_system::VolumeRoot(partition));
  Member(json, "system", partition.bSystemPartition != 0);
  json.EndObject();
}

std::uint64_t DiskBytes(const DiskInfo& disk) {
  return static_cast<std::uint64_t>(disk.nBytesPerSector) *
         static_cast<std::uint64_t>(disk.nTotalSectors);
}

void WriteDisk(JsonWriter& json, const ListedDisk& listed) {
  const DiskInfo& disk = *listed.record;
  const DiskIdentity& identity = listed.identity;
  json.StartObject();
  Member(json, "number", disk.nDiskNumber);
  Member(json, "device", local_system::DiskDevice(disk));
  Member(json, "sizeBytes", DiskBytes(disk));
  Member(json, "bytesPerSector", disk.nBytesPerSector);
  Member(json, "totalSectors", disk.nTotalSectors);
  Member(json, "system", disk.bSystemDisk != 0);
  WriteDriveMembers(json, identity);
  Member(json, "stableNumber", identity.stableNumber);
  json.Key("partitions");
  json.StartArray();
  for (int index = 0; index < PartitionCount(disk); ++index) {
    WritePartition(json, disk.partitions[index]);
  }
  json.EndArray();
  json.Key("purge");
  if (listed.purgeJson.empty()) {
    json.Null();
  } else {
    json.RawValue(listed.purgeJson.data(), listed.purgeJson.size(), rapidjson::kObjectType);
  }
  json.EndObject();
}

}  // namespace

std::string DescribeDisk(const DiskInfo& disk, const DiskIdentity& identity) {
  std::string text = "disk " + std::to_string(disk.nDiskNumber) +
                     (identity.stableNumber ? "" : "*") + " (" + local_system::DiskDevice(disk) +
                     "): " + FormatBytes(DiskBytes(disk)) + ", " +
                     std::to_string(disk.nBytesPerSector) + "-byte sectors, " +
                     std::to_string(PartitionCount(disk)) + " partition(s)";
  if (disk.bSystemDisk != 0) text += ", SYSTEM";
  return text + "\n    " + DescribeDrive(identity);
}

std::string DescribePartition(const PartitionInfo& partition) {
  std::string text = "partition " + std::to_string(partition.nPartitionNumber) + ": " +
                     FormatBytes(partition.nSizeInBytes) + " from sector " +
                     std::to_string(partition.nStartSector);
  const std::string mount = RecordText(partition.szMountPath);
  if (partition.cDriveLetter != 0) text += std::string(", ") + partition.cDriveLetter + ":";
  if (!mount.empty()) text += ", mounted at " + mount;
  if (partition.cDriveLetter == 0 && mount.empty()) text += ", not mounted";
  if (partition.bSystemPartition != 0) text += ", SYSTEM";
  return text;
}

std::string DisksAsJson(const std::vector<ListedDisk>& disks) {
  rapidjson::StringBuffer buffer;
  JsonWriter json(buffer);
  json.StartObject();
  json.Key("disks");
  json.StartArray();
  for (const ListedDisk& disk : disks) WriteDisk(json, disk);
  json.EndArray();
  json.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}
