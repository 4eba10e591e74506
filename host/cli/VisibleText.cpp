#include "host/cli/VisibleText.h"

#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at text[at], or 0.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned int value;
  unsigned int minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1Fu, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0Fu, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07u, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t next = 1; next < length; ++next) {
    const auto byte = static_cast<unsigned char>(text[at + next]);
    if ((byte & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte & 0x3Fu);
  }
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  return value < minimum || value > 0x10FFFF || surrogate ? 0 : length;
}

void AppendVisible(unsigned char byte, std::string* out) {
  char escaped[5];
  std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
  *out += escaped;
}

std::string Escape(std::string_view text, bool controls) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = SequenceLength(text, at);
    const auto byte = static_cast<unsigned char>(text[at]);
    if (length == 0 || (controls && (byte < 0x20 || byte == 0x7F))) {
      AppendVisible(byte, &out);
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

}  // namespace

std::string VisibleUtf8(std::string_view text) { return Escape(text, /*controls=*/false); }

std::string PrintableText(std::string_view text) { return Escape(text, /*controls=*/true); }
