#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What a disk is, as far as the system tells: the words on its label and the
// numbers that tell it apart from every other drive. A value the system does
// not give is absent (nullopt), never guessed or filled in.
struct DiskIdentity {
  std::optional<std::string> vendor;
  std::optional<std::string> model;
  std::optional<std::string> serial;
  std::optional<std::string> firmware;
  std::optional<std::string> wwn;
  std::optional<std::string>
      transport;  // "nvme", "sata", "sas", "usb", "virtio", "mmc", "loop", ...
  std::optional<bool> rotational;
  std::uint32_t logicalSectorBytes = 0;   // 0: unknown
  std::uint32_t physicalSectorBytes = 0;  // 0: unknown
  std::uint64_t sizeBytes = 0;
  std::string deviceNumbers;  // POSIX: the kernel's "major:minor" of the disk; "" where none
  bool stableNumber = true;   // the disk keeps its number while other disks come and go
};

// The machine the disks sit in (SMBIOS system information).
struct MachineIdentity {
  std::optional<std::string> vendor;
  std::optional<std::string> product;
  std::optional<std::string> serial;
};

// A text field as a device reports it (padded with spaces or NULs, in no
// promised encoding) made fit to show and to store: surrounding white space
// and NULs dropped; bytes that are not printable UTF-8 become U+FFFD. Absent
// when nothing is left.
std::optional<std::string> CleanDeviceText(const char* bytes, std::size_t size);
inline std::optional<std::string> CleanDeviceText(const std::string& bytes) {
  return CleanDeviceText(bytes.data(), bytes.size());
}

// One JSON object: "number", the identity's members (null where absent),
// "logicalSectorBytes", "physicalSectorBytes" (null when unknown),
// "sizeBytes", "deviceNumbers" (null when none) and "stableNumber".
std::string DiskIdentityJson(int number, const DiskIdentity& identity);
// {"vendor":...,"product":...,"serial":...}, null where absent.
std::string MachineIdentityJson(const MachineIdentity& machine);

// Writes the members "vendor", "model", "serial", "firmware", "wwn",
// "transport" and "rotational" (null where absent) into an open JSON object
// of a RapidJSON-style writer; and "vendor", "product", "serial" of the
// machine. Header-only, so that hosts reading the identity write it alike.
template <class Writer>
void WriteTextOrNull(Writer& json, const char* key, const std::optional<std::string>& value) {
  json.Key(key);
  if (value) {
    json.String(value->c_str(), static_cast<unsigned>(value->size()));
  } else {
    json.Null();
  }
}

template <class Writer>
void WriteDriveMembers(Writer& json, const DiskIdentity& identity) {
  WriteTextOrNull(json, "vendor", identity.vendor);
  WriteTextOrNull(json, "model", identity.model);
  WriteTextOrNull(json, "serial", identity.serial);
  WriteTextOrNull(json, "firmware", identity.firmware);
  WriteTextOrNull(json, "wwn", identity.wwn);
  WriteTextOrNull(json, "transport", identity.transport);
  json.Key("rotational");
  if (identity.rotational) {
    json.Bool(*identity.rotational);
  } else {
    json.Null();
  }
}

template <class Writer>
void WriteMachineMembers(Writer& json, const MachineIdentity& machine) {
  WriteTextOrNull(json, "vendor", machine.vendor);
  WriteTextOrNull(json, "product", machine.product);
  WriteTextOrNull(json, "serial", machine.serial);
}

// Whether two readings name the same drive: same device numbers, and the
// same serial, WWN and model where the system tells them.
bool SameDrive(const DiskIdentity& a, const DiskIdentity& b);
