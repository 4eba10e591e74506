#pragma once

#include <optional>
#include <string>

#include <rapidjson/document.h>

// What the device manager tells of a drive and of the machine
// (host/devicemanager/DiskIdentityExports.h), as the program shows it and
// writes it into listings and reports. Absent values stay absent: they are
// shown as "?" and written as null.
struct DriveIdentity {
  std::optional<std::string> vendor;
  std::optional<std::string> model;
  std::optional<std::string> serial;
  std::optional<std::string> firmware;
  std::optional<std::string> wwn;
  std::optional<std::string> transport;
  std::optional<bool> rotational;
  bool stableNumber = true;
};

struct MachineIdentityText {
  std::optional<std::string> vendor;
  std::optional<std::string> product;
  std::optional<std::string> serial;
};

// The device manager's JSON read into the records; false (the record left
// empty) when it is not such an object.
bool ParseDriveIdentity(const std::string& json, DriveIdentity* identity);
bool ParseMachineIdentity(const std::string& json, MachineIdentityText* machine);

// "WDC WD10EZEX, serial WD-WCC3F0000001, sata, HDD": what a person reads to
// tell the drive; "?" for what is unknown.
std::string DescribeDrive(const DriveIdentity& identity);
// The last `count` characters of the serial, "?" when there is none.
std::string SerialTail(const DriveIdentity& identity, std::size_t count);

// Writes the members "vendor", "model", "serial", "firmware", "wwn",
// "transport" and "rotational" (null where unknown) into an open object.
template <class Writer>
void WriteIdentityMembers(Writer& writer, const DriveIdentity& identity);
// Writes "machine": {"vendor", "product", "serial"} into an open object.
template <class Writer>
void WriteMachine(Writer& writer, const MachineIdentityText& machine);

namespace drive_identity_detail {
template <class Writer>
void TextOrNull(Writer& writer, const char* key, const std::optional<std::string>& value) {
  writer.Key(key);
  if (value) {
    writer.String(value->c_str(), static_cast<rapidjson::SizeType>(value->size()));
  } else {
    writer.Null();
  }
}
}  // namespace drive_identity_detail

template <class Writer>
void WriteIdentityMembers(Writer& writer, const DriveIdentity& identity) {
  using drive_identity_detail::TextOrNull;
  TextOrNull(writer, "vendor", identity.vendor);
  TextOrNull(writer, "model", identity.model);
  TextOrNull(writer, "serial", identity.serial);
  TextOrNull(writer, "firmware", identity.firmware);
  TextOrNull(writer, "wwn", identity.wwn);
  TextOrNull(writer, "transport", identity.transport);
  writer.Key("rotational");
  if (identity.rotational) {
    writer.Bool(*identity.rotational);
  } else {
    writer.Null();
  }
}

template <class Writer>
void WriteMachine(Writer& writer, const MachineIdentityText& machine) {
  using drive_identity_detail::TextOrNull;
  writer.Key("machine");
  writer.StartObject();
  TextOrNull(writer, "vendor", machine.vendor);
  TextOrNull(writer, "product", machine.product);
  TextOrNull(writer, "serial", machine.serial);
  writer.EndObject();
}
