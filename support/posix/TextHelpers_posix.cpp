#include <cstdint>
#include <new>

#include "support/TextHelpers.h"

const char kLineEnd[] = "\n";

namespace {

constexpr char32_t kEscapeBase = 0xDC00;  // stray byte b maps to U+DC00 + b
constexpr char32_t kReplacement = U'?';   // what cannot be encoded at all

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at text[pos]; returns its length, or 0 when the
// bytes there are not a valid, shortest-form sequence of a scalar value.
std::size_t DecodeSequence(const std::string& text, std::size_t pos, char32_t* out) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    *out = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < minimum || value > 0x10FFFF || surrogate) return 0;
  *out = value;
  return length;
}

void EncodeScalar(char32_t value, std::string* out) {
  if (value < 0x80) {
    out->push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (value >> 6)));
    out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else if (value < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (value >> 12)));
    out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (value >> 18)));
    out->push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
  }
}

}  // namespace

std::wstring AnsiToWide(const std::string& text) {
  try {
    std::wstring result;
    result.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size() && text[pos] != '\0';) {
      char32_t value;
      const std::size_t length = DecodeSequence(text, pos, &value);
      if (length == 0) {
        value = kEscapeBase + static_cast<unsigned char>(text[pos]);
        pos += 1;
      } else {
        pos += length;
      }
      result.push_back(static_cast<wchar_t>(value));
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::wstring();
  }
}

std::string WideToAnsi(const std::wstring& text) {
  try {
    std::string result;
    result.reserve(text.size());
    for (wchar_t wide : text) {
      const auto value = static_cast<char32_t>(wide);
      if (value == 0) break;
      if (value >= kEscapeBase + 0x80 && value <= kEscapeBase + 0xFF) {
        result.push_back(static_cast<char>(value - kEscapeBase));
      } else if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
        result.push_back(static_cast<char>(kReplacement));
      } else {
        EncodeScalar(value, &result);
      }
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}
