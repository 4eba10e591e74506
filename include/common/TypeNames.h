#pragma once

#include <cstddef>
#include <cstdint>

#include "common/Seq.h"

class IDeviceManager;
namespace vantrix_Web {
class CProgressWrapper;
}

// The names and sizes by which functors report their argument types, as the
// host's compiler spells them; the host compares against these texts, so
// they are fixed. Only the types listed here can be functor arguments.
struct TypeNameEntry {
  const char* name;
  unsigned int size;
};

// Types without an entry have a null name; functors refuse to be built on them.
template <class T>
inline constexpr TypeNameEntry kTypeName = {nullptr, 0};

template <>
inline constexpr TypeNameEntry kTypeName<std::int64_t> = {"__int64", 8};
template <>
inline constexpr TypeNameEntry kTypeName<int> = {"int", 4};
template <>
inline constexpr TypeNameEntry kTypeName<const char*> = {"char const * __ptr64", 8};
template <>
inline constexpr TypeNameEntry kTypeName<char*> = {"char * __ptr64", 8};
template <>
inline constexpr TypeNameEntry kTypeName<bool> = {"bool", 1};
template <>
inline constexpr TypeNameEntry kTypeName<IDeviceManager*> = {"class IDeviceManager * __ptr64", 8};
template <>
inline constexpr TypeNameEntry kTypeName<vantrix_Web::CProgressWrapper*> = {
    "class vantrix_Web::CProgressWrapper * __ptr64", 8};
// A filler position: reported as NullType, stored and expected as EmptyType.
template <>
inline constexpr TypeNameEntry kTypeName<NullType> = {"class NullType", 1};
template <>
inline constexpr TypeNameEntry kTypeName<EmptyType> = {"class EmptyType", 1};

// Occurrences of `character` in the NUL-terminated `text`.
int CountChar(const char* text, char character);

// True for a name that is not null, holds no "*", and is "unsigned char",
// "bool" or a substring of one of "int", "short", "long", "long long",
// "__int64", "__int32", "__int16", "__int8" (so the empty name counts).
bool IsNumberTypeName(const char* name);

// SetArg's rule for one position whose type has the name `expectedName` and
// the size `expectedSize`, stored in the `expectedSize` bytes at `slot`:
// a null name, and null data with a size other than 0, are refused; a name other than the expected
// one (and not a number name beside a number name) is accepted only with the expected size; more
// bytes than the slot holds are refused. An accepted value is copied to the start of the zeroed
// slot, so a smaller integer is widened with zeros. 0 when accepted, -1 when refused (the slot is
// then unchanged).
int AcceptArgument(const char* expectedName, unsigned int expectedSize, const char* typeName,
                   const void* data, std::size_t size, void* slot);
