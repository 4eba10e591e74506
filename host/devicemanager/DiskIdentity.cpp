#include "host/devicemanager/DiskIdentity.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsPadding(char c) { return c == ' ' || c == '\0' || c == '\t' || c == '\n' || c == '\r'; }

// The length of the valid UTF-8 sequence starting at `text` (at most `size`
// bytes), or 0 when none starts there.
std::size_t Utf8Length(const unsigned char* text, std::size_t size) {
  const unsigned char lead = text[0];
  std::size_t length = lead < 0x80             ? 1
                       : (lead & 0xE0) == 0xC0 ? 2
                       : (lead & 0xF0) == 0xE0 ? 3
                       : (lead & 0xF8) == 0xF0 ? 4
                                               : 0;
  if (length == 0 || length > size || (length == 2 && lead < 0xC2) || lead > 0xF4) return 0;
  for (std::size_t at = 1; at < length; ++at) {
    if ((text[at] & 0xC0) != 0x80) return 0;
  }
  if (length == 3 && (lead == 0xE0 ? text[1] < 0xA0 : lead == 0xED && text[1] >= 0xA0)) return 0;
  if (length == 4 && (lead == 0xF0 ? text[1] < 0x90 : lead == 0xF4 && text[1] >= 0x90)) return 0;
  return length;
}

void PositiveOrNull(Writer& json, const char* key, std::uint64_t value) {
  json.Key(key);
  if (value != 0) {
    json.Uint64(value);
  } else {
    json.Null();
  }
}

bool SameWhereKnown(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  return a.has_value() == b.has_value() && (!a || *a == *b);
}

}  // namespace

std::optional<std::string> CleanDeviceText(const char* bytes, std::size_t size) {
  std::size_t first = 0;
  while (first < size && IsPadding(bytes[first])) ++first;
  while (size > first && IsPadding(bytes[size - 1])) --size;
  if (first == size) return std::nullopt;
  std::string text;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes);
  for (std::size_t at = first; at < size;) {
    const std::size_t length = Utf8Length(data + at, size - at);
    const bool control = length == 1 && (data[at] < 0x20 || data[at] == 0x7F);
    if (length == 0 || control) {
      text += kReplacement;
      ++at;
    } else {
      text.append(bytes + at, length);
      at += length;
    }
  }
  return text;
}

std::string DiskIdentityJson(int number, const DiskIdentity& identity) {
  rapidjson::StringBuffer buffer;
  Writer json(buffer);
  json.StartObject();
  json.Key("number");
  json.Int(number);
  WriteDriveMembers(json, identity);
  PositiveOrNull(json, "logicalSectorBytes", identity.logicalSectorBytes);
  PositiveOrNull(json, "physicalSectorBytes", identity.physicalSectorBytes);
  json.Key("sizeBytes");
  json.Uint64(identity.sizeBytes);
  WriteTextOrNull(
      json, "deviceNumbers",
      identity.deviceNumbers.empty() ? std::nullopt : std::optional(identity.deviceNumbers));
  json.Key("stableNumber");
  json.Bool(identity.stableNumber);
  json.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string MachineIdentityJson(const MachineIdentity& machine) {
  rapidjson::StringBuffer buffer;
  Writer json(buffer);
  json.StartObject();
  WriteMachineMembers(json, machine);
  json.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

bool SameDrive(const DiskIdentity& a, const DiskIdentity& b) {
  return a.deviceNumbers == b.deviceNumbers && SameWhereKnown(a.serial, b.serial) &&
         SameWhereKnown(a.wwn, b.wwn) && SameWhereKnown(a.model, b.model);
}
