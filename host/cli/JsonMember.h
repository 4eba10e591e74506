#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include <rapidjson/document.h>

#include "host/cli/VisibleText.h"

// One member of a JSON object the program writes: the key, then the value as
// the JSON type its C++ type calls for (text, integer, number, true/false).
// Values are taken by copy so that fields of packed records can be passed.
// Text is written as valid UTF-8 (VisibleText.h).
template <class Writer, class Value>
void Member(Writer& writer, const char* key, Value value) {
  writer.Key(key);
  if constexpr (std::is_same_v<Value, bool>) {
    writer.Bool(value);
  } else if constexpr (std::is_floating_point_v<Value>) {
    writer.Double(value);
  } else if constexpr (std::is_integral_v<Value> && std::is_signed_v<Value>) {
    writer.Int64(static_cast<std::int64_t>(value));
  } else if constexpr (std::is_integral_v<Value>) {
    writer.Uint64(static_cast<std::uint64_t>(value));
  } else {
    const std::string text = VisibleUtf8(std::string_view(value));
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  }
}

// The JSON object `json` holds, parsed into `document`; false for anything
// else.
inline bool ParseObject(const std::string& json, rapidjson::Document* document) {
  return !document->Parse(json.c_str()).HasParseError() && document->IsObject();
}

// The 64-bit integer member `key` of `object`; false when it is missing or
// not such an integer, leaving `out` as it was.
inline bool ReadInt64(const rapidjson::Value& object, const char* key, std::int64_t* out) {
  const auto member = object.FindMember(key);
  if (member == object.MemberEnd() || !member->value.IsInt64()) return false;
  *out = member->value.GetInt64();
  return true;
}

// The text member `key` of `object`; "" when `object` is no object or the
// member is missing or not a text.
inline std::string ReadText(const rapidjson::Value& object, const char* key) {
  if (!object.IsObject()) return "";
  const auto member = object.FindMember(key);
  return member != object.MemberEnd() && member->value.IsString() ? member->value.GetString() : "";
}
