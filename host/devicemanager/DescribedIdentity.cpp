#include "host/devicemanager/DescribedIdentity.h"

#include <rapidjson/document.h>

namespace {

constexpr rapidjson::SizeType kLongestText = 255;

bool ReadText(const rapidjson::Value& disk, const char* key, std::optional<std::string>* out,
              std::string* why) {
  const auto member = disk.FindMember(key);
  if (member == disk.MemberEnd() || member->value.IsNull()) return true;
  if (!member->value.IsString() || member->value.GetStringLength() > kLongestText) {
    *why = std::string("\"") + key + "\" is not a text of at most 255 bytes";
    return false;
  }
  *out = CleanDeviceText(member->value.GetString(), member->value.GetStringLength());
  return true;
}

bool ReadDiskIdentity(const rapidjson::Value& disk, DiskIdentity* identity, std::string* why) {
  const auto rotational = disk.FindMember("rotational");
  if (rotational != disk.MemberEnd() && !rotational->value.IsNull()) {
    if (!rotational->value.IsBool()) {
      *why = "\"rotational\" is not true, false or null";
      return false;
    }
    identity->rotational = rotational->value.GetBool();
  }
  return ReadText(disk, "vendor", &identity->vendor, why) &&
         ReadText(disk, "model", &identity->model, why) &&
         ReadText(disk, "serial", &identity->serial, why) &&
         ReadText(disk, "firmware", &identity->firmware, why) &&
         ReadText(disk, "wwn", &identity->wwn, why) &&
         ReadText(disk, "transport", &identity->transport, why);
}

}  // namespace

bool ParseDescribedIdentities(const std::string& text,
                              std::map<std::uint32_t, DiskIdentity>* identities, std::string* why) {
  identities->clear();
  rapidjson::Document document;
  if (document.Parse(text.c_str(), text.size()).HasParseError() || !document.IsObject() ||
      !document.HasMember("disks") || !document["disks"].IsArray()) {
    *why = "no list of disks";
    return false;
  }
  for (const rapidjson::Value& disk : document["disks"].GetArray()) {
    if (!disk.IsObject() || !disk.HasMember("number") || !disk["number"].IsUint()) continue;
    const std::uint32_t number = disk["number"].GetUint();
    DiskIdentity identity;
    if (!ReadDiskIdentity(disk, &identity, why)) {
      *why = "disk " + std::to_string(number) + ": " + *why;
      return false;
    }
    (*identities)[number] = identity;
  }
  return true;
}
