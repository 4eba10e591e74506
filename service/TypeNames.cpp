#include "common/TypeNames.h"

#include <cstring>

int CountChar(const char* text, char character) {
  int count = 0;
  for (; *text != '\0'; ++text) {
    if (*text == character) ++count;
  }
  return count;
}

bool IsNumberTypeName(const char* name) {
  if (name == nullptr || CountChar(name, '*') != 0) return false;
  if (std::strcmp(name, "unsigned char") == 0 || std::strcmp(name, "bool") == 0) return true;
  static const char* const kNumberNames[] = {"int",     "short",   "long",    "long long",
                                             "__int64", "__int32", "__int16", "__int8"};
  for (const char* number : kNumberNames) {
    if (std::strstr(number, name) != nullptr) return true;
  }
  return false;
}

int AcceptArgument(const char* expectedName, unsigned int expectedSize, const char* typeName,
                   const void* data, std::size_t size, void* slot) {
  if (typeName == nullptr || (data == nullptr && size != 0)) return -1;
  const bool sameName = std::strcmp(typeName, expectedName) == 0;
  const bool bothNumbers = IsNumberTypeName(typeName) && IsNumberTypeName(expectedName);
  if (!sameName && !bothNumbers && size != expectedSize) return -1;
  if (size > expectedSize) return -1;
  std::memset(slot, 0, expectedSize);
  if (size != 0) std::memcpy(slot, data, size);
  return 0;
}
