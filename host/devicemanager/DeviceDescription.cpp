#include "host/devicemanager/DeviceDescription.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <set>

namespace {

using Value = rapidjson::Value;

// A description nests four levels (root, disks, disk, partitions, partition
// and their values); deeper text is not a description.
constexpr std::size_t kMaxDepth = 8;

// Reads the text's structure before anything is built of it: refuses
// nesting deeper than kMaxDepth and a key given twice in one object (which
// readers of JSON take differently), so the document parsed afterwards is
// shallow and unambiguous. Used with the iterative reader, which keeps no
// call stack of its own.
class StructureCheck : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, StructureCheck> {
 public:
  bool Default() { return true; }
  bool StartObject() { return Enter(); }
  bool StartArray() { return Enter(); }
  bool EndObject(rapidjson::SizeType) { return Leave(); }
  bool EndArray(rapidjson::SizeType) { return Leave(); }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    if (m_keys.back().insert(std::string(text, length)).second) return true;
    m_fault = "the key \"" + std::string(text, length) + "\" is given twice in one object";
    return false;
  }
  const std::string& Fault() const { return m_fault; }

 private:
  bool Enter() {
    if (m_keys.size() >= kMaxDepth) {
      m_fault = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
      return false;
    }
    m_keys.emplace_back();
    return true;
  }
  bool Leave() {
    m_keys.pop_back();
    return true;
  }

  std::vector<std::set<std::string>> m_keys;  // per open object or array
  std::string m_fault;
};

// Reads the fields of one JSON object into a record, stopping at the first
// fault, which it keeps with the place it was found.
class FieldReader {
 public:
  FieldReader(const Value& object, std::string place, std::string* why)
      : m_object(object), m_place(std::move(place)), m_why(why) {}

  bool Unsigned(const char* key, std::uint64_t maximum, std::uint64_t* out) {
    const Value* value = Find(key, true);
    if (value == nullptr) return false;
    if (!value->IsUint64() || value->GetUint64() > maximum) {
      return Fail(std::string("\"") + key + "\" is not a whole number from 0 to " +
                  std::to_string(maximum));
    }
    *out = value->GetUint64();
    return true;
  }

  bool Flag(const char* key, std::uint8_t* out) {
    const Value* value = Find(key, false);
    if (value == nullptr) return true;
    if (!value->IsBool()) return Fail(std::string("\"") + key + "\" is not true or false");
    *out = value->GetBool() ? 1 : 0;
    return true;
  }

  template <std::size_t N>
  bool Text(const char* key, bool keep, char (&out)[N]) {
    const Value* value = Find(key, false);
    if (value == nullptr) return true;
    if (!value->IsString() || value->GetStringLength() >= N ||
        std::memchr(value->GetString(), 0, value->GetStringLength()) != nullptr) {
      return Fail(std::string("\"") + key + "\" is not a text of at most " + std::to_string(N - 1) +
                  " bytes");
    }
    if (keep) std::memcpy(out, value->GetString(), value->GetStringLength() + 1);
    return true;
  }

  bool Letter(char* out) {
    const Value* value = Find("letter", false);
    if (value == nullptr) return true;
    const bool single = value->IsString() && value->GetStringLength() == 1 &&
                        std::isalpha(static_cast<unsigned char>(value->GetString()[0]));
    if (!single) return Fail("\"letter\" is not one letter from A to Z");
    *out = static_cast<char>(std::toupper(static_cast<unsigned char>(value->GetString()[0])));
    return true;
  }

  const Value* Array(const char* key, bool required) {
    const Value* value = Find(key, required);
    if (value != nullptr && !value->IsArray()) {
      Fail(std::string("\"") + key + "\" is not an array");
      return nullptr;
    }
    return value;
  }

  bool Fail(const std::string& what) {
    *m_why = m_place + ": " + what;
    return false;
  }

 private:
  const Value* Find(const char* key, bool required) {
    const auto member = m_object.FindMember(key);
    if (member != m_object.MemberEnd()) return &member->value;
    if (required) Fail(std::string("\"") + key + "\" is missing");
    return nullptr;
  }

  const Value& m_object;
  std::string m_place;
  std::string* m_why;
};

bool ReadPartition(const Value& object, const std::string& place, bool keepPaths,
                   PartitionInfo* partition, std::string* why) {
  if (!object.IsObject()) {
    *why = place + ": not an object";
    return false;
  }
  FieldReader fields(object, place, why);
  std::uint64_t number = 0;
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  if (!fields.Unsigned("number", kMaxPartitions - 1, &number) ||
      !fields.Unsigned("startSector", std::numeric_limits<std::uint64_t>::max(), &start) ||
      !fields.Unsigned("sizeBytes", std::numeric_limits<std::uint64_t>::max(), &size) ||
      !fields.Letter(&partition->cDriveLetter) ||
      !fields.Flag("system", &partition->bSystemPartition) ||
      !fields.Text("device", keepPaths, partition->szDevicePath) ||
      !fields.Text("mount", keepPaths, partition->szMountPath)) {
    return false;
  }
  partition->nPartitionNumber = static_cast<std::uint32_t>(number);
  partition->nStartSector = start;
  partition->nSizeInBytes = size;
  return true;
}

