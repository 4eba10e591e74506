#include "host/devicemanager/StorageDescriptors.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::uint32_t Dword(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The NUL-terminated text at `offset` of the record (0: none).
std::optional<std::string> TextAt(const unsigned char* bytes, std::size_t size,
                                  std::uint32_t offset) {
  if (offset == 0 || offset >= size) return std::nullopt;
  const auto* start = reinterpret_cast<const char*>(bytes + offset);
  const void* end = std::memchr(start, 0, size - offset);
  const std::size_t length = end != nullptr
                                 ? static_cast<std::size_t>(static_cast<const char*>(end) - start)
                                 : size - offset;
  return CleanDeviceText(start, length);
}

// STORAGE_BUS_TYPE, in the words the Linux build uses where both have one.
const char* const kBusTypes[] = {nullptr,   "scsi", "atapi",  "ata",  "1394", "ssa", "fibre",
                                 "usb",     "raid", "iscsi",  "sas",  "sata", "sd",  "mmc",
                                 "virtual", "file", "spaces", "nvme", "scm",  "ufs"};

constexpr std::size_t kDescriptorHead = 36;  // up to RawPropertiesLength
constexpr std::size_t kSmbiosHead = 8;       // RawSMBIOSData before SMBIOSTableData
constexpr unsigned char kSystemInformation = 1;
constexpr unsigned char kEndOfTable = 127;

// The strings that follow a structure's formatted area, from number 1.
std::vector<std::string> StructureStrings(const unsigned char* bytes, std::size_t size,
                                          std::size_t* next) {
  std::vector<std::string> strings;
  std::size_t at = 0;
  while (at < size) {
    const auto* start = reinterpret_cast<const char*>(bytes + at);
    const std::size_t length = strnlen(start, size - at);
    if (length == 0) {  // an empty string ends the set: two NULs in a row
      at += at == 0 ? 2 : 1;
      break;
    }
    strings.emplace_back(start, length);
    at += length + 1;
  }
  *next = at;
  return strings;
}

std::optional<std::string> StringNumber(const std::vector<std::string>& strings,
                                        unsigned char number) {
  if (number == 0 || number > strings.size()) return std::nullopt;
  return CleanDeviceText(strings[number - 1]);
}

}  // namespace

void ParseStorageDeviceDescriptor(const unsigned char* bytes, std::size_t size,
                                  DiskIdentity* identity) {
  if (size < kDescriptorHead) return;
  const std::size_t declared = Dword(bytes + 4);
  if (declared < size) size = declared < kDescriptorHead ? kDescriptorHead : declared;
  identity->vendor = TextAt(bytes, size, Dword(bytes + 12));
  identity->model = TextAt(bytes, size, Dword(bytes + 16));
  identity->firmware = TextAt(bytes, size, Dword(bytes + 20));
  identity->serial = TextAt(bytes, size, Dword(bytes + 24));
  const std::uint32_t bus = Dword(bytes + 28);
  if (bus < sizeof(kBusTypes) / sizeof(kBusTypes[0]) && kBusTypes[bus] != nullptr) {
    identity->transport = kBusTypes[bus];
  } else {
    identity->transport.reset();
  }
}

void ParseSeekPenaltyDescriptor(const unsigned char* bytes, std::size_t size,
                                DiskIdentity* identity) {
  if (size >= 9 && Dword(bytes + 4) >= 9) identity->rotational = bytes[8] != 0;
}

std::optional<std::string> ParseUnitSerialPage(const unsigned char* bytes, std::size_t size) {
  if (size < 4 || bytes[1] != 0x80) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(bytes[2]) << 8 | bytes[3];
  return CleanDeviceText(reinterpret_cast<const char*>(bytes + 4),
                         length < size - 4 ? length : size - 4);
}

MachineIdentity ParseSmbiosSystem(const unsigned char* bytes, std::size_t size) {
  MachineIdentity machine;
  if (size < kSmbiosHead) return machine;
  const std::size_t declared = Dword(bytes + 4);
  const unsigned char* table = bytes + kSmbiosHead;
  const std::size_t tableSize = declared < size - kSmbiosHead ? declared : size - kSmbiosHead;
  for (std::size_t at = 0; at + 4 <= tableSize;) {
    const unsigned char type = table[at];
    const std::size_t formatted = table[at + 1];
    if (formatted < 4 || at + formatted > tableSize) break;
    std::size_t stringsSize = 0;
    const std::vector<std::string> strings =
        StructureStrings(table + at + formatted, tableSize - at - formatted, &stringsSize);
    if (type == kSystemInformation && formatted >= 8) {
      machine.vendor = StringNumber(strings, table[at + 4]);
      machine.product = StringNumber(strings, table[at + 5]);
      machine.serial = StringNumber(strings, table[at + 7]);
      break;
    }
    if (type == kEndOfTable) break;
    at += formatted + stringsSize;
  }
  return machine;
}
