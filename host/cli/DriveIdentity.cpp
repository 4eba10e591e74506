#include "host/cli/DriveIdentity.h"

#include "host/cli/JsonMember.h"

namespace {

std::optional<std::string> Text(const rapidjson::Value& object, const char* key) {
  const auto member = object.FindMember(key);
  if (member == object.MemberEnd() || !member->value.IsString()) return std::nullopt;
  return std::string(member->value.GetString(), member->value.GetStringLength());
}

}  // namespace

bool ParseDriveIdentity(const std::string& json, DiskIdentity* identity) {
  *identity = DiskIdentity();
  rapidjson::Document document;
  if (!ParseObject(json, &document)) return false;
  identity->vendor = Text(document, "vendor");
  identity->model = Text(document, "model");
  identity->serial = Text(document, "serial");
  identity->firmware = Text(document, "firmware");
  identity->wwn = Text(document, "wwn");
  identity->transport = Text(document, "transport");
  const auto rotational = document.FindMember("rotational");
  if (rotational != document.MemberEnd() && rotational->value.IsBool())
    identity->rotational = rotational->value.GetBool();
  const auto stable = document.FindMember("stableNumber");
  identity->stableNumber =
      stable == document.MemberEnd() || !stable->value.IsBool() || stable->value.GetBool();
  return true;
}

bool ParseMachineIdentity(const std::string& json, MachineIdentity* machine) {
  *machine = MachineIdentity();
  rapidjson::Document document;
  if (!ParseObject(json, &document)) return false;
  machine->vendor = Text(document, "vendor");
  machine->product = Text(document, "product");
  machine->serial = Text(document, "serial");
  return true;
}

std::string DescribeDrive(const DiskIdentity& identity) {
  const std::string kind = !identity.rotational ? "?" : *identity.rotational ? "HDD" : "SSD";
  return identity.model.value_or("?") + ", serial " + identity.serial.value_or("?") + ", " +
         identity.transport.value_or("?") + ", " + kind;
}

std::string SerialTail(const DiskIdentity& identity, std::size_t count) {
  if (!identity.serial) return "?";
  const std::string& serial = *identity.serial;
  return serial.size() <= count ? serial : ".." + serial.substr(serial.size() - count);
}

std::string ShortText(const std::string& text, std::size_t columns) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const bool starts = (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
    if (starts && characters++ == columns) return text.substr(0, at);
  }
  return text;
}