// Whether every sector the partition touches lies inside the disk.
bool Inside(const PartitionInfo& partition, const DiskInfo& disk) {
  const auto sectorSize = static_cast<std::uint64_t>(disk.nBytesPerSector);
  const auto total = static_cast<std::uint64_t>(disk.nTotalSectors);
  const std::uint64_t sectors =
      partition.nSizeInBytes / sectorSize + (partition.nSizeInBytes % sectorSize != 0 ? 1 : 0);
  return partition.nStartSector <= total && sectors <= total - partition.nStartSector;
}

bool ReadDisk(const Value& object, const std::string& place, bool keepPaths, DiskInfo* disk,
              std::string* why) {
  if (!object.IsObject()) {
    *why = place + ": not an object";
    return false;
  }
  FieldReader fields(object, place, why);
  std::uint64_t number = 0;
  std::uint64_t sectorSize = 0;
  std::uint64_t sectors = 0;
  if (!fields.Unsigned("number", std::numeric_limits<std::int32_t>::max(), &number) ||
      !fields.Unsigned("bytesPerSector", std::numeric_limits<std::int32_t>::max(), &sectorSize) ||
      !fields.Unsigned("totalSectors", std::numeric_limits<std::int64_t>::max(), &sectors) ||
      !fields.Flag("system", &disk->bSystemDisk) ||
      !fields.Text("device", keepPaths, disk->szDevicePath)) {
    return false;
  }
  if (sectorSize == 0) return fields.Fail("\"bytesPerSector\" is 0");
  disk->nDiskNumber = static_cast<std::uint32_t>(number);
  disk->nBytesPerSector = static_cast<std::int32_t>(sectorSize);
  disk->nTotalSectors = static_cast<std::int64_t>(sectors);

  const Value* partitions = fields.Array("partitions", false);
  if (!why->empty()) return false;
  if (partitions == nullptr) return true;
  if (partitions->Size() > static_cast<rapidjson::SizeType>(kMaxPartitions)) {
    return fields.Fail("more than 128 partitions");
  }
  for (rapidjson::SizeType at = 0; at < partitions->Size(); ++at) {
    PartitionInfo& partition = disk->partitions[at];
    const std::string where = place + ", partition " + std::to_string(at);
    if (!ReadPartition((*partitions)[at], where, keepPaths, &partition, why)) return false;
    if (!Inside(partition, *disk)) {
      *why = where + ": ends beyond the end of the disk";
      return false;
    }
  }
  disk->nPartitionCount = static_cast<std::int32_t>(partitions->Size());
  return true;
}

}  // namespace

bool ParseDeviceDescription(const std::string& text, bool keepPaths, std::vector<DiskInfo>* disks,
                            std::string* why) {
  disks->clear();
  why->clear();
  StructureCheck structure;
  rapidjson::Reader reader;
  rapidjson::MemoryStream stream(text.data(), text.size());
  reader.Parse<rapidjson::kParseIterativeFlag>(stream, structure);
  if (!structure.Fault().empty()) {
    *why = structure.Fault();
    return false;
  }
  rapidjson::Document document;
  document.Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size());
  if (document.HasParseError()) {
    *why = std::string("not JSON at offset ") + std::to_string(document.GetErrorOffset()) + ": " +
           rapidjson::GetParseError_En(document.GetParseError());
    return false;
  }
  if (!document.IsObject()) {
    *why = "not a JSON object";
    return false;
  }
  FieldReader root(document, "description", why);
  const Value* list = root.Array("disks", true);
  if (list == nullptr) return false;
  if (list->Size() > kMaxDescribedDisks) {
    *why = "more than " + std::to_string(kMaxDescribedDisks) + " disks";
    return false;
  }
  std::vector<DiskInfo> read(list->Size());
  for (rapidjson::SizeType at = 0; at < list->Size(); ++at) {
    if (!ReadDisk((*list)[at], "disk " + std::to_string(at), keepPaths, &read[at], why))
      return false;
  }
  std::sort(read.begin(), read.end(),
            [](const DiskInfo& a, const DiskInfo& b) { return a.nDiskNumber < b.nDiskNumber; });
  for (std::size_t at = 1; at < read.size(); ++at) {
    if (read[at].nDiskNumber == read[at - 1].nDiskNumber) {
      *why = "disk number " + std::to_string(read[at].nDiskNumber) + " is described twice";
      return false;
    }
  }
  *disks = std::move(read);
  return true;
}
